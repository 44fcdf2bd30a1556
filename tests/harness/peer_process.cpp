// Starting, talking to and stopping a peer program for tests and benchmarks.
#include "tests/harness/peer_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Reads one line (without its newline) from fd within timeoutMs.
static int ReadLine(int fd, char *line, int room, int timeoutMs) {
    int used = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (used < room - 1) {
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                       deadline - std::chrono::steady_clock::now())
                       .count();
        if (left <= 0)
            return 0;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0)
            continue;
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0)
            return 0;
        if (c == '\n')
            break;
        line[used++] = c;
    }
    line[used] = 0;
    return 1;
}

int PeerStart(PeerProcess *p, const char *const *argv, int timeoutMs) {
    signal(SIGPIPE, SIG_IGN); // a peer that died must not take the test with it
    int in[2], out[2];
    if (pipe(in) != 0)
        return 0;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return 0;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        execv(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    p->pid = pid;
    p->input = in[1];
    p->output = out[0];
    p->port = 0;
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return 0;
    }
    char line[128];
    if (!ReadLine(p->output, line, sizeof line, timeoutMs) ||
        sscanf(line, "READY %u", &p->port) != 1) {
        PeerStop(p, 2000);
        return 0;
    }
    return 1;
}

int PeerCommand(PeerProcess *p, const char *line, char *answer, int room, int timeoutMs) {
    size_t length = strlen(line);
    if (write(p->input, line, length) != (ssize_t)length || write(p->input, "\n", 1) != 1)
        return 0;
    return ReadLine(p->output, answer, room, timeoutMs);
}

int PeerStop(PeerProcess *p, int timeoutMs) {
    if (p->input >= 0)
        close(p->input);
    p->input = -1;
    int status = -1;
    for (int waited = 0; p->pid > 0; waited += 10) {
        pid_t r = waitpid(p->pid, &status, WNOHANG);
        if (r == p->pid) {
            p->pid = 0;
            break;
        }
        if (waited >= timeoutMs) {
            kill(p->pid, SIGKILL);
            waitpid(p->pid, &status, 0);
            p->pid = 0;
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (p->output >= 0)
        close(p->output);
    p->output = -1;
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
