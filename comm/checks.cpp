// The CRC-16, BCC and LRC frame checks (see checks.h).
#include "comm/checks.h"

namespace {

// The CRC of each byte value alone, from a zero register: one lookup a byte.
struct CrcTable {
    uint16_t t[256];
    constexpr CrcTable() : t() {
        for (unsigned i = 0; i < 256; i++) {
            unsigned v = i;
            for (int b = 0; b < 8; b++)
                v = (v & 1) ? (v >> 1) ^ 0xA001 : v >> 1;
            t[i] = (uint16_t)v;
        }
    }
};
constexpr CrcTable kCrc;

} // namespace

unsigned Crc16Step(unsigned crc, uint8_t byte) {
    return ((crc >> 8) ^ kCrc.t[(crc ^ byte) & 0xFF]) & 0xFFFF;
}

unsigned BccStep(unsigned bcc, uint8_t byte) {
    return (bcc - byte) & 0xFFFF;
}

unsigned LrcStep(unsigned lrc, uint8_t byte) {
    return (lrc - byte) & 0xFF;
}

unsigned Crc16(const uint8_t *bytes, int length) {
    unsigned crc = CRC16_START;
    for (int i = 0; i < length; i++)
        crc = Crc16Step(crc, bytes[i]);
    return crc;
}
