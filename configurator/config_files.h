// The ".VRX" configuration file: its bytes, written and read field by field.
//
// Little-endian, nothing before or after:
//   magic 3111 (2 bytes) | file count (4 bytes) | count x 40-byte file records
// A file record is the twenty words of FileParams in their order, window
// offsets included. The previous format has magic 2111 and 24-byte records
// (four values and 8 window offsets); it is read, never written.
#pragma once

#include "configurator/config_model.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint16_t CONFIG_FILE_MAGIC = 3111;
constexpr uint16_t OLD_CONFIG_FILE_MAGIC = 2111;
constexpr size_t CONFIG_HEADER_BYTES = 6;
constexpr size_t CONFIG_RECORD_BYTES = 2 * FILE_PARAM_WORDS;
constexpr size_t OLD_CONFIG_RECORD_BYTES = 2 * OLD_FILE_PARAM_WORDS;
// The longest file worth reading: a full table of current records.
constexpr size_t CONFIG_FILE_MAX_BYTES = CONFIG_HEADER_BYTES + MAX_FILES * CONFIG_RECORD_BYTES;

// What a decode made of the bytes.
enum ConfigFileResult {
    CFG_OK,        // taken (current format)
    CFG_OK_OLD,    // taken (previous format, windows capped at 8)
    CFG_SHORT,     // fewer bytes than the header and the count's records
    CFG_BAD_MAGIC, // neither magic number
    CFG_TOO_MANY,  // a file count above 292, refused before any record
};

// The bytes of the file for a configuration (at most 292 records).
std::vector<uint8_t> EncodeConfigFile(const ModuleConfig *c);

// Reads the bytes of a configuration file. Only a whole, good file changes
// *out: its file count and the first count records are replaced, the rest of
// the table is left as it was. Anything else leaves *out untouched.
ConfigFileResult DecodeConfigFile(const uint8_t *data, size_t size, ModuleConfig *out);
