// Test helpers for the Sy/Max link: an independent frame encoder and a
// handle without a port whose framers the test drives byte by byte.
#pragma once
#include "comm/comm_internal.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

enum : uint8_t {
    SOH = 1,
    STX = 2,
    ETX = 3,
    ENQ = 5,
    DLE = 0x10,
    DC1 = 0x11,
    DC2 = 0x12,
    NAK = 0x15,
    SYN = 0x16,
    FILL = 0xFE
};

// Reference checks, written out bit by bit.
inline unsigned RefCrc(const Bytes &covered) {
    unsigned crc = 0xFFFF;
    for (uint8_t b : covered) {
        crc ^= b;
        for (int i = 0; i < 8; i++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}
inline unsigned RefBcc(const Bytes &covered) {
    unsigned sum = 0;
    for (uint8_t b : covered)
        sum += b;
    return (0x100 - (sum & 0xFF)) & 0xFF;
}

// A whole frame as a peer sends it: DLE SOH seq route DLE STX data DLE ETX check.
inline Bytes RefFrame(uint8_t seq, const std::string &route, const Bytes &data, bool crc) {
    Bytes covered, wire = {DLE, SOH, seq};
    covered.push_back(seq);
    for (char c : route) {
        wire.push_back((uint8_t)c);
        covered.push_back((uint8_t)c);
    }
    wire.insert(wire.end(), {DLE, STX});
    covered.insert(covered.end(), {DLE, STX});
    for (uint8_t b : data) {
        if (b == DLE) {
            wire.push_back(DLE);
            covered.push_back(DLE);
        }
        wire.push_back(b);
        covered.push_back(b);
    }
    wire.insert(wire.end(), {DLE, ETX});
    covered.insert(covered.end(), {DLE, ETX});
    if (crc) {
        unsigned c = RefCrc(covered);
        wire.push_back((uint8_t)(c >> 8));
        wire.push_back((uint8_t)c);
    } else {
        wire.push_back((uint8_t)RefBcc(covered));
    }
    return wire;
}

// A Sy/Max handle without a port: KickWriter leaves the transmit framer alone.
inline CommHandle *LinkHandle(bool crc) {
    CommHandle *h = HandleAllocate(LINK_SYMAX);
    h->framing = FRAMING_SYMAX;
    h->readSize = 8;
    h->writeChunk = 8;
    if (crc)
        h->txFlags |= TXF_CRC;
    return h;
}

// Gives back every buffer the handle holds and frees it.
inline void LinkRelease(CommHandle *h) {
    FlushQueues(h);
    pool_give(h->rxBuffer);
    pool_give(h->txBuffer);
    HandleFree(h);
}

inline void Feed(CommHandle *h, const Bytes &bytes) {
    for (uint8_t b : bytes)
        RxFramer(h, b);
}

// Everything the transmit framer has to send now, at most limit bytes.
inline Bytes Drain(CommHandle *h, size_t limit = 100000) {
    Bytes out;
    while (out.size() < limit) {
        unsigned b = TxFramer(h);
        if (b > 0xFF)
            break;
        out.push_back((uint8_t)b);
    }
    return out;
}

// The bytes up to the end of the frame being sent (the transmitter then
// waits for the acknowledgement), or all there is.
inline Bytes DrainFrame(CommHandle *h) {
    Bytes out;
    for (int i = 0; i < 2000; i++) {
        unsigned b = TxFramer(h);
        if (b > 0xFF)
            break;
        out.push_back((uint8_t)b);
        if (h->txState == 10 && !(h->txFlags & 0xBF))
            break;
    }
    return out;
}

inline MsgBuffer *RequestBuffer(const std::string &route, const Bytes &data) {
    MsgBuffer *b = pool_take();
    if (!b)
        return nullptr;
    size_t i = 0;
    for (; i < route.size(); i++)
        b->route[i] = (uint8_t)route[i];
    b->route[i] = 0xFF;
    b->route[i + 1] = 0xFF;
    for (size_t k = 0; k < data.size(); k++)
        b->data[k] = data[k];
    b->length = (uint16_t)data.size();
    return b;
}

inline int QueueLength(const MsgQueue &q) {
    int n = 0;
    for (MsgBuffer *b = q.head; b; b = b->link)
        n++;
    return n;
}
