// The frame checks of the serial framings, one byte at a time: each framer
// keeps the running value in its handle and steps it with every covered byte.
//
//   CRC-16  Modbus RTU, RTU over TCP, Sy/Max in CRC mode: CRC-16/MODBUS, the
//           polynomial 0x8005 bit-reflected, start 0xFFFF, no final XOR. Modbus
//           sends it low byte first, and the run over a frame that ends in its
//           own CRC comes out 0; Sy/Max sends it high byte first.
//   BCC     Sy/Max: a 16-bit value started at 0, each byte subtracted; the low
//           byte, the two's complement of the 8-bit sum, is sent.
//   LRC     Modbus ASCII: the same two's complement of the byte sum, in 8 bits;
//           over the bytes and the LRC itself it comes out 0.
#pragma once
#include <cstdint>

enum { CRC16_START = 0xFFFF, BCC_START = 0, LRC_START = 0 };

unsigned Crc16Step(unsigned crc, uint8_t byte);
unsigned BccStep(unsigned bcc, uint8_t byte);
unsigned LrcStep(unsigned lrc, uint8_t byte);

// CRC-16 over a whole block, from CRC16_START.
unsigned Crc16(const uint8_t *bytes, int length);
