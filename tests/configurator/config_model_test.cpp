// The configuration model: each correction and message of the check, the
// window layout, the two budgets and the old record conversion.
#include "configurator/config_model.h"
#include "fixture.h"

#include <algorithm>
#include <cstring>

namespace {

using ConfiguratorModel = ConfiguratorTest;

// One file of a configuration under test.
struct File {
    uint16_t recordLength, windowCount, maxRecord, keyLength;
};

struct Case {
    const char *name;
    uint32_t fileCount;      // files given (all alike after the first few)
    std::vector<File> files; // the first files; the rest repeat the last
    bool valid;
    std::vector<std::string> messages;
    long long rackLeft, dataLeft; // budget left afterwards
};

ModuleConfig *Build(const Case &c) {
    static ModuleConfig m;
    ClearConfig(&m);
    m.fileCount = c.fileCount;
    for (int i = 0; i < MAX_FILES && !c.files.empty(); i++) {
        const File &f = c.files[std::min<size_t>((size_t)i, c.files.size() - 1)];
        m.files[i].recordLength = f.recordLength;
        m.files[i].windowCount = f.windowCount;
        m.files[i].maxRecord = f.maxRecord;
        m.files[i].keyLength = f.keyLength;
    }
    return &m;
}

TEST_F(ConfiguratorModel, EachMessageAndBudget) {
    const char *files = "Number of files exceeds 292, truncating";
    const char *length = "Record length exceeds 2039, truncating";
    const char *key = "Key Length exceeds Record Length, truncating";
    const char *windows = "Too many windows, truncating.";
    const char *data = "Out of data storage registers";
    const char *rack = "Out of rack interface registers";
    const Case cases[] = {
        {"empty configuration", 0, {}, true, {}, 2046, 523115},
        {"one file, no records beyond 0", 1, {{0, 0, 0, 0}}, true, {}, 2042, 523114},
        {"293 files are cut to 292",
         293,
         {{0, 0, 0, 0}},
         false,
         {files},
         2046 - 4 * 292,
         523115 - 292},
        {"record length 2040", 1, {{2040, 0, 0, 0}}, false, {length}, 2042, 523115 - 2040},
        {"key 50 over record 20", 1, {{20, 1, 0, 50}}, false, {key}, 2046 - 4 - 23, 523115 - 21},
        {"17 windows", 1, {{0, 17, 0, 0}}, false, {windows}, 2046 - 4 - 16 * 3, 523114},
        {"record, key and windows in that order",
         1,
         {{3000, 20, 0, 3000}},
         false,
         {length, key, windows, rack},
         2046 - 4 - 16 * 2042,
         523115 - 2040},
        {"2039 with one window fills the rack exactly",
         1,
         {{2039, 1, 0, 0}},
         true,
         {},
         0,
         523115 - 2040},
        {"2039 with two windows", 1, {{2039, 2, 0, 0}}, false, {rack}, -2042, 523115 - 2040},
        {"length 6, 65536 records fit", 1, {{6, 0, 65535, 0}}, true, {}, 2042, 523115 - 458752},
        {"length 7, 65536 records do not",
         1,
         {{7, 0, 65535, 0}},
         false,
         {data},
         2042,
         523115 - 524288},
        // 17 such files need 2272788480 registers: a 32-bit running total
        // wraps to 2022701931 left and passes the configuration
        {"a total a 32-bit count would wrap",
         17,
         {{2039, 0, 65535, 0}},
         false,
         {data},
         2046 - 68,
         523115LL - 17LL * 2040 * 65536},
        {"292 of the largest files",
         292,
         {{2039, 0, 65535, 0}},
         false,
         {data},
         2046 - 4 * 292,
         523115LL - 292LL * 2040 * 65536},
        {"rack and data both spent",
         2,
         {{2039, 1, 65535, 0}},
         false,
         {data, rack},
         2046 - 8 - 2 * 2042,
         523115LL - 2LL * 2040 * 65536},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModuleConfig *m = Build(c);
        shown_errors.clear();
        AnswerErrors(8);
        ConfigBudget budget{};
        EXPECT_EQ(CheckConfig(m, true, &budget), c.valid);
        DrainKeys();
        EXPECT_EQ(shown_errors, c.messages);
        EXPECT_EQ(budget.rackLeft, c.rackLeft);
        EXPECT_EQ(budget.dataLeft, c.dataLeft);
        // without reporting, the same verdict and nothing shown
        shown_errors.clear();
        AnswerErrors(1);
        EXPECT_EQ(CheckConfig(Build(c), false, nullptr), c.valid);
        DrainKeys();
        EXPECT_TRUE(shown_errors.empty());
    }
}

TEST_F(ConfiguratorModel, CorrectionsStayInTheImage) {
    ModuleConfig *m = Build({"", 300, {{2100, 20, 5, 2200}}, false, {}, 0, 0});
    CheckConfig(m, false, nullptr);
    EXPECT_EQ(m->fileCount, 292u);
    EXPECT_EQ(m->files[0].recordLength, 2039);
    EXPECT_EQ(m->files[0].keyLength, 2039);
    EXPECT_EQ(m->files[0].windowCount, 16);
    // a second check finds only what no correction can mend
    EXPECT_FALSE(CheckConfig(m, false, nullptr));
    m->fileCount = 0;
    EXPECT_TRUE(CheckConfig(m, false, nullptr));
}

TEST_F(ConfiguratorModel, WindowsFollowTheLayout) {
    // file 1: length 10, 3 windows; file 2: length 2, 2 windows; file 3: none; file 4: length 0, 1
    ModuleConfig *m =
        Build({"", 4, {{10, 3, 0, 0}, {2, 2, 0, 0}, {5, 0, 0, 0}, {0, 1, 0, 0}}, true, {}, 0, 0});
    m->files[0].windowOffset[5] = 999; // beyond the count: left alone
    ConfigBudget b{};
    ASSERT_TRUE(CheckConfig(m, false, &b));
    const uint16_t first[] = {6, 19, 32};
    for (int w = 0; w < 3; w++)
        EXPECT_EQ(m->files[0].windowOffset[w], first[w]) << w;
    EXPECT_EQ(m->files[0].windowOffset[5], 999);
    // file 2's parameters at 45..48, windows of 5 registers from 49
    EXPECT_EQ(m->files[1].windowOffset[0], 49);
    EXPECT_EQ(m->files[1].windowOffset[1], 54);
    // file 3 takes its 4 parameter registers, file 4 its 4 then a window
    EXPECT_EQ(m->files[3].windowOffset[0], 59 + 4 + 4);
    EXPECT_EQ(b.rackLeft, 2048 - (67 + 3));
}

TEST_F(ConfiguratorModel, OldRecordsKeepAtMostEightWindows) {
    OldFileParams old[2] = {{12, 12, 100, 3, {1, 2, 3, 4, 5, 6, 7, 8}}, {5, 2, 9, 5, {40, 50}}};
    ModuleConfig m;
    memset(&m, 0xAB, sizeof m);
    ConvertOldRecords(old, 2, &m);
    EXPECT_EQ(m.fileCount, 2u);
    EXPECT_EQ(m.files[0].windowCount, 8);
    EXPECT_EQ(m.files[0].recordLength, 12);
    EXPECT_EQ(m.files[0].maxRecord, 100);
    EXPECT_EQ(m.files[0].keyLength, 3);
    EXPECT_EQ(m.files[0].windowOffset[7], 8);
    EXPECT_EQ(m.files[0].windowOffset[8], 0);
    EXPECT_EQ(m.files[1].windowCount, 2);
    EXPECT_EQ(m.files[1].windowOffset[1], 50);
}

} // namespace
