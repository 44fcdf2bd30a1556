// The gateway's line framers and the building and parsing of its command lines.
#include "comm/comm_internal.h"
#include "comm/gateway.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LineTest : ::testing::Test {
    CommHandle *h = nullptr;
    int poolBefore = 0;
    void SetUp() override {
        pool_add_new(3);
        poolBefore = pool_count();
        h = HandleAllocate(LINK_GATEWAY);
        ASSERT_NE(h, nullptr);
        h->framing = FRAMING_GATEWAY;
        h->replyWanted = 1;
    }
    void TearDown() override {
        reply_drain(h);
        EXPECT_EQ(pool_count(), poolBefore) << "a buffer went missing";
        HandleFree(h);
    }
    void feed(const std::string &s) {
        for (char c : s)
            GatewayRxByte(h, (uint8_t)c);
    }
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        while (MsgBuffer *b = WaitReply(h, 0)) {
            out.emplace_back(b->data, b->data + b->length);
            pool_give(b);
        }
        return out;
    }
};

} // namespace

TEST_F(LineTest, LinesEndAtAControlCharacter) {
    feed("10 20 30\r");
    feed("\r");
    feed(std::string(1, (char)0xB1) + "\r"); // reduced to 7 bits
    EXPECT_EQ(lines(), (std::vector<std::string>{"10 20 30\r", "\r", "1\r"}));
}

TEST_F(LineTest, OverlongLineIsCutOnce) {
    feed(std::string(300, '7') + "\r5\r");
    std::vector<std::string> got = lines();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::string(263, '7'));
    EXPECT_EQ(got[1], "5\r");
}

TEST_F(LineTest, FullLineEndedByItsOwnCr) {
    // 263 characters then CR: the CR still ends the line, the next line is kept.
    feed(std::string(263, '1') + "\r9\r");
    std::vector<std::string> got = lines();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::string(263, '1'));
    EXPECT_EQ(got[1], "9\r");
}

TEST_F(LineTest, NothingKeptWithoutAWaiter) {
    h->replyWanted = 0;
    feed("12\r");
    h->replyWanted = 1;
    EXPECT_TRUE(lines().empty());
}

TEST_F(LineTest, TransmitSendsTheLinesAsTheyAre) {
    for (const char *s : {"A 12 7\r", "R 1 2\r"}) {
        MsgBuffer *b = pool_take();
        ASSERT_NE(b, nullptr);
        b->length = (uint16_t)strlen(s);
        memcpy(b->data, s, b->length);
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        queue_append(&h->txQueue, b);
    }
    std::string out;
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    for (unsigned c; (c = GatewayTxByte(h)) < 256 && out.size() < 100;)
        out += (char)c;
    EXPECT_EQ(out, "A 12 7\rR 1 2\r");
}

TEST(GatewayLine, RouteCommand) {
    char line[GATEWAY_LINE_MAX];
    const uint16_t drops[8] = {12, 7, 255, 0, 1, 2, 3, 4};
    EXPECT_EQ(std::string(line, GatewayFormatRoute(line, 2, drops)), "A 12 7\r");
    EXPECT_EQ(std::string(line, GatewayFormatRoute(line, 0, drops)), "A\r");
    EXPECT_EQ(std::string(line, GatewayFormatRoute(line, 8, drops)), "A 12 7 255 0 1 2 3 4\r");
}

TEST(GatewayLine, WriteCommand) {
    char line[GATEWAY_LINE_MAX];
    int used = 0;
    const uint16_t values[] = {0, 32767, 32768, 65535};
    EXPECT_EQ(std::string(line, GatewayFormatWrite(line, 8190, 4, values, &used)),
              "W 8190 0 32767 4294934528 4294967295\r");
    EXPECT_EQ(used, 4);
}

TEST(GatewayLine, LongWriteIsSplitIntoLinesThatFit) {
    std::vector<uint16_t> values(128, 65535);
    char line[GATEWAY_LINE_MAX];
    int done = 0, lines = 0;
    while (done < 128) {
        int used = 0;
        int n = GatewayFormatWrite(line, 1 + done, 128 - done, values.data() + done, &used);
        ASSERT_LE(n, GATEWAY_LINE_MAX);
        ASSERT_GT(used, 0);
        EXPECT_EQ(line[n - 1], '\r');
        done += used;
        lines++;
    }
    EXPECT_GT(lines, 1);
}

TEST(GatewayLine, ParseReplies) {
    struct Case {
        std::string line;
        int count;
        std::vector<uint16_t> values;
    } cases[] = {
        {"10 20 30\r", 3, {10, 20, 30}},
        {"10 20\r", 3, {10, 20}},
        {"-5\r", 1, {5}},
        {"1,2;3\r", 3, {1, 2, 3}},
        {"65536 70000\r", 2, {0, 4464}},        // low 16 bits
        {"99999999999999999999\r", 1, {65535}}, // wraps, no overflow trap
        {"\r", 1, {}},
        {"1 2 3 4\r", 2, {1, 2}},                  // no more than asked
        {"12 \r34\r", 2, {12}},                    // stops at the CR
        {std::string(263, '7'), 1, {(uint16_t)0}}, // cut line without CR
    };
    for (const Case &c : cases) {
        uint16_t values[8] = {0};
        int n =
            GatewayParseValues((const uint8_t *)c.line.data(), (int)c.line.size(), c.count, values);
        ASSERT_EQ(n, (int)c.values.size()) << c.line;
        for (int i = 0; i < n; i++)
            if (c.line.size() < 100) {
                EXPECT_EQ(values[i], c.values[i]) << c.line;
            }
    }
}
