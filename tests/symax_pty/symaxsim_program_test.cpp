// The symaxsim program: start-up line, text commands on stdin, the library
// reading through its COM1 link, clean end on EOF and on SIGTERM, bad options.
#include "pty_fixture.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Program {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
    std::string pending[2]; // stdout, stderr
};

// Starts symaxsim with args and pipes on its stdin, stdout and stderr.
bool Spawn(Program *p, const std::vector<std::string> &args) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char *> argv = {const_cast<char *>(SYMAXSIM_PATH)};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int rc = posix_spawn(&p->pid, SYMAXSIM_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    p->in = in[1];
    p->out = out[0];
    p->err = err[0];
    return rc == 0;
}

// One line from fd within ms, "" on time-out or end.
std::string ReadLine(Program *p, int fd, int ms = 10000) {
    std::string &pending = p->pending[fd == p->out ? 0 : 1];
    for (int waited = 0; waited <= ms; waited += 50) {
        size_t nl = pending.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            return line;
        }
        pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) > 0) {
            char buf[256];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                return "";
            pending.append(buf, size_t(n));
        }
    }
    return "";
}

std::string Ask(Program *p, const std::string &line) {
    std::string l = line + "\n";
    if (write(p->in, l.data(), l.size()) != ssize_t(l.size()))
        return "";
    return ReadLine(p, p->out);
}

// Waits (bounded) for the program to end; its exit status or -1.
int Reap(Program *p, int ms = 10000) {
    for (int waited = 0; waited <= ms; waited += 10) {
        int status;
        if (waitpid(p->pid, &status, WNOHANG) == p->pid) {
            p->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        usleep(10000);
    }
    kill(p->pid, SIGKILL); // our own child, by its id
    waitpid(p->pid, nullptr, 0);
    p->pid = -1;
    return -1;
}

void CloseAll(Program *p) {
    for (int *fd : {&p->in, &p->out, &p->err})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

TEST_F(SymaxPty, ProgramServesTheLibraryAndCommands) {
    for (bool bySignal : {false, true}) {
        Program p;
        std::string link = dir + "/COM1";
        ASSERT_TRUE(Spawn(&p, {"--link", link, "--baud", "115200", "--crc"}));
        std::string ready = ReadLine(&p, p.out);
        ASSERT_EQ(ready.rfind("READY /dev/pts/", 0), 0u) << ready;
        struct stat st;
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));

        EXPECT_EQ(Ask(&p, "set 20 4660 65535"), "OK 2");
        uint16_t route[] = {1, 1};
        h = OpenSymax("COM1:", 0, route);
        ASSERT_NE(h, nullptr);
        SetPortParams(h, 115200, 1, 1, 300, 8);
        SetSymaxOptions(h, 1, 0);
        uint16_t v[2] = {0, 0};
        ASSERT_EQ(Read4X(h, 20, 2, v), 2) << CommErrorText(h);
        EXPECT_EQ(v[0], 4660);
        EXPECT_EQ(v[1], 65535);
        uint16_t w[1] = {99};
        ASSERT_EQ(Write4X(h, 21, 1, w), 1) << CommErrorText(h);
        EXPECT_EQ(Ask(&p, "get 20 2"), "OK 4660 99");
        EXPECT_EQ(Ask(&p, "fault status 4"), "OK");
        EXPECT_EQ(Read4X(h, 20, 1, v), 0);
        EXPECT_STREQ(CommErrorText(h), "(4) Illegal Rack Address");
        EXPECT_EQ(Ask(&p, "bogus").rfind("ERR unknown command", 0), 0u);
        CommClose(h);
        h = nullptr;

        if (bySignal)
            kill(p.pid, SIGTERM);
        else
            close(p.in), p.in = -1;
        EXPECT_EQ(Reap(&p), 0);
        EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
        CloseAll(&p);
    }
}

TEST_F(SymaxPty, ProgramRefusesBadOptions) {
    struct Case {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"--baud", "fast"}, "bad baud rate 'fast'"},
        {{"--delay", "-5"}, "bad delay '-5'"},
        {{"--drop", "256"}, "bad drop '256'"},
        {{"--fault", "explode"}, "bad --fault"},
        {{"--fault", "status=999"}, "bad --fault"},
        {{"--link"}, "option '--link' needs a value"},
        {{"--frobnicate", "1"}, "unknown option '--frobnicate'"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"stray"}, "unknown option 'stray'"},
        {{"--link", "/nonexistent-dir/COM1"}, "cannot create the link"},
    };
    for (const Case &c : cases) {
        Program p;
        ASSERT_TRUE(Spawn(&p, c.args));
        close(p.in);
        p.in = -1;
        std::string line = ReadLine(&p, p.err);
        EXPECT_NE(line.find(c.message), std::string::npos) << line;
        EXPECT_NE(Reap(&p), 0);
        EXPECT_EQ(ReadLine(&p, p.out, 0), "") << "no READY line";
        CloseAll(&p);
    }
}

} // namespace
