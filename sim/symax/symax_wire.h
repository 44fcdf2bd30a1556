// The Sy/Max wire format as the simulated device sees it: control characters,
// the block check, frame building and route characters.
//
//   DLE SOH seq route DLE STX data DLE ETX check
//
// The check runs over seq, route, DLE STX, data (a stuffed DLE counts twice)
// and DLE ETX: in BCC mode it is the 16-bit difference from 0 and its low byte
// is sent; in CRC mode it is CRC-16 (reflected 0xA001, start 0xFFFF), sent
// high byte first.
#pragma once
#include <cstdint>
#include <vector>

namespace symaxsim {

enum : uint8_t {
    SOH = 0x01,
    STX = 0x02,
    ETX = 0x03,
    ENQ = 0x05,
    DLE = 0x10,
    DC1 = 0x11,
    DC2 = 0x12,
    NAK = 0x15,
    SYN = 0x16,
    FILL = 0xFE,
};

enum { ROUTE_MAX = 16, DATA_MAX = 263 };

typedef std::vector<uint8_t> Bytes;

// One step of the block check over a byte.
unsigned WireCheckStep(unsigned check, uint8_t byte, bool crc);
// The check register's start value.
inline unsigned WireCheckStart(bool crc) {
    return crc ? 0xFFFFu : 0u;
}
// The whole frame with its sequence character, route characters and data.
Bytes WireFrame(uint8_t seq, const Bytes &route, const Bytes &data, bool crc);
// The drops of a route given in route characters (two per drop): 1, or 0 when invalid
// (odd length or a character whose low 7 bits are no hexadecimal digit).
// The Net-to-Net mark (bit 7 of a drop's first character) is dropped.
int WireRouteDrops(const Bytes &route, std::vector<int> *drops);
// The route back to the sender: the character pairs in reverse order.
Bytes WireRouteReverse(const Bytes &route);

} // namespace symaxsim
