// Text commands to the simulated device (see sim_commands.h).
#include "sim/symax/sim_commands.h"

#include "sim/sim_number.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace symaxsim {

// A memory area seen as one array of words.
struct Area {
    uint16_t *words;
    long size;
};

static std::string area_get(Area a, const std::vector<std::string> &w, size_t at, long offset) {
    long count = 1;
    if (w.size() > at + 1 || (w.size() == at + 1 && !SimNumber(w[at], 1, 10000, &count)))
        return "ERR usage: COUNT is 1 to 10000, nothing after it";
    if (offset + count > a.size)
        return "ERR out of range";
    std::string r = "OK";
    for (long i = 0; i < count; i++)
        r += " " + std::to_string(a.words[offset + i]);
    return r;
}

static std::string area_set(Area a, const std::vector<std::string> &w, size_t at, long offset) {
    if (w.size() <= at)
        return "ERR usage: values missing";
    std::vector<uint16_t> v;
    for (size_t i = at; i < w.size(); i++) {
        long x;
        if (!SimNumber(w[i], -32768, 65535, &x))
            return "ERR bad value '" + w[i] + "'";
        v.push_back(uint16_t(x));
    }
    if (offset + long(v.size()) > a.size)
        return "ERR out of range";
    for (size_t i = 0; i < v.size(); i++)
        a.words[offset + long(i)] = v[i];
    return "OK " + std::to_string(v.size());
}

// get/set on 4X and 3X: word 1 is N.
static std::string cmd_memory(Slave *s, const std::vector<std::string> &w, bool set, bool inputs) {
    Area a = inputs ? Area{s->dev.mem.input, DEV_INPUTS} : Area{s->dev.mem.reg, DEV_REGISTERS};
    long n;
    if (w.size() < 2 || !SimNumber(w[1], 1, a.size, &n))
        return "ERR register number 1 to " + std::to_string(a.size) + " expected";
    return set ? area_set(a, w, 2, n - 1) : area_get(a, w, 2, n - 1);
}

static std::string cmd_ext(Slave *s, const std::vector<std::string> &w, bool set) {
    long file, record;
    if (w.size() < 3 || !SimNumber(w[1], 1, DEV_FILES, &file) ||
        !SimNumber(w[2], 0, DEV_RECORDS - 1, &record))
        return "ERR file 1 to 10 and record 0 to 9999 expected";
    Area a = {s->dev.mem.ext[file - 1], DEV_RECORDS};
    return set ? area_set(a, w, 3, record) : area_get(a, w, 3, record);
}

static std::string cmd_fault(Slave *s, const std::vector<std::string> &w) {
    SlaveFaults *f = &s->faults;
    const std::string what = w.size() > 1 ? w[1] : "";
    long n = 1;
    if (what == "clear" && w.size() == 2) {
        *f = SlaveFaults{};
        s->dev.faultStatus = 0;
        return "OK";
    }
    if (what == "silent" && w.size() == 3 && (w[2] == "on" || w[2] == "off")) {
        f->silent = w[2] == "on";
        return "OK";
    }
    if (what == "delay" && w.size() == 3 && SimNumber(w[2], 0, 60000, &n)) {
        f->delayOnce = int(n);
        return "OK";
    }
    if (what == "status" && (w.size() == 3 || w.size() == 4)) {
        long code;
        if (!SimNumber(w[2], 0, 255, &code) || (w.size() == 4 && !SimNumber(w[3], 1, 1000, &n)))
            return "ERR usage: fault status CODE(0-255) [N]";
        s->dev.faultCode = int(code);
        s->dev.faultStatus = int(n);
        return "OK";
    }
    int *counter = what == "drop"       ? &f->drop
                   : what == "nak"      ? &f->nak
                   : what == "noack"    ? &f->noAck
                   : what == "noreply"  ? &f->noReply
                   : what == "badcheck" ? &f->badCheck
                                        : nullptr;
    if (counter == nullptr || w.size() > 3 || (w.size() == 3 && !SimNumber(w[2], 0, 1000, &n)))
        return "ERR usage: fault drop|nak|noack|noreply|badcheck [N] | status CODE [N] | "
               "delay MS | silent on|off | clear";
    *counter = int(n);
    return "OK";
}

static std::string cmd_stats(const Slave *s) {
    const SlaveStats &t = s->stats;
    char text[256];
    snprintf(text, sizeof text,
             "OK frames=%ld bad=%ld enq_in=%ld enq_crossed=%ld nak_in=%ld replies=%ld lost=%ld "
             "retransmits=%ld enq_out=%ld requests=%ld repeats=%ld",
             t.framesIn, t.badFramesIn, t.enqIn, t.enqCrossed, t.nakIn, t.repliesSent,
             t.repliesLost, t.retransmits, t.enqOut, s->dev.requests, t.repeatsIn);
    return text;
}

std::string SlaveCommand(Slave *s, const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.empty())
        return "ERR empty command";
    const std::string &c = w[0];
    if (c == "get" || c == "set")
        return cmd_memory(s, w, c == "set", false);
    if (c == "get3" || c == "set3")
        return cmd_memory(s, w, c == "set3", true);
    if (c == "get6" || c == "set6")
        return cmd_ext(s, w, c == "set6");
    if (c == "fault")
        return cmd_fault(s, w);
    long n;
    if (c == "delay" && w.size() == 2 && SimNumber(w[1], 0, 60000, &n)) {
        s->delayMs = int(n);
        return "OK";
    }
    if (c == "stats" && w.size() == 1)
        return cmd_stats(s);
    if (c == "route" && w.size() == 1) {
        std::string r = "OK";
        char hex[4];
        for (uint8_t b : s->dev.lastRoute) {
            snprintf(hex, sizeof hex, " %02X", b);
            r += hex;
        }
        return r;
    }
    return "ERR unknown command '" + c + "' (get set get3 set3 get6 set6 fault delay stats route)";
}

} // namespace symaxsim
