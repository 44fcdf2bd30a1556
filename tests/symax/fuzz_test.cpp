// Seeded random and hostile byte streams against the Sy/Max receive framer
// and random replies against the message layer: no crash, no overrun (run
// under AddressSanitizer), no buffer lost, never more values stored than asked.
#include "comm/symax_message.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// Bytes with a strong lean towards the ones the framer cares about.
uint8_t InterestingByte(std::mt19937 &rng) {
    static const uint8_t special[] = {DLE,  SOH,  STX, ETX, ENQ, DC1, DC2,  NAK, SYN,
                                      FILL, 0xFF, '0', '9', 'A', 'F', 0x86, 0x00};
    if (rng() % 3 == 0)
        return (uint8_t)rng();
    return special[rng() % sizeof special];
}

// Checks what the framer keeps and empties the queues into the pool.
void CheckAndEmpty(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> g(h->lock);
    ASSERT_LE(h->rxCursor, (unsigned)MSG_DATA_SIZE);
    ASSERT_LE(h->rxRoom, (unsigned)MSG_DATA_SIZE);
    while (MsgBuffer *b = queue_take(&h->replyQueue)) {
        EXPECT_LE(b->length, (unsigned)MSG_DATA_SIZE);
        EXPECT_GE(b->length, 2u);
        DecodeRoute(b); // must stay inside the route area whatever it holds
        pool_give(b);
    }
}

class Fuzz : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        pool_add_new(3);
        baseline = pool_count();
    }
    void TearDown() override { EXPECT_EQ(pool_count(), baseline) << "a buffer was lost"; }
    int baseline = 0;
};

INSTANTIATE_TEST_SUITE_P(CheckModes, Fuzz, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Crc" : "Bcc"; });

TEST_P(Fuzz, RandomStreams) {
    for (unsigned seed = 1; seed <= 200; seed++) {
        std::mt19937 rng(seed);
        CommHandle *h = LinkHandle(GetParam());
        h->expectedTransaction = (uint8_t)rng();
        if (seed % 2)
            SendMessage(h, RequestBuffer("01", {0x00, 1, 0, 0, 0, 0}));
        for (int i = 0; i < 5000; i++) {
            RxFramer(h, InterestingByte(rng));
            if (rng() % 16 == 0)
                Drain(h, 1 + rng() % 40);
            if (rng() % 64 == 0)
                CheckAndEmpty(h);
        }
        CheckAndEmpty(h);
        LinkRelease(h);
    }
}

TEST_P(Fuzz, MutatedGoodFrames) {
    std::mt19937 rng(77);
    for (int round = 0; round < 2000; round++) {
        CommHandle *h = LinkHandle(GetParam());
        h->expectedTransaction = 5;
        Bytes data = {0x86, 5};
        int n = (int)(rng() % 280);
        for (int i = 0; i < n; i++)
            data.push_back(InterestingByte(rng));
        std::string route(rng() % 20, '1');
        Bytes frame = RefFrame(DC1, route, data, GetParam());
        int edits = 1 + (int)(rng() % 4);
        for (int e = 0; e < edits && !frame.empty(); e++) {
            size_t at = rng() % frame.size();
            switch (rng() % 3) {
            case 0:
                frame[at] = InterestingByte(rng);
                break;
            case 1:
                frame.insert(frame.begin() + (long)at, InterestingByte(rng));
                break;
            default:
                frame.erase(frame.begin() + (long)at);
                break;
            }
        }
        Feed(h, frame);
        Drain(h);
        CheckAndEmpty(h);
        LinkRelease(h);
    }
}

// Frames that once needed care; each is fed whole and must leave no buffer
// held when it ends.
TEST_P(Fuzz, RegressionCases) {
    const bool crc = GetParam();
    Bytes longest(263, 0x10);
    longest[0] = 0x86;
    longest[1] = 1;
    std::vector<Bytes> cases = {
        RefFrame(DC1, std::string(16, 'F'), {0x86, 1}, crc), // the longest route
        RefFrame(DC1, std::string(17, 'F'), {0x86, 1}, crc), // one too long
        RefFrame(DC1, "01", longest, crc),                   // 263 data bytes, all stuffed
        RefFrame(DC1, "01", {}, crc),                        // no data at all
        RefFrame(DC1, "01", {0x86}, crc),                    // no transaction byte
        {DLE, SOH, DLE, SOH, DLE, SOH},                      // starts only
        {DLE, SOH, DC1, DLE, STX, DLE},                      // ends on a DLE
        {DLE, SOH, DC1, DLE, STX, DLE, ETX},                 // ends before its check
        {DLE, DLE, DLE, DLE, DLE},
        {DLE, ENQ, DLE, ENQ, DLE, NAK, DLE, SYN, DLE, DC1, DLE, DC2},
    };
    for (size_t i = 0; i < cases.size(); i++) {
        CommHandle *h = LinkHandle(crc);
        h->expectedTransaction = 1;
        Feed(h, cases[i]);
        Drain(h);
        CheckAndEmpty(h);
        // A fresh good frame after the case is received, at the latest when
        // the peer sends it again after a NAK (a case ending on DLE takes
        // the next frame's DLE as data).
        Bytes ack;
        for (int attempt = 0; attempt < 2 && !h->replyQueue.head; attempt++) {
            Feed(h, RefFrame(DC2, "01", {0x86, 1, 0, 0, 0, 7}, crc));
            ack = Drain(h);
        }
        EXPECT_GE(ack.size(), 2u) << "case " << i;
        if (ack.size() >= 2) {
            EXPECT_EQ(Bytes(ack.end() - 2, ack.end()), (Bytes{DLE, DC2})) << "case " << i;
        }
        EXPECT_TRUE(h->replyQueue.tail && h->replyQueue.tail->data[5] == 7) << "case " << i;
        CheckAndEmpty(h);
        LinkRelease(h);
    }
}

struct RandomReply {
    std::mt19937 *rng;
    CommHandle *h;
};

// Answers each request with random data of random length; the transaction
// byte is right most of the time.
int RandomReplyHook(void *arg) {
    RandomReply *r = static_cast<RandomReply *>(arg);
    std::mt19937 &rng = *r->rng;
    Bytes frame = DrainFrame(r->h);
    Feed(r->h, {DLE, frame.size() > 2 ? frame[2] : (uint8_t)DC1});
    MsgBuffer *b = pool_take();
    if (!b)
        return 0;
    b->length = (uint16_t)(rng() % (MSG_DATA_SIZE + 1));
    for (int i = 0; i < MSG_DATA_SIZE; i++)
        b->data[i] = InterestingByte(rng);
    static const uint8_t opcodes[] = {0x86, 0x90, 0x80, 0x92, 0xA2, 0x01};
    b->data[0] = opcodes[rng() % 6];
    if (rng() % 8)
        b->data[1] = r->h->expectedTransaction;
    b->route[0] = 0xFF;
    reply_push(r->h, b);
    return 1;
}

TEST(MessageFuzz, RandomRepliesNeverStoreMoreThanAsked) {
    pool_add_new(3);
    int baseline = pool_count();
    std::mt19937 rng(4242);
    CommHandle *h = LinkHandle(false);
    h->replyTimeout = 2;
    RandomReply r = {&rng, h};
    SetIdleHook(h, RandomReplyHook, &r);
    for (int round = 0; round < 3000; round++) {
        int count = 1 + (int)(rng() % 128);
        uint16_t values[130];
        for (uint16_t &v : values)
            v = 0xC0DE;
        int op = (int)(rng() % 5);
        int result = op == 0   ? SymaxRead(h, 1, count, values)
                     : op == 1 ? SymaxWrite(h, 1, count, values)
                     : op == 2 ? SymaxRead3X(h, 0, 1, count, values)
                     : op == 3 ? SymaxRead6X(h, 1, 1, count, values)
                               : SymaxWrite6X(h, 1, 1, count % 100 + 1, values);
        EXPECT_GE(result, 0);
        if (op != 4) {
            EXPECT_LE(result, count);
        }
        if (op != 1 && op != 4) {
            for (int i = count; i < 130; i++)
                ASSERT_EQ(values[i], 0xC0DE) << "round " << round;
        }
        if (result == 0) {
            EXPECT_GT(strlen(CommErrorText(h)), 0u);
        }
        h->priority = (uint8_t)(rng() % 2);
    }
    LinkRelease(h);
    EXPECT_EQ(pool_count(), baseline);
}

} // namespace
