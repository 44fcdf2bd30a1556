// Runs a simulator program as a child process for a test: starts it with
// pipes on its standard input and output, waits for its "READY" line, sends
// command lines and reads their answers with time limits, and ends it by its
// own pid.
#pragma once
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct SimProcess {
    pid_t pid = -1;
    int in = -1;  // its standard input
    int out = -1; // its standard output
    std::string pending;

    // Starts argv[0] with the arguments; true when it printed READY within timeoutMs.
    bool start(const std::vector<std::string> &args, std::string *ready, int timeoutMs = 5000) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0)
            return false;
        if (pipe(fromChild) != 0) {
            close(toChild[0]);
            close(toChild[1]);
            return false;
        }
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            std::vector<char *> argv;
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in = toChild[1];
        out = fromChild[0];
        if (pid < 0)
            return false;
        std::string line;
        if (!read_line(&line, timeoutMs) || line.rfind("READY", 0) != 0)
            return false;
        if (ready)
            *ready = line;
        return true;
    }

    // One line of output without its newline; false on time-out or end.
    bool read_line(std::string *line, int timeoutMs = 5000) {
        for (;;) {
            size_t nl = pending.find('\n');
            if (nl != std::string::npos) {
                *line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                return true;
            }
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return false;
            char buf[4096];
            ssize_t n = read(out, buf, sizeof buf);
            if (n <= 0)
                return false;
            pending.append(buf, (size_t)n);
        }
    }

    // Sends a command line and returns its answer ("" on time-out).
    std::string command(const std::string &text) {
        std::string line = text + "\n";
        if (write(in, line.data(), line.size()) != (ssize_t)line.size())
            return "";
        std::string answer;
        return read_line(&answer) ? answer : "";
    }

    // Asks it to quit, waits up to two seconds, then ends it by its pid.
    void stop() {
        if (pid <= 0)
            return;
        if (in >= 0) {
            (void)!write(in, "quit\n", 5);
            close(in);
            in = -1;
        }
        int status = 0;
        for (int i = 0; i < 200; i++) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            usleep(10000);
        }
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            pid = -1;
        }
        if (out >= 0)
            close(out);
        out = -1;
    }
    ~SimProcess() { stop(); }
};

// A fresh directory to hold the COM1 link; removed with its contents by the destructor.
struct TempDir {
    std::string path;
    std::string oldCwd;
    TempDir() {
        char tmpl[] = "/tmp/commtest.XXXXXX";
        if (mkdtemp(tmpl))
            path = tmpl;
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            oldCwd = cwd;
        if (!path.empty())
            (void)!chdir(path.c_str());
    }
    ~TempDir() {
        if (!oldCwd.empty())
            (void)!chdir(oldCwd.c_str());
        if (path.empty())
            return;
        for (const char *name : {"COM1", "COM2"})
            unlink((path + "/" + name).c_str());
        rmdir(path.c_str());
    }
};
