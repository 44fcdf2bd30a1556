// Modbus serial frames as a slave sees them, for the simulator, the tests and
// the fuzzers: RTU (address, PDU, CRC low, CRC high) and ASCII (':', hex
// pairs of address, PDU and LRC, CR LF). An implementation of its own, apart
// from the library's framers, so that each checks the other.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    FRAME_PDU_MAX = 253,                   // largest Modbus PDU
    FRAME_RTU_MAX = 256,                   // address + PDU + CRC
    FRAME_ASCII_MAX = 1 + 2 * 255 + 2 + 2, // ':' hex(address PDU LRC) CR LF
};

// CRC-16/MODBUS (SimCrc16 of sim/sim_crc.h).
unsigned FrameCrc16(const uint8_t *bytes, size_t n);
// Longitudinal check: the two's complement of the 8-bit sum.
uint8_t FrameLrc(const uint8_t *bytes, size_t n);

// Writes the RTU frame of address and PDU to out (FRAME_RTU_MAX bytes); returns its length.
int FrameRtuEncode(int address, const uint8_t *pdu, int length, uint8_t *out);
// Checks an RTU frame (one burst between quiet intervals). Returns the PDU
// length with *address set and the PDU in pdu (FRAME_PDU_MAX bytes), or -1
// when it is too short, too long or its CRC is wrong.
int FrameRtuDecode(const uint8_t *frame, int n, int *address, uint8_t *pdu);

// Writes the ASCII frame to out (FRAME_ASCII_MAX bytes); returns its length.
int FrameAsciiEncode(int address, const uint8_t *pdu, int length, uint8_t *out);

// Collects ASCII characters into frames. A ':' starts a frame (dropping any
// partial one); LF after CR ends it.
struct AsciiCollector {
    char text[FRAME_ASCII_MAX];
    int used;   // characters after the ':'
    int active; // a ':' has been seen
};
void AsciiCollectorInit(AsciiCollector *c);
// Feeds one character. Returns 1 when a frame has ended: then the PDU length
// (or -1 for a bad frame: odd length, non-hex digit, lower case, wrong LRC,
// too short or too long) is in *result, the address and PDU as decoded.
int AsciiCollectorFeed(AsciiCollector *c, uint8_t ch, int *result, int *address, uint8_t *pdu);
