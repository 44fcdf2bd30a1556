// The simulated module's state text (see module_state.h).
#include "sim/vrx740/module_state.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace vrx740 {

static const char MAGIC[] = "VRX740SIM";

std::string StateText(const Module *m) {
    std::string t = std::string(MAGIC) + " 1\n";
    t += "lock " + std::to_string(m->reg[MOD_LOCK]) + "\n";
    t += "baud " + std::to_string(m->reg[1]) + "\n";
    t += "files " + std::to_string(m->files.size()) + "\n";
    for (const ModuleFile &f : m->files)
        t += "file " + std::to_string(f.cfg.recordLength) + " " + std::to_string(f.cfg.windows) +
             " " + std::to_string(f.cfg.maxRecord) + " " + std::to_string(f.cfg.keyLength) + "\n";
    for (size_t i = 0; i < m->files.size(); i++)
        for (const auto &[number, record] : m->files[i].records) {
            t += "record " + std::to_string(i + 1) + " " + std::to_string(number);
            for (uint16_t v : record)
                t += " " + std::to_string(v);
            t += "\n";
        }
    return t + "end\n";
}

// A whole decimal word within lo..hi.
static bool state_number(const std::string &w, long lo, long hi, long *v) {
    if (w.empty() || w.size() > 10 || w.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    long x = strtol(w.c_str(), nullptr, 10);
    if (errno != 0 || x < lo || x > hi)
        return false;
    *v = x;
    return true;
}

// The words of a line after its keyword as numbers within lo..hi.
static bool state_numbers(std::istringstream &line, long lo, long hi, std::vector<long> *out) {
    long v;
    for (std::string w; line >> w;) {
        if (!state_number(w, lo, hi, &v))
            return false;
        out->push_back(v);
    }
    return true;
}

struct Parsed {
    long lock = 0, baud = 0;
    long fileCount = -1;
    std::vector<FileConfig> files;
    std::vector<std::vector<long>> records; // file, number, values
    bool ended = false;
};

// One line of the state text into p; false when it does not belong there.
static bool state_line(const std::string &text, Parsed *p, std::string *why) {
    std::istringstream line(text);
    std::string key;
    line >> key;
    std::vector<long> v;
    if (p->ended || key.empty()) {
        *why = p->ended ? "text after end" : "empty line";
        return false;
    }
    if (key == "lock" || key == "baud") {
        if (!state_numbers(line, 0, 65535, &v) || v.size() != 1) {
            *why = "bad " + key + " line";
            return false;
        }
        (key == "lock" ? p->lock : p->baud) = v[0];
    } else if (key == "files") {
        if (p->fileCount >= 0 || !state_numbers(line, 0, MOD_MAX_FILES, &v) || v.size() != 1) {
            *why = "bad files line";
            return false;
        }
        p->fileCount = v[0];
    } else if (key == "file") {
        if (long(p->files.size()) >= p->fileCount || !state_numbers(line, 0, 65535, &v) ||
            v.size() != 4) {
            *why = "bad or extra file line";
            return false;
        }
        p->files.push_back({int(v[0]), int(v[1]), int(v[2]), int(v[3])});
    } else if (key == "record") {
        if (!state_numbers(line, 0, 65535, &v) || v.size() < 2) {
            *why = "bad record line";
            return false;
        }
        p->records.push_back(v);
    } else if (key == "end") {
        p->ended = true;
    } else {
        *why = "unknown line '" + key + "'";
        return false;
    }
    return true;
}

bool StateParse(const std::string &text, Module *m, std::string *why) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != std::string(MAGIC) + " 1") {
        *why = "not a module state file";
        return false;
    }
    Parsed p;
    while (std::getline(in, line))
        if (!state_line(line, &p, why))
            return false;
    if (!p.ended || long(p.files.size()) != p.fileCount) {
        *why = "state file cut short";
        return false;
    }
    if (!ModuleCheckConfig(p.files, why))
        return false;
    // Every record must fit its file before anything is taken.
    std::vector<std::map<int, std::vector<uint16_t>>> records(p.files.size());
    for (const std::vector<long> &r : p.records) {
        long file = r[0], number = r[1];
        if (file < 1 || file > long(p.files.size())) {
            *why = "record of a file that does not exist";
            return false;
        }
        const FileConfig &f = p.files[size_t(file - 1)];
        if (number > f.maxRecord || long(r.size()) - 2 != f.recordLength ||
            records[size_t(file - 1)].count(int(number))) {
            *why = "record " + std::to_string(number) + " of file " + std::to_string(file) +
                   " does not fit";
            return false;
        }
        records[size_t(file - 1)][int(number)] = std::vector<uint16_t>(r.begin() + 2, r.end());
    }
    ModuleConfigure(m, p.files, why);
    for (size_t i = 0; i < records.size(); i++)
        m->files[i].records = records[i];
    m->reg[MOD_LOCK] = uint16_t(p.lock);
    m->reg[1] = uint16_t(p.baud);
    return true;
}

} // namespace vrx740
