// The wait for an acknowledgement on a real port: the reader hands every byte
// to the framer as it arrives, so the link waits the ten fill bytes of its
// rules before each enquiry at every rate, whatever the reader's quiet
// interval. The test plays the device on a pty: it counts the fill bytes,
// then acknowledges.
#include "platform/pty.h"
#include "platform/serial.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

// Reads the line until DLE ENQ has come after the first frameLength bytes,
// at most ms; the bytes read.
Bytes ReadUntilEnquiry(int fd, size_t frameLength, int ms) {
    Bytes got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        for (size_t i = frameLength; i + 1 < got.size(); i++)
            if (got[i] == DLE && got[i + 1] == ENQ)
                return got;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        uint8_t buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

TEST(LinkWait, TenFillBytesBeforeEachEnquiryAtEveryRate) {
    const Bytes data = {0, 1, 0, 0, 0, 0};
    const Bytes frame = RefFrame(DC1, "01", data, false);
    for (int baud : {115200, 38400, 9600}) {
        SCOPED_TRACE(baud);
        PtyPair pty = {-1, -1, "", ""};
        ASSERT_TRUE(PtyOpen(&pty));
        uint16_t route[] = {1, 1};
        CommHandle *h = OpenSymax(pty.slavePath, 0, route);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(SetPortParams(h, baud, 1, 1, 100, 8), 1);

        MsgBuffer *b = RequestBuffer("01", data);
        ASSERT_NE(b, nullptr);
        SendMessage(h, b);
        Bytes line = ReadUntilEnquiry(pty.master, frame.size(), 5000);
        ASSERT_GE(line.size(), frame.size() + 2) << "no enquiry came";
        EXPECT_EQ(Bytes(line.begin(), line.begin() + (long)frame.size()), frame);
        long fills = 0;
        for (size_t i = frame.size(); i < line.size() && line[i] == FILL; i++)
            fills++;
        ASSERT_EQ(line.at(frame.size() + (size_t)fills), DLE) << "only fill bytes before DLE ENQ";
        EXPECT_EQ(fills, 10);

        const uint8_t ack[] = {DLE, DC1};
        ASSERT_EQ(write(pty.master, ack, sizeof ack), (ssize_t)sizeof ack);
        CommClose(h);
        PtyClose(&pty);
    }
}

} // namespace
