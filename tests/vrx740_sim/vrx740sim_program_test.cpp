// The vrx740sim program over a real pty: the library reads and writes the
// module through its COM1 link on the front panel and through the PLC port,
// a window command runs, a failing read reaches the library as a link error,
// and the state file is saved at the end, loaded at the next start and a
// corrupt one is refused without being overwritten.
#include "comm/comm.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Program {
    pid_t pid = -1;
    int in = -1, out = -1;
    std::string pending;
};

// Starts vrx740sim with args, pipes on stdin and stdout, stderr inherited.
bool Spawn(Program *p, const std::vector<std::string> &args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC))
        return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::vector<char *> argv = {const_cast<char *>(VRX740SIM_PATH)};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int rc = posix_spawn(&p->pid, VRX740SIM_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    p->in = in[1];
    p->out = out[0];
    return rc == 0;
}

// One line of output within 10 s, "" on time-out or end.
std::string ReadLine(Program *p) {
    for (int waited = 0; waited <= 10000; waited += 50) {
        size_t nl = p->pending.find('\n');
        if (nl != std::string::npos) {
            std::string line = p->pending.substr(0, nl);
            p->pending.erase(0, nl + 1);
            return line;
        }
        pollfd pfd = {p->out, POLLIN, 0};
        if (poll(&pfd, 1, 50) > 0) {
            char buf[256];
            ssize_t n = read(p->out, buf, sizeof buf);
            if (n <= 0)
                return "";
            p->pending.append(buf, size_t(n));
        }
    }
    return "";
}

std::string Ask(Program *p, const std::string &line) {
    std::string l = line + "\n";
    if (write(p->in, l.data(), l.size()) != ssize_t(l.size()))
        return "";
    return ReadLine(p);
}

// Closes stdin and waits (bounded) for the end; the exit status or -1.
int End(Program *p) {
    if (p->in >= 0)
        close(p->in);
    p->in = -1;
    int result = -1;
    for (int waited = 0; waited <= 10000 && p->pid > 0; waited += 10) {
        int status;
        if (waitpid(p->pid, &status, WNOHANG) == p->pid) {
            p->pid = -1;
            result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else {
            usleep(10000);
        }
    }
    if (p->pid > 0) {
        kill(p->pid, SIGKILL); // our own child, by its id
        waitpid(p->pid, nullptr, 0);
        p->pid = -1;
    }
    close(p->out);
    return result;
}

std::string FileText(const std::string &path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct ProgramTest : ::testing::Test {
    std::string dir, oldDir;
    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir = cwd;
        char tmpl[] = "/tmp/vrx740sim_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(chdir(dir.c_str()), 0); // the library looks for COM1 here
    }
    void TearDown() override {
        EXPECT_EQ(chdir(oldDir.c_str()), 0);
        remove((dir + "/state").c_str());
        EXPECT_EQ(rmdir(dir.c_str()), 0) << "something was left in " << dir;
    }
};

TEST_F(ProgramTest, ServesTheModuleAndKeepsItsState) {
    std::string state = dir + "/state";
    Program p;
    ASSERT_TRUE(Spawn(&p, {"--link", dir + "/COM1", "--baud", "115200", "--state", state}));
    ASSERT_EQ(ReadLine(&p).rfind("READY /dev/pts/", 0), 0u);
    EXPECT_EQ(Ask(&p, "preset 1  4 1 9 0"), "OK 1");

    uint16_t route[] = {1, 1};
    CommHandle *h = OpenSymax("COM1:", 0, route);
    ASSERT_NE(h, nullptr);
    SetPortParams(h, 115200, 1, 1, 300, 8);
    uint16_t v[8] = {};
    ASSERT_EQ(Read4X(h, 2049, 1, v), 1) << CommErrorText(h); // configuration area
    EXPECT_EQ(v[0], 1);
    // The window at offset 6: status 7, number 8, image 9-12, command 13.
    uint16_t image[] = {3, 1, 2, 3, 4}, command[] = {0x0010};
    ASSERT_EQ(Write4X(h, 8, 5, image), 5) << CommErrorText(h);
    ASSERT_EQ(Write4X(h, 13, 1, command), 1) << CommErrorText(h);
    ASSERT_EQ(Read4X(h, 7, 1, v), 1) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x0010);
    EXPECT_EQ(Ask(&p, "record 1 3"), "OK 1 2 3 4");

    EXPECT_EQ(Ask(&p, "fault failread 0"), "OK");
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "(27) Memory Error");
    EXPECT_EQ(Ask(&p, "addressing plc 1001"), "OK plc 1001");
    ASSERT_EQ(Read4X(h, 1001, 3, v), 3) << CommErrorText(h);
    EXPECT_EQ(v[2], 4);
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "(3) Illegal Address");
    CommClose(h);
    EXPECT_EQ(End(&p), 0);
    EXPECT_NE(FileText(state).find("record 1 3 1 2 3 4\n"), std::string::npos);

    Program again;
    ASSERT_TRUE(Spawn(&again, {"--state", state}));
    ASSERT_EQ(ReadLine(&again).rfind("READY", 0), 0u);
    EXPECT_EQ(Ask(&again, "records 1"), "OK 3");
    EXPECT_EQ(End(&again), 0);

    std::ofstream(state) << "VRX740SIM 1\nfiles 1\n"; // cut short
    Program corrupt;
    ASSERT_TRUE(Spawn(&corrupt, {"--state", state}));
    EXPECT_EQ(ReadLine(&corrupt), "");
    EXPECT_EQ(End(&corrupt), 1);
    EXPECT_EQ(FileText(state), "VRX740SIM 1\nfiles 1\n");
}

} // namespace
