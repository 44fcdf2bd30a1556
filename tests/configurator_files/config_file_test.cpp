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

bool Same(const ModuleConfig &a, const ModuleConfig &b) { return memcmp(&a, &b, sizeof a) == 0; }

void Put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(x & 0xFF);
    v.push_back(x >> 8);
}

} // namespace

TEST(ConfigFile, TwoFilesGiveEightySixBytesFieldByFieldLittleEndian) {
    ModuleConfig c = Sample(2);
    c.files[1].maxRecord = 0x1234;
    std::vector<uint8_t> bytes = EncodeConfigFile(&c);
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{0x27, 0x0C, 2, 0, 0, 0, 10, 0}));
    // File 2's maximum record is its third word; its first window follows file
    // 1's two windows of 13 registers (6 and 19) and its own 4 parameters.
    EXPECT_EQ(bytes[46 + 4], 0x34);
    EXPECT_EQ(bytes[46 + 5], 0x12);
    EXPECT_EQ(bytes[46 + 8], 36);
}

TEST(ConfigFile, SaveThenLoadGivesTheSameImage) {
    for (uint32_t n : {0u, 1u, 2u, 292u}) {
        ModuleConfig saved = Sample(n);
        ModuleConfig loaded;
        ClearConfig(&loaded);
        std::vector<uint8_t> bytes = EncodeConfigFile(&saved);
        EXPECT_EQ(bytes.size(), 6u + 40u * n);
        ASSERT_EQ(DecodeConfigFile(bytes.data(), bytes.size(), &loaded), CFG_OK) << n;
        EXPECT_TRUE(Same(saved, loaded)) << n;
    }
}

TEST(ConfigFile, OldFormatCapsWindowsAtEight) {
    std::vector<uint8_t> bytes;
    Put16(bytes, 2111);
    Put16(bytes, 1);
    Put16(bytes, 0);
    for (uint16_t w : {20, 12, 7, 3, 6, 29, 52, 75, 98, 121, 144, 167})
        Put16(bytes, w);
    ModuleConfig c = Sample(3);
    ASSERT_EQ(DecodeConfigFile(bytes.data(), bytes.size(), &c), CFG_OK_OLD);
    EXPECT_EQ(c.fileCount, 1u);
    EXPECT_EQ(c.files[0].recordLength, 20);
    EXPECT_EQ(c.files[0].windowCount, 8);
    EXPECT_EQ(c.files[0].maxRecord, 7);
    EXPECT_EQ(c.files[0].keyLength, 3);
    EXPECT_EQ(c.files[0].windowOffset[7], 167);
    EXPECT_EQ(c.files[0].windowOffset[8], 0);
}

TEST(ConfigFile, BadFilesLeaveTheImageUnchanged) {
    ModuleConfig two = Sample(2);
    std::vector<uint8_t> good = EncodeConfigFile(&two);
    std::vector<uint8_t> many = good, oldMany = good, magic = good;
    many[2] = 5000 & 0xFF, many[3] = 5000 >> 8;
    oldMany[0] = 2111 & 0xFF, oldMany[1] = 2111 >> 8, oldMany[2] = 0x88, oldMany[3] = 0x13;
    magic[0] = 0x28;
    std::vector<uint8_t> oldShort = good;
    oldShort[0] = 2111 & 0xFF, oldShort[1] = 2111 >> 8, oldShort[2] = 4;
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
        ConfigFileResult result;
    } cases[] = {
        {"count 5000", many, CFG_TOO_MANY},
        {"old count 5000", oldMany, CFG_TOO_MANY},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), CFG_SHORT},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 6), CFG_SHORT},
        {"half a header", std::vector<uint8_t>(good.begin(), good.begin() + 3), CFG_SHORT},
        {"empty", {}, CFG_SHORT},
        {"old records short", oldShort, CFG_SHORT},
        {"wrong magic", magic, CFG_BAD_MAGIC},
    };
    for (const auto &t : cases) {
        ModuleConfig image = Sample(5), before = image;
        EXPECT_EQ(DecodeConfigFile(t.bytes.data(), t.bytes.size(), &image), t.result) << t.what;
        EXPECT_TRUE(Same(image, before)) << t.what;
    }
}
