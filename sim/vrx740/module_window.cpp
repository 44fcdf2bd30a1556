// The window commands of the simulated module (see module_model.h).
//
// A command runs at once when it arrives in the command register; its
// completion bits replace the window's status and, with the slow fault, show
// only after that many status reads. Writing 0 to the command register
// clears them and makes room for the next command.
#include "sim/vrx740/module_model.h"

#include <algorithm>

namespace vrx740 {

// Record-changing commands are refused under write protect and while the
// refuse fault lasts.
static bool window_refuses(Module *m) {
    if (m->reg[MOD_LOCK] & LOCK_WRITE_PROTECT)
        return true;
    if (m->faults.refuse < 0)
        return true;
    if (m->faults.refuse > 0) {
        m->faults.refuse--;
        return true;
    }
    return false;
}

// The window's image registers as a record.
static std::vector<uint16_t> window_image(const Module *m, const WindowState &w, int length) {
    const uint16_t *image = &m->reg[w.start + 2];
    return std::vector<uint16_t>(image, image + length);
}

// Puts a record into the window's number and image registers.
static void window_show(Module *m, const WindowState &w, int number,
                        const std::vector<uint16_t> &record) {
    m->reg[w.start + 1] = uint16_t(number);
    std::copy(record.begin(), record.end(), &m->reg[w.start + 2]);
}

// The number a written record goes to, or -1 when there is none: the number
// the host put in the record number register when it did (restore), else
// the record holding the same key (keyed files), else the lowest free number.
static int window_place(const ModuleFile &f, const std::vector<uint16_t> &image, int given) {
    if (given >= 0)
        return given <= f.cfg.maxRecord ? given : -1;
    int k = f.cfg.keyLength;
    if (k > 0)
        for (const auto &[number, record] : f.records)
            if (std::equal(record.begin(), record.begin() + k, image.begin()))
                return number;
    int free = 0;
    for (const auto &entry : f.records) {
        if (entry.first != free)
            break;
        free++;
    }
    return free <= f.cfg.maxRecord ? free : -1;
}

// CMD_WRITE_RECORD and CMD_WRITE_AT_NUMBER: the completion bits.
static uint16_t window_write(Module *m, WindowState &w, uint16_t command, bool numberSet) {
    ModuleFile &f = m->files[w.file];
    if (window_refuses(m))
        return command | ST_REFUSED;
    std::vector<uint16_t> image = window_image(m, w, f.cfg.recordLength);
    int given = command == CMD_WRITE_AT_NUMBER || numberSet ? m->reg[w.start + 1] : -1;
    int number = window_place(f, image, given);
    if (number < 0)
        return command | ST_REFUSED;
    f.records[number] = image;
    m->reg[w.start + 1] = uint16_t(number); // where it went
    return command;
}

// CMD_READ_RECORD and CMD_READ_NEXT: the completion bits.
static uint16_t window_read(Module *m, WindowState &w, uint16_t command) {
    ModuleFile &f = m->files[w.file];
    auto found = f.records.end();
    if (command == CMD_READ_RECORD) {
        w.lastRead = m->reg[w.start + 1];
        found = f.records.find(w.lastRead);
    } else {
        found = f.records.upper_bound(w.lastRead);
        if (found == f.records.end() && m->faults.wrapNext)
            found = f.records.begin();
    }
    if (found == f.records.end())
        return command;
    w.lastRead = found->first;
    window_show(m, w, found->first, found->second);
    return command | ST_FOUND;
}

// CMD_DELETE_ALL: the completion bits.
static uint16_t window_delete_all(Module *m, WindowState &w) {
    if (window_refuses(m))
        return CMD_DELETE_ALL | ST_REFUSED;
    m->files[w.file].records.clear();
    for (WindowState &other : m->windows)
        if (other.file == w.file)
            other.lastRead = -1;
    return CMD_DELETE_ALL;
}

void WindowCommand(Module *m, int index, uint16_t command) {
    WindowState &w = m->windows[index];
    if (command == 0) {
        w.status = 0;
        w.pendingReads = 0;
        w.command = 0;
        return;
    }
    // A command runs when it arrives in the register; the same command
    // written again over itself (a request the link delivered twice) is not
    // a new one. The host writes 0 between commands.
    if (command == w.command)
        return;
    bool numberSet = w.numberSet;
    uint16_t result;
    switch (command) {
    case CMD_DELETE_ALL:
        result = window_delete_all(m, w);
        break;
    case CMD_WRITE_RECORD:
    case CMD_WRITE_AT_NUMBER:
        result = window_write(m, w, command, numberSet);
        break;
    case CMD_READ_RECORD:
    case CMD_READ_NEXT:
        result = window_read(m, w, command);
        break;
    default:
        return; // not a command: ignored, status unchanged
    }
    w.command = command;
    w.numberSet = false;
    w.status = result;
    w.pendingReads = m->faults.slow;
    m->stats.commands++;
    if (result & ST_REFUSED)
        m->stats.refused++;
}

uint16_t WindowStatusRead(Module *m, int index) {
    WindowState &w = m->windows[index];
    m->stats.statusReads++;
    if (w.pendingReads > 0) {
        w.pendingReads--;
        return m->faults.stuck;
    }
    return w.status | m->faults.stuck;
}

uint16_t WindowStatusPeek(const Module *m, int index) {
    const WindowState &w = m->windows[index];
    return (w.pendingReads > 0 ? 0 : w.status) | m->faults.stuck;
}

} // namespace vrx740
