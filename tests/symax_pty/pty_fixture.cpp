// The pty test fixture (see pty_fixture.h).
#include "pty_fixture.h"

#include "sim/symax/sim_commands.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <unistd.h>

void SymaxPty::SetUp() {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir = cwd;
    char tmpl[] = "/tmp/symax_pty_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_EQ(chdir(dir.c_str()), 0);
}

void SymaxPty::Stop() {
    if (h != nullptr)
        CommClose(h);
    h = nullptr;
    symaxsim::SimStop(sim);
    sim = nullptr;
}

void SymaxPty::TearDown() {
    Stop();
    if (!oldDir.empty()) {
        EXPECT_EQ(chdir(oldDir.c_str()), 0);
    }
    if (!dir.empty()) {
        EXPECT_EQ(rmdir(dir.c_str()), 0) << "something was left in " << dir;
    }
}

void SymaxPty::Start(const LinkSetup &s) {
    symaxsim::SimOptions o = s.sim;
    o.link = dir + "/COM1";
    o.baud = s.baud;
    o.crc = s.crc;
    o.trace = o.trace || getenv("SYMAX_TRACE") != nullptr; // the line, for a failing run
    std::string error;
    sim = symaxsim::SimStart(o, &error);
    ASSERT_NE(sim, nullptr) << error;
    h = OpenSymax("COM1:", s.netToNet, s.route.data());
    ASSERT_NE(h, nullptr) << "OpenSymax on " << symaxsim::SimSlavePath(sim);
    ASSERT_EQ(SetPortParams(h, s.baud, 1, 1, s.timeoutTicks, 8), 1);
    ASSERT_EQ(SetSymaxOptions(h, s.crc, s.priority), 1);
}

std::string SymaxPty::Command(const std::string &line) {
    std::string answer;
    With([&](symaxsim::Slave *s) { answer = symaxsim::SlaveCommand(s, line); });
    return answer;
}

bool SymaxPty::WaitFor(const std::function<bool(symaxsim::Slave *)> &pred, int ms) {
    for (int waited = 0; waited < ms; waited += 5) {
        bool done = false;
        With([&](symaxsim::Slave *s) { done = pred(s); });
        if (done)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}
