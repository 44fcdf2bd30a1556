// Fetching the configuration from the module, sending it back through the
// configure and activation handshakes, and the module's lock register.
#include "configurator/fetch_send.h"

#include "configurator/config_model.h"
#include "configurator/dialogs.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "screen/screen.h"

#include <cstring>

// The configuration area of the front panel: file count at 2048, then five
// registers a file from 2051 (record length, windows, unused, record count,
// key length).
constexpr int AREA_FIRST_FILE = 3;
constexpr int AREA_FILE_WORDS = 5;
constexpr int AREA_WORDS = AREA_FIRST_FILE + AREA_FILE_WORDS * MAX_FILES;
constexpr uint16_t FILE_COUNT_MASK = 0x0FFF;
// Offsets 0 to 5 of the rack interface: file count, baud rate, file 1's parameters.
constexpr int HEAD_WORDS = GLOBAL_REGISTERS + FILE_PARAM_REGISTERS;

// What the module gave a fetch, before it becomes the PC image.
static ModuleConfig fetched;
static uint16_t area[AREA_WORDS];
static uint16_t head[HEAD_WORDS];

// Front panel: the file count and every file's parameters from the
// configuration area. The first chunk holds the count and 25 files, so a
// small configuration comes in one read.
static bool ReadConfigArea(uint32_t *count) {
    if (!ReadModuleRegisters(OFFSET_CONFIG_AREA, MODULE_CHUNK, area))
        return false;
    uint32_t n = area[0] & FILE_COUNT_MASK;
    if (n > MAX_FILES)
        n = MAX_FILES;
    int needed = AREA_FIRST_FILE + AREA_FILE_WORDS * (int)n;
    if (needed > MODULE_CHUNK && !ReadModuleRegisters(OFFSET_CONFIG_AREA + MODULE_CHUNK,
                                                      needed - MODULE_CHUNK, area + MODULE_CHUNK))
        return false;
    *count = n;
    return true;
}

// The four parameters of file i (0-based) whose block is at pos: record
// length, windows, highest record number, key length.
static bool ReadFileParams(bool plc, uint32_t i, int pos, uint16_t p[4]) {
    if (!plc) {
        const uint16_t *a = area + AREA_FIRST_FILE + AREA_FILE_WORDS * i;
        p[0] = a[0];
        p[1] = a[1];
        // The area holds a record count; a count of 0 reads as 65535 here
        // and is then cut by the storage rule.
        p[2] = (uint16_t)(a[3] - 1);
        p[3] = a[4];
        return true;
    }
    if (pos == GLOBAL_REGISTERS) {
        memcpy(p, head + GLOBAL_REGISTERS, sizeof(uint16_t) * FILE_PARAM_REGISTERS);
        return true;
    }
    return ReadModuleRegisters(pos, FILE_PARAM_REGISTERS, p);
}

// Puts file i's parameters into f with the module's limits applied, and
// places its windows from *pos on. Sets *error after each limit it reports.
static void TakeFile(uint32_t i, const uint16_t p[4], int *pos, long long *dataLeft, FileParams *f,
                     bool *error) {
    memset(f, 0, sizeof *f);
    f->recordLength = p[0];
    if (f->recordLength > MAX_RECORD_LENGTH) {
        f->recordLength = MAX_RECORD_LENGTH;
        ShowError("Record length exceeds 2039 registers.");
        *error = true;
    }
    unsigned windows = p[1];
    if (windows > MAX_WINDOWS) {
        windows = MAX_WINDOWS;
        ShowError("More than 16 windows.");
        *error = true;
    }
    long long slot = f->recordLength + 1;
    f->maxRecord = p[2];
    if ((f->maxRecord + 1LL) * slot > *dataLeft) {
        long long fit = *dataLeft / slot;
        if (fit >= 1) {
            f->maxRecord = (uint16_t)(fit - 1);
            ShowErrorF("Data storage exceeds %ld registers.", DATA_STORAGE_REGISTERS);
        } else {
            // Not one record fits: the smallest file there is, never 65535 records.
            f->maxRecord = 0;
            ShowErrorF("Data storage exceeds %ld registers; file %u set to 1 record.",
                       DATA_STORAGE_REGISTERS, i + 1);
        }
        *error = true;
    }
    *dataLeft -= (f->maxRecord + 1LL) * slot;
    if (*dataLeft < 0)
        *dataLeft = 0;
    f->keyLength = p[3];
    if (f->keyLength > f->recordLength) {
        f->keyLength = f->recordLength;
        ShowError("Key length exceeds record length.");
        *error = true;
    }
    // Every window lies wholly within the rack interface.
    unsigned w = 0;
    for (; w < windows; w++) {
        if (*pos + f->recordLength + WINDOW_OVERHEAD > RACK_INTERFACE_REGISTERS) {
            ShowError("Rack Interface requirement exceeds 2048 registers.");
            *error = true;
            break;
        }
        f->windowOffset[w] = (uint16_t)*pos;
        *pos += f->recordLength + WINDOW_OVERHEAD;
    }
    f->windowCount = (uint16_t)w;
}

// Reads the module's configuration into c. False when the link failed (c is
// then half filled); *empty when the module reports no files.
static bool FetchInto(ModuleConfig *c, bool *error, bool *empty) {
    bool plc = g_setup.connectedVia == VIA_PLC_PORT;
    uint32_t count;
    if (plc) {
        if (!ReadModuleRegisters(OFFSET_FILE_COUNT, HEAD_WORDS, head))
            return false;
        count = head[0] & FILE_COUNT_MASK;
    } else if (!ReadConfigArea(&count)) {
        return false;
    }
    if (count > MAX_FILES)
        count = MAX_FILES;
    if (count == 0) {
        c->fileCount = 0;
        *empty = true;
        return true;
    }
    PutField("Fetching global parameters", 10, 20, 60, ' ', 0);
    int pos = GLOBAL_REGISTERS;
    long long dataLeft = DATA_STORAGE_REGISTERS;
    uint32_t i = 0;
    for (; i < count; i++) {
        PutFieldF("Fetching file %u parameters", 10, 20, 60, ' ', 0, i + 1);
        if (pos + FILE_PARAM_REGISTERS > RACK_INTERFACE_REGISTERS) {
            ShowError("Rack Interface requirement exceeds 2048 registers.");
            *error = true;
            break;
        }
        uint16_t p[FILE_PARAM_REGISTERS];
        if (!ReadFileParams(plc, i, pos, p))
            return false;
        pos += FILE_PARAM_REGISTERS;
        TakeFile(i, p, &pos, &dataLeft, &c->files[i], error);
    }
    c->fileCount = i;
    return true;
}

// Fetches the module's configuration into the PC image and validates it.
bool FetchConfig(void) {
    // The module's answers go to a scratch image first; the PC image takes
    // them only once the link has given them all.
    memcpy(&fetched, &g_config, sizeof fetched);
    bool error = false, empty = false;
    bool complete = FetchInto(&fetched, &error, &empty);
    ClearToEndOfLine(10, 1);
    if (!complete) {
        ShowActionReason();
        ShowError("FETCH UNSUCCESSFUL");
        return false;
    }
    if (empty) {
        g_config.fileCount = 0;
        ShowError("FETCH UNSUCCESSFUL");
        return false;
    }
    memcpy(&g_config, &fetched, sizeof g_config);
    ValidateConfig(false);
    if (error) {
        ShowError("FETCH COMPLETED WITH ERRORS");
        return false;
    }
    ShowSuccess("CONFIGURATION FETCHED");
    return true;
}

// A send that the link (or ESC) ended: its words, then the result.
static bool SendFailed(void) {
    ClearToEndOfLine(10, 1);
    ShowActionReason();
    ShowError("CONFIGURATION FAILED");
    return false;
}

// A send the module refused: the reason, and no result line left standing.
static bool SendRefused(const char *reason) {
    ClearToEndOfLine(10, 1);
    ShowError(reason);
    return false;
}

// Registers written in one go while the configuration is loaded.
static struct {
    uint16_t values[RACK_INTERFACE_REGISTERS];
    int start;
    int length;
} run;

// Writes the registers gathered so far.
static bool RunFlush(void) {
    bool ok = run.length == 0 || WriteModuleRegisters(run.start, run.length, run.values);
    run.length = 0;
    return ok;
}

// Adds one register to the writes; a register that does not follow the
// last one starts a new write.
static bool RunPut(int offset, uint16_t value) {
    if (run.length > 0 && offset != run.start + run.length && !RunFlush())
        return false;
    if (offset < GLOBAL_REGISTERS || offset >= RACK_INTERFACE_REGISTERS) {
        ActionFail("Configuration does not fit the rack interface.");
        return false;
    }
    if (run.length == 0)
        run.start = offset;
    run.values[run.length++] = value;
    return true;
}

// Writes every file's parameter block and zeroes its windows' status
// registers, in rack interface order. Registers that lie next to each other
// (a block and its first window's status, the blocks of files without
// windows) go in one write; the order of the writes stays that of the layout.
static bool LoadConfiguration(void) {
    int pos = GLOBAL_REGISTERS;
    run.length = 0;
    for (uint32_t i = 0; i < g_config.fileCount; i++) {
        const FileParams &f = g_config.files[i];
        const uint16_t block[FILE_PARAM_REGISTERS] = {f.recordLength, f.windowCount, f.maxRecord,
                                                      f.keyLength};
        for (int k = 0; k < FILE_PARAM_REGISTERS; k++)
            if (!RunPut(pos + k, block[k]))
                return false;
        pos += FILE_PARAM_REGISTERS;
        for (int w = 0; w < f.windowCount; w++) {
            if (!RunPut(pos, 0))
                return false;
            pos += f.recordLength + WINDOW_OVERHEAD;
        }
    }
    return RunFlush();
}

// The link failed during the configure bit handshake (its words shown): -1.
static int ModeFailed(void) {
    SendFailed();
    return -1;
}

// The module refused the configure bit handshake (its words shown): -1.
static int ModeRefused(const char *reason) {
    SendRefused(reason);
    return -1;
}

// Configure bit handshake: clears the bit, sets it and waits for the module
// to report configuration mode. 1 in configuration mode, 0 not entered, -1
// the link failed or the bit would not clear (already shown).
static int EnterConfigurationMode(uint16_t count) {
    uint16_t v = 0;
    bool clear = false;
    for (int t = 0; t < POLL_LIMIT && !clear; t++) {
        if (!ReadModuleRegister(OFFSET_FILE_COUNT, &v))
            return ModeFailed();
        clear = !(v & CONFIGURE_BIT);
        if (!clear && !WriteModuleRegister(OFFSET_FILE_COUNT, count))
            return ModeFailed();
    }
    if (!clear)
        return ModeRefused("Can't clear configure bit");
    if (!WriteModuleRegister(OFFSET_FILE_COUNT, count | CONFIGURE_BIT))
        return ModeFailed();
    for (int t = 0; t < POLL_LIMIT; t++) {
        if (!ReadModuleRegister(OFFSET_CONFIG_STATUS, &v))
            return ModeFailed();
        if (v & CONFIGURE_BIT)
            return 1;
        if (!WriteModuleRegister(OFFSET_FILE_COUNT, count | CONFIGURE_BIT))
            return ModeFailed();
    }
    // The last write gets one more look.
    if (!ReadModuleRegister(OFFSET_CONFIG_STATUS, &v))
        return ModeFailed();
    return (v & CONFIGURE_BIT) ? 1 : 0;
}

// The module stayed out of configuration mode: true when it was unlocked
// and the send should start again.
static bool OfferUnlock(bool unlockTried) {
    if (g_setup.connectedVia == VIA_PLC_PORT)
        return SendRefused("Configuration may be locked.");
    if (unlockTried)
        return SendRefused("Configuration cannot be set.");
    uint16_t lock;
    if (!ReadModuleRegister(OFFSET_LOCK, &lock))
        return SendFailed();
    if (!(lock & LOCK_CONFIG))
        return SendRefused("Configuration cannot be set.");
    ClearToEndOfLine(10, 1);
    if (!Confirm("Configuration is locked. Unlock it?"))
        return false;
    // Unlocking clears the write protection as well.
    if (!WriteModuleRegister(OFFSET_LOCK, 0))
        return SendFailed();
    return true;
}

// Sends the PC image through the configure and activation handshakes.
bool SendConfig(bool unlockTried, bool offerLock) {
    for (;;) {
        if (!ValidateConfig(false))
            return false;
        uint16_t count = (uint16_t)(g_config.fileCount & FILE_COUNT_MASK);
        PutField("Setting configuration mode...", 10, 20, 40, ' ', 0);
        int mode = EnterConfigurationMode(count);
        if (mode < 0)
            return false;
        if (mode == 1)
            break;
        if (!OfferUnlock(unlockTried))
            return false;
        unlockTried = true;
    }
    uint16_t count = (uint16_t)(g_config.fileCount & FILE_COUNT_MASK);
    PutField("Loading configuration data...", 10, 20, 40, ' ', 0);
    if (!LoadConfiguration())
        return SendFailed();
    PutField("Activating module configuration", 10, 20, 40, ' ', 0);
    if (!WriteModuleRegister(OFFSET_FILE_COUNT, count))
        return SendFailed();
    // Activation counts only when a read saw the bit fall.
    uint16_t v = CONFIGURE_BIT;
    for (int t = 0; t <= POLL_LIMIT && (v & CONFIGURE_BIT); t++)
        if (!ReadModuleRegister(OFFSET_CONFIG_STATUS, &v))
            return SendFailed();
    if (v & CONFIGURE_BIT)
        return SendRefused("CONFIGURATION FAILED");
    ShowSuccess("CONFIGURATION SUCCESSFUL");
    if (offerLock && g_setup.connectedVia == VIA_FRONT_PANEL && Confirm("Lock configuration?"))
        ModifyLockRegister(LOCK_CONFIG, 0);
    return true;
}

// Sets and clears bits of the lock register, the others kept as they are.
bool ModifyLockRegister(unsigned setBits, unsigned clearBits) {
    // Nothing is written unless the register was read: the bits not named
    // here go back exactly as the module holds them.
    uint16_t lock;
    if (!ReadModuleRegister(OFFSET_LOCK, &lock) ||
        !WriteModuleRegister(OFFSET_LOCK, (uint16_t)((lock | setBits) & ~clearBits))) {
        ShowActionReason();
        ShowError("COULD NOT ACCESS LOCK REGISTER");
        return false;
    }
    ShowSuccess("LOCK REGISTER MODIFIED");
    return true;
}
