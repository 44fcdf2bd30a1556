// The RTU receive framer closes a reply with its last byte when the reply's
// own bytes give its length and its CRC checks; anything else waits for the
// quiet line (CloseRtuFrame), as it always did.
#include "comm/comm_internal.h"
#include "sim/modbus_serial/serial_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes rtu_frame(int slave, const Bytes &pdu) {
    uint8_t out[FRAME_RTU_MAX];
    int n = FrameRtuEncode(slave, pdu.data(), (int)pdu.size(), out);
    return Bytes(out, out + n);
}

// An address and its CRC, nothing else: the frame of an empty PDU.
Bytes address_only(uint8_t slave) {
    unsigned crc = 0xFFFF ^ slave;
    for (int bit = 0; bit < 8; bit++)
        crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    return {slave, uint8_t(crc & 0xFF), uint8_t(crc >> 8)};
}

struct RtuClose : ::testing::Test {
    CommHandle *h = nullptr;
    int poolBefore = 0;
    void SetUp() override {
        pool_add_new(3);
        poolBefore = pool_count();
        h = HandleAllocate(LINK_MODBUS_RTU);
        ASSERT_NE(h, nullptr);
        h->framing = FRAMING_RTU;
        h->replyWanted = 1;
    }
    void TearDown() override {
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        CloseRtuFrame(h);
        reply_drain(h);
        EXPECT_EQ(pool_count(), poolBefore) << "a buffer went missing";
        HandleFree(h);
    }
    int queued() {
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        int n = 0;
        for (MsgBuffer *b = h->replyQueue.head; b; b = b->link)
            n++;
        return n;
    }
    // Feeds the bytes one at a time; the count of bytes fed when the first
    // reply was queued, or 0 when none was.
    size_t feed_until_queued(const Bytes &bytes) {
        for (size_t i = 0; i < bytes.size(); i++) {
            RxFramer(h, bytes[i]);
            if (queued() > 0)
                return i + 1;
        }
        return 0;
    }
    // The first queued reply as address then PDU; empty when none.
    Bytes take_reply() {
        MsgBuffer *b = WaitReply(h, 0);
        if (!b)
            return {};
        Bytes r{b->route[0]};
        r.insert(r.end(), b->data, b->data + b->length);
        pool_give(b);
        return r;
    }
    void quiet() {
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        CloseRtuFrame(h);
    }
};

// Every reply whose length it tells itself is taken with its last byte.
TEST_F(RtuClose, CompleteRepliesAreTakenWithTheirLastByte) {
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"exception", {0x83, 0x02}},
        {"read coils", {0x01, 0x02, 0xA5, 0x01}},
        {"read inputs", {0x02, 0x01, 0x00}},
        {"read holding", {0x03, 0x04, 0x12, 0x34, 0x00, 0x10}},
        {"read holding, none", {0x03, 0x00}},
        {"read input registers", {0x04, 0x02, 0xFF, 0xFF}},
        {"write coil", {0x05, 0x00, 0x07, 0xFF, 0x00}},
        {"write register", {0x06, 0x00, 0x01, 0x00, 0x03}},
        {"write coils", {0x0F, 0x00, 0x13, 0x00, 0x0A}},
        {"write registers", {0x10, 0x00, 0x01, 0x00, 0x02}},
        {"file read", {0x14, 0x06, 0x05, 0x06, 0x0D, 0xFE, 0x00, 0x20}},
        {"file write echo", {0x15, 0x09, 0x06, 0x00, 0x04, 0x00, 0x07, 0x00, 0x01, 0x06, 0xAF}},
        {"bytes that look like DLE and CR", {0x03, 0x02, 0x10, 0x0D}},
    };
    for (const auto &[name, pdu] : cases) {
        SCOPED_TRACE(name);
        Bytes frame = rtu_frame(17, pdu);
        EXPECT_EQ(feed_until_queued(frame), frame.size());
        Bytes want{17};
        want.insert(want.end(), pdu.begin(), pdu.end());
        EXPECT_EQ(take_reply(), want);
        quiet(); // the line then goes quiet: nothing more comes of it
        EXPECT_EQ(queued(), 0);
    }
}

// A reply that is garbled, or whose length cannot be told from its bytes,
// is held until the line goes quiet and then handled as before: queued when
// its CRC checks, dropped when it does not.
TEST_F(RtuClose, OtherFramesWaitForTheQuietLine) {
    struct Case {
        std::string name;
        Bytes frame;
        bool queuedAtQuiet;
    };
    Bytes badCrc = rtu_frame(1, {0x03, 0x02, 0x00, 0x2A});
    badCrc.back() ^= 0x40;
    Bytes badCount = rtu_frame(1, {0x03, 0x04, 0x00, 0x2A});
    badCount[2] = 0x02; // the count says 2 bytes, the CRC was made over 4
    Bytes longer = rtu_frame(1, {0x03, 0x02, 0x00, 0x2A, 0x00}); // one byte past its count
    Bytes shortExc = {0x01, 0x83};
    const std::vector<Case> cases = {
        {"bad CRC", badCrc, false},
        {"byte count that disagrees with the CRC", badCount, false},
        {"more bytes than the count", longer, true},
        {"function of unknown length", rtu_frame(1, {0x2B, 0x0E, 0x01}), true},
        {"report slave id", rtu_frame(1, {0x11, 0x02, 0x01, 0xFF}), true},
        {"truncated exception", shortExc, false},
        {"address only and CRC", address_only(1), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(feed_until_queued(c.frame), 0u) << "taken before the line went quiet";
        quiet();
        EXPECT_EQ(queued(), c.queuedAtQuiet ? 1 : 0);
        reply_drain(h);
    }
}

// Two replies back to back without a pause: the first closes by its length,
// the second is a frame of its own.
TEST_F(RtuClose, BackToBackRepliesAreTwoFrames) {
    Bytes first = rtu_frame(2, {0x06, 0x00, 0x01, 0x00, 0x03});
    Bytes second = rtu_frame(2, {0x03, 0x02, 0x00, 0x07});
    Bytes line = first;
    line.insert(line.end(), second.begin(), second.end());
    for (uint8_t c : line)
        RxFramer(h, c);
    EXPECT_EQ(queued(), 2);
    EXPECT_EQ(take_reply(), (Bytes{2, 0x06, 0x00, 0x01, 0x00, 0x03}));
    EXPECT_EQ(take_reply(), (Bytes{2, 0x03, 0x02, 0x00, 0x07}));
}

// Without a caller waiting, nothing is kept, early or late.
TEST_F(RtuClose, NothingIsKeptWhenNoReplyIsWanted) {
    h->replyWanted = 0;
    Bytes frame = rtu_frame(1, {0x06, 0x00, 0x01, 0x00, 0x03});
    EXPECT_EQ(feed_until_queued(frame), 0u);
    quiet();
    EXPECT_EQ(queued(), 0);
}

} // namespace
