// The paced cable carries every byte each way, in order, and never faster
// than the line it stands for.
#include "platform/pty.h"
#include "sim/paced_cable/paced_cable.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/cable_test.XXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() { rmdir(path.c_str()); }
};

// Opens a terminal raw, as a program on the cable would.
int open_raw(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios t;
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// Reads exactly n bytes, each within 5 s of the one before; fewer on a stall.
std::vector<uint8_t> read_n(int fd, size_t n) {
    std::vector<uint8_t> got;
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        uint8_t chunk[1024];
        ssize_t k = read(fd, chunk, sizeof chunk);
        if (k <= 0)
            break;
        got.insert(got.end(), chunk, chunk + k);
    }
    return got;
}

std::vector<uint8_t> pattern(size_t n, int seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = uint8_t(i * 7 + seed);
    return v;
}

TEST(PacedCable, CarriesBothWaysInOrder) {
    TempDir d;
    CableOptions o;
    o.baud = 115200;
    o.a.link = d.path + "/COM1";
    o.b.link = d.path + "/DEV";
    std::string error;
    PacedCable *c = CableStart(o, &error);
    ASSERT_NE(c, nullptr) << error;
    int a = open_raw(o.a.link), b = open_raw(o.b.link);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    // Both ways at once, more than a pty holds, so the far end's reads pace us.
    std::vector<uint8_t> ab = pattern(6000, 1), ba = pattern(5000, 3);
    ASSERT_EQ(write(b, ba.data(), ba.size()), ssize_t(ba.size()));
    ASSERT_EQ(write(a, ab.data(), 2000), 2000);
    EXPECT_EQ(read_n(a, ba.size()), ba);
    ASSERT_EQ(write(a, ab.data() + 2000, 4000), 4000);
    EXPECT_EQ(read_n(b, ab.size()), ab);
    // The count goes up just after the write that delivered the bytes.
    for (int i = 0; i < 500 && (CableCarried(c, 0) < 6000 || CableCarried(c, 1) < 5000); i++)
        usleep(10000);
    EXPECT_EQ(CableCarried(c, 0), 6000);
    EXPECT_EQ(CableCarried(c, 1), 5000);
    close(a);
    close(b);
    CableStop(c);
    EXPECT_NE(access(o.a.link.c_str(), F_OK), 0) << "the link stays after the stop";
}

// A lower bound only: a slow machine makes the cable later, never earlier.
TEST(PacedCable, NeverFasterThanTheLine) {
    TempDir d;
    CableOptions o;
    o.baud = 2400;
    o.a.link = d.path + "/COM1";
    o.b.link = d.path + "/DEV";
    std::string error;
    PacedCable *c = CableStart(o, &error);
    ASSERT_NE(c, nullptr) << error;
    int a = open_raw(o.a.link), b = open_raw(o.b.link);
    std::vector<uint8_t> msg = pattern(40, 5);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(write(a, msg.data(), msg.size()), ssize_t(msg.size()));
    EXPECT_EQ(read_n(b, msg.size()), msg);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count(),
              40 * CableCharNs(2400, 11));
    close(a);
    close(b);
    CableStop(c);
}

// An end opened by path: the far side of a pty pair made elsewhere, as a
// simulator's link is.
TEST(PacedCable, OpensAnExistingTerminal) {
    TempDir d;
    PtyPair dev;
    ASSERT_TRUE(PtyOpen(&dev));
    CableOptions o;
    o.baud = 38400;
    o.a.link = d.path + "/COM1";
    o.b.open = dev.slavePath;
    std::string error;
    PacedCable *c = CableStart(o, &error);
    ASSERT_NE(c, nullptr) << error;
    EXPECT_STREQ(CableEndPath(c, 1), dev.slavePath);
    int a = open_raw(o.a.link);
    std::vector<uint8_t> req = pattern(17, 9), rep = pattern(45, 11);
    ASSERT_EQ(write(a, req.data(), req.size()), ssize_t(req.size()));
    EXPECT_EQ(read_n(dev.master, req.size()), req);
    ASSERT_EQ(write(dev.master, rep.data(), rep.size()), ssize_t(rep.size()));
    EXPECT_EQ(read_n(a, rep.size()), rep);
    close(a);
    CableStop(c);
    PtyClose(&dev);
}

TEST(PacedCable, RefusesAnEndWithoutAKind) {
    CableOptions o;
    o.a.link = "/tmp/nowhere-COM1";
    std::string error;
    EXPECT_EQ(CableStart(o, &error), nullptr);
    EXPECT_NE(error.find("end b"), std::string::npos) << error;
    EXPECT_NE(access("/tmp/nowhere-COM1", F_OK), 0);
}

} // namespace
