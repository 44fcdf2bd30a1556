// Seeded random input for the RTU, ASCII and gateway line framers, the reply
// checks and the line parser: no overrun (under the address sanitizer), no
// lost buffer, no queued frame longer than a buffer holds.
#include "comm/comm_internal.h"
#include "comm/gateway.h"
#include "comm/modbus_pdu.h"
#include "sim/modbus_serial/serial_frames.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

enum { ROUNDS = 3000 };

struct FuzzHandle {
    CommHandle *h;
    int poolBefore;
    explicit FuzzHandle(int kind) {
        pool_add_new(3);
        poolBefore = pool_count();
        h = HandleAllocate(kind);
        h->replyWanted = 1;
    }
    // Takes every queued reply, checking its size; returns how many.
    int drain(int maxLength) {
        int n = 0;
        while (MsgBuffer *b = WaitReply(h, 0)) {
            EXPECT_LE(b->length, maxLength);
            pool_give(b);
            n++;
        }
        return n;
    }
    ~FuzzHandle() {
        EXPECT_EQ(h->rxBuffer, nullptr);
        EXPECT_EQ(pool_count(), poolBefore);
        HandleFree(h);
    }
};

// A byte string built from pieces of good frames, noise and damage.
std::vector<uint8_t> noisy(std::mt19937 &rng, const std::vector<uint8_t> &good) {
    std::vector<uint8_t> out;
    int pieces = (int)(rng() % 4) + 1;
    for (int p = 0; p < pieces; p++) {
        switch (rng() % 4) {
        case 0:
            out.insert(out.end(), good.begin(), good.end());
            break;
        case 1:
            out.insert(out.end(), good.begin(), good.begin() + rng() % good.size());
            break;
        case 2:
            for (int i = (int)(rng() % 700); i > 0; i--)
                out.push_back((uint8_t)rng());
            break;
        default: {
            std::vector<uint8_t> bad = good;
            bad[rng() % bad.size()] ^= (uint8_t)(1u << (rng() % 8));
            out.insert(out.end(), bad.begin(), bad.end());
        }
        }
    }
    return out;
}

} // namespace

TEST(FramerFuzz, Rtu) {
    std::mt19937 rng(1234);
    FuzzHandle f(LINK_MODBUS_RTU);
    const uint8_t pdu[] = {0x03, 0x04, 0x00, 0x01, 0x00, 0x02};
    uint8_t frame[FRAME_RTU_MAX];
    int n = FrameRtuEncode(1, pdu, sizeof pdu, frame);
    std::vector<uint8_t> good(frame, frame + n);
    int queued = 0;
    for (int round = 0; round < ROUNDS; round++) {
        f.h->replyWanted = rng() % 8 != 0;
        for (uint8_t c : noisy(rng, good)) {
            RtuRxByte(f.h, c);
            if (rng() % 64 == 0)
                CloseRtuFrame(f.h);
        }
        CloseRtuFrame(f.h);
        queued += f.drain(MSG_DATA_SIZE - 2);
    }
    EXPECT_GT(queued, 0);
}

TEST(FramerFuzz, Ascii) {
    std::mt19937 rng(5678);
    FuzzHandle f(LINK_MODBUS_ASCII);
    const uint8_t pdu[] = {0x03, 0x04, 0x00, 0x01, 0x00, 0x02};
    uint8_t frame[FRAME_ASCII_MAX];
    int n = FrameAsciiEncode(1, pdu, sizeof pdu, frame);
    std::vector<uint8_t> good(frame, frame + n);
    static const char alphabet[] = "0123456789ABCDEFabcdef:\r\n \x7F\x80\xBA";
    int queued = 0;
    for (int round = 0; round < ROUNDS; round++) {
        f.h->replyWanted = rng() % 8 != 0;
        std::vector<uint8_t> bytes = noisy(rng, good);
        for (uint8_t &c : bytes)
            if (rng() % 2)
                c = (uint8_t)alphabet[rng() % (sizeof alphabet - 1)];
        for (uint8_t c : bytes)
            AsciiRxByte(f.h, c);
        AsciiRxByte(f.h, '\r'); // ends any frame in progress
        queued += f.drain(MSG_DATA_SIZE - 2);
    }
    EXPECT_GT(queued, 0);
}

TEST(FramerFuzz, GatewayLines) {
    std::mt19937 rng(91011);
    FuzzHandle f(LINK_GATEWAY);
    std::vector<uint8_t> good = {'1', '0', ' ', '2', '0', '\r'};
    for (int round = 0; round < ROUNDS; round++) {
        f.h->replyWanted = rng() % 8 != 0;
        for (uint8_t c : noisy(rng, good))
            GatewayRxByte(f.h, c);
        GatewayRxByte(f.h, '\r');
        f.drain(MSG_DATA_SIZE);
        // Whatever came, a gateway line parses within its length.
    }
}

TEST(FramerFuzz, ReplyChecksAndLineParser) {
    std::mt19937 rng(1213);
    char text[MODBUS_TEXT_SIZE];
    for (int round = 0; round < ROUNDS * 4; round++) {
        int length = (int)(rng() % (MSG_DATA_SIZE + 1));
        // Exactly the reply's bytes, so that any read past them is caught.
        std::unique_ptr<uint8_t[]> pdu(new uint8_t[length + 1]);
        for (int i = 0; i < length; i++)
            pdu[i] = (uint8_t)rng();
        if (length > 0 && rng() % 2)
            pdu[0] = (uint8_t)(1 + rng() % 21);
        int count = 1 + (int)(rng() % 128);
        std::unique_ptr<uint16_t[]> values(new uint16_t[count]);
        int function = 1 + (int)(rng() % 4);
        int r = ModbusCheckReadReply(1, 1, pdu.get(), length, function, count, values.get(), text);
        EXPECT_TRUE(r == 0 || r == count);
        r = ModbusCheckWriteReply(1, 1, pdu.get(), length, 16, count, text);
        EXPECT_TRUE(r == 0 || r == count);
        r = ModbusCheckFileReadReply(1, 1, pdu.get(), length, 6, count, values.get(), text);
        EXPECT_TRUE(r == 0 || r == count);
        r = ModbusCheckFileWriteReply(1, 1, pdu.get(), length, count, text);
        EXPECT_TRUE(r == 0 || r == count);
        EXPECT_LE(GatewayParseValues(pdu.get(), length, count, values.get()), count);
    }
}

TEST(FramerFuzz, SimulatorFrameDecoders) {
    std::mt19937 rng(1415);
    AsciiCollector c;
    AsciiCollectorInit(&c);
    uint8_t pdu[FRAME_PDU_MAX];
    static const char alphabet[] = "0123456789ABCDEF:\r\n";
    for (int round = 0; round < ROUNDS * 4; round++) {
        int n = (int)(rng() % 600);
        std::vector<uint8_t> bytes((size_t)n);
        for (uint8_t &b : bytes)
            b = rng() % 3 ? (uint8_t)alphabet[rng() % 19] : (uint8_t)rng();
        int address = 0, result = 0;
        int length = FrameRtuDecode(bytes.data(), n, &address, pdu);
        EXPECT_LE(length, FRAME_PDU_MAX);
        for (uint8_t b : bytes) {
            if (AsciiCollectorFeed(&c, b, &result, &address, pdu)) {
                EXPECT_LE(result, FRAME_PDU_MAX);
            }
        }
    }
}
