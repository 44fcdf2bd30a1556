// The caller's wait woken from another thread: a queued reply ends it at
// once, and so does a receive framer giving up on an overlong frame.
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

TEST(WaitReplyThreaded, ReplyFromTheReaderSideEndsTheWaitAtOnce) {
    pool_add_new(1);
    int baseline = pool_count();
    CommHandle *h = LinkHandle(false);
    auto t0 = Clock::now();
    const int rounds = 20;
    for (int i = 0; i < rounds; i++) {
        std::thread pusher([h] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            reply_push(h, pool_take());
        });
        MsgBuffer *b = WaitReply(h, 100);
        pusher.join();
        ASSERT_NE(b, nullptr);
        pool_give(b);
    }
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    // Polling every 10 ms would take at least 200 ms for the twenty. Under a
    // sanitizer the scheduling delays of an instrumented build swamp that
    // difference; there the rounds only check the handover itself.
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(ms, rounds * 10.0 * 0.75);
#else
    (void)ms;
#endif
    HandleFree(h);
    EXPECT_EQ(pool_count(), baseline);
}

TEST(WaitReplyThreaded, OverlongRtuFrameEndsTheWait) {
    pool_add_new(1);
    int baseline = pool_count();
    CommHandle *h = HandleAllocate(LINK_MODBUS_RTU);
    h->framing = FRAMING_RTU;
    h->replyWanted = 1;
    auto t0 = Clock::now();
    std::thread line([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        for (int i = 0; i < 300; i++)
            RxFramer(h, (uint8_t)i);
    });
    EXPECT_EQ(WaitReply(h, 500), nullptr); // five seconds unless cut short
    line.join();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 2.5);
    {
        std::lock_guard<std::recursive_mutex> g(h->lock);
        CloseRtuFrame(h);
    }
    LinkRelease(h);
    EXPECT_EQ(pool_count(), baseline);
}

} // namespace
