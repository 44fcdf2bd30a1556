// The device side of the fuzz targets' serial links; see fuzz_link.h.
#include "fuzz/fuzz_link.h"

#include "fuzz/fuzz_check.h"

#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define FUZZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define FUZZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif
#ifndef FUZZ_POISON
#define FUZZ_POISON(p, n) ((void)(p), (void)(n))
#define FUZZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

enum : uint8_t { DLE = 0x10, SOH = 0x01, STX = 0x02, ETX = 0x03, DC1 = 0x11 };
// What the bytes past a reply's end hold: zeros read as "status 0, no error".
const uint8_t SENTINEL = 0x00;

// Fills and poisons the bytes of each queued reply past its length.
void PoisonReplies(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    for (MsgBuffer *b = h->replyQueue.head; b; b = b->link) {
        uint8_t *end = reinterpret_cast<uint8_t *>(b) + sizeof *b;
        uint8_t *from = b->data + (b->length < MSG_DATA_SIZE ? b->length : MSG_DATA_SIZE);
        FUZZ_UNPOISON(from, (size_t)(end - from)); // a reply still queued from before
        memset(from, SENTINEL, (size_t)(end - from));
        FUZZ_POISON(from, (size_t)(end - from));
    }
}

// The request goes out; a framed device acknowledges it at once.
void TakeRequest(FuzzDevice *d) {
    CommHandle *h = d->h;
    uint8_t sequence = h->sequenceChar;
    for (int i = 0; i < 600; i++) {
        unsigned b;
        {
            std::lock_guard<std::recursive_mutex> guard(h->lock);
            if (h->framing == FRAMING_SYMAX && h->txState == 10 && !(h->txFlags & 0xBF))
                break;
            b = TxFramer(h);
        }
        if (b > 0xFF)
            break;
    }
    if (d->framed && h->framing == FRAMING_SYMAX) {
        RxFramer(h, DLE);
        RxFramer(h, sequence);
    }
}

// One Sy/Max frame around data, as the device sends it (BCC or CRC by the handle's mode).
void FeedFrame(CommHandle *h, const uint8_t *data, size_t n) {
    bool crc = (h->txFlags & TXF_CRC) != 0;
    unsigned check = crc ? 0xFFFF : 0;
    auto covered = [&](uint8_t b) { check = CheckStep(check, b, crc) & 0xFFFF; };
    RxFramer(h, DLE);
    RxFramer(h, SOH);
    const uint8_t head[] = {DC1, '0', '1'};
    for (uint8_t b : head) {
        covered(b);
        RxFramer(h, b);
    }
    covered(DLE);
    covered(STX);
    RxFramer(h, DLE);
    RxFramer(h, STX);
    for (size_t i = 0; i < n; i++) {
        if (data[i] == DLE) {
            covered(DLE);
            RxFramer(h, DLE);
        }
        covered(data[i]);
        RxFramer(h, data[i]);
    }
    covered(DLE);
    covered(ETX);
    RxFramer(h, DLE);
    RxFramer(h, ETX);
    if (crc)
        RxFramer(h, (uint8_t)(check >> 8));
    RxFramer(h, (uint8_t)check);
}

// Feeds the device's next segment.
void FeedSegment(FuzzDevice *d) {
    CommHandle *h = d->h;
    size_t n = d->data[d->at++];
    if (n > d->size - d->at)
        n = d->size - d->at;
    const uint8_t *segment = d->data + d->at;
    d->at += n;
    d->segments++;
    if (d->framed && h->framing == FRAMING_SYMAX) {
        FeedFrame(h, segment, n);
    } else {
        for (size_t i = 0; i < n; i++)
            RxFramer(h, segment[i]);
    }
    if (h->framing == FRAMING_RTU) {
        // The line goes quiet after the segment.
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        CloseRtuFrame(h);
    }
}

bool ReplyQueued(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    return h->replyQueue.head != nullptr;
}

// Segments go in until a reply is queued; when they run out without one the
// wait is given up at once rather than waited out.
int DeviceHook(void *arg) {
    FuzzDevice *d = static_cast<FuzzDevice *>(arg);
    CommHandle *h = d->h;
    TakeRequest(d);
    while (d->at < d->size && !ReplyQueued(h))
        FeedSegment(d);
    PoisonReplies(h);
    return ReplyQueued(h) ? 1 : 0;
}

} // namespace

// The fuzz targets link with --wrap of pool_take (see CMakeLists.txt): every
// buffer the library takes from the pool is whole again, whatever reply it
// carried before.
extern "C" MsgBuffer *__real__Z9pool_takev();
extern "C" MsgBuffer *__wrap__Z9pool_takev() {
    MsgBuffer *b = __real__Z9pool_takev();
    if (b)
        FUZZ_UNPOISON(b, sizeof *b);
    return b;
}

// RequestBuffer takes its buffer inside the pool's own file, where the call
// to pool_take is not wrapped, so its buffer is made whole here.
extern "C" MsgBuffer *__real__Z13RequestBufferP10CommHandle(CommHandle *h);
extern "C" MsgBuffer *__wrap__Z13RequestBufferP10CommHandle(CommHandle *h) {
    MsgBuffer *b = __real__Z13RequestBufferP10CommHandle(h);
    if (b)
        FUZZ_UNPOISON(b, sizeof *b);
    return b;
}

CommHandle *FuzzLinkOpen(int kind, FuzzDevice *device) {
    CommHandle *h = HandleAllocate(kind);
    if (!h)
        return nullptr;
    bool symax = kind == LINK_SYMAX;
    h->framing = kind == LINK_SYMAX          ? FRAMING_SYMAX
                 : kind == LINK_GATEWAY      ? FRAMING_GATEWAY
                 : kind == LINK_MODBUS_ASCII ? FRAMING_ASCII
                                             : FRAMING_RTU;
    h->readSize = symax ? 8 : SERIAL_BUFFER_SIZE;
    h->writeChunk = symax ? 8 : SERIAL_BUFFER_SIZE;
    h->gatewayRoute.count = 0xFFFF;
    h->route.count = 1;
    h->route.drops[0] = 1;
    h->replyTimeout = 3;
    device->h = h;
    SetIdleHook(h, DeviceHook, device);
    return h;
}

void FuzzLinkClose(CommHandle *h) {
    FlushQueues(h);
    pool_give(h->rxBuffer);
    pool_give(h->txBuffer);
    HandleFree(h);
}

// Runs operation op on registers from 1 (or file 1 record 1); reads go into values.
int FuzzRunOperation(CommHandle *h, int op, int count, uint16_t *values, bool *reads) {
    *reads = true;
    switch (op) {
    case 0:
        return Read4X(h, 1, count, values);
    case 1:
        return Read3X(h, 0, 1, count, values);
    case 2:
        return Read6X(h, 1, 1, count, values);
    case 3:
        return Read0X(h, 0, 1, count, values);
    case 4:
        return Read1X(h, 0, 1, count, values);
    default:
        break;
    }
    *reads = false;
    for (int i = 0; i < count; i++)
        values[i] = (uint16_t)(0x1001 * i);
    switch (op) {
    case 5:
        return Write4X(h, 1, count, values);
    case 6:
        return Write4XOp6(h, 1, 1, values);
    case 7:
        return Write6X(h, 1, 1, count, values);
    case 8:
        return Write3X(h, 1, count, values);
    case 9:
        return Write0X(h, 1, 1, values);
    default:
        return Write0XMulti(h, 1, count, values);
    }
}

// Runs and checks the two operations of ops.
void FuzzRunOperations(CommHandle *h, uint8_t ops, int count, bool (*carried)(int kind, int op)) {
    const uint16_t CANARY = 0xC0DE;
    for (int k = 0; k < 2; k++) {
        int op = (k == 0 ? (ops & 0x0F) : (ops >> 4)) % 11;
        uint16_t values[FUZZ_MOST + 1];
        for (uint16_t &v : values)
            v = CANARY;
        bool reads = false;
        SetCommError(h, "");
        int result = FuzzRunOperation(h, op, count, values, &reads);
        FUZZ_CHECK(result >= 0);
        if (reads) {
            FUZZ_CHECK(result <= count);
            FUZZ_CHECK(values[count] == CANARY); // nothing stored past the count
        }
        if (result == 0 && (!carried || carried(h->kind, op)))
            FUZZ_CHECK(CommErrorText(h)[0] != '\0'); // a failure always says why
    }
}
