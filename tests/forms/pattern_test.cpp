// File-name patterns of the picker.
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct PatternCase {
    const char *pattern;
    const char *name;
    int match;
};

const PatternCase PATTERN_CASES[] = {
    {"*.VRX", "CONFIG.VRX", 1},
    {"*.VRX", ".VRX", 1},
    {"*.VRX", "CONFIG.VRXA", 0},
    {"*.VRX", "CONFIG.740", 0},
    {"*.740", "BACKUP.740", 1},
    {"*.740", "BACKUP.VRX", 0},
    {"LOG(1-12).#", "LOG7.3", 1},
    {"LOG(1-12).#", "LOG12.3", 1},
    {"LOG(1-12).#", "LOG13.3", 0},
    {"LOG(1-12).#", "LOG0.3", 0},
    {"LOG(1-12).#", "LOGA.3", 0}, // the name must go on with a digit
    {"LOG(1-12).#", "LOG7.X", 0},
    {"LOG(1-12).#", "LOG7.", 0},
    {"LOG(3,5,9-).#", "LOG5.1", 1},
    {"LOG(3,5,9-).#", "LOG4.1", 0},
    {"LOG(3,5,9-).#", "LOG99999.1", 1},
    {"LOG(3,5,9-).#", "LOG8.1", 0},
    {"(99999999999999999999)", "99999999999999999999", 1}, // capped, no overflow
    {"(5-)", "99999999999999999999", 1},
    {"A=C", "ABC", 1},
    {"A=C", "AC", 0},
    {"?#", "Q7", 1},
    {"?#", "q7", 1},
    {"?#", "77", 0},
    {"?#", "Q", 0},
    {"[A-C]X", "BX", 1},
    {"[A-CZ]X", "ZX", 1},
    {"[A-C]X", "DX", 0},
    {"[A-C", "A", 0}, // an open list matches nothing
    {"(1-5", "3", 0}, // nor does an open number list
    {"*", "", 1},
    {"*", "ANYTHING.AT.ALL", 1},
    {"A*B*C", "AXXBYYC", 1},
    {"A*B*C", "AXXBYY", 0},
    {"", "", 1},
    {"", "A", 0},
    {"ABC", "AB", 0},
    {"*.*", "NOEXT", 0},
};

class Pattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Pattern, MatchesWholeName) {
    const PatternCase &c = GetParam();
    EXPECT_EQ(MatchPattern(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Table, Pattern, ::testing::ValuesIn(PATTERN_CASES));

TEST(PatternFuzz, RandomPatternsNeverFault) {
    // Seeded random patterns and names from the pattern alphabet; ASan watches.
    const char alphabet[] = "*=#?[]()-,0123456789ABXab.";
    unsigned seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 0; i < 20000; i++) {
        char pattern[12], name[12];
        int pl = (int)(next() % 11), nl = (int)(next() % 11);
        for (int k = 0; k < pl; k++)
            pattern[k] = alphabet[next() % (sizeof alphabet - 1)];
        for (int k = 0; k < nl; k++)
            name[k] = alphabet[next() % (sizeof alphabet - 1)];
        pattern[pl] = name[nl] = '\0';
        int m = MatchPattern(pattern, name);
        ASSERT_TRUE(m == 0 || m == 1);
        if (strchr(pattern, '*') == nullptr && strchr(pattern, '(') == nullptr &&
            strchr(pattern, '[') == nullptr && m == 1) {
            ASSERT_EQ(strlen(pattern), strlen(name)) << pattern << " " << name;
        }
    }
}

} // namespace
