// The simulators' shared number words and bitwise CRC-16.
#include "sim/sim_crc.h"
#include "sim/sim_number.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SimNumber, DecimalOrHexadecimalWithinTheRange) {
    struct Case {
        const char *word;
        long lo, hi;
        bool ok;
        long value;
    } cases[] = {
        {"0", 0, 10, true, 0},
        {"10", 0, 10, true, 10},
        {"11", 0, 10, false, 0},
        {"-1", 0, 10, false, 0},
        {"-32768", -32768, 65535, true, -32768},
        {"65535", -32768, 65535, true, 65535},
        {"0x1F", 0, 255, true, 31},
        {"0XFF", 0, 255, true, 255},
        {"0x100", 0, 255, false, 0},
        {"010", 0, 100, true, 10}, // a leading zero is still decimal
        {"0x", 0, 100, false, 0},
        {"", 0, 100, false, 0},
        {"12a", 0, 100, false, 0},
        {"a12", 0, 100, false, 0},
        {"1 2", 0, 100, false, 0},
        {"99999999999999999999", 0, 100, false, 0}, // out of range of long
    };
    for (const Case &c : cases) {
        long v = -7;
        EXPECT_EQ(SimNumber(c.word, c.lo, c.hi, &v), c.ok) << "'" << c.word << "'";
        EXPECT_EQ(v, c.ok ? c.value : -7) << "'" << c.word << "'";
        long w = -7;
        EXPECT_EQ(SimNumber(std::string(c.word), c.lo, c.hi, &w), c.ok) << "'" << c.word << "'";
    }
}

TEST(SimCrc16, KnownVectors) {
    struct Case {
        const char *bytes;
        size_t n;
        unsigned crc;
    } cases[] = {
        {"", 0, 0xFFFF},
        {"123456789", 9, 0x4B37},
        {"\x01\x03\x00\x00\x00\x0A", 6, 0xCDC5},
        {"\x11\x03\x00\x6B\x00\x03", 6, 0x8776},
    };
    for (const Case &c : cases) {
        const uint8_t *b = reinterpret_cast<const uint8_t *>(c.bytes);
        EXPECT_EQ(SimCrc16(b, c.n), c.crc) << c.n << " bytes";
        unsigned stepped = 0xFFFF;
        for (size_t i = 0; i < c.n; i++)
            stepped = SimCrc16Step(stepped, b[i]);
        EXPECT_EQ(stepped, c.crc);
        // With its CRC after it, low byte first, the run comes out 0.
        uint8_t frame[16];
        memcpy(frame, b, c.n);
        frame[c.n] = (uint8_t)c.crc;
        frame[c.n + 1] = (uint8_t)(c.crc >> 8);
        EXPECT_EQ(SimCrc16(frame, c.n + 2), 0u);
    }
}

} // namespace
