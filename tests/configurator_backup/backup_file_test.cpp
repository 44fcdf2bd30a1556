// The ".740" backup file: the bytes a backup writes and what a restore reads back.
#include "configurator/backup_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// One file of record length 2 and 10 records, its window at offset 6.
std::unique_ptr<ModuleConfig> OneFile() {
    auto c = std::make_unique<ModuleConfig>();
    memset(c.get(), 0, sizeof *c);
    c->fileCount = 1;
    c->files[0].recordLength = 2;
    c->files[0].windowCount = 1;
    c->files[0].maxRecord = 9;
    c->files[0].windowOffset[0] = 6;
    return c;
}

// A backup of that file holding records 0 and 5, with or without a lock value.
std::vector<uint8_t> Backup(const ModuleConfig &c, bool lock) {
    std::vector<uint8_t> out;
    const uint16_t zero[2] = {0x1234, 0xABCD}, five[2] = {0x0005, 0xFFFF};
    BackupPutHeader(out, c);
    BackupPutEntry(out, 0, zero, 2);
    BackupPutEntry(out, 5, five, 2);
    BackupPutEndMark(out);
    if (lock)
        BackupPutLock(out, 0x0003);
    return out;
}

// The same file as it must stand on disk, written out by hand.
std::vector<uint8_t> Expected(bool lock) {
    std::vector<uint8_t> e = {0x8B, 0x0C, 1, 0, 0, 0, // magic 3211, one file
                              2,    0,    1, 0, 9, 0,
                              0,    0,    6, 0}; // length, windows, max, key, window 1
    e.resize(e.size() + 30, 0);                  // windows 2 to 16
    const uint8_t entries[] = {0,    0,    0,    0,   0x34, 0x12, 0xCD, 0xAB, // record 0
                               5,    0,    0,    0,   0x05, 0x00, 0xFF, 0xFF, // record 5
                               0x01, 0x00, 0x01, 0x00};                       // end mark 65537
    e.insert(e.end(), entries, entries + sizeof entries);
    if (lock) {
        const uint8_t value[] = {3, 0, 0, 0};
        e.insert(e.end(), value, value + 4);
    }
    return e;
}

TEST(BackupFile, FrontPanelBackupIs70BytesWithTheLockValue) {
    auto c = OneFile();
    std::vector<uint8_t> out = Backup(*c, true);
    EXPECT_EQ(out.size(), 70u);
    EXPECT_EQ(out, Expected(true));
}

TEST(BackupFile, PlcPortBackupIs66BytesWithoutIt) {
    auto c = OneFile();
    std::vector<uint8_t> out = Backup(*c, false);
    EXPECT_EQ(out.size(), 66u);
    EXPECT_EQ(out, Expected(false));
}

// Every cut of a whole file is refused somewhere, except the one that drops
// exactly the lock value; and a refused header leaves the image alone.
TEST(BackupFile, EveryTruncationIsNoticed) {
    auto c = OneFile();
    std::vector<uint8_t> whole = Backup(*c, true);
    auto mark = std::make_unique<ModuleConfig>();
    for (size_t n = 0; n < whole.size(); n++) {
        memset(mark.get(), 0x5A, sizeof *mark);
        auto before = std::make_unique<ModuleConfig>(*mark);
        BackupReader r = {whole.data(), n, 0};
        BackupHeaderResult h = BackupGetHeader(&r, mark.get(), nullptr);
        if (h != BH_OK) {
            EXPECT_EQ(h, BH_UNREADABLE) << n;
            EXPECT_EQ(memcmp(mark.get(), before.get(), sizeof *mark), 0) << n;
            EXPECT_EQ(r.pos, 0u) << n;
            continue;
        }
        BackupScan s = BackupScanRecords(r, *mark);
        if (n == 66)
            EXPECT_EQ(s.result, BS_OK);
        else
            EXPECT_EQ(s.result, BS_TRUNCATED) << n;
        // A cut lock value is nobody's records.
        if (n != 66) {
            EXPECT_EQ(s.file, n > 66 ? 1u : 0u) << n;
        }
    }
}

struct DamageCase {
    const char *what;
    size_t at;     // byte to change
    uint8_t value; // its new value
    BackupScanResult result;
};

// Byte 46 starts the entry of record 0, byte 62 the end mark.

TEST(BackupFile, DamagedRecordData) {
    const DamageCase cases[] = {
        {"record number 65536", 48, 1, BS_BAD_NUMBER}, // entry 0's number becomes 0x10000
        {"end mark above 65537 ends the list", 64, 0xFF, BS_OK},
        {"record length past the buffer", 6, 0xFF, BS_TOO_LONG},
        {"no window", 8, 0, BS_NO_WINDOW},
    };
    for (const DamageCase &d : cases) {
        auto c = OneFile();
        std::vector<uint8_t> bytes = Backup(*c, true);
        bytes[d.at] = d.value;
        if (d.at == 6)
            bytes[7] = 0x07; // record length 2047
        BackupReader r = {bytes.data(), bytes.size(), 0};
        auto got = std::make_unique<ModuleConfig>();
        ASSERT_EQ(BackupGetHeader(&r, got.get(), nullptr), BH_OK) << d.what;
        EXPECT_EQ(BackupScanRecords(r, *got).result, d.result) << d.what;
    }
}

// A transfer tool pads a file to its block size (XMODEM: 128 bytes of 0x1A).
TEST(BackupFile, WhatFollowsTheLockValueIsIgnored) {
    auto c = OneFile();
    for (bool lock : {true, false}) {
        std::vector<uint8_t> bytes = Backup(*c, lock);
        bytes.resize(128, 0x1A);
        BackupReader r = {bytes.data(), bytes.size(), 0};
        auto got = std::make_unique<ModuleConfig>();
        ASSERT_EQ(BackupGetHeader(&r, got.get(), nullptr), BH_OK);
        BackupScan s = BackupScanRecords(r, *got);
        EXPECT_EQ(s.result, BS_OK) << lock;
        EXPECT_EQ(s.entries, 2u);
        // Padding where a lock value would stand is no lock value: a lock
        // value is zero-extended.
        EXPECT_EQ(s.hasLock, lock);
        EXPECT_EQ(s.lock, lock ? 3 : 0);
    }
}

TEST(BackupFile, CountAbove292IsRefusedBeforeAnyRecord) {
    std::vector<uint8_t> bytes = {0x8B, 0x0C, 0x25, 0x01, 0, 0}; // 293 files
    bytes.resize(6 + 293 * 40, 0);
    for (uint16_t magic : {BACKUP_MAGIC, BACKUP_OLD_MAGIC}) {
        bytes[0] = magic & 0xFF;
        bytes[1] = magic >> 8;
        BackupReader r = {bytes.data(), bytes.size(), 0};
        auto got = std::make_unique<ModuleConfig>();
        memset(got.get(), 0x5A, sizeof *got);
        uint32_t count = 0;
        EXPECT_EQ(BackupGetHeader(&r, got.get(), &count), BH_TOO_MANY_FILES);
        EXPECT_EQ(count, 293u);
        EXPECT_EQ(got->fileCount, 0x5A5A5A5Au);
        EXPECT_EQ(r.pos, 0u);
    }
}

TEST(BackupFile, OldFormatIsConvertedToEightWindowsAtMost) {
    std::vector<uint8_t> bytes = {0xA3, 0x08, 1,  0, 0, 0, // magic 2211, one file
                                  3,    0,    12, 0, 4, 0,
                                  1,    0}; // length 3, 12 windows, max 4, key 1
    for (int w = 0; w < 8; w++) {
        bytes.push_back((uint8_t)(6 + 6 * w));
        bytes.push_back(0);
    }
    const uint8_t entry[] = {4, 0, 0, 0, 1, 0, 2, 0, 3, 0, 0x01, 0x00, 0x01, 0x00};
    bytes.insert(bytes.end(), entry, entry + sizeof entry);
    BackupReader r = {bytes.data(), bytes.size(), 0};
    auto got = std::make_unique<ModuleConfig>();
    ASSERT_EQ(BackupGetHeader(&r, got.get(), nullptr), BH_OLD_OK);
    EXPECT_EQ(r.pos, 30u);
    EXPECT_EQ(got->fileCount, 1u);
    EXPECT_EQ(got->files[0].recordLength, 3);
    EXPECT_EQ(got->files[0].windowCount, 8);
    EXPECT_EQ(got->files[0].maxRecord, 4);
    EXPECT_EQ(got->files[0].keyLength, 1);
    EXPECT_EQ(got->files[0].windowOffset[7], 48);
    BackupScan s = BackupScanRecords(r, *got);
    EXPECT_EQ(s.result, BS_OK);
    EXPECT_EQ(s.entries, 1u);
}

} // namespace
