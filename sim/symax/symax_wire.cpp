// Sy/Max wire format helpers of the simulated device (see symax_wire.h).
#include "sim/symax/symax_wire.h"

#include "sim/sim_crc.h"

#include <cstddef>

namespace symaxsim {

unsigned WireCheckStep(unsigned check, uint8_t byte, bool crc) {
    return crc ? SimCrc16Step(check, byte) : (check - byte) & 0xFFFFu;
}

Bytes WireFrame(uint8_t seq, const Bytes &route, const Bytes &data, bool crc) {
    Bytes out = {DLE, SOH, seq};
    unsigned check = WireCheckStep(WireCheckStart(crc), seq, crc);
    for (uint8_t c : route) {
        out.push_back(c);
        check = WireCheckStep(check, c, crc);
    }
    out.push_back(DLE);
    out.push_back(STX);
    check = WireCheckStep(WireCheckStep(check, DLE, crc), STX, crc);
    for (uint8_t b : data) {
        if (b == DLE) {
            out.push_back(DLE);
            check = WireCheckStep(check, DLE, crc);
        }
        out.push_back(b);
        check = WireCheckStep(check, b, crc);
    }
    out.push_back(DLE);
    out.push_back(ETX);
    check = WireCheckStep(WireCheckStep(check, DLE, crc), ETX, crc);
    if (crc)
        out.push_back(uint8_t(check >> 8));
    out.push_back(uint8_t(check));
    return out;
}

static int hex_value(uint8_t c) {
    c &= 0x7F;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int WireRouteDrops(const Bytes &route, std::vector<int> *drops) {
    drops->clear();
    if (route.size() % 2 != 0)
        return 0;
    for (size_t i = 0; i < route.size(); i += 2) {
        int hi = hex_value(route[i]), lo = hex_value(route[i + 1]);
        if (hi < 0 || lo < 0 || (route[i + 1] & 0x80) != 0)
            return 0;
        drops->push_back(hi * 16 + lo);
    }
    return 1;
}

Bytes WireRouteReverse(const Bytes &route) {
    Bytes out;
    for (size_t i = route.size(); i >= 2; i -= 2) {
        out.push_back(route[i - 2]);
        out.push_back(route[i - 1]);
    }
    return out;
}

} // namespace symaxsim
