// The simulated record-storage module: its registers, configuration mode,
// lock register and the window commands that move records. No I/O here: the
// owner serialises access and serves the registers over a link.
//
// Module offsets (zero-based):
//   0..2047    rack interface: 0 file count (bits 0-11) and configure bit 15,
//              1 baud, then per file 4 parameters (record length, windows,
//              maximum record number, key length) and its windows of L + 3:
//              status | record number | image (L) | command
//   2048..     configuration area: 2048 file count, per file i at 2051 + 5i:
//              record length, windows, parameter block offset, record count
//              (maximum record number + 1), key length
//   8191       lock register: bit 0 configuration locked, bit 1 write protect
//   8192..     the status word of offset - 8192 (always 0: good)
// Offset 6 carries bit 15 while the module is in configuration mode.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vrx740 {

enum {
    MOD_RACK = 2048,        // registers of the rack interface
    MOD_OFFSETS = 8192,     // module offsets; their status words follow
    MOD_CONFIG_AREA = 2048, // file count, then 5 registers a file from 2051
    MOD_CONFIG_FILES = 2051,
    MOD_LOCK = 8191,
    MOD_CONFIG_STATUS = 6,
    MOD_MAX_FILES = 292,
    MOD_MAX_RECORD_LENGTH = 2039,
    MOD_MAX_WINDOWS = 16,
    MOD_STORE = 523115,  // record store: (maxRecord + 1) x (recordLength + 1) a file
    MOD_MAX_RACK = 6145, // highest rack address: the interface ends at 8192
};

// Window commands and status bits.
enum : uint16_t {
    CMD_DELETE_ALL = 0x0001,
    CMD_WRITE_RECORD = 0x0008,
    CMD_WRITE_AT_NUMBER = 0x0010,
    CMD_READ_RECORD = 0x0080,
    CMD_READ_NEXT = 0x0100,
    ST_FOUND = 0x0800,
    ST_REFUSED = 0x1000,
    CONFIGURE_BIT = 0x8000,
    LOCK_CONFIG = 0x0001,
    LOCK_WRITE_PROTECT = 0x0002,
};

// Sy/Max statuses the module answers with.
enum {
    MOD_ILLEGAL_ADDRESS = 3, // outside the rack interface through the PLC port
    MOD_READ_ERROR = 27,     // "Memory Error": the failread fault
};

// One file's parameters as the host sets them.
struct FileConfig {
    int recordLength = 0;
    int windows = 0;
    int maxRecord = 0;
    int keyLength = 0;
};

// Where a file lives in the rack interface, and its records.
struct ModuleFile {
    FileConfig cfg;
    int paramOffset = 0;
    std::map<int, std::vector<uint16_t>> records; // by record number, images of L words
};

// One window's state beyond its registers.
struct WindowState {
    int file = 0;           // index into files
    int start = 0;          // offset of its status register
    uint16_t status = 0;    // completion bits of the last command
    int pendingReads = 0;   // status reads before they show (fault slow)
    int lastRead = -1;      // number of the last record read, -1 before any
    bool numberSet = false; // the host wrote the record number since the last command
    uint16_t command = 0;   // the command standing in the command register
};

struct ModuleFaults {
    int slow = 0;            // status reads before a command's bits show
    uint16_t stuck = 0;      // status bits that every window status read carries
    int refuse = 0;          // record-changing commands left to refuse; -1 all
    bool noConfig = false;   // configure bit ignored
    bool noActivate = false; // activation ignored: stays in configuration mode
    bool wrapNext = false;   // read-next past the last record starts over
    int failReadOffset = -1; // link reads touching this offset fail ...
    int failReadCount = 0;   // ... this many more times
};

struct ModuleStats {
    long reads = 0;         // link read requests
    long writes = 0;        // link write requests
    long statusReads = 0;   // window status registers read over the link
    long commands = 0;      // window commands run
    long refused = 0;       // ... of them refused
    long configEntries = 0; // times configuration mode was entered
    long activations = 0;   // configurations adopted
};

struct Module {
    uint16_t reg[MOD_OFFSETS];
    bool configMode = false;
    std::vector<ModuleFile> files;
    std::vector<WindowState> windows;
    int16_t owner[MOD_RACK]; // window index of each rack offset, -1 none
    bool plc = false;        // PLC port addressing at rack, else the front panel
    int rack = 1;
    ModuleFaults faults;
    ModuleStats stats;
};

// An empty module (no files, unlocked), front panel addressing.
void ModuleInit(Module *m);

// Checks a configuration against the module's limits; false with *why.
bool ModuleCheckConfig(const std::vector<FileConfig> &files, std::string *why);
// Adopts a checked configuration as activation does: erases every record,
// lays the windows out and rebuilds the parameter blocks and configuration
// area; leaves configuration mode. False with *why (nothing changed).
bool ModuleConfigure(Module *m, const std::vector<FileConfig> &files, std::string *why);
// The active configuration.
std::vector<FileConfig> ModuleConfigOf(const Module *m);

// Link access by zero-based register index (register number - 1), through
// the addressing in force; 0 or the Sy/Max status of a refused request.
int ModuleLinkRead(Module *m, unsigned first, unsigned count, uint16_t *values);
int ModuleLinkWrite(Module *m, unsigned first, unsigned count, const uint16_t *values);

// A register by module offset (0..16383, status words from 8192) as the
// link would read it, without side effects.
uint16_t ModulePeek(const Module *m, int offset);
// One register read by the host (counts status reads, runs slow completion).
uint16_t ModuleRead(Module *m, int offset);
// One register written by the host, with every effect the module gives it.
void ModuleWrite(Module *m, int offset, uint16_t value);

// Stores a record image (padded with zeros to the record length); false when
// the file or number does not exist or the image is too long.
bool ModuleSetRecord(Module *m, int file, int number, const std::vector<uint16_t> &image);

// The window command just written to window w (module_window.cpp).
void WindowCommand(Module *m, int w, uint16_t command);
// The host read window w's status register: the value it sees.
uint16_t WindowStatusRead(Module *m, int w);
// The value a status read would give, without counting it.
uint16_t WindowStatusPeek(const Module *m, int w);

} // namespace vrx740
