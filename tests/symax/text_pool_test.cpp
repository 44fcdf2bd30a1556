// Status texts, and the buffer pool, queues and reply wait without threads.
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>

namespace {

TEST(StatusText, KnownCodes) {
    struct {
        unsigned code;
        const char *text;
    } cases[] = {
        {0, "No Error"},
        {4, "Illegal Rack Address"},
        {11, "Communications Overflow"},
        {15, "Communications Overflow"},
        {29, "Illegal Route"},
        {30, "Inhibit Coil In Protected Memory"},
        {31, "Protected Memory"},
        {88, "File Not Found"},
        {106, "Protected File"},
        {107, "Illegal File Type"},
        {134, "Illegal Communication To COMM Port"},
        {135, "Error Noted During A Transfer"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(SymaxStatusText(c.code), c.text) << c.code;
}

TEST(StatusText, EveryByteHasAText) {
    std::set<std::string> distinct;
    for (unsigned code = 0; code < 256; code++) {
        const char *t = SymaxStatusText(code);
        ASSERT_NE(t, nullptr);
        EXPECT_GT(strlen(t), 0u);
        // "(255) " and the text must fit the error text.
        EXPECT_LT(strlen(t) + 6, (size_t)ERROR_TEXT_SIZE) << code;
        if (code < 136)
            distinct.insert(t);
    }
    // Five texts appear under two codes.
    EXPECT_EQ(distinct.size(), 131u);
    EXPECT_STREQ(SymaxStatusText(136), SymaxStatusText(255));
    EXPECT_STREQ(SymaxStatusText(1000), SymaxStatusText(136));
}

TEST(ModbusText, TheTwelveCodes) {
    const char *expected[] = {"ILLEGAL FUNCTION",
                              "ILLEGAL DATA ADDRESS",
                              "ILLEGAL DATA VALUE",
                              "SLAVE DEVICE FAILURE",
                              "ACKNOWLEDGE",
                              "SLAVE DEVICE BUSY",
                              "NEGATIVE ACKNOWLEDGE",
                              "MEMORY PARITY ERROR",
                              "Modbus error 9",
                              "Modbus error 10",
                              "DOWNSTREAM DEVICE DIDN'T RESPOND",
                              "NO FREE MASTER PATH"};
    for (unsigned code = 1; code <= 12; code++)
        EXPECT_STREQ(ModbusExceptionText(code), expected[code - 1]);
    for (unsigned code : {0u, 13u, 255u, 70000u}) {
        ASSERT_NE(ModbusExceptionText(code), nullptr);
        for (const char *t : expected)
            EXPECT_STRNE(ModbusExceptionText(code), t);
    }
}

TEST(Queue, FifoOrderAndTail) {
    MsgBuffer a{}, b{}, c{};
    MsgQueue q = {nullptr, nullptr};
    EXPECT_EQ(queue_take(&q), nullptr);
    a.link = &c; // a stale link is cleared on append
    queue_append(&q, &a);
    queue_append(&q, &b);
    EXPECT_EQ(queue_take(&q), &a);
    EXPECT_EQ(a.link, nullptr);
    queue_append(&q, &c);
    EXPECT_EQ(queue_take(&q), &b);
    EXPECT_EQ(queue_take(&q), &c);
    EXPECT_EQ(q.head, nullptr);
    EXPECT_EQ(q.tail, nullptr);
    queue_append(&q, &a);
    EXPECT_EQ(q.head, &a);
    EXPECT_EQ(q.tail, &a);
}

TEST(Pool, CountsFollowTakeAndGive) {
    int before = pool_count();
    pool_add_new(2);
    EXPECT_EQ(pool_count(), before + 2);
    MsgBuffer *x = pool_take();
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(pool_count(), before + 1);
    pool_give(x);
    pool_give(nullptr);
    EXPECT_EQ(pool_count(), before + 2);
}

TEST(Pool, FlushAndDrainReturnEveryBuffer) {
    pool_add_new(4);
    int before = pool_count();
    CommHandle *h = LinkHandle(false);
    reply_push(h, pool_take());
    reply_push(h, pool_take());
    {
        std::lock_guard<std::recursive_mutex> g(h->lock);
        queue_append(&h->txQueue, pool_take());
    }
    EXPECT_EQ(pool_count(), before - 3);
    reply_drain(h);
    EXPECT_EQ(pool_count(), before - 1);
    EXPECT_EQ(h->replyQueue.head, nullptr);
    reply_push(h, pool_take());
    FlushQueues(h);
    EXPECT_EQ(pool_count(), before);
    EXPECT_EQ(h->txQueue.head, nullptr);
    EXPECT_EQ(h->replyQueue.head, nullptr);
    HandleFree(h);
}

int CountingHook(void *arg) {
    int *n = static_cast<int *>(arg);
    return ++*n < 1000;
}

int AbortAtThird(void *arg) {
    int *n = static_cast<int *>(arg);
    return ++*n < 3;
}

TEST(WaitReply, ZeroTicksAndQueuedReply) {
    pool_add_new(1);
    CommHandle *h = LinkHandle(false);
    EXPECT_EQ(WaitReply(h, 0), nullptr);
    MsgBuffer *b = pool_take();
    reply_push(h, b);
    int calls = 0;
    SetIdleHook(h, CountingHook, &calls);
    EXPECT_EQ(WaitReply(h, 0), b); // a waiting reply is taken even with no time
    reply_push(h, b);
    EXPECT_EQ(WaitReply(h, 100), b);
    EXPECT_EQ(calls, 0);
    pool_give(b);
    HandleFree(h);
}

TEST(WaitReply, TicksBoundTheWaitAndCallTheHookEachTick) {
    CommHandle *h = LinkHandle(false);
    int calls = 0;
    SetIdleHook(h, CountingHook, &calls);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitReply(h, 5), nullptr);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_EQ(calls, 5);
    EXPECT_GE(ms, 45); // five ticks of about 10 ms, never fewer
    EXPECT_EQ(ReplyWaitCounter.load(), 0);
    HandleFree(h);
}

TEST(WaitReply, HookAbortEndsTheWait) {
    CommHandle *h = LinkHandle(false);
    int calls = 0;
    SetIdleHook(h, AbortAtThird, &calls);
    SetCommError(h, "Read reply timeout");
    EXPECT_EQ(WaitReply(h, 500), nullptr);
    EXPECT_EQ(calls, 3);
    EXPECT_STREQ(CommErrorText(h), "Application idle abort");
    HandleFree(h);
}

} // namespace
