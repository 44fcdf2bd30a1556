// Helpers for driving the simulated slave byte by byte and reading its frames.
#pragma once
#include "sim/symax/symax_slave.h"

#include <gtest/gtest.h>

namespace symaxsim {

// Feeds bytes to the slave at time now; what it sends back.
// What goes on the line: the control sequences, then the frame.
inline Bytes Line(const SlaveOutput &o) {
    Bytes b = o.control;
    b.insert(b.end(), o.frame.begin(), o.frame.end());
    return b;
}

// Feeds bytes to the slave as one read at time now; what it sends back.
inline Bytes Feed(Slave *s, const Bytes &in, uint64_t now = 1000) {
    SlaveOutput out;
    SlaveRxBytes(s, in.data(), in.size(), now, &out);
    if (out.frameStart)
        SlaveFrameSent(s, now); // on the line at once
    return Line(out);
}

inline Bytes Tick(Slave *s, uint64_t now) {
    SlaveOutput out;
    SlaveTick(s, now, &out);
    if (out.frameStart)
        SlaveFrameSent(s, now);
    return Line(out);
}

// One frame read back from the line.
struct Frame {
    bool ok = false;
    uint8_t seq = 0;
    Bytes route, data;
    size_t end = 0; // bytes used
};

// Parses a frame at bytes[at]: unstuffs the data and verifies the check.
inline Frame ParseFrame(const Bytes &b, size_t at, bool crc) {
    Frame f;
    if (b.size() < at + 3 || b[at] != DLE || b[at + 1] != SOH)
        return f;
    f.seq = b[at + 2];
    unsigned check = WireCheckStep(WireCheckStart(crc), f.seq, crc);
    size_t i = at + 3;
    while (i + 1 < b.size() && !(b[i] == DLE && b[i + 1] == STX)) {
        f.route.push_back(b[i]);
        check = WireCheckStep(check, b[i++], crc);
    }
    check = WireCheckStep(WireCheckStep(check, DLE, crc), STX, crc);
    i += 2;
    while (i + 1 < b.size() && !(b[i] == DLE && b[i + 1] == ETX)) {
        if (b[i] == DLE) {
            check = WireCheckStep(check, DLE, crc);
            i++;
        }
        f.data.push_back(b[i]);
        check = WireCheckStep(check, b[i++], crc);
    }
    check = WireCheckStep(WireCheckStep(check, DLE, crc), ETX, crc);
    i += 2;
    if (crc) {
        if (i >= b.size() || b[i++] != ((check >> 8) & 0xFF))
            return f;
    }
    if (i >= b.size() || b[i++] != (check & 0xFF))
        return f;
    f.ok = true;
    f.end = i;
    return f;
}

// The master's request frame.
inline Bytes Request(const Bytes &data, uint8_t seq = DC1, const Bytes &route = {'0', '1'},
                     bool crc = false) {
    return WireFrame(seq, route, data, crc);
}

} // namespace symaxsim
