// The module configuration image held in PC memory, its register budgets and
// its validation.
//
// The storage module keeps up to 292 record files. Each file has a record
// length, a number of windows in the 2048-register rack interface, a highest
// record number and a key length. The rack interface is laid out in file
// order: 2 global registers, then per file its 4 parameter registers followed
// by its windows (recordLength + 3 registers each). Every record slot of a
// file costs recordLength + 1 registers of the 523115-register data store.
#pragma once

#include "configurator/state.h"

#include <cstdint>

constexpr int MAX_FILES = 292;
constexpr int RACK_INTERFACE_REGISTERS = 2048;
constexpr int GLOBAL_REGISTERS = 2;
constexpr int FILE_PARAM_REGISTERS = 4;
constexpr int WINDOW_OVERHEAD = 3;
constexpr int MAX_RECORD_LENGTH = 2039;
constexpr int MAX_WINDOWS = 16;
constexpr long DATA_STORAGE_REGISTERS = 523115;
// Words of one file record, and of one record of the previous format.
constexpr int FILE_PARAM_WORDS = 20;
constexpr int OLD_FILE_PARAM_WORDS = 12;
constexpr int OLD_MAX_WINDOWS = 8;

// One module file: twenty 16-bit words in this order (also the 40-byte record
// of configuration and backup files).
struct FileParams {
    uint16_t recordLength;              // registers per record, 0 to 2039
    uint16_t windowCount;               // windows in the rack interface, 0 to 16
    uint16_t maxRecord;                 // highest record number (records 0 to maxRecord)
    uint16_t keyLength;                 // key registers, 0 to recordLength
    uint16_t windowOffset[MAX_WINDOWS]; // zero-based offset of each window's status register
};

// A file record of the previous format: four values and 8 window offsets.
struct OldFileParams {
    uint16_t recordLength;
    uint16_t windowCount;
    uint16_t maxRecord;
    uint16_t keyLength;
    uint16_t windowOffset[OLD_MAX_WINDOWS];
};

// The configuration image: file count and the 292 file records.
struct ModuleConfig {
    uint32_t fileCount;
    FileParams files[MAX_FILES];
};

// The register budget left after a configuration, as ValidateConfig counts it.
struct ConfigBudget {
    long long rackLeft; // of the 2046 rack interface registers after the globals
    long long dataLeft; // of the 523115 data storage registers
};

// File count 0 and every record zero.
void ClearConfig(ModuleConfig *c);

// Truncates out-of-range values in place, recomputes every window offset and
// reports each problem with ShowError (when report is set); returns true when
// the configuration is valid. The budget left is put in *budget when given.
// The running totals are 64-bit, so no file count or size can wrap them.
bool CheckConfig(ModuleConfig *c, bool report, ConfigBudget *budget);

// CheckConfig of the PC image; with show it also draws the file count and
// the two budget figures on the editor screen.
bool ValidateConfig(bool show);

// Copy the PC image to and from the spare image.
void SaveSpareImage(void);
void RestoreSpareImage(void);

// Converts count old records into the file table of c (at most 8 windows a file).
void ConvertOldRecords(const OldFileParams *old, uint32_t count, ModuleConfig *c);
