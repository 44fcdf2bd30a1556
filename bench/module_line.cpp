// The simulated module behind a paced pty cable, with the log of what it
// served and the line time of register transactions.
#include "bench/module_line.h"

#include "comm/comm.h"
#include "configurator/setup.h"
#include "platform/console_record.h"
#include "sim/symax/symax_wire.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace symaxsim;

namespace {

// Serves a read and logs it with the time the request reached the module.
int served_read(void *ctx, unsigned first, unsigned count, uint16_t *values) {
    ModuleLine *line = static_cast<ModuleLine *>(ctx);
    auto at = std::chrono::steady_clock::now();
    int status = vrx740::ModuleLinkRead(&line->module, first, count, values);
    line->log.push_back({false, first, std::vector<uint16_t>(values, values + count), at});
    return status;
}

// Serves a write and logs it the same way.
int served_write(void *ctx, unsigned first, unsigned count, const uint16_t *values) {
    ModuleLine *line = static_cast<ModuleLine *>(ctx);
    line->log.push_back({true, first, std::vector<uint16_t>(values, values + count),
                         std::chrono::steady_clock::now()});
    return vrx740::ModuleLinkWrite(&line->module, first, count, values);
}

void put_word(Bytes *b, unsigned v) {
    b->push_back(uint8_t(v >> 8));
    b->push_back(uint8_t(v & 0xFF));
}

// The request and reply of a transaction, normal opcodes.
void transaction_frames(const Transaction &t, Bytes *request, Bytes *reply) {
    unsigned address = t.first * 2;
    if (t.write) {
        *request = {0x02, 0x00};
        put_word(request, address);
        for (uint16_t v : t.values)
            put_word(request, v);
        request->push_back(0xFF);
        request->push_back(0xFF);
        *reply = {0x80, 0x00};
        put_word(reply, address);
    } else {
        *request = {0x00, 0x00};
        put_word(request, address);
        request->push_back(0);
        request->push_back(uint8_t(t.values.size() - 1));
        *reply = {0x86, 0x00};
        put_word(reply, address);
        for (uint16_t v : t.values)
            put_word(reply, v);
    }
}

} // namespace

bool ModuleLineStart(ModuleLine *line, int baud, bool cable, std::string *error) {
    char dir[] = "/tmp/module_line_XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        *error = "cannot make a directory";
        return false;
    }
    line->dir = dir;
    line->baud = baud;
    vrx740::ModuleInit(&line->module);
    SimOptions o;
    // Behind the cable the module answers at once; the cable alone paces.
    o.link = cable ? "" : line->dir + "/COM1";
    o.baud = cable ? 1000000 : baud;
    o.trace = getenv("MODULE_LINE_TRACE") != nullptr;
    o.hook.read = served_read;
    o.hook.write = served_write;
    o.hook.ctx = line;
    line->sim = SimStart(o, error);
    if (line->sim == nullptr) {
        rmdir(dir);
        return false;
    }
    const char *port = SimSlavePath(line->sim);
    if (cable) {
        CableOptions c;
        c.a.link = line->dir + "/COM1";
        c.b.open = SimSlavePath(line->sim);
        c.baud = baud;
        c.bitsPerChar = BENCH_BITS_PER_CHAR;
        line->cable = CableStart(c, error);
        if (line->cable == nullptr) {
            ModuleLineStop(line);
            return false;
        }
        port = CableEndPath(line->cable, 0);
    }
    uint16_t route[1 + ROUTE_MAX_DROPS] = {0};
    g_handle = OpenSymax(port, 0, route);
    if (g_handle == nullptr) {
        *error = "OpenSymax failed";
        ModuleLineStop(line);
        return false;
    }
    SetPortParams(g_handle, baud, 1, 1, 500, 8);
    return true;
}

void ModuleLineStop(ModuleLine *line) {
    if (g_handle)
        CommClose(g_handle);
    g_handle = nullptr;
    if (line->cable)
        CableStop(line->cable);
    line->cable = nullptr;
    if (line->sim)
        SimStop(line->sim);
    line->sim = nullptr;
    if (!line->dir.empty())
        rmdir(line->dir.c_str());
}

void ModuleLineWith(ModuleLine *line, const std::function<void(ModuleLine *)> &f) {
    SimWith(line->sim, [&](Slave *) { f(line); });
}

std::vector<Transaction> ModuleLineTake(ModuleLine *line) {
    std::vector<Transaction> log;
    ModuleLineWith(line, [&](ModuleLine *l) { log.swap(l->log); });
    return log;
}

std::vector<uint8_t> ModuleLineRoute(ModuleLine *line) {
    std::vector<uint8_t> route;
    SimWith(line->sim, [&](Slave *s) { route = s->dev.lastRoute; });
    return route;
}

size_t RequestChars(const Transaction &t, const std::vector<uint8_t> &route) {
    Bytes request, reply;
    transaction_frames(t, &request, &reply);
    return WireFrame(DC1, route, request, false).size();
}

size_t TransactionChars(const Transaction &t, const std::vector<uint8_t> &route) {
    Bytes request, reply;
    transaction_frames(t, &request, &reply);
    // Each frame is acknowledged with a DLE pair.
    return WireFrame(DC1, route, request, false).size() + 2 +
           WireFrame(DC1, route, reply, false).size() + 2;
}

double LineSeconds(const ModuleLine *line, size_t chars) {
    return double(chars) * double(int(BENCH_BITS_PER_CHAR)) / double(line->baud);
}

Transaction MadeUp(bool write, unsigned first, unsigned count) {
    return {write, first, std::vector<uint16_t>(count, 0), {}};
}

namespace {

// What a transaction of a pass through the window at s of length l was:
// 0 idle write, 1 status read, 2 command, 3 data write, 4 data read, 5 other.
int kind_of(const Transaction &x, unsigned s, unsigned l) {
    unsigned command = s + l + 2, count = unsigned(x.values.size());
    if (x.write && x.first == command && count == 1)
        return x.values[0] == 0 ? 0 : 2;
    if (!x.write && x.first == s && count == 1)
        return 1;
    if (x.first > s && x.first + count <= command + 1)
        return x.write ? 3 : 4;
    return 5;
}

// Counts one transaction; *standing is the command left in the register.
void tally(WindowTally *t, int kind, const Transaction &x, uint16_t *standing) {
    long *counts[] = {&t->idle,       &t->statusReads, &t->commands,
                      &t->dataWrites, &t->dataReads,   &t->other};
    (*counts[kind])++;
    if (kind == 2 && *standing != 0)
        t->repeats++;
    if (kind == 0 || kind == 2)
        *standing = x.values[0];
}

// True when the transaction lies within the window's registers.
bool in_window(const Transaction &x, unsigned s, unsigned l) {
    return x.first >= s && x.first + x.values.size() <= s + l + 3;
}

} // namespace

LinkCounts ModuleLineCounts(ModuleLine *line) {
    LinkCounts c;
    SimWith(line->sim, [&](Slave *s) {
        c.enqIn = s->stats.enqIn;
        c.nakIn = s->stats.nakIn;
        c.retransmits = s->stats.retransmits;
        c.badFramesIn = s->stats.badFramesIn;
    });
    return c;
}

PassFigures MeasurePass(ModuleLine *line, const std::vector<Transaction> &log, unsigned status,
                        unsigned recordLength, const std::vector<Transaction> &needed,
                        const LinkCounts &before) {
    PassFigures p;
    LinkCounts now = ModuleLineCounts(line);
    p.link.enqIn = now.enqIn - before.enqIn;
    p.link.nakIn = now.nakIn - before.nakIn;
    p.link.retransmits = now.retransmits - before.retransmits;
    p.link.badFramesIn = now.badFramesIn - before.badFramesIn;
    std::vector<uint8_t> route = ModuleLineRoute(line);
    size_t a = log.size(), b = 0;
    // The pass begins with the first write to the command register: the
    // status register of the first window can share its offset with a global
    // register that fetch and send read.
    for (size_t i = 0; i < log.size(); i++) {
        if (a == log.size() && log[i].write && log[i].first == status + recordLength + 2)
            a = i;
        if (a < log.size() && in_window(log[i], status, recordLength))
            b = i;
    }
    for (const Transaction &t : needed)
        p.limitNeeded += LineSeconds(line, TransactionChars(t, route));
    p.needed = long(needed.size());
    if (a >= log.size())
        return p;
    p.found = true;
    size_t chars = 0;
    uint16_t standing = 1; // unknown before the pass: the first command is no repeat
    double excess[5] = {0, 0, 0, 0, 0};
    long kinds[5] = {0, 0, 0, 0, 0};
    for (size_t i = a; i <= b; i++) {
        chars += TransactionChars(log[i], route);
        int kind = kind_of(log[i], status, recordLength);
        if (i == a)
            standing = 0;
        tally(&p.tally, kind, log[i], &standing);
        // From this request reaching the module to the next one doing so,
        // the line needs the rest of this transaction and the next request.
        if (i < b && kind < 5) {
            double gap = std::chrono::duration<double>(log[i + 1].at - log[i].at).count();
            size_t line_chars = TransactionChars(log[i], route) - RequestChars(log[i], route) +
                                RequestChars(log[i + 1], route);
            excess[kind] += gap - LineSeconds(line, line_chars);
            kinds[kind]++;
        }
    }
    for (int k = 0; k < 5; k++)
        p.excessMs[k] = kinds[k] ? 1000 * excess[k] / double(kinds[k]) : 0;
    p.made = long(b - a + 1);
    p.limitMade = LineSeconds(line, chars);
    size_t ends =
        RequestChars(log[a], route) + TransactionChars(log[b], route) - RequestChars(log[b], route);
    p.seconds =
        std::chrono::duration<double>(log[b].at - log[a].at).count() + LineSeconds(line, ends);
    return p;
}

void PrintPassHeader(void) {
    printf("%-9s %7s %8s %8s %6s %6s %9s %9s %6s %6s\n", "pass", "records", "seconds", "rec/s",
           "made", "needed", "limit", "limit", "ratio", "ratio");
    printf("%-9s %7s %8s %8s %6s %6s %9s %9s %6s %6s\n", "", "", "", "", "", "", "needed", "made",
           "needed", "made");
}

void PrintPass(const char *name, long records, const PassFigures &p, const char *failure) {
    if (!p.found) {
        printf("%-9s no window transactions%s%s\n", name, failure ? ": " : "",
               failure ? failure : "");
        fflush(stdout);
        return;
    }
    printf("%-9s %7ld %8.3f %8.1f %6ld %6ld %9.3f %9.3f %6.2f %6.2f%s%s\n", name, records,
           p.seconds, double(records) / p.seconds, p.made, p.needed, p.limitNeeded, p.limitMade,
           p.seconds / p.limitNeeded, p.seconds / p.limitMade, failure ? "  failed: " : "",
           failure ? failure : "");
    double n = records > 0 ? double(records) : 1;
    const WindowTally &t = p.tally;
    printf("%-9s per record: %.2f idle writes, %.2f status reads, %.2f commands, %.2f data "
           "writes, %.2f data reads, %.2f other\n",
           "", double(t.idle) / n, double(t.statusReads) / n, double(t.commands) / n,
           double(t.dataWrites) / n, double(t.dataReads) / n, double(t.other) / n);
    printf("%-9s ms beyond the line after each: idle %.1f, status %.1f, command %.1f, data "
           "write %.1f, data read %.1f\n",
           "", p.excessMs[0], p.excessMs[1], p.excessMs[2], p.excessMs[3], p.excessMs[4]);
    if (t.repeats || p.link.enqIn || p.link.nakIn || p.link.retransmits || p.link.badFramesIn)
        printf("%-9s commands repeated with no 0 between: %ld; link: %ld enquiries, %ld naks, "
               "%ld replies sent again, %ld damaged requests\n",
               "", t.repeats, p.link.enqIn, p.link.nakIn, p.link.retransmits, p.link.badFramesIn);
    fflush(stdout);
}

// The image registers from S + 2 on, in chunks of 128.
static void NeedImage(std::vector<Transaction> *v, bool write, unsigned s, unsigned l) {
    for (unsigned done = 0; done < l; done += 128)
        v->push_back(MadeUp(write, s + 2 + done, l - done < 128 ? l - done : 128));
}

void NeedWrite(std::vector<Transaction> *v, unsigned s, unsigned l, bool withNumber,
               bool idleAfter) {
    v->push_back(MadeUp(true, s + l + 2, 1)); // command register to 0
    v->push_back(MadeUp(false, s, 1));        // completion bits clear
    NeedImage(v, true, s, l);
    if (withNumber)
        v->push_back(MadeUp(true, s + 1, 1)); // the record number
    v->push_back(MadeUp(true, s + l + 2, 1)); // the command
    v->push_back(MadeUp(false, s, 1));        // complete
    if (idleAfter)
        v->push_back(MadeUp(true, s + l + 2, 1));
}

void NeedRead(std::vector<Transaction> *v, unsigned s, unsigned l, bool first, bool found,
              bool idleAfter) {
    v->push_back(MadeUp(true, s + l + 2, 1));
    v->push_back(MadeUp(false, s, 1));
    if (first)
        v->push_back(MadeUp(true, s + 1, 1)); // the record number asked for
    v->push_back(MadeUp(true, s + l + 2, 1));
    v->push_back(MadeUp(false, s, 1));
    if (found)
        NeedImage(v, false, s, l);
    if (found && !first)
        v->push_back(MadeUp(false, s + 1, 1)); // the number of the record found
    if (idleAfter)
        v->push_back(MadeUp(true, s + l + 2, 1));
}

void NeedIdle(std::vector<Transaction> *v, unsigned s, unsigned l) {
    v->push_back(MadeUp(true, s + l + 2, 1));
}

uint16_t BenchWord(int r, int i) {
    return uint16_t(r * 37 + i * 1031 + 5);
}

bool ModuleLineHolds(ModuleLine *line, int records, int length) {
    bool same = true;
    ModuleLineWith(line, [&](ModuleLine *l) {
        const auto &held = l->module.files[0].records;
        same = held.size() == size_t(records);
        for (int r = 0; same && r < records; r++) {
            auto it = held.find(r);
            same = it != held.end();
            for (int i = 0; same && i < length; i++)
                same = it->second[size_t(i)] == BenchWord(r, i);
        }
    });
    return same;
}

std::string ConsoleResultLine(void) {
    std::string row = ConsoleRecordRow(9);
    size_t a = row.find_first_not_of(' '), b = row.find_last_not_of(' ');
    return a == std::string::npos ? std::string("(no result line)") : row.substr(a, b - a + 1);
}
