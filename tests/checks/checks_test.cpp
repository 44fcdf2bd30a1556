// The three frame checks on known vectors: CRC-16/MODBUS, the Sy/Max BCC and
// the Modbus ASCII LRC, stepped byte by byte and over whole blocks.
#include "comm/checks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

unsigned Steps(unsigned (*step)(unsigned, uint8_t), unsigned start, const Bytes &bytes) {
    unsigned value = start;
    for (uint8_t b : bytes)
        value = step(value, b);
    return value;
}

Bytes Text(const char *s) {
    Bytes b;
    while (*s)
        b.push_back((uint8_t)*s++);
    return b;
}

struct Vector {
    const char *what;
    Bytes bytes;
    unsigned crc;
    unsigned bcc; // the whole 16-bit register; its low byte is what goes out
    unsigned lrc;
};

const std::vector<Vector> &Vectors() {
    static const std::vector<Vector> v = {
        {"empty", {}, 0xFFFF, 0x0000, 0x00},
        {"one zero byte", {0x00}, 0x40BF, 0x0000, 0x00},
        {"one FF byte", {0xFF}, 0x00FF, 0xFF01, 0x01},
        {"the check string 123456789", Text("123456789"), 0x4B37, 0xFE23, 0x23},
        {"read 10 holding registers of slave 1",
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A},
         0xCDC5,
         0xFFF2,
         0xF2},
        {"read 3 holding registers from 108 of slave 17",
         {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03},
         0x8776,
         0xFF7E,
         0x7E},
        {"write register 2 of slave 1", {0x01, 0x06, 0x00, 0x01, 0x00, 0x03}, 0x0B98, 0xFFF5, 0xF5},
        {"Sy/Max read request, route 01, DC1",
         {0x11, '0', '1', 0x10, 0x02, 0, 5, 0, 0, 0, 0, 0x10, 0x03},
         0x7284,
         0xFF64,
         0x64},
    };
    return v;
}

TEST(Checks, KnownVectors) {
    for (const Vector &v : Vectors()) {
        SCOPED_TRACE(v.what);
        EXPECT_EQ(Steps(Crc16Step, CRC16_START, v.bytes), v.crc);
        EXPECT_EQ(Crc16(v.bytes.data(), (int)v.bytes.size()), v.crc);
        EXPECT_EQ(Steps(BccStep, BCC_START, v.bytes), v.bcc);
        EXPECT_EQ(Steps(LrcStep, LRC_START, v.bytes), v.lrc);
    }
}

TEST(Checks, ModbusFrameEndingInItsCrcLowByteFirstComesOutZero) {
    for (const Vector &v : Vectors()) {
        SCOPED_TRACE(v.what);
        Bytes frame = v.bytes;
        unsigned crc = Crc16(frame.data(), (int)frame.size());
        frame.push_back((uint8_t)crc);
        frame.push_back((uint8_t)(crc >> 8));
        EXPECT_EQ(Crc16(frame.data(), (int)frame.size()), 0u);
        // A single wrong bit anywhere is caught.
        for (size_t i = 0; i < frame.size(); i++) {
            Bytes bad = frame;
            bad[i] ^= 0x10;
            EXPECT_NE(Crc16(bad.data(), (int)bad.size()), 0u) << "byte " << i;
        }
    }
}

TEST(Checks, LrcOverTheBytesAndTheLrcItselfComesOutZero) {
    for (const Vector &v : Vectors()) {
        SCOPED_TRACE(v.what);
        Bytes frame = v.bytes;
        frame.push_back((uint8_t)Steps(LrcStep, LRC_START, v.bytes));
        EXPECT_EQ(Steps(LrcStep, LRC_START, frame), 0u);
    }
}

TEST(Checks, BccLowByteIsTheTwosComplementOfTheByteSum) {
    for (const Vector &v : Vectors()) {
        SCOPED_TRACE(v.what);
        unsigned sum = 0;
        for (uint8_t b : v.bytes)
            sum += b;
        EXPECT_EQ(Steps(BccStep, BCC_START, v.bytes) & 0xFF, (0x100 - (sum & 0xFF)) & 0xFF);
    }
}

TEST(Checks, StepsStayInTheirWidth) {
    for (unsigned value : {0x0000u, 0x00FFu, 0xFFFFu, 0x1234u}) {
        for (unsigned byte = 0; byte < 256; byte++) {
            EXPECT_LE(Crc16Step(value, (uint8_t)byte), 0xFFFFu);
            EXPECT_LE(BccStep(value, (uint8_t)byte), 0xFFFFu);
            EXPECT_LE(LrcStep(value, (uint8_t)byte), 0xFFu);
        }
    }
}

} // namespace
