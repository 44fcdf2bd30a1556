// Message buffers: the process-wide pool, the handle's queues, and the
// caller's wait for a reply.
#include "comm/comm_internal.h"

#include <chrono>
#include <new>

std::atomic<int32_t> ReplyWaitCounter{0};

namespace {

// The pool has its own lock, always the last one taken: no pool function
// takes any other lock.
std::mutex poolLock;
MsgQueue pool = {nullptr, nullptr};
int poolSize = 0;

const auto kTick = std::chrono::milliseconds(10);

} // namespace

void queue_append(MsgQueue *q, MsgBuffer *b) {
    b->link = nullptr;
    if (q->tail)
        q->tail->link = b;
    else
        q->head = b;
    q->tail = b;
}

MsgBuffer *queue_take(MsgQueue *q) {
    MsgBuffer *b = q->head;
    if (!b)
        return nullptr;
    q->head = b->link;
    if (!q->head)
        q->tail = nullptr;
    b->link = nullptr;
    return b;
}

MsgBuffer *pool_take(void) {
    std::lock_guard<std::mutex> guard(poolLock);
    MsgBuffer *b = queue_take(&pool);
    if (b)
        poolSize--;
    return b;
}

void pool_give(MsgBuffer *b) {
    if (!b)
        return;
    std::lock_guard<std::mutex> guard(poolLock);
    queue_append(&pool, b);
    poolSize++;
}

void pool_add_new(int n) {
    for (int i = 0; i < n; i++) {
        // A failed allocation is skipped: the pool is only a little smaller.
        MsgBuffer *b = new (std::nothrow) MsgBuffer();
        if (b)
            pool_give(b);
    }
}

int pool_count(void) {
    std::lock_guard<std::mutex> guard(poolLock);
    return poolSize;
}

void reply_push(CommHandle *h, MsgBuffer *b) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    queue_append(&h->replyQueue, b);
    h->replyArrived.notify_all();
}

void reply_drain(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    while (MsgBuffer *b = queue_take(&h->replyQueue))
        pool_give(b);
}

void FlushQueues(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    while (MsgBuffer *b = queue_take(&h->replyQueue))
        pool_give(b);
    while (MsgBuffer *b = queue_take(&h->txQueue))
        pool_give(b);
}

MsgBuffer *TxFrameTake(CommHandle *h) {
    MsgBuffer *b = queue_take(&h->txQueue);
    if (!b)
        return nullptr;
    if (b->length > MSG_DATA_SIZE)
        b->length = MSG_DATA_SIZE;
    h->txBuffer = b;
    h->txCursor = 0;
    return b;
}

MsgBuffer *RequestBuffer(CommHandle *h) {
    reply_drain(h);
    MsgBuffer *b = pool_take();
    if (!b) {
        SetCommError(h, "Buffer shortage, try again");
        FlushQueues(h);
    }
    return b;
}

// Takes the first reply, waiting up to ticks of about 10 ms. The idle hook is
// called once a tick; a reply wakes the wait at once, and so does a receive
// framer that clears ReplyWaitCounter (it notifies replyArrived), and so does
// a hang-up of the line.
MsgBuffer *WaitReply(CommHandle *h, int ticks) {
    std::unique_lock<std::recursive_mutex> guard(h->lock);
    bool aborted = false;
    if (!h->replyQueue.head) {
        if (ticks <= 0) {
            h->stats.timeouts++;
            return nullptr;
        }
        ReplyWaitCounter = ticks;
        while (!h->replyQueue.head) {
            // A hung-up line ends the wait at once: nothing more can come.
            if (ReplyWaitCounter.load() <= 0 || SerialLineDown(h))
                break;
            IdleHook hook = h->idleHook;
            void *arg = h->idleArg;
            // The hook draws and reads keys: it runs without the handle's lock.
            guard.unlock();
            int goOn = hook ? hook(arg) : 1;
            guard.lock();
            if (!goOn) {
                SetCommError(h, "Application idle abort");
                aborted = true;
                break;
            }
            auto until = std::chrono::steady_clock::now() + kTick;
            h->replyArrived.wait_until(guard, until, [h] {
                return h->replyQueue.head != nullptr || ReplyWaitCounter.load() <= 0 ||
                       SerialLineDown(h);
            });
            ReplyWaitCounter.fetch_sub(1);
        }
        ReplyWaitCounter = 0;
    }
    MsgBuffer *reply = queue_take(&h->replyQueue);
    if (reply)
        h->stats.repliesTaken++;
    else if (!aborted)
        h->stats.timeouts++;
    return reply;
}
