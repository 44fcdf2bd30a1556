// The DataType table: reading and showing each type, with its refusals.
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// Storage big enough for any type, filled with a mark before each parse.
struct Store {
    alignas(8) unsigned char bytes[136];
    void mark() { memset(bytes, 0xA5, sizeof bytes); }
    bool marked() const {
        for (unsigned char b : bytes)
            if (b != 0xA5)
                return false;
        return true;
    }
};

// The stored number of a numeric type, read in the type's own storage.
int64_t stored_number(int t, const void *v) {
    switch (t) {
    case DT_USHORT:
        return *(const uint16_t *)v;
    case DT_SHORT:
    case DT_STATE:
        return *(const int16_t *)v;
    case DT_INT:
    case DT_LONG:
    case DT_SMONEY:
    case DT_STENTHS:
    case DT_STHOUSANDTHS:
        return *(const int32_t *)v;
    default:
        return *(const uint32_t *)v;
    }
}

bool is_text_type(int t) {
    return t == DT_TEXT || t == DT_DIGITS || t == DT_PHONE || t == DT_SSN;
}

struct ParseCase {
    int type;
    int width;
    const char *text;
    int ok;
    int64_t number;     // the stored number (numeric types)
    const char *stored; // the stored text (text types)
};

const ParseCase PARSE_CASES[] = {
    {DT_MONEY, 10, "12", 1, 1200, nullptr},
    {DT_MONEY, 10, "12.5", 1, 1250, nullptr},
    {DT_MONEY, 10, "12.50", 1, 1250, nullptr},
    {DT_MONEY, 10, "12.", 0, 0, nullptr},
    {DT_MONEY, 10, "12.505", 0, 0, nullptr},
    {DT_MONEY, 10, "", 1, 0, nullptr},
    {DT_MONEY, 10, ".5", 0, 0, nullptr},
    {DT_MONEY, 10, "12.5x", 0, 0, nullptr},
    {DT_MONEY, 12, "42949672.95", 1, 4294967295LL, nullptr},
    {DT_MONEY, 12, "42949672.96", 0, 0, nullptr},
    {DT_MONEY, 20, "99999999999999999999", 0, 0, nullptr},
    {DT_SMONEY, 10, "-12.05", 1, -1205, nullptr},
    {DT_SMONEY, 10, "+3", 1, 300, nullptr},
    {DT_SMONEY, 10, "-", 0, 0, nullptr},
    {DT_SMONEY, 12, "-21474836.48", 1, INT32_MIN, nullptr},
    {DT_SMONEY, 12, "21474836.48", 0, 0, nullptr},
    {DT_TENTHS, 10, "4.", 1, 40, nullptr},
    {DT_TENTHS, 10, "0.5", 1, 5, nullptr},
    {DT_TENTHS, 10, "0.55", 0, 0, nullptr},
    {DT_STENTHS, 10, "-3.7", 1, -37, nullptr},
    {DT_STENTHS, 10, "4.", 1, 40, nullptr},
    {DT_STENTHS, 10, "4.55", 0, 0, nullptr},
    {DT_FOURDEC, 10, "1.2345", 1, 12345, nullptr},
    {DT_FOURDEC, 10, "1.5", 1, 15000, nullptr},
    {DT_FOURDEC, 10, "1.23456", 0, 0, nullptr},
    {DT_FOURDEC, 10, "1.", 0, 0, nullptr},
    {DT_STHOUSANDTHS, 10, "-1.5", 1, -1500, nullptr},
    {DT_STHOUSANDTHS, 10, "2.0001", 0, 0, nullptr},
    {DT_THOUSANDTHS, 10, "7.125", 1, 7125, nullptr},
    {DT_THOUSANDTHS, 10, "7.", 0, 0, nullptr},
    {DT_THOUSANDTHS, 10, "", 1, 0, nullptr},
    {DT_USHORT, 6, "65535", 1, 65535, nullptr},
    {DT_USHORT, 6, "007", 1, 7, nullptr},
    {DT_USHORT, 6, "65536", 0, 0, nullptr},
    {DT_USHORT, 6, "12x", 0, 0, nullptr},
    {DT_USHORT, 6, "-1", 0, 0, nullptr},
    {DT_USHORT, 6, "", 0, 0, nullptr},
    {DT_UINT, 10, "4294967295", 1, 4294967295LL, nullptr},
    {DT_UINT, 10, "4294967296", 0, 0, nullptr},
    {DT_ULONG, 10, "5", 1, 5, nullptr},
    {DT_ULONG, 10, "-0", 0, 0, nullptr},
    {DT_SHORT, 6, "-32768", 1, -32768, nullptr},
    {DT_SHORT, 6, "32768", 0, 0, nullptr},
    {DT_SHORT, 6, "+5", 0, 0, nullptr}, // only the signed fixed-decimal types take a plus
    {DT_INT, 11, "+5", 0, 0, nullptr},
    {DT_LONG, 11, "+5", 0, 0, nullptr},
    {DT_UINT, 10, "+5", 0, 0, nullptr},
    {DT_USHORT, 6, "+5", 0, 0, nullptr},
    {DT_LONG, 11, "-7", 1, -7, nullptr},
    {DT_STENTHS, 10, "+4.5", 1, 45, nullptr},
    {DT_STHOUSANDTHS, 10, "+1.5", 1, 1500, nullptr},
    {DT_MONEY, 10, "+3", 0, 0, nullptr},
    {DT_TENTHS, 10, "+3", 0, 0, nullptr},
    {DT_INT, 11, "-2147483648", 1, INT32_MIN, nullptr},
    {DT_LONG, 11, "2147483648", 0, 0, nullptr},
    {DT_LONG, 11, "1 2", 0, 0, nullptr},
    {DT_TEXT, 10, "hello", 1, 0, "hello"},
    {DT_TEXT, 4, "toolong", 1, 0, "tool"},
    {DT_TEXT, 10, "", 0, 0, nullptr},
    {DT_TEXT, 10, "tab\there", 0, 0, nullptr},
    {DT_DIGITS, 6, "0123", 1, 0, "0123"},
    {DT_DIGITS, 6, "12a", 0, 0, nullptr},
    {DT_PHONE, 13, "(555)123-4567", 1, 0, "5551234567"},
    {DT_PHONE, 13, "555-1234", 1, 0, "5551234"},
    {DT_PHONE, 13, "12345", 0, 0, nullptr},
    {DT_PHONE, 13, "", 0, 0, nullptr},
    {DT_SSN, 11, "123-45-6789", 1, 0, "123456789"},
    {DT_SSN, 11, "12345678", 0, 0, nullptr},
    {DT_DATE, 8, "01/01/90", 1, 631152000, nullptr},
    {DT_DATE, 8, "02/29/92", 1, 699321600, nullptr},
    {DT_DATE, 8, "02/29/90", 0, 0, nullptr}, // 1990 is no leap year
    {DT_DATE, 8, "12/31/99", 1, 946598400, nullptr},
    {DT_DATE, 8, "13/01/90", 0, 0, nullptr},
    {DT_DATE, 8, "00/10/90", 0, 0, nullptr},
    {DT_DATE, 8, "04/31/90", 0, 0, nullptr},
    {DT_DATE, 8, "01/00/90", 0, 0, nullptr},
    {DT_DATE, 8, "01/01/88", 0, 0, nullptr},
    {DT_DATE, 8, "1/1/90", 0, 0, nullptr},
    {DT_ZIP, 10, "00501", 1, 501, nullptr},
    {DT_ZIP, 10, "12345-6789", 1, 123456789, nullptr},
    {DT_ZIP, 10, "1234", 0, 0, nullptr},
    {DT_STATE, 2, "ny", 1, 35, nullptr},
    {DT_STATE, 2, "NY", 1, 35, nullptr},
    {DT_STATE, 2, "AK", 1, 1, nullptr},
    {DT_STATE, 2, "WY", 1, 51, nullptr},
    {DT_STATE, 2, "XX", 0, 0, nullptr},
    {DT_STATE, 2, "N", 0, 0, nullptr},
    {DT_ID9, 11, "12-345-6789", 1, 123456789, nullptr},
    {DT_ID9, 11, "1234567890", 0, 0, nullptr},
    {DT_TIME, 5, "1345", 1, 49500, nullptr},
    {DT_TIME, 5, "13:45", 1, 49500, nullptr},
    {DT_TIME, 5, "2460", 0, 0, nullptr},
    {DT_TIME, 5, "1360", 0, 0, nullptr},
    {DT_TIME, 8, "13:45:30", 1, 49530, nullptr},
    {DT_TIME, 5, "134530", 1, 49500, nullptr}, // seconds count only from width 6
    {DT_TIME, 8, "134560", 0, 0, nullptr},
    {DT_TIME, 8, "123", 0, 0, nullptr},
    {DT_PHONE7, 8, "555-1234", 1, 5551234, nullptr},
    {DT_PHONE7, 8, "55512345", 0, 0, nullptr},
    {DT_CHOICE, 4, "1", 0, 0, nullptr}, // a choice is read by its own editor
    {23, 4, "1", 0, 0, nullptr},
    {24, 4, "1", 0, 0, nullptr},
    {26, 4, "1", 0, 0, nullptr},
    {27, 4, "1", 0, 0, nullptr},
    {29, 4, "1", 0, 0, nullptr},
    {-23, 4, "1", 0, 0, nullptr},
    {-DT_USHORT, 6, "42", 1, 42, nullptr},
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, StoresAcceptedValuesOnly) {
    const ParseCase &c = GetParam();
    Store s;
    s.mark();
    char text[64];
    snprintf(text, sizeof text, "%s", c.text);
    ASSERT_EQ(ParseValue(s.bytes, text, c.type, c.width), c.ok) << c.type << " '" << c.text << "'";
    int t = c.type < 0 ? -c.type : c.type;
    if (!c.ok) {
        EXPECT_TRUE(s.marked()) << "a refused entry changed the value";
        return;
    }
    if (c.stored != nullptr) {
        EXPECT_STREQ((const char *)s.bytes, c.stored);
    } else if (!is_text_type(t)) {
        EXPECT_EQ(stored_number(t, s.bytes), c.number);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Parse, ::testing::ValuesIn(PARSE_CASES));

TEST(ParseValue, DigitTypesDropNonDigitsFromTheText) {
    Store s;
    char text[] = "(555) 123-4567";
    ASSERT_EQ(ParseValue(s.bytes, text, DT_PHONE, 14), 1);
    EXPECT_STREQ(text, "5551234567");
}

TEST(ParseValue, EmptyLeavesDigitsAndNumberListUnchanged) {
    Store s;
    s.mark();
    char empty[] = "";
    EXPECT_EQ(ParseValue(s.bytes, empty, DT_DIGITS, 6), 1);
    EXPECT_EQ(ParseValue(s.bytes, empty, DT_NUMLIST, 31), 1);
    EXPECT_TRUE(s.marked());
}

TEST(ParseValue, NumberListReadsCommasAndSpacesAndHoldsAtMostEight) {
    uint16_t list[12];
    for (uint16_t &w : list)
        w = 0xEEEE;
    char text[] = "1, 5 20";
    ASSERT_EQ(ParseValue(list, text, DT_NUMLIST, 31), 1);
    EXPECT_EQ(list[0], 3);
    EXPECT_EQ(list[1], 1);
    EXPECT_EQ(list[2], 5);
    EXPECT_EQ(list[3], 20);
    EXPECT_EQ(list[4], 0xEEEE); // nothing written past the numbers read

    char eight[] = "1,2,3,4,5,6,7,8";
    ASSERT_EQ(ParseValue(list, eight, DT_NUMLIST, 31), 1);
    EXPECT_EQ(list[0], 8);
    EXPECT_EQ(list[8], 8);
    EXPECT_EQ(list[9], 0xEEEE);

    char nine[] = "1,2,3,4,5,6,7,8,9";
    EXPECT_EQ(ParseValue(list, nine, DT_NUMLIST, 31), 0);
    EXPECT_EQ(list[0], 8);
    EXPECT_EQ(list[9], 0xEEEE);

    char big[] = "65536";
    EXPECT_EQ(ParseValue(list, big, DT_NUMLIST, 31), 0);
    char other[] = "1;2";
    EXPECT_EQ(ParseValue(list, other, DT_NUMLIST, 31), 0);
    EXPECT_EQ(list[0], 8);
}

struct FormatCase {
    int type;
    int width;
    int64_t number;     // numeric types
    const char *stored; // text types and number lists ("3,1,5,20": count first)
    int ok;
    const char *shown;
};

const FormatCase FORMAT_CASES[] = {
    {DT_MONEY, 10, 1250, nullptr, 1, "12.50"},
    {DT_MONEY, 10, 7, nullptr, 1, "0.07"},
    {DT_SMONEY, 10, -1205, nullptr, 1, "-12.05"},
    {DT_SMONEY, 10, -50, nullptr, 1, "-0.50"}, // the sign survives a zero quotient
    {DT_SMONEY, 14, INT32_MIN, nullptr, 1, "-21474836.48"},
    {DT_STENTHS, 10, -37, nullptr, 1, "-3.7"},
    {DT_TENTHS, 10, 40, nullptr, 1, "4.0"},
    {DT_FOURDEC, 10, 12345, nullptr, 1, "1.2345"},
    {DT_FOURDEC, 10, 5, nullptr, 1, "0.0005"},
    {DT_STHOUSANDTHS, 10, -1500, nullptr, 1, "-1.500"},
    {DT_THOUSANDTHS, 10, 7125, nullptr, 1, "7.125"},
    {DT_USHORT, 6, 65535, nullptr, 1, "65535"},
    {DT_USHORT, 3, 65535, nullptr, 1, "655"}, // cut to the field
    {DT_SHORT, 6, -32768, nullptr, 1, "-32768"},
    {DT_UINT, 10, 4294967295LL, nullptr, 1, "4294967295"},
    {DT_ULONG, 10, 17, nullptr, 1, "17"},
    {DT_INT, 11, -5, nullptr, 1, "-5"},
    {DT_LONG, 11, INT32_MIN, nullptr, 1, "-2147483648"},
    {DT_TIME, 5, 49500, nullptr, 1, "13:45"},
    {DT_TIME, 8, 49530, nullptr, 1, "13:45:30"},
    {DT_TIME, 2, 49530, nullptr, 1, "13"},
    {DT_TIME, 1, 49530, nullptr, 1, ""},
    {DT_TIME, 5, 86400 + 60, nullptr, 1, "00:01"},
    {DT_ZIP, 10, 501, nullptr, 0, ""},
    {DT_ZIP, 10, 512, nullptr, 1, "00512"},
    {DT_ZIP, 10, 99999, nullptr, 1, "99999"},
    {DT_ZIP, 10, 100000, nullptr, 0, ""},
    {DT_ZIP, 10, 123456789, nullptr, 1, "12345-6789"},
    {DT_DATE, 8, 631152000, nullptr, 1, "01/01/90"},
    {DT_DATE, 8, 699321600, nullptr, 1, "02/29/92"},
    {DT_STATE, 2, 35, nullptr, 1, "NY"},
    {DT_STATE, 2, 0, nullptr, 0, ""},
    {DT_STATE, 2, 52, nullptr, 0, ""},
    {DT_ID9, 11, 123456789, nullptr, 1, "12-345-6789"},
    {DT_ID9, 11, 1000000000, nullptr, 0, ""},
    {DT_PHONE7, 8, 5551234, nullptr, 1, "555-1234"},
    {DT_PHONE7, 8, 99, nullptr, 1, "000-0099"},
    {DT_PHONE, 13, 0, "5551234567", 1, "(555)123-4567"},
    {DT_PHONE, 13, 0, "5551234", 1, "() 555-1234"},
    {DT_PHONE, 13, 0, "123", 0, ""},
    {DT_SSN, 11, 0, "123456789", 1, "123-45-6789"},
    {DT_SSN, 11, 0, "1234", 0, ""},
    {DT_TEXT, 3, 0, "ABCDEF", 1, "ABC"},
    {DT_DIGITS, 6, 0, "0042", 1, "0042"},
    {DT_NUMLIST, 31, 0, "0", 1, "NONE"},
    {DT_NUMLIST, 31, 0, "3,1,5,20", 1, "1,5,20"},
    {DT_NUMLIST, 31, 0, "200,1,2,3,4,5,6,7,8,9", 1, "1,2,3,4,5,6,7,8"},
    {DT_NUMLIST, 5, 0, "3,100,200,300", 1, "100,2"},
    {DT_CHOICE, 4, 1, nullptr, 0, ""},
    {23, 4, 1, nullptr, 0, ""},
    {28 + 1, 4, 1, nullptr, 0, ""},
};

// Puts a case's value into storage of the type.
void store_case(const FormatCase &c, Store &s) {
    memset(s.bytes, 0, sizeof s.bytes);
    int t = c.type;
    if (t == DT_NUMLIST) {
        uint16_t *list = (uint16_t *)s.bytes;
        int i = 0;
        for (const char *p = c.stored; *p != '\0'; i++) {
            list[i] = (uint16_t)strtoul(p, (char **)&p, 10);
            if (*p == ',')
                p++;
        }
    } else if (c.stored != nullptr) {
        memcpy(s.bytes, c.stored, strlen(c.stored)); // not zero-ended when it fills the width
    } else if (t == DT_USHORT || t == DT_SHORT || t == DT_STATE || t == DT_CHOICE) {
        int16_t v = (int16_t)c.number;
        memcpy(s.bytes, &v, 2);
    } else {
        uint32_t v = (uint32_t)c.number;
        memcpy(s.bytes, &v, 4);
    }
}

class Format : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Format, ShowsWithinTheWidth) {
    const FormatCase &c = GetParam();
    Store s;
    store_case(c, s);
    // Exactly width + 1 bytes, so that ASan sees any overrun.
    std::unique_ptr<char[]> buffer(new char[(size_t)c.width + 1]);
    EXPECT_EQ(FormatValue(buffer.get(), s.bytes, c.type, c.width), c.ok) << c.type;
    EXPECT_STREQ(buffer.get(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Table, Format, ::testing::ValuesIn(FORMAT_CASES));

// Every shown value of the numeric types reads back as itself.
TEST(FormatParse, RoundTrip) {
    struct Trip {
        int type;
        int width;
        int64_t values[4];
    } trips[] = {
        {DT_USHORT, 6, {0, 1, 12345, 65535}},
        {DT_SHORT, 6, {-32768, -1, 0, 32767}},
        {DT_UINT, 10, {0, 7, 100000, 4294967295LL}},
        {DT_INT, 11, {INT32_MIN, -1, 0, INT32_MAX}},
        {DT_MONEY, 12, {0, 5, 1250, 4294967295LL}},
        {DT_SMONEY, 13, {INT32_MIN, -50, 0, INT32_MAX}},
        {DT_TENTHS, 12, {0, 9, 40, 4294967295LL}},
        {DT_STENTHS, 13, {INT32_MIN, -37, 3, INT32_MAX}},
        {DT_FOURDEC, 12, {0, 1, 12345, 4294967295LL}},
        {DT_STHOUSANDTHS, 13, {INT32_MIN, -1500, 1, INT32_MAX}},
        {DT_THOUSANDTHS, 12, {0, 1, 7125, 4294967295LL}},
        {DT_TIME, 8, {0, 59, 49530, 86399}},
        {DT_ZIP, 10, {512, 99999, 2097152, 999999999}},
        {DT_ID9, 11, {0, 1, 123456789, 999999999}},
        {DT_PHONE7, 8, {0, 1, 5551234, 9999999}},
        {DT_STATE, 2, {1, 8, 35, 51}},
    };
    for (const Trip &trip : trips)
        for (int64_t v : trip.values) {
            FormatCase c{trip.type, trip.width, v, nullptr, 1, ""};
            Store s, back;
            store_case(c, s);
            char text[32];
            ASSERT_EQ(FormatValue(text, s.bytes, trip.type, trip.width), 1);
            back.mark();
            memcpy(back.bytes, s.bytes, 8);
            ASSERT_EQ(ParseValue(back.bytes, text, trip.type, trip.width), 1)
                << trip.type << " '" << text << "'";
            EXPECT_EQ(stored_number(trip.type, back.bytes), stored_number(trip.type, s.bytes))
                << trip.type << " '" << text << "'";
        }
}

TEST(Dates, SecondsOfMidnight) {
    EXPECT_EQ(DateToSeconds(0, 0, 0, 1, 1, 90), 631152000u);
    EXPECT_EQ(DateToSeconds(0, 0, 0, 1, 1, 70), 0u);
    EXPECT_EQ(DateToSeconds(30, 45, 13, 1, 1, 70), 49530u);
    EXPECT_EQ(DateToSeconds(0, 0, 0, 1, 3, 92), 699408000u);
    EXPECT_EQ(DaysInMonth(2, 92), 29);
    EXPECT_EQ(DaysInMonth(2, 1990), 28);
    EXPECT_EQ(DaysInMonth(12, 90), 31);
    EXPECT_EQ(DaysInMonth(13, 90), 0);
}

TEST(Dates, EveryDayOfTheRangeShowsAndReadsBack) {
    // Each day from 1 January 1989 to 31 December 1999.
    for (uint32_t s = DateToSeconds(0, 0, 0, 1, 1, 89); s <= DateToSeconds(0, 0, 0, 31, 12, 99);
         s += 86400) {
        int d, m, y;
        SecondsToDate(s, &d, &m, &y);
        ASSERT_EQ(DateToSeconds(0, 0, 0, d, m, y % 100), s);
        char text[9];
        ASSERT_EQ(FormatValue(text, &s, DT_DATE, 8), 1);
        uint32_t back = 0;
        ASSERT_EQ(ParseValue(&back, text, DT_DATE, 8), 1) << text;
        ASSERT_EQ(back, s) << text;
    }
}

TEST(ParseValue, RandomTextsNeverOverrun) {
    // Seeded random texts for every type code; values live in exact-size blocks.
    unsigned seed = 777;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const char alphabet[] = "0123456789.,-+ ()/:abcXYZ";
    for (int i = 0; i < 30000; i++) {
        int t = (int)(next() % 31) - 1;
        int width = 1 + (int)(next() % 40);
        int size = ValueSize(t, width);
        std::unique_ptr<unsigned char[]> value(new unsigned char[(size_t)(size > 0 ? size : 1)]);
        memset(value.get(), 0, (size_t)(size > 0 ? size : 1));
        char text[48];
        int len = (int)(next() % 40);
        for (int k = 0; k < len; k++)
            text[k] = alphabet[next() % (sizeof alphabet - 1)];
        text[len] = '\0';
        int ok = ParseValue(size > 0 ? value.get() : nullptr, text, t, width);
        if (size == 0 || t == DT_CHOICE) {
            ASSERT_EQ(ok, 0);
        }
        std::unique_ptr<char[]> shown(new char[(size_t)width + 1]);
        if (size > 0)
            FormatValue(shown.get(), value.get(), t, width);
    }
}

} // namespace
