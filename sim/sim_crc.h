// CRC-16/MODBUS as the simulators compute it: bit by bit, apart from the
// library's table on purpose, so that each checks the other. Start 0xFFFF, no
// final XOR; over a frame that ends in its own CRC (low byte first) it is 0.
#pragma once

#include <cstddef>
#include <cstdint>

inline unsigned SimCrc16Step(unsigned crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; bit++)
        crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    return crc & 0xFFFFu;
}

inline unsigned SimCrc16(const uint8_t *bytes, size_t length) {
    unsigned crc = 0xFFFF;
    for (size_t i = 0; i < length; i++)
        crc = SimCrc16Step(crc, bytes[i]);
    return crc;
}
