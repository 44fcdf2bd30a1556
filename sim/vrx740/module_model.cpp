// The simulated module's registers, addressing and configuration (see
// module_model.h); the window commands are in module_window.cpp.
#include "sim/vrx740/module_model.h"

#include <algorithm>
#include <cstring>

namespace vrx740 {

enum {
    OWNER_FREE = -1,  // plain memory inside the rack interface
    OWNER_FIXED = -2, // file count or a parameter register: rebuilt, not written
    CONFIG_AREA_END = MOD_CONFIG_FILES + 5 * MOD_MAX_FILES, // first offset past the area
};

void ModuleInit(Module *m) {
    memset(m->reg, 0, sizeof m->reg);
    m->plc = false;
    m->rack = 1;
    m->faults = ModuleFaults{};
    m->stats = ModuleStats{};
    std::string why;
    ModuleConfigure(m, {}, &why);
    m->stats.activations = 0;
}

bool ModuleCheckConfig(const std::vector<FileConfig> &files, std::string *why) {
    if (files.size() > MOD_MAX_FILES) {
        *why = "more than 292 files";
        return false;
    }
    long long store = 0, pos = 2;
    for (size_t i = 0; i < files.size(); i++) {
        const FileConfig &f = files[i];
        std::string file = "file " + std::to_string(i + 1) + ": ";
        if (f.recordLength < 0 || f.recordLength > MOD_MAX_RECORD_LENGTH) {
            *why = file + "record length above 2039";
            return false;
        }
        if (f.windows < 0 || f.windows > MOD_MAX_WINDOWS) {
            *why = file + "more than 16 windows";
            return false;
        }
        if (f.maxRecord < 0 || f.maxRecord > 65535) {
            *why = file + "maximum record number above 65535";
            return false;
        }
        if (f.keyLength < 0 || f.keyLength > f.recordLength) {
            *why = file + "key length exceeds record length";
            return false;
        }
        store += (long long)(f.maxRecord + 1) * (f.recordLength + 1);
        pos += 4 + (long long)f.windows * (f.recordLength + 3);
    }
    if (store > MOD_STORE) {
        *why = "record store exceeds 523115 registers";
        return false;
    }
    if (pos > MOD_RACK) {
        *why = "rack interface exceeds 2048 registers";
        return false;
    }
    return true;
}

// Lays the files out from offset 2 and writes the parameter blocks, the
// windows' owners and the configuration area.
static void module_layout(Module *m) {
    uint16_t baud = m->reg[1];
    memset(m->reg, 0, sizeof(uint16_t) * MOD_LOCK); // the lock register stays
    std::fill(m->owner, m->owner + MOD_RACK, int16_t(OWNER_FREE));
    m->windows.clear();
    m->reg[0] = uint16_t(m->files.size());
    m->reg[1] = baud;
    m->owner[0] = OWNER_FIXED;
    m->reg[MOD_CONFIG_AREA] = uint16_t(m->files.size());
    int pos = 2;
    for (size_t i = 0; i < m->files.size(); i++) {
        ModuleFile &f = m->files[i];
        f.paramOffset = pos;
        uint16_t params[4] = {uint16_t(f.cfg.recordLength), uint16_t(f.cfg.windows),
                              uint16_t(f.cfg.maxRecord), uint16_t(f.cfg.keyLength)};
        for (int k = 0; k < 4; k++) {
            m->reg[pos + k] = params[k];
            m->owner[pos + k] = OWNER_FIXED;
        }
        pos += 4;
        for (int w = 0; w < f.cfg.windows; w++) {
            WindowState ws;
            ws.file = int(i);
            ws.start = pos;
            for (int k = 0; k < f.cfg.recordLength + 3; k++)
                m->owner[pos + k] = int16_t(m->windows.size());
            m->windows.push_back(ws);
            pos += f.cfg.recordLength + 3;
        }
        uint16_t *area = &m->reg[MOD_CONFIG_FILES + 5 * i];
        area[0] = params[0];
        area[1] = params[1];
        area[2] = uint16_t(f.paramOffset);       // the host does not read it
        area[3] = uint16_t(f.cfg.maxRecord + 1); // a count of 65536 shows as 0
        area[4] = params[3];
    }
}

bool ModuleConfigure(Module *m, const std::vector<FileConfig> &files, std::string *why) {
    if (!ModuleCheckConfig(files, why))
        return false;
    m->files.assign(files.size(), ModuleFile{});
    for (size_t i = 0; i < files.size(); i++)
        m->files[i].cfg = files[i];
    module_layout(m);
    m->configMode = false;
    m->stats.activations++;
    return true;
}

std::vector<FileConfig> ModuleConfigOf(const Module *m) {
    std::vector<FileConfig> c;
    for (const ModuleFile &f : m->files)
        c.push_back(f.cfg);
    return c;
}

// Activation: the file count just written and the parameter blocks the host
// wrote in configuration mode, laid out by the same rule. A configuration
// that does not fit leaves the module in configuration mode.
static void module_activate(Module *m, uint16_t value) {
    int count = value & 0x0FFF;
    std::vector<FileConfig> files;
    std::string why;
    long pos = 2;
    for (int i = 0; i < count; i++) {
        if (count > MOD_MAX_FILES || pos + 3 >= MOD_RACK)
            return;
        FileConfig f;
        f.recordLength = m->reg[pos];
        f.windows = m->reg[pos + 1];
        f.maxRecord = m->reg[pos + 2];
        f.keyLength = m->reg[pos + 3];
        files.push_back(f);
        pos += 4 + long(f.windows) * (f.recordLength + 3);
    }
    ModuleConfigure(m, files, &why);
}

// A write of offset 0: the configure bit enters configuration mode, its
// clearing activates.
static void module_write_count(Module *m, uint16_t value) {
    if (value & CONFIGURE_BIT) {
        if (m->configMode) {
            m->reg[0] = value;
            return;
        }
        if ((m->reg[MOD_LOCK] & LOCK_CONFIG) || m->faults.noConfig)
            return; // refused: offset 0 keeps the active file count
        m->configMode = true;
        m->reg[0] = value;
        m->stats.configEntries++;
        return;
    }
    if (!m->configMode)
        return; // nothing to activate
    m->reg[0] = value;
    if (!m->faults.noActivate)
        module_activate(m, value);
}

uint16_t ModulePeek(const Module *m, int offset) {
    if (offset < 0 || offset >= MOD_OFFSETS)
        return 0; // status words: good
    uint16_t v = m->reg[offset];
    if (offset < MOD_RACK && !m->configMode && m->owner[offset] >= 0 &&
        m->windows[m->owner[offset]].start == offset)
        v = WindowStatusPeek(m, m->owner[offset]);
    if (offset == MOD_CONFIG_STATUS && m->configMode)
        v |= CONFIGURE_BIT;
    return v;
}

uint16_t ModuleRead(Module *m, int offset) {
    if (offset >= 0 && offset < MOD_RACK && !m->configMode && m->owner[offset] >= 0 &&
        m->windows[m->owner[offset]].start == offset)
        return WindowStatusRead(m, m->owner[offset]);
    return ModulePeek(m, offset);
}

// A write inside the rack interface outside configuration mode.
static void module_write_rack(Module *m, int offset, uint16_t value) {
    int owner = m->owner[offset];
    if (owner == OWNER_FIXED)
        return;
    if (owner == OWNER_FREE) {
        m->reg[offset] = value;
        return;
    }
    WindowState &w = m->windows[owner];
    int at = offset - w.start;
    int length = m->files[w.file].cfg.recordLength;
    if (at == 0)
        return; // the status register is the module's own
    m->reg[offset] = value;
    if (at == 1)
        w.numberSet = true;
    else if (at == length + 2)
        WindowCommand(m, owner, value);
}

void ModuleWrite(Module *m, int offset, uint16_t value) {
    if (offset < 0 || offset >= MOD_OFFSETS)
        return; // status words are not written
    if (offset == 0)
        module_write_count(m, value);
    else if (offset < MOD_RACK && m->configMode)
        m->reg[offset] = value; // parameter blocks on their way in
    else if (offset < MOD_RACK)
        module_write_rack(m, offset, value);
    else if (offset >= CONFIG_AREA_END)
        m->reg[offset] = value; // plain memory and the lock register
    // The configuration area shows the active configuration only.
}

// The module offset a link register index reaches, or -1: the front panel
// reaches every offset and status word, the PLC port only the rack interface
// from the rack address and its status words 8192 above.
static int link_offset(const Module *m, unsigned index) {
    if (!m->plc)
        return index < 2u * MOD_OFFSETS ? int(index) : -1;
    long reg = long(index) + 1, rack = m->rack;
    if (reg >= rack && reg < rack + MOD_RACK)
        return int(reg - rack);
    if (reg >= rack + MOD_OFFSETS && reg < rack + MOD_OFFSETS + MOD_RACK)
        return int(reg - rack); // a status word
    return -1;
}

// Checks a link request's registers; 0 or the status to answer with.
static int link_check(Module *m, unsigned first, unsigned count, bool read) {
    bool failed = false;
    for (unsigned i = 0; i < count; i++) {
        int offset = link_offset(m, first + i);
        if (offset < 0)
            return MOD_ILLEGAL_ADDRESS;
        failed = failed || (read && offset == m->faults.failReadOffset);
    }
    if (failed && m->faults.failReadCount > 0) {
        m->faults.failReadCount--;
        return MOD_READ_ERROR;
    }
    return 0;
}

int ModuleLinkRead(Module *m, unsigned first, unsigned count, uint16_t *values) {
    m->stats.reads++;
    if (int status = link_check(m, first, count, true))
        return status;
    for (unsigned i = 0; i < count; i++)
        values[i] = ModuleRead(m, link_offset(m, first + i));
    return 0;
}

int ModuleLinkWrite(Module *m, unsigned first, unsigned count, const uint16_t *values) {
    m->stats.writes++;
    if (int status = link_check(m, first, count, false))
        return status;
    for (unsigned i = 0; i < count; i++)
        ModuleWrite(m, link_offset(m, first + i), values[i]);
    return 0;
}

bool ModuleSetRecord(Module *m, int file, int number, const std::vector<uint16_t> &image) {
    if (file < 0 || file >= int(m->files.size()))
        return false;
    ModuleFile &f = m->files[file];
    if (number < 0 || number > f.cfg.maxRecord || int(image.size()) > f.cfg.recordLength)
        return false;
    std::vector<uint16_t> r = image;
    r.resize(size_t(f.cfg.recordLength), 0);
    f.records[number] = r;
    return true;
}

} // namespace vrx740
