// The RTU and ASCII byte framers, fed and drained directly on a handle.
#include "comm/comm_internal.h"
#include "sim/modbus_serial/serial_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

struct FramerTest : ::testing::Test {
    CommHandle *h = nullptr;
    int poolBefore = 0;
    void SetUp() override {
        pool_add_new(3);
        poolBefore = pool_count();
        h = HandleAllocate(LINK_MODBUS_RTU);
        ASSERT_NE(h, nullptr);
        h->replyWanted = 1;
    }
    void TearDown() override {
        reply_drain(h);
        EXPECT_EQ(pool_count(), poolBefore) << "a buffer went missing";
        HandleFree(h);
    }
    // Queues a request for the transmit framer.
    void queue_request(int slave, const Bytes &pdu) {
        MsgBuffer *b = pool_take();
        ASSERT_NE(b, nullptr);
        b->route[0] = (uint8_t)slave;
        b->length = (uint16_t)pdu.size();
        std::copy(pdu.begin(), pdu.end(), b->data);
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        queue_append(&h->txQueue, b);
    }
    Bytes drain_tx(unsigned (*framer)(CommHandle *)) {
        Bytes out;
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        for (unsigned c; (c = framer(h)) < 256 && out.size() < 2000;)
            out.push_back((uint8_t)c);
        return out;
    }
    // The reply queued by the receive framer: address then PDU, or empty.
    Bytes take_reply() {
        MsgBuffer *b = WaitReply(h, 0);
        if (!b)
            return {};
        Bytes r{b->route[0]};
        r.insert(r.end(), b->data, b->data + b->length);
        pool_give(b);
        return r;
    }
    void feed_rtu(const Bytes &bytes) {
        for (uint8_t c : bytes)
            RtuRxByte(h, c);
        CloseRtuFrame(h);
    }
    void feed_ascii(const std::string &text) {
        for (char c : text)
            AsciiRxByte(h, (uint8_t)c);
    }
};

Bytes rtu_frame(int slave, const Bytes &pdu) {
    uint8_t out[FRAME_RTU_MAX];
    int n = FrameRtuEncode(slave, pdu.data(), (int)pdu.size(), out);
    return Bytes(out, out + n);
}

std::string ascii_frame(int slave, const Bytes &pdu) {
    uint8_t out[FRAME_ASCII_MAX];
    int n = FrameAsciiEncode(slave, pdu.data(), (int)pdu.size(), out);
    return std::string(out, out + n);
}

} // namespace

TEST_F(FramerTest, RtuRequestBytes) {
    queue_request(1, {0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(drain_tx(RtuTxByte), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    queue_request(17, {0x06, 0x00, 0x01, 0x00, 0x03});
    EXPECT_EQ(drain_tx(RtuTxByte), (Bytes{0x11, 0x06, 0x00, 0x01, 0x00, 0x03, 0x9A, 0x9B}));
}

TEST_F(FramerTest, RtuTwoRequestsBackToBack) {
    queue_request(1, {0x03, 0x00, 0x00, 0x00, 0x0A});
    queue_request(1, {0x03, 0x00, 0x00, 0x00, 0x0A});
    Bytes one = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    Bytes both = one;
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(drain_tx(RtuTxByte), both);
}

TEST_F(FramerTest, RtuGoodReplyIsQueued) {
    feed_rtu(rtu_frame(1, {0x03, 0x02, 0x12, 0x34}));
    EXPECT_EQ(take_reply(), (Bytes{1, 0x03, 0x02, 0x12, 0x34}));
}

TEST_F(FramerTest, RtuRepliesThatAreDropped) {
    Bytes bad = rtu_frame(1, {0x03, 0x02, 0x12, 0x34});
    bad.back() ^= 1;
    const Bytes cases[] = {
        bad,          // wrong CRC
        {0x01, 0x03}, // address and one byte
        {0x01},       // address alone
    };
    for (const Bytes &c : cases) {
        feed_rtu(c);
        EXPECT_TRUE(take_reply().empty());
    }
}

TEST_F(FramerTest, RtuOverlongFrameEndsTheWait) {
    ReplyWaitCounter = 100;
    Bytes longFrame(300, 0x55);
    feed_rtu(longFrame);
    EXPECT_EQ(ReplyWaitCounter.load(), 0);
    EXPECT_TRUE(take_reply().empty());
    // The next frame is received normally.
    feed_rtu(rtu_frame(2, {0x06, 0, 1, 0, 3}));
    EXPECT_EQ(take_reply(), (Bytes{2, 0x06, 0, 1, 0, 3}));
}

TEST_F(FramerTest, RtuLongestFrameFits) {
    // Address + 261 data bytes + CRC fills the 263-byte buffer exactly.
    Bytes pdu(261, 0xA5);
    Bytes frame{1};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    unsigned crc = FrameCrc16(frame.data(), frame.size());
    frame.push_back((uint8_t)crc);
    frame.push_back((uint8_t)(crc >> 8));
    feed_rtu(frame);
    Bytes r = take_reply();
    ASSERT_EQ(r.size(), 262u);
    EXPECT_EQ(Bytes(r.begin() + 1, r.end()), pdu);
}

TEST_F(FramerTest, RtuBytesWithoutAWaiterAreDropped) {
    h->replyWanted = 0;
    feed_rtu(rtu_frame(1, {0x03, 0x02, 0x12, 0x34}));
    h->replyWanted = 1;
    EXPECT_TRUE(take_reply().empty());
}

TEST_F(FramerTest, RtuEmptyPoolDropsTheFrame) {
    std::vector<MsgBuffer *> taken;
    while (MsgBuffer *b = pool_take())
        taken.push_back(b);
    feed_rtu(rtu_frame(1, {0x03, 0x02, 0x12, 0x34}));
    for (MsgBuffer *b : taken)
        pool_give(b);
    EXPECT_TRUE(take_reply().empty());
}

TEST_F(FramerTest, AsciiRequestBytes) {
    queue_request(1, {0x03, 0x00, 0x00, 0x00, 0x01});
    Bytes out = drain_tx(AsciiTxByte);
    EXPECT_EQ(std::string(out.begin(), out.end()), ":010300000001FB\r\n");
    queue_request(0xF7, {0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0xAB, 0xCD});
    out = drain_tx(AsciiTxByte);
    EXPECT_EQ(std::string(out.begin(), out.end()),
              ascii_frame(0xF7, {0x10, 0, 0, 0, 1, 2, 0xAB, 0xCD}));
}

TEST_F(FramerTest, AsciiGoodReplyIsQueued) {
    feed_ascii(ascii_frame(1, {0x03, 0x02, 0x12, 0x34}));
    EXPECT_EQ(take_reply(), (Bytes{1, 0x03, 0x02, 0x12, 0x34}));
    // Noise before the ':' is ignored.
    feed_ascii("xx" + ascii_frame(5, {0x06, 0, 1, 0xAB, 0xCD}));
    EXPECT_EQ(take_reply(), (Bytes{5, 0x06, 0, 1, 0xAB, 0xCD}));
}

TEST_F(FramerTest, AsciiRepliesThatAreDropped) {
    std::string good = ascii_frame(1, {0x03, 0x02, 0xAB, 0xCD});
    std::string lower = good;
    for (char &c : lower)
        c = (char)tolower(c);
    std::string badLrc = good;
    badLrc[badLrc.size() - 3] = badLrc[badLrc.size() - 3] == '0' ? '1' : '0';
    const std::string cases[] = {lower, badLrc, ":\r", ":0\r", ":01\r"};
    for (const std::string &c : cases) {
        ReplyWaitCounter = 100;
        feed_ascii(c);
        EXPECT_TRUE(take_reply().empty()) << c;
    }
    // A frame of fewer than two bytes also ends the caller's wait at once.
    ReplyWaitCounter = 100;
    feed_ascii(":\r");
    EXPECT_EQ(ReplyWaitCounter.load(), 0);
}

TEST_F(FramerTest, AsciiOverlongFrameIsDropped) {
    ReplyWaitCounter = 100;
    feed_ascii(":" + std::string(600, '0') + "\r\n");
    EXPECT_EQ(ReplyWaitCounter.load(), 0);
    EXPECT_TRUE(take_reply().empty());
    feed_ascii(ascii_frame(1, {0x06, 0, 1, 0, 3}));
    EXPECT_EQ(take_reply(), (Bytes{1, 0x06, 0, 1, 0, 3}));
}

TEST_F(FramerTest, AsciiWithoutAWaiterIsDropped) {
    h->replyWanted = 0;
    feed_ascii(ascii_frame(1, {0x03, 0x02, 0x12, 0x34}));
    h->replyWanted = 1;
    EXPECT_TRUE(take_reply().empty());
}
