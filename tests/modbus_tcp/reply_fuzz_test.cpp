// Replies fed to the TCP back ends through a socket pair: kept regression
// cases with their texts, then seeded random mutations of good replies. The
// peer's end is written from the idle hook, after the request went out, so
// each case runs on one thread without timing.
#include "comm/tcp_link.h"
#include "platform/sockets.h"
#include "sim/modbus_slave/modbus_slave.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// What the peer sends back; Reply builds it from the request it read.
struct Peer {
    int sock;
    int calls;
    int closeAfter; // shut the peer's sending side after the reply
    Bytes (*reply)(const Bytes &request, void *arg);
    void *arg;
};

static int PeerHook(void *p) {
    Peer *peer = static_cast<Peer *>(p);
    if (peer->calls++ > 0)
        return 0; // one chance: then abort the wait
    uint8_t request[600];
    ssize_t n = read(peer->sock, request, sizeof request);
    Bytes reply = peer->reply(Bytes(request, request + (n > 0 ? n : 0)), peer->arg);
    if (!reply.empty() && write(peer->sock, reply.data(), reply.size()) < 0)
        return 0;
    if (peer->closeAfter)
        shutdown(peer->sock, SHUT_WR);
    return 1;
}

// A handle of the kind whose socket is one end of a pair; the other end is the peer.
struct Pair {
    CommHandle *h;
    Peer peer;
    Pair(int kind) {
        int sv[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        h = HandleAllocate(kind);
        h->route.count = 1;
        h->sock = sv[0];
        // A reconnect goes to a loopback port nobody listens on.
        const uint8_t loopback[4] = {127, 0, 0, 1};
        memcpy(&h->peerAddress, loopback, 4);
        h->peerPort = 1;
        SockSetNonBlocking(sv[0]);
        peer = Peer{sv[1], 0, 0, nullptr, nullptr};
        h->idleHook = PeerHook;
        h->idleArg = &peer;
    }
    ~Pair() {
        TcpClose(h);
        HandleFree(h);
        close(peer.sock);
    }
};

static Bytes Fixed(const Bytes &request, void *arg) {
    Bytes reply = *static_cast<Bytes *>(arg);
    // MBAP: give the reply the request's transaction identifier.
    if (request.size() >= 7 && request[2] == 0 && request[3] == 0 && reply.size() >= 2 &&
        reply[0] == 0xEE && reply[1] == 0xEE) {
        reply[0] = request[0];
        reply[1] = request[1];
    }
    return reply;
}

static void AddCrc(Bytes &frame) {
    unsigned crc = 0xFFFF;
    for (uint8_t b : frame) {
        crc ^= b;
        for (int i = 0; i < 8; i++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    frame.push_back((uint8_t)crc);
    frame.push_back((uint8_t)(crc >> 8));
}

struct KeptCase {
    const char *name;
    int kind;
    int closeAfter;
    Bytes reply; // MBAP replies whose first two bytes are EE EE get the request's number
    const char *text;
};

class Kept : public ::testing::TestWithParam<KeptCase> {};

// Each reads 2 holding registers from unit 1.
TEST_P(Kept, ReplyGivesItsText) {
    const KeptCase &c = GetParam();
    Pair pair(c.kind);
    Bytes reply = c.reply;
    pair.peer.reply = Fixed;
    pair.peer.arg = &reply;
    pair.peer.closeAfter = c.closeAfter;
    uint16_t v[2] = {0, 0};
    int n = Read4X(pair.h, 1, 2, v);
    EXPECT_EQ(n, c.text[0] ? 0 : 2);
    EXPECT_STREQ(pair.h->errorText, c.text);
    if (n == 2) { // every good case carries 1, 2
        EXPECT_EQ(v[0], 1);
        EXPECT_EQ(v[1], 2);
    }
}

static Bytes Rtu(Bytes frame) {
    AddCrc(frame);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Kept,
    ::testing::Values(
        KeptCase{"MbapGood", 8, 0, {0xEE, 0xEE, 0, 0, 0, 7, 1, 3, 4, 0, 1, 0, 2}, ""},
        KeptCase{"MbapLengthOverrun",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0xFF, 0xFF, 1, 3},
                 "Recv Reply message too large"},
        KeptCase{"MbapLengthOne", 8, 0, {0xEE, 0xEE, 0, 0, 0, 1, 1}, "Reply header invalid"},
        KeptCase{"MbapHeaderNeverCompletes", 8, 0, {0xEE, 0xEE, 0}, "Application idle abort"},
        KeptCase{"MbapPeerClosesMidReply",
                 8,
                 1,
                 {0xEE, 0xEE, 0, 0, 0, 7, 1, 3},
                 "Recv Circuit reset by peer"},
        KeptCase{"MbapStaleOnly",
                 8,
                 0,
                 {0, 0, 0, 0, 0, 7, 1, 3, 4, 0, 1, 0, 2},
                 "Application idle abort"},
        KeptCase{"MbapOtherUnit",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 7, 2, 3, 4, 0, 1, 0, 2},
                 "Reply drop doesn't match query"},
        KeptCase{
            "MbapException2", 8, 0, {0xEE, 0xEE, 0, 0, 0, 3, 1, 0x83, 2}, "ILLEGAL DATA ADDRESS"},
        KeptCase{"MbapException13",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 3, 1, 0x83, 13},
                 "Modbus error reply 13"},
        KeptCase{"MbapExceptionWithoutCode",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 2, 1, 0x83},
                 "Modbus error reply 0"},
        KeptCase{"MbapOtherFunction",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 7, 1, 4, 4, 0, 1, 0, 2},
                 "Reply opcode doesn't match query"},
        KeptCase{"MbapByteCountWrong",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 5, 1, 3, 2, 0, 1},
                 "Reply length 2 doesn't match query 2"},
        KeptCase{"MbapByteCountPastPdu",
                 8,
                 0,
                 {0xEE, 0xEE, 0, 0, 0, 5, 1, 3, 4, 0, 1},
                 "Read reply was wrong size"},
        // Bytes past the data the byte count gives are not looked at.
        KeptCase{"MbapPadded", 8, 0, {0xEE, 0xEE, 0, 0, 0, 9, 1, 3, 4, 0, 1, 0, 2, 0xAA, 0xBB}, ""},
        KeptCase{"MbapGarbage",
                 8,
                 0,
                 {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55},
                 "Recv Reply message too large"},
        KeptCase{"RtuGood", 9, 0, Rtu({1, 3, 4, 0, 1, 0, 2}), ""},
        KeptCase{"RtuBadCrc", 9, 0, {1, 3, 4, 0, 1, 0, 2, 0, 0}, "Reply CRC error"},
        KeptCase{"RtuByteCountPastFrame", 9, 0, Rtu({1, 3, 0xFF, 0, 1}), "Application idle abort"},
        KeptCase{"RtuPeerClosesMidReply", 9, 1, {1, 3, 4, 0}, "Recv Circuit reset by peer"},
        KeptCase{"RtuOtherUnit", 9, 0, Rtu({7, 3, 4, 0, 1, 0, 2}),
                 "Reply drop doesn't match query"},
        KeptCase{"RtuException", 9, 0, Rtu({1, 0x83, 2}), "ILLEGAL DATA ADDRESS"},
        KeptCase{"RtuUnknownFunction", 9, 0, {1, 0x2B, 0}, "Reply CRC error"}),
    [](const ::testing::TestParamInfo<KeptCase> &i) { return std::string(i.param.name); });

// ---- seeded random mutations of good replies ----

struct Random {
    uint32_t x;
    unsigned Next(unsigned below) {
        x = x * 1664525u + 1013904223u;
        return below ? (x >> 8) % below : 0;
    }
};

struct Mutator {
    ModbusSlave *slave;
    Random *rnd;
    int kind;
};

// Serves the request from a real slave model, then damages the reply.
static Bytes Mutated(const Bytes &request, void *arg) {
    Mutator *m = static_cast<Mutator *>(arg);
    Random &r = *m->rnd;
    int rtu = m->kind == LINK_RTU_OVER_TCP;
    size_t head = rtu ? 1 : 7;
    if (request.size() <= head + (rtu ? 2 : 0))
        return {};
    uint8_t pdu[SLAVE_PDU_MAX];
    size_t pduLength = request.size() - head - (rtu ? 2 : 0);
    int n = SlaveServe(m->slave, request.data() + head, (int)pduLength, pdu);
    Bytes reply(request.begin(), request.begin() + (long)head);
    reply.insert(reply.end(), pdu, pdu + n);
    if (rtu)
        AddCrc(reply);
    else {
        reply[4] = (uint8_t)((n + 1) >> 8);
        reply[5] = (uint8_t)(n + 1);
    }
    switch (r.Next(6)) {
    case 0:
        break; // left whole
    case 1:    // bytes flipped
        for (unsigned k = 1 + r.Next(4); k > 0; k--)
            reply[r.Next((unsigned)reply.size())] ^= (uint8_t)(1 + r.Next(255));
        break;
    case 2:
        reply.resize(r.Next((unsigned)reply.size()));
        break;
    case 3:
        for (unsigned k = 1 + r.Next(40); k > 0; k--)
            reply.push_back((uint8_t)r.Next(256));
        break;
    case 4: {
        Bytes noise(1 + r.Next(300));
        for (uint8_t &b : noise)
            b = (uint8_t)r.Next(256);
        return noise;
    }
    default: // a stale copy in front
        if (!rtu) {
            Bytes stale = reply;
            stale[1] ^= 1;
            stale.insert(stale.end(), reply.begin(), reply.end());
            return stale;
        }
    }
    return reply;
}

static void FuzzKind(int kind, uint32_t seed, int rounds) {
    ModbusSlave *slave = SlaveCreate();
    Random rnd{seed};
    Mutator m{slave, &rnd, kind};
    int good = 0;
    for (int i = 0; i < rounds; i++) {
        Pair pair(kind);
        pair.peer.reply = Mutated;
        pair.peer.arg = &m;
        pair.peer.closeAfter = rnd.Next(8) == 0;
        // Guard words around the values catch a write past the count.
        uint16_t buffer[130];
        for (uint16_t &w : buffer)
            w = 0xA5A5;
        uint16_t *v = buffer + 1;
        int count = 1 + (int)rnd.Next(125);
        int start = 1 + (int)rnd.Next(10000);
        int got = 0, most = count;
        switch (rnd.Next(7)) {
        case 0:
            got = Read4X(pair.h, start, count, v);
            break;
        case 1:
            got = Read0X(pair.h, 0, start, count, v);
            most = (count + 15) / 16;
            break;
        case 2:
            got = Read6X(pair.h, (int)rnd.Next(20), start, count, v);
            break;
        case 3:
            got = Write4X(pair.h, start, count > 100 ? 100 : count, v);
            break;
        case 4:
            got = Write6X(pair.h, (int)rnd.Next(20), start, count > 100 ? 100 : count, v);
            break;
        case 5:
            got = Write3X(pair.h, start, count > 100 ? 100 : count, v);
            break;
        default: {
            int coils = 1 + (int)rnd.Next(20);
            got = Write0XMulti(pair.h, start, coils, v);
            most = count = coils;
        }
        }
        ASSERT_TRUE(got == 0 || got == count || got == (count > 100 ? 100 : count)) << i;
        if (got == 0) {
            ASSERT_GT(strlen(pair.h->errorText), 0u) << i;
        } else {
            good++;
        }
        ASSERT_LT(strlen(pair.h->errorText), (size_t)ERROR_TEXT_SIZE);
        ASSERT_EQ(buffer[0], 0xA5A5) << i;
        for (int k = 1 + most; k < 130; k++)
            ASSERT_EQ(buffer[k], 0xA5A5) << i << " word " << k;
    }
    SlaveDestroy(slave);
    // Whole replies (about one in six) must get through: the cases reach the checks' far end.
    EXPECT_GT(good, rounds / 20);
}

TEST(ReplyFuzz, ModbusTcp) {
    FuzzKind(LINK_MODBUS_TCP, 20261207u, 3000);
}

TEST(ReplyFuzz, RtuOverTcp) {
    FuzzKind(LINK_RTU_OVER_TCP, 7801u, 3000);
}

} // namespace
