// The library's Sy/Max bytes on the wire against hand-made frames: the test
// plays the device byte by byte on a pty, so the frames the library sends and
// the answers it gives are checked against bytes worked out by hand, not
// against the simulator's own encoder.
#include "comm/comm_internal.h"
#include "platform/pty.h"
#include "platform/serial.h"
#include "pty_fixture.h"

#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

typedef std::vector<uint8_t> Bytes;

// The device's end of the line: what the library sent, read as it comes.
struct RawLine {
    int fd = -1;
    Bytes held; // read from the line but not yet used

    // The next byte within ms, skipping fill bytes (0xFE); -1 when none came.
    int Next(int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            while (!held.empty()) {
                uint8_t b = held.front();
                held.erase(held.begin());
                if (b != 0xFE)
                    return b;
            }
            if (std::chrono::steady_clock::now() >= end)
                return -1;
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buf[64];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0)
                held.insert(held.end(), buf, buf + n);
        }
    }
    // want bytes other than fill, or fewer when ms passed.
    Bytes Take(size_t want, int ms = 5000) {
        Bytes got;
        int b;
        while (got.size() < want && (b = Next(ms)) >= 0)
            got.push_back(uint8_t(b));
        return got;
    }
    // Reads until the pair {DLE, second}; true when it came within ms.
    bool AwaitPair(uint8_t second, int ms = 5000) {
        bool afterDle = false;
        for (int b; (b = Next(ms)) >= 0;) {
            if (afterDle && b == second)
                return true;
            afterDle = !afterDle && b == 0x10;
        }
        return false;
    }
};

void Send(int fd, const Bytes &b) {
    ASSERT_EQ(write(fd, b.data(), b.size()), ssize_t(b.size()));
}

struct RawPeer : SymaxPty {
    PtyPair pty = {-1, -1, "", ""};
    RawLine line;
    void OpenRaw(bool crc) {
        ASSERT_TRUE(PtyOpen(&pty));
        line = RawLine{pty.master, {}};
        ASSERT_TRUE(PtyLink(&pty, (dir + "/COM1").c_str()));
        uint16_t route[] = {1, 1};
        h = OpenSymax("COM1:", 0, route);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(SerialPortRtsMode(h->port), SERIAL_RTS_HELD); // Sy/Max holds RTS on
        ASSERT_EQ(SetPortParams(h, 115200, 1, 1, 300, 8), 1);
        ASSERT_EQ(SetSymaxOptions(h, crc, 0), 1);
    }
    void TearDown() override {
        Stop();
        PtyClose(&pty);
        SymaxPty::TearDown();
    }
};

// The link replaces a stale symlink, never a real file, and goes with the pair.
TEST_F(RawPeer, PtyLinkReplacesOnlySymlinks) {
    std::string link = dir + "/COM1", file = dir + "/COM2";
    ASSERT_EQ(symlink("/nonexistent", link.c_str()), 0);
    FILE *f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    ASSERT_TRUE(PtyOpen(&pty));
    EXPECT_FALSE(PtyLink(&pty, file.c_str()));
    ASSERT_TRUE(PtyLink(&pty, link.c_str()));
    char target[PTY_PATH_SIZE] = {0};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, pty.slavePath);
    PtyClose(&pty);
    PtyClose(&pty); // twice is harmless
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
    EXPECT_EQ(access(file.c_str(), F_OK), 0);
    EXPECT_EQ(unlink(file.c_str()), 0);
}

TEST_F(RawPeer, EnquiryBeforeAnythingIsAnsweredWithNak) {
    OpenRaw(false);
    Send(pty.master, {0x10, 0x05});
    EXPECT_EQ(line.Take(2), (Bytes{0x10, 0x15}));
}

// A read of registers 3 and 4: the request as it must look, a reply with a
// spoiled check (refused with DLE NAK), the same reply made good (acknowledged
// with DLE DC1), and the values it carried, one of them a DLE.
TEST_F(RawPeer, ReadRequestAndReplyBytes) {
    struct Case {
        bool crc;
        Bytes requestCheck, replyCheck;
    } cases[] = {
        {false, {0x64}, {0x79}},
        {true, {0x72, 0x71}, {0x16, 0x7D}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.crc ? "crc" : "bcc");
        OpenRaw(c.crc);
        uint16_t v[2] = {0, 0};
        int result = -1;
        std::thread caller([&] { result = Read4X(h, 3, 2, v); });

        Bytes request = {0x10, 0x01, 0x11, '0',  '1',  0x10, 0x02, 0x00,
                         0x00, 0x00, 0x04, 0x00, 0x01, 0x10, 0x03};
        request.insert(request.end(), c.requestCheck.begin(), c.requestCheck.end());
        EXPECT_EQ(line.Take(request.size()), request);
        Send(pty.master, {0x10, 0x11}); // acknowledged

        Bytes reply = {0x10, 0x01, 0x11, '0',  '1',  0x10, 0x02, 0x86, 0x00,
                       0x00, 0x04, 0x12, 0x34, 0x00, 0x10, 0x10, 0x10, 0x03};
        Bytes spoiled = reply;
        spoiled.insert(spoiled.end(), c.replyCheck.begin(), c.replyCheck.end());
        spoiled.back() ^= 0x01;
        Send(pty.master, spoiled);
        EXPECT_TRUE(line.AwaitPair(0x15)) << "no DLE NAK for a bad check";
        reply.insert(reply.end(), c.replyCheck.begin(), c.replyCheck.end());
        Send(pty.master, reply);
        EXPECT_TRUE(line.AwaitPair(0x11)) << "no DLE DC1 for the good reply";

        caller.join();
        EXPECT_EQ(result, 2) << CommErrorText(h);
        EXPECT_EQ(v[0], 0x1234);
        EXPECT_EQ(v[1], 0x0010);
        Stop();
        PtyClose(&pty);
    }
}

// After a request that is never acknowledged the library sends fill bytes and
// DLE ENQ; each answer of the wrong sequence character is a refusal, and the
// frame goes out again.
TEST_F(RawPeer, SilenceBringsEnquiriesAndWrongAcknowledgementResends) {
    OpenRaw(false);
    SetPortParams(h, 115200, 1, 1, 100, 8);
    uint16_t v[1];
    int result = -1;
    std::thread caller([&] { result = Read4X(h, 1, 1, v); });
    Bytes first = line.Take(16);
    ASSERT_EQ(first.size(), 16u);
    EXPECT_TRUE(line.AwaitPair(0x05)) << "no DLE ENQ after silence";
    Send(pty.master, {0x10, 0x12}); // the other sequence character: a refusal
    // Enquiries already on their way come first; then the same frame again.
    ASSERT_TRUE(line.AwaitPair(0x01));
    Bytes again = {0x10, 0x01};
    Bytes rest = line.Take(14);
    again.insert(again.end(), rest.begin(), rest.end());
    EXPECT_EQ(again, first);
    caller.join(); // nobody answers: the caller's timeout ends it
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(CommErrorText(h), "Read reply timeout");
}

} // namespace
