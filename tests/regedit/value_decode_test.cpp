// Typed values from registers: every type in every order, with known patterns.
#include "regedit/value_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct IntCase {
    int type;
    int order;
    std::vector<uint16_t> words;
    long long number;
    const char *text;
};

TEST(ValueDecode, IntegersInEveryOrder) {
    const IntCase cases[] = {
        {TYPE_U16, ORDER_ABCD, {0xFFFE}, 65534, "65534"},
        {TYPE_U16, ORDER_DCBA, {0x1234}, 0x1234, "4660"}, // one register: no order
        {TYPE_S16, ORDER_ABCD, {0xFFFE}, -2, "-2"},
        {TYPE_S16, ORDER_BADC, {0x8000}, -32768, "-32768"},
        {TYPE_HEX, ORDER_ABCD, {0x00AF}, 0xAF, "00AF"},
        {TYPE_HEX, ORDER_CDAB, {0xBEEF}, 0xBEEF, "BEEF"},
        {TYPE_U32, ORDER_ABCD, {0x1234, 0x5678}, 0x12345678, "305419896"},
        {TYPE_U32, ORDER_CDAB, {0x1234, 0x5678}, 0x56781234, "1450709556"},
        {TYPE_U32, ORDER_BADC, {0x1234, 0x5678}, 0x34127856, "873625686"},
        {TYPE_U32, ORDER_DCBA, {0x1234, 0x5678}, 0x78563412, "2018915346"},
        {TYPE_U32, ORDER_ABCD, {0xFFFF, 0xFFFF}, 4294967295LL, "4294967295"},
        {TYPE_S32, ORDER_ABCD, {0xFFFF, 0xFFFE}, -2, "-2"},
        {TYPE_S32, ORDER_CDAB, {0xFFFF, 0xFFFE}, -65537, "-65537"},
        {TYPE_S32, ORDER_BADC, {0xFFFF, 0xFFFE}, -257, "-257"},
        {TYPE_S32, ORDER_DCBA, {0xFFFF, 0xFFFE}, -16777217, "-16777217"},
        {TYPE_S32, ORDER_ABCD, {0x7FFF, 0xFFFF}, 2147483647, "2147483647"},
    };
    for (const IntCase &c : cases) {
        TypedValue v = DecodeValue(c.words.data(), c.type, c.order);
        EXPECT_EQ(v.number, c.number) << ValueTypeName(c.type) << " order " << c.order;
        EXPECT_EQ(ValueText(v), c.text) << ValueTypeName(c.type) << " order " << c.order;
    }
}

struct FloatCase {
    int type;
    int order;
    std::vector<uint16_t> words;
    double value;
    const char *text;
};

TEST(ValueDecode, FloatsInEveryOrder) {
    const FloatCase cases[] = {
        // 0x4049 0x0FDB is pi as a float in the Modbus order, something else in the others.
        {TYPE_F32, ORDER_ABCD, {0x4049, 0x0FDB}, 3.1415927410125732, "3.1415927"},
        {TYPE_F32, ORDER_CDAB, {0x4049, 0x0FDB}, 2.1619829021905496e-29, "2.1619829e-29"},
        {TYPE_F32, ORDER_BADC, {0x4049, 0x0FDB}, 789936.9375, "789936.94"},
        {TYPE_F32, ORDER_DCBA, {0x4049, 0x0FDB}, -4.03314608963584e+16, "-4.033146e+16"},
        // The same pi laid out in each order reads back as pi.
        {TYPE_F32, ORDER_CDAB, {0x0FDB, 0x4049}, 3.1415927410125732, "3.1415927"},
        {TYPE_F32, ORDER_BADC, {0x4940, 0xDB0F}, 3.1415927410125732, "3.1415927"},
        {TYPE_F32, ORDER_DCBA, {0xDB0F, 0x4940}, 3.1415927410125732, "3.1415927"},
        {TYPE_F64,
         ORDER_ABCD,
         {0x4009, 0x21FB, 0x5444, 0x2D18},
         3.141592653589793,
         "3.141592653589793"},
        {TYPE_F64,
         ORDER_CDAB,
         {0x2D18, 0x5444, 0x21FB, 0x4009},
         3.141592653589793,
         "3.141592653589793"},
        {TYPE_F64,
         ORDER_BADC,
         {0x0940, 0xFB21, 0x4454, 0x182D},
         3.141592653589793,
         "3.141592653589793"},
        {TYPE_F64,
         ORDER_DCBA,
         {0x182D, 0x4454, 0xFB21, 0x0940},
         3.141592653589793,
         "3.141592653589793"},
        {TYPE_F64, ORDER_ABCD, {0x3FF0, 0, 0, 0}, 1.0, "1"},
        {TYPE_F32, ORDER_ABCD, {0xC2F6, 0xE979}, -123.45600128173828, "-123.456"},
    };
    for (const FloatCase &c : cases) {
        TypedValue v = DecodeValue(c.words.data(), c.type, c.order);
        EXPECT_DOUBLE_EQ(v.real, c.value) << ValueTypeName(c.type) << " order " << c.order;
        EXPECT_EQ(ValueText(v), c.text) << ValueTypeName(c.type) << " order " << c.order;
        EXPECT_EQ(ValueJson(v), c.text);
    }
}

TEST(ValueDecode, FloatTextReadsBackTheSameValue) {
    const uint16_t patterns[][2] = {{0x3DCC, 0xCCCD}, {0x0000, 0x0001}, {0x7F7F, 0xFFFF}};
    for (const auto &w : patterns) {
        TypedValue v = DecodeValue(w, TYPE_F32, ORDER_ABCD);
        EXPECT_EQ(strtof(ValueText(v).c_str(), nullptr), (float)v.real) << ValueText(v);
    }
    const uint16_t d[] = {0x3FB9, 0x9999, 0x9999, 0x999A}; // 0.1
    TypedValue v = DecodeValue(d, TYPE_F64, ORDER_ABCD);
    EXPECT_EQ(ValueText(v), "0.1");
    EXPECT_EQ(strtod(ValueText(v).c_str(), nullptr), v.real);
}

TEST(ValueDecode, NotANumberAndInfinity) {
    const struct {
        std::vector<uint16_t> words;
        int type;
        const char *text;
    } cases[] = {
        {{0x7FC0, 0x0000}, TYPE_F32, "nan"},   {{0x7F80, 0x0000}, TYPE_F32, "inf"},
        {{0xFF80, 0x0000}, TYPE_F32, "-inf"},  {{0x7FF8, 0, 0, 0}, TYPE_F64, "nan"},
        {{0xFFF0, 0, 0, 0}, TYPE_F64, "-inf"},
    };
    for (const auto &c : cases) {
        TypedValue v = DecodeValue(c.words.data(), c.type, ORDER_ABCD);
        EXPECT_EQ(ValueText(v), c.text);
        EXPECT_EQ(ValueJson(v), "null") << "JSON has no " << c.text;
    }
}

TEST(ValueDecode, JsonNumbersAndHexStrings) {
    const uint16_t w[] = {0xFFFF};
    EXPECT_EQ(ValueJson(DecodeValue(w, TYPE_U16, ORDER_ABCD)), "65535");
    EXPECT_EQ(ValueJson(DecodeValue(w, TYPE_S16, ORDER_ABCD)), "-1");
    EXPECT_EQ(ValueJson(DecodeValue(w, TYPE_HEX, ORDER_ABCD)), "\"FFFF\"");
}

TEST(ValueDecode, TypeNamesAndWidths) {
    const struct {
        const char *name;
        int type, words;
    } cases[] = {{"u16", TYPE_U16, 1}, {"S16", TYPE_S16, 1}, {"hex", TYPE_HEX, 1},
                 {"u32", TYPE_U32, 2}, {"s32", TYPE_S32, 2}, {"F32", TYPE_F32, 2},
                 {"f64", TYPE_F64, 4}};
    for (const auto &c : cases) {
        EXPECT_EQ(ValueTypeFromName(c.name), c.type) << c.name;
        EXPECT_EQ(ValueTypeWords(c.type), c.words) << c.name;
    }
    EXPECT_EQ(ValueTypeFromName("f16"), -1);
    EXPECT_EQ(ValueTypeFromName(""), -1);
    EXPECT_EQ(ValueTypeFromName("u1"), -1);
}

TEST(ValueDecode, PackedBitsSpreadFirstByteHighFirstReferenceLow) {
    // Bytes 0x01 0x80 0x03: references 1, 16, 17 and 18 are on.
    const uint16_t words[] = {0x0180, 0x0300};
    uint16_t entries[24];
    SpreadPackedBits(words, 24, entries);
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(entries[i], (i == 0 || i == 15 || i == 16 || i == 17) ? 1 : 0) << i;
}

} // namespace
