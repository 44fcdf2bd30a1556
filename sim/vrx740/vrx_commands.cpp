// Text commands to the simulated module (see vrx_commands.h).
#include "sim/vrx740/vrx_commands.h"

#include "sim/sim_number.h"
#include "sim/symax/sim_commands.h"
#include "sim/vrx740/module_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace vrx740 {

using Words = std::vector<std::string>;

// Words from at on as register values (negative ones as 16-bit two's complement).
static bool values(const Words &w, size_t at, std::vector<uint16_t> *out) {
    long v;
    for (size_t i = at; i < w.size(); i++) {
        if (!SimNumber(w[i], -32768, 65535, &v))
            return false;
        out->push_back(uint16_t(v));
    }
    return true;
}

static std::string cmd_config(const Module *m) {
    std::string r = "OK " + std::to_string(m->files.size());
    for (const ModuleFile &f : m->files)
        r += "  " + std::to_string(f.cfg.recordLength) + " " + std::to_string(f.cfg.windows) + " " +
             std::to_string(f.cfg.maxRecord) + " " + std::to_string(f.cfg.keyLength);
    return r;
}

static std::string cmd_preset(Module *m, const Words &w) {
    long n, v;
    if (w.size() < 2 || !SimNumber(w[1], 0, MOD_MAX_FILES, &n) || w.size() != size_t(2 + 4 * n))
        return "ERR usage: preset n L W M K ... (four numbers a file)";
    std::vector<FileConfig> files(static_cast<size_t>(n));
    for (long i = 0; i < n; i++) {
        int *field[4] = {&files[i].recordLength, &files[i].windows, &files[i].maxRecord,
                         &files[i].keyLength};
        for (int k = 0; k < 4; k++) {
            if (!SimNumber(w[size_t(2 + 4 * i + k)], 0, 65535, &v))
                return "ERR bad number '" + w[size_t(2 + 4 * i + k)] + "'";
            *field[k] = int(v);
        }
    }
    std::string why;
    if (!ModuleConfigure(m, files, &why))
        return "ERR " + why;
    return "OK " + std::to_string(n);
}

// Words 1 and 2 as a file index and record number; "" or the error answer.
static std::string file_record(const Module *m, const Words &w, int *file, int *rec, bool needRec) {
    long f, r = 0;
    if (w.size() < 2 || !SimNumber(w[1], 1, long(m->files.size()), &f))
        return "ERR file 1 to " + std::to_string(m->files.size()) + " expected";
    if (needRec && (w.size() < 3 || !SimNumber(w[2], 0, m->files[size_t(f - 1)].cfg.maxRecord, &r)))
        return "ERR record 0 to " + std::to_string(m->files[size_t(f - 1)].cfg.maxRecord) +
               " expected";
    *file = int(f - 1);
    *rec = int(r);
    return "";
}

static std::string cmd_records(Module *m, const Words &w, const std::string &c) {
    int file = 0, rec = 0;
    std::string bad = file_record(m, w, &file, &rec, c != "records");
    if (!bad.empty())
        return bad;
    auto &records = m->files[size_t(file)].records;
    std::string r = "OK";
    if (c == "records" && w.size() == 2) {
        for (const auto &entry : records)
            r += " " + std::to_string(entry.first);
        return r;
    }
    if (c == "record" && w.size() == 3) {
        auto found = records.find(rec);
        if (found == records.end())
            return "ERR none";
        for (uint16_t v : found->second)
            r += " " + std::to_string(v);
        return r;
    }
    if (c == "delrec" && w.size() == 3)
        return records.erase(rec) ? "OK" : "ERR none";
    std::vector<uint16_t> image;
    if (c == "setrec" && values(w, 3, &image) && ModuleSetRecord(m, file, rec, image))
        return "OK";
    return "ERR usage: " + c + " F R" + (c == "setrec" ? " v1 .. vL (at most L values)" : "");
}

static std::string cmd_registers(Module *m, const Words &w, bool set) {
    long offset, count = 1;
    if (w.size() < 2 || !SimNumber(w[1], 0, 2 * MOD_OFFSETS - 1, &offset))
        return "ERR offset 0 to 16383 expected";
    if (set) {
        std::vector<uint16_t> v;
        if (w.size() < 3 || !values(w, 2, &v) || offset + long(v.size()) > 2 * MOD_OFFSETS)
            return "ERR usage: set OFFSET V... within 0 to 16383";
        for (size_t i = 0; i < v.size(); i++)
            ModuleWrite(m, int(offset + long(i)), v[i]);
        return "OK " + std::to_string(v.size());
    }
    if (w.size() > 3 || (w.size() == 3 && !SimNumber(w[2], 1, 2 * MOD_OFFSETS, &count)) ||
        offset + count > 2 * MOD_OFFSETS)
        return "ERR usage: get OFFSET [COUNT] within 0 to 16383";
    std::string r = "OK";
    for (long i = 0; i < count; i++)
        r += " " + std::to_string(ModulePeek(m, int(offset + i)));
    return r;
}

static std::string cmd_fault(Module *m, symaxsim::Slave *s, const Words &w,
                             const std::string &line) {
    ModuleFaults *f = &m->faults;
    const std::string what = w.size() > 1 ? w[1] : "";
    long n = 0, v = 0;
    if (what == "slow" && w.size() == 3 && SimNumber(w[2], 0, 1000, &n))
        f->slow = int(n);
    else if (what == "stuck" && w.size() == 3 && SimNumber(w[2], 0, 65535, &v))
        f->stuck = uint16_t(v);
    else if (what == "refuse" && w.size() <= 3 && (w.size() == 2 || SimNumber(w[2], 1, 100000, &n)))
        f->refuse = w.size() == 2 ? -1 : int(n);
    else if (what == "noconfig" && w.size() == 2)
        f->noConfig = true;
    else if (what == "noactivate" && w.size() == 2)
        f->noActivate = true;
    else if (what == "wrapnext" && w.size() == 2)
        f->wrapNext = true;
    else if (what == "failread" && (w.size() == 3 || w.size() == 4) &&
             SimNumber(w[2], 0, 2 * MOD_OFFSETS - 1, &v) &&
             (w.size() == 3 || SimNumber(w[3], 1, 100000, &n))) {
        f->failReadOffset = int(v);
        f->failReadCount = w.size() == 3 ? 1 : int(n);
    } else if (what == "clear" && w.size() == 2) {
        *f = ModuleFaults{};
        return symaxsim::SlaveCommand(s, line);
    } else if (what == "slow" || what == "stuck" || what == "refuse" || what == "noconfig" ||
               what == "noactivate" || what == "wrapnext" || what == "failread") {
        return "ERR usage: fault slow N | stuck BITS | refuse [N] | noconfig | noactivate | "
               "failread OFFSET [N] | wrapnext | clear";
    } else {
        std::string r = symaxsim::SlaveCommand(s, line); // the link's own faults
        if (r.rfind("ERR usage", 0) == 0)
            r = "ERR usage: fault slow N | stuck BITS | refuse [N] | noconfig | noactivate | "
                "failread OFFSET [N] | wrapnext | clear | " +
                r.substr(17);
        return r;
    }
    return "OK";
}

static std::string cmd_stats(const Module *m, symaxsim::Slave *s) {
    const ModuleStats &t = m->stats;
    char text[256];
    snprintf(text, sizeof text,
             "OK reads=%ld writes=%ld status_reads=%ld commands=%ld refused=%ld config_entries=%ld "
             "activations=%ld",
             t.reads, t.writes, t.statusReads, t.commands, t.refused, t.configEntries,
             t.activations);
    std::string link = symaxsim::SlaveCommand(s, "stats");
    return text + link.substr(2); // the link's counters follow "OK"
}

static std::string cmd_addressing(Module *m, const Words &w) {
    long rack;
    if (w.size() == 2 && w[1] == "front") {
        m->plc = false;
        return "OK front";
    }
    if (w.size() == 3 && w[1] == "plc" && SimNumber(w[2], 1, MOD_MAX_RACK, &rack)) {
        m->plc = true;
        m->rack = int(rack);
        return "OK plc " + std::to_string(rack);
    }
    return "ERR usage: addressing front | addressing plc RACK (1 to 6145)";
}

bool StateSave(const Module *m, const std::string &path, std::string *why) {
    std::string text = StateText(m), temp = path + ".tmp";
    FILE *f = fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        *why = "cannot write " + temp + ": " + strerror(errno);
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        *why = "cannot write " + path + ": " + strerror(errno);
        remove(temp.c_str());
        return false;
    }
    return true;
}

bool StateLoad(Module *m, const std::string &path, std::string *why, bool *missing) {
    *missing = false;
    FILE *f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *missing = errno == ENOENT;
        *why = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (64u << 20))
        text.append(buf, n);
    bool failed = ferror(f) != 0 || n > 0;
    fclose(f);
    if (failed) {
        *why = "cannot read " + path + " (an error, or larger than 64 MB)";
        return false;
    }
    if (!StateParse(text, m, why)) {
        *why = path + ": " + *why;
        return false;
    }
    return true;
}

std::string VrxCommand(Module *m, symaxsim::Slave *s, const std::string &line) {
    std::istringstream in(line);
    Words w;
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.empty())
        return "ERR empty command";
    const std::string &c = w[0];
    long v;
    if (c == "config" && w.size() == 1)
        return cmd_config(m);
    if (c == "preset")
        return cmd_preset(m, w);
    if (c == "records" || c == "record" || c == "setrec" || c == "delrec")
        return cmd_records(m, w, c);
    if (c == "lock" && w.size() <= 2) {
        if (w.size() == 2 && !SimNumber(w[1], 0, 65535, &v))
            return "ERR usage: lock [V] (0 to 65535)";
        if (w.size() == 2)
            m->reg[MOD_LOCK] = uint16_t(v);
        return "OK " + std::to_string(m->reg[MOD_LOCK]);
    }
    if (c == "mode" && w.size() == 1)
        return m->configMode ? "OK config" : "OK active";
    if (c == "get" || c == "set")
        return cmd_registers(m, w, c == "set");
    if (c == "addressing")
        return cmd_addressing(m, w);
    if (c == "fault")
        return cmd_fault(m, s, w, line);
    if (c == "stats" && w.size() == 1)
        return cmd_stats(m, s);
    std::string why;
    bool missing;
    if (c == "save" && w.size() == 2)
        return StateSave(m, w[1], &why) ? "OK" : "ERR " + why;
    if (c == "load" && w.size() == 2)
        return StateLoad(m, w[1], &why, &missing) ? "OK" : "ERR " + why;
    return "ERR unknown command '" + c +
           "' (config preset records record setrec delrec lock mode get set addressing fault "
           "stats save load)";
}

} // namespace vrx740
