// The ".740" backup file: the module's configuration, every record of every
// file and the lock register, little-endian field by field.
//
//   magic 3211 (2) | file count (4) | 40-byte file record x count |
//   per file: entries (record number (4), recordLength words) ... end mark 65537 (4) |
//   lock value (4, only from a front panel backup) | anything else is ignored
//
// The previous format (magic 2211) carries 24-byte file records (8 windows)
// and is read, never written. These functions only encode and decode bytes;
// opening, reading and writing the files is the dialogues' business.
#pragma once

#include "configurator/config_model.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint16_t BACKUP_MAGIC = 3211;
constexpr uint16_t BACKUP_OLD_MAGIC = 2211;
constexpr uint32_t BACKUP_END_MARK = 65537;
constexpr uint32_t BACKUP_HIGHEST_RECORD = 65535;
constexpr size_t BACKUP_FILE_RECORD_BYTES = 2 * FILE_PARAM_WORDS;
constexpr size_t BACKUP_OLD_FILE_RECORD_BYTES = 2 * OLD_FILE_PARAM_WORDS;
// No backup of a real module comes near this (its whole store is about 2 MB
// of entries); anything bigger is not read into memory at all.
constexpr size_t BACKUP_MAX_BYTES = 8u << 20;

// Appends the magic, the file count and the file records of c.
void BackupPutHeader(std::vector<uint8_t> &out, const ModuleConfig &c);
// Appends one record entry: its number, then length words of image.
void BackupPutEntry(std::vector<uint8_t> &out, uint32_t number, const uint16_t *image, int length);
// Appends the end mark of a file's list.
void BackupPutEndMark(std::vector<uint8_t> &out);
// Appends the lock value, zero-extended to 32 bits.
void BackupPutLock(std::vector<uint8_t> &out, uint16_t lock);

// A backup file held in memory and the position of the next field.
struct BackupReader {
    const uint8_t *data;
    size_t size;
    size_t pos;
};

// How the front of a backup file read.
enum BackupHeaderResult {
    BH_OK,            // current format
    BH_OLD_OK,        // previous format, converted
    BH_UNREADABLE,    // another magic, or the configuration block is short
    BH_TOO_MANY_FILES // a file count the configuration image cannot hold
};

// Decodes the magic, the file count and the file records into *c and leaves
// the reader on the record data. On any result but BH_OK / BH_OLD_OK both *c
// and the reader are left as they were; *count gets the file count read
// (when there was one) so that a refusal can name it.
BackupHeaderResult BackupGetHeader(BackupReader *r, ModuleConfig *c, uint32_t *count);

// Reads a 4-byte value; false (reader unmoved) when fewer than 4 bytes are left.
bool BackupGetNumber(BackupReader *r, uint32_t *value);
// Reads length words of a record image; false (reader and image untouched)
// when the file holds fewer.
bool BackupGetImage(BackupReader *r, int length, uint16_t *image);

// What a look over the record data found.
enum BackupScanResult {
    BS_OK,
    BS_TRUNCATED,  // a record number, an image, an end mark or the lock value is cut short
    BS_BAD_NUMBER, // a record number that is neither 0..65535 nor an end mark
    BS_NO_WINDOW,  // a file without windows carries records it could never take
    BS_TOO_LONG,   // a record length the record buffer cannot hold
};
struct BackupScan {
    BackupScanResult result;
    uint32_t file;    // zero-based file at fault (the file count: the lock value)
    uint32_t entries; // record entries in the whole file
    bool hasLock;
    uint16_t lock; // low 16 bits of the lock value when there is one
};

// Walks the record data behind the header (the reader is not moved) with the
// record lengths and window counts of c, so that a restore can refuse a
// damaged file before it sends anything to the module.
BackupScan BackupScanRecords(const BackupReader &r, const ModuleConfig &c);
