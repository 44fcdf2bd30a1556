// The bytes of .VRX configuration files, and what a decode takes of them.
#include "configurator/config_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A configuration of n files of record length 10 + i, with offsets placed.
ModuleConfig Sample(uint32_t n) {
    ModuleConfig c;
    ClearConfig(&c);
    c.fileCount = n;
    for (uint32_t i = 0; i < n; i++)
        c.files[i] = FileParams{(uint16_t)(10 + i), 2, (uint16_t)(100 * i + 5), 1, {}};
    CheckConfig(&c, false, nullptr);
    return c;
}

bool Same(const ModuleConfig &a, const ModuleConfig &b) {
    return memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(ConfigFile, TwoFilesGiveEightySixBytesFieldByFieldLittleEndian) {
    ModuleConfig c = Sample(2);
    c.files[1].maxRecord = 0x1234;
    std::vector<uint8_t> bytes = EncodeConfigFile(&c);
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{0x27, 0x0C, 2, 0, 0, 0, 10, 0}));
    // File 2's third word, and its first window after file 1's two of 13
    // registers (at 6 and 19) and its own 4 parameters.
    EXPECT_EQ(bytes[50], 0x34);
    EXPECT_EQ(bytes[51], 0x12);
    EXPECT_EQ(bytes[54], 36);
}

TEST(ConfigFile, SaveThenLoadGivesTheSameImage) {
    for (uint32_t n : {0u, 1u, 292u}) {
        ModuleConfig saved = Sample(n), loaded;
        ClearConfig(&loaded);
        std::vector<uint8_t> bytes = EncodeConfigFile(&saved);
        EXPECT_EQ(bytes.size(), 6u + 40u * n);
        ASSERT_EQ(DecodeConfigFile(bytes.data(), bytes.size(), &loaded), CFG_OK) << n;
        EXPECT_TRUE(Same(saved, loaded)) << n;
    }
}

TEST(ConfigFile, OldFormatCapsWindowsAtEight) {
    // Magic 2111, one file: length 20, 12 windows, records to 7, key 3, 8 offsets.
    std::vector<uint8_t> bytes = {0x3F, 0x08, 1, 0, 0, 0, 20, 0, 12, 0, 7, 0, 3, 0};
    for (uint8_t w = 0; w < 8; w++)
        bytes.insert(bytes.end(), {(uint8_t)(6 + 23 * w), 0});
    ModuleConfig c = Sample(3);
    ASSERT_EQ(DecodeConfigFile(bytes.data(), bytes.size(), &c), CFG_OK_OLD);
    EXPECT_EQ(c.fileCount, 1u);
    const FileParams &f = c.files[0];
    EXPECT_EQ((std::vector<int>{f.recordLength, f.windowCount, f.maxRecord, f.keyLength,
                                f.windowOffset[7], f.windowOffset[8]}),
              (std::vector<int>{20, 8, 7, 3, 167, 0}));
}

TEST(ConfigFile, BadFilesLeaveTheImageUnchanged) {
    ModuleConfig two = Sample(2);
    const std::vector<uint8_t> good = EncodeConfigFile(&two);
    auto with = [&](std::initializer_list<std::pair<int, uint8_t>> changes) {
        std::vector<uint8_t> v = good;
        for (auto [at, value] : changes)
            v[at] = value;
        return v;
    };
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
        ConfigFileResult result;
    } cases[] = {
        {"count 5000", with({{2, 0x88}, {3, 0x13}}), CFG_TOO_MANY},
        {"old count 5000", with({{0, 0x3F}, {1, 0x08}, {2, 0x88}, {3, 0x13}}), CFG_TOO_MANY},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), CFG_SHORT},
        {"half a header", std::vector<uint8_t>(good.begin(), good.begin() + 3), CFG_SHORT},
        {"old records short", with({{0, 0x3F}, {1, 0x08}, {2, 4}}), CFG_SHORT},
        {"wrong magic", with({{0, 0x28}}), CFG_BAD_MAGIC},
    };
    for (const auto &t : cases) {
        ModuleConfig image = Sample(5), before = image;
        EXPECT_EQ(DecodeConfigFile(t.bytes.data(), t.bytes.size(), &image), t.result) << t.what;
        EXPECT_TRUE(Same(image, before)) << t.what;
    }
}
