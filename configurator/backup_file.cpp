// Encoding and decoding of ".740" backup files, field by field, little-endian.
#include "configurator/backup_file.h"

#include <cstring>
#include <memory>

static void Put16(std::vector<uint8_t> &out, uint16_t v) {
    out.push_back((uint8_t)(v & 0xFF));
    out.push_back((uint8_t)(v >> 8));
}

static void Put32(std::vector<uint8_t> &out, uint32_t v) {
    for (int i = 0; i < 4; i++)
        out.push_back((uint8_t)(v >> (8 * i)));
}

static uint16_t Get16(const uint8_t *p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void BackupPutHeader(std::vector<uint8_t> &out, const ModuleConfig &c) {
    Put16(out, BACKUP_MAGIC);
    Put32(out, c.fileCount);
    for (uint32_t i = 0; i < c.fileCount && i < (uint32_t)MAX_FILES; i++) {
        const FileParams &f = c.files[i];
        Put16(out, f.recordLength);
        Put16(out, f.windowCount);
        Put16(out, f.maxRecord);
        Put16(out, f.keyLength);
        for (int w = 0; w < MAX_WINDOWS; w++)
            Put16(out, f.windowOffset[w]);
    }
}

void BackupPutEntry(std::vector<uint8_t> &out, uint32_t number, const uint16_t *image, int length) {
    Put32(out, number);
    for (int i = 0; i < length; i++)
        Put16(out, image[i]);
}

void BackupPutEndMark(std::vector<uint8_t> &out) {
    Put32(out, BACKUP_END_MARK);
}

void BackupPutLock(std::vector<uint8_t> &out, uint16_t lock) {
    Put32(out, lock);
}

static size_t Left(const BackupReader &r) {
    return r.pos <= r.size ? r.size - r.pos : 0;
}

bool BackupGetNumber(BackupReader *r, uint32_t *value) {
    if (Left(*r) < 4)
        return false;
    *value = Get32(r->data + r->pos);
    r->pos += 4;
    return true;
}

bool BackupGetImage(BackupReader *r, int length, uint16_t *image) {
    if (length < 0 || Left(*r) / 2 < (size_t)length)
        return false;
    const uint8_t *p = r->data + r->pos;
    for (int i = 0; i < length; i++)
        image[i] = Get16(p + 2 * i);
    r->pos += 2 * (size_t)length;
    return true;
}

// Decodes the 40-byte records of the current format.
static void DecodeRecords(const uint8_t *p, uint32_t count, ModuleConfig *c) {
    for (uint32_t i = 0; i < count; i++, p += BACKUP_FILE_RECORD_BYTES) {
        FileParams &f = c->files[i];
        f.recordLength = Get16(p);
        f.windowCount = Get16(p + 2);
        f.maxRecord = Get16(p + 4);
        f.keyLength = Get16(p + 6);
        for (int w = 0; w < MAX_WINDOWS; w++)
            f.windowOffset[w] = Get16(p + 8 + 2 * w);
    }
}

// Decodes the 24-byte records of the previous format and converts them.
static void DecodeOldRecords(const uint8_t *p, uint32_t count, ModuleConfig *c) {
    OldFileParams old[MAX_FILES];
    for (uint32_t i = 0; i < count; i++, p += BACKUP_OLD_FILE_RECORD_BYTES) {
        old[i].recordLength = Get16(p);
        old[i].windowCount = Get16(p + 2);
        old[i].maxRecord = Get16(p + 4);
        old[i].keyLength = Get16(p + 6);
        for (int w = 0; w < OLD_MAX_WINDOWS; w++)
            old[i].windowOffset[w] = Get16(p + 8 + 2 * w);
    }
    ConvertOldRecords(old, count, c);
}

BackupHeaderResult BackupGetHeader(BackupReader *r, ModuleConfig *c, uint32_t *count) {
    size_t left = Left(*r);
    if (left < 6)
        return BH_UNREADABLE;
    const uint8_t *p = r->data + r->pos;
    uint16_t magic = Get16(p);
    uint32_t n = Get32(p + 2);
    if (magic != BACKUP_MAGIC && magic != BACKUP_OLD_MAGIC)
        return BH_UNREADABLE;
    if (count)
        *count = n;
    // Refused before a single record is looked at: the image holds 292 files.
    if (n > (uint32_t)MAX_FILES)
        return BH_TOO_MANY_FILES;
    bool old = magic == BACKUP_OLD_MAGIC;
    size_t recordBytes = old ? BACKUP_OLD_FILE_RECORD_BYTES : BACKUP_FILE_RECORD_BYTES;
    if ((left - 6) / recordBytes < n)
        return BH_UNREADABLE;
    // Decoded into a copy first, so that a refusal leaves *c as it was.
    auto decoded = std::make_unique<ModuleConfig>();
    memset(decoded.get(), 0, sizeof *decoded);
    decoded->fileCount = n;
    if (old)
        DecodeOldRecords(p + 6, n, decoded.get());
    else
        DecodeRecords(p + 6, n, decoded.get());
    *c = *decoded;
    r->pos += 6 + recordBytes * n;
    return old ? BH_OLD_OK : BH_OK;
}

// Steps over one file's list of entries up to its end mark.
static BackupScanResult ScanFile(BackupReader *r, const FileParams &f, uint32_t *entries) {
    size_t imageBytes = 2 * (size_t)f.recordLength;
    for (;;) {
        uint32_t number;
        if (!BackupGetNumber(r, &number))
            return BS_TRUNCATED;
        if (number >= BACKUP_END_MARK)
            return BS_OK;
        if (number > BACKUP_HIGHEST_RECORD)
            return BS_BAD_NUMBER;
        if (f.windowCount == 0)
            return BS_NO_WINDOW;
        if (f.recordLength > MAX_RECORD_LENGTH)
            return BS_TOO_LONG;
        if (Left(*r) < imageBytes)
            return BS_TRUNCATED;
        r->pos += imageBytes;
        (*entries)++;
    }
}

BackupScan BackupScanRecords(const BackupReader &start, const ModuleConfig &c) {
    BackupScan s = {BS_OK, 0, 0, false, 0};
    BackupReader r = start;
    uint32_t files = c.fileCount < (uint32_t)MAX_FILES ? c.fileCount : (uint32_t)MAX_FILES;
    for (s.file = 0; s.file < files; s.file++) {
        s.result = ScanFile(&r, c.files[s.file], &s.entries);
        if (s.result != BS_OK)
            return s;
    }
    s.file = 0;
    size_t left = Left(r);
    if (left == 0)
        return s;
    if (left < 4) {
        // No file is at fault: the lock value behind the last one is cut.
        s.file = files;
        s.result = BS_TRUNCATED;
        return s;
    }
    // Whatever follows the lock value is not read (a transfer tool may have
    // padded the file to its block size). A lock value is zero-extended, so
    // four bytes above 65535 are such padding, not a lock value.
    uint32_t lock;
    BackupGetNumber(&r, &lock);
    s.hasLock = lock <= 0xFFFF;
    s.lock = s.hasLock ? (uint16_t)lock : 0;
    return s;
}
