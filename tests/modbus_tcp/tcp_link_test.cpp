// WinSock error numbers and texts of the TCP link, and the simulator's request framing.
#include "comm/tcp_link.h"
#include "platform/sockets.h"
#include "sim/modbus_tcp/sim_frames.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ErrnoCase {
    int err;
    int winsock;
};

class ErrnoMap : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMap, GivesTheWinsockNumber) {
    EXPECT_EQ(SockErrorFromErrno(GetParam().err), GetParam().winsock);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrnoMap,
    ::testing::Values(ErrnoCase{ECONNRESET, 10054}, ErrnoCase{ECONNABORTED, 10053},
                      ErrnoCase{ENOTCONN, 10057}, ErrnoCase{EPIPE, 10057},
                      ErrnoCase{ETIMEDOUT, 10060}, ErrnoCase{ENETRESET, 10052},
                      ErrnoCase{ENETDOWN, 10050}, ErrnoCase{EMSGSIZE, 10040},
                      ErrnoCase{EFAULT, 10014}, ErrnoCase{EBADF, 10038}, ErrnoCase{ENOTSOCK, 10038},
                      ErrnoCase{EAGAIN, 10035}, ErrnoCase{EWOULDBLOCK, 10035},
                      ErrnoCase{ECONNREFUSED, 10061}, ErrnoCase{EHOSTUNREACH, 10065},
                      ErrnoCase{ENOENT, 10000 + ENOENT}));

struct TextCase {
    int error;
    const char *prefix;
    const char *text;
    int reconnects;
};

class ErrorTexts : public ::testing::TestWithParam<TextCase> {};

// The text of each error, and whether it rebuilds the connection. The handle
// starts without a socket and its peer listens on loopback, so a reconnect is
// seen as a new connected socket; the text stays the failure's own.
TEST_P(ErrorTexts, TextAndReconnect) {
    const TextCase &c = GetParam();
    uint16_t port = 0;
    int listener = SockListenLoopback(0, &port);
    ASSERT_GE(listener, 0);
    CommHandle *h = HandleAllocate(LINK_MODBUS_TCP);
    ASSERT_NE(h, nullptr);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    memcpy(&h->peerAddress, loopback, 4);
    h->peerPort = port;
    TcpFail(h, c.prefix, c.error);
    EXPECT_STREQ(h->errorText, c.text);
    EXPECT_EQ(TcpErrorReconnects(c.error), c.reconnects);
    EXPECT_EQ(h->sock >= 0, c.reconnects == 1);
    TcpClose(h);
    HandleFree(h);
    SockClose(listener);
}

// A connection that cannot be made leaves no socket and says why; the next
// try connects once the peer listens again, and the handle stays the same.
TEST(TcpConnect, FailedReconnectIsTriedAgain) {
    uint16_t port = 0;
    int listener = SockListenLoopback(0, &port);
    ASSERT_GE(listener, 0);
    SockClose(listener); // nobody listens on the port now
    CommHandle *h = HandleAllocate(LINK_MODBUS_TCP);
    ASSERT_NE(h, nullptr);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    memcpy(&h->peerAddress, loopback, 4);
    h->peerPort = port;
    h->replyTimeout = 20;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(TcpDrain(h), 0);
        EXPECT_EQ(h->sock, -1);
        EXPECT_STREQ(h->errorText, "Connect  WINSOCK error 10061");
    }
    listener = SockListenLoopback(port, nullptr);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(TcpDrain(h), 1);
    EXPECT_GE(h->sock, 0);
    TcpClose(h);
    HandleFree(h);
    SockClose(listener);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTexts,
    ::testing::Values(TextCase{10014, "Send ", "Send Buffer overflow or protection fault", 0},
                      TextCase{10038, "Recv ", "Recv Handle corruption S", 0},
                      TextCase{10040, "Recv ", "Recv Reply message too large", 0},
                      TextCase{10050, "Send ", "Send The network subsystem has failed", 0},
                      TextCase{10052, "Recv ", "Recv Connection broken by keep-alive failure", 1},
                      TextCase{10053, "Recv ", "Recv Circuit terminated by time-out or failure", 1},
                      TextCase{10054, "Recv ", "Recv Circuit reset by peer", 1},
                      TextCase{10057, "Send ", "Send The socket is not connected", 1},
                      TextCase{10060, "Recv ", "Recv Connection dropped by network or peer failure",
                               1},
                      TextCase{10093, "Send ", "Send WSAStartup not initialized", 0},
                      TextCase{10061, "Send ", "Send  WINSOCK error 10061", 0},
                      TextCase{10035, "Recv ", "Recv  WINSOCK error 10035", 0}));

struct SizeCase {
    const char *name;
    int rtu;
    std::vector<uint8_t> bytes;
    int size;
};

class RequestSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RequestSize, FindsTheEndOfTheRequest) {
    const SizeCase &c = GetParam();
    int have = (int)c.bytes.size();
    int size =
        c.rtu ? SimRtuRequestSize(c.bytes.data(), have) : SimMbapRequestSize(c.bytes.data(), have);
    EXPECT_EQ(size, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RequestSize,
    ::testing::Values(SizeCase{"MbapHeaderOnly", 0, {0, 1, 0, 0, 0, 6}, 0},
                      SizeCase{"MbapComplete", 0, {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1}, 12},
                      SizeCase{"MbapWithNextBehind", 0, {0, 1, 0, 0, 0, 2, 1, 7, 0, 2}, 8},
                      SizeCase{"MbapLengthTooLarge", 0, {0, 1, 0, 0, 1, 0}, -1},
                      SizeCase{"MbapLengthTooSmall", 0, {0, 1, 0, 0, 0, 1, 1}, -1},
                      SizeCase{"RtuRead", 1, {1, 3, 0, 0, 0, 1, 0x84, 0x0A}, 8},
                      SizeCase{"RtuReadPartial", 1, {1, 3, 0, 0, 0}, 0},
                      SizeCase{"RtuWriteBlockNeedsByteCount", 1, {1, 16, 0, 0, 0, 1}, 0},
                      SizeCase{"RtuWriteBlock", 1, {1, 16, 0, 0, 0, 1, 2, 0, 9, 0xAA, 0xBB}, 11},
                      SizeCase{"RtuFileRead", 1, {1, 20, 7, 6, 0, 1, 0, 0, 0, 1, 0xAA, 0xBB}, 12},
                      SizeCase{"RtuUnknownTakesAll", 1, {1, 0x2B, 14, 1, 0}, 5}),
    [](const ::testing::TestParamInfo<SizeCase> &i) { return std::string(i.param.name); });

TEST(SimFrames, RtuReplyCarriesAGoodCrc) {
    uint8_t pdu[] = {3, 2, 0x12, 0x34};
    uint8_t frame[SIM_FRAME_MAX];
    int n = SimRtuReply(frame, 17, pdu, 4);
    ASSERT_EQ(n, 7);
    EXPECT_EQ(frame[0], 17);
    EXPECT_EQ(SimCrc16(frame, n), 0u);
    // A known frame: read 1 register at 0 from slave 1 ends in 0x84 0x0A.
    uint8_t known[] = {1, 3, 0, 0, 0, 1};
    unsigned crc = SimCrc16(known, 6);
    EXPECT_EQ(crc & 0xFF, 0x84u);
    EXPECT_EQ(crc >> 8, 0x0Au);
}

} // namespace
