// Send and fetch of a 20-file configuration through the configurator's
// module access, over a pty paced at 19200 baud, against the simulated
// module. Each register transaction is logged as the module serves it; the
// line's limit for the same transactions is the time their characters take
// one after the other (request, its acknowledgement, reply, its
// acknowledgement, 11 bits a character), without any turnaround.
#include "comm/comm.h"
#include "configurator/config_model.h"
#include "configurator/fetch_send.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "platform/console_record.h"
#include "screen/screen.h"
#include "sim/symax/symax_sim.h"
#include "sim/vrx740/module_model.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace symaxsim;

namespace {

enum { BAUD = 19200, BITS_PER_CHAR = 11, FILES = 20 };

// What the module served: one entry per register transaction.
struct Transaction {
    bool write;
    std::vector<uint16_t> values;
    unsigned first;
};

struct Served {
    vrx740::Module module;
    std::vector<Transaction> log;
};

int served_read(void *ctx, unsigned first, unsigned count, uint16_t *values) {
    Served *s = static_cast<Served *>(ctx);
    int status = vrx740::ModuleLinkRead(&s->module, first, count, values);
    s->log.push_back({false, std::vector<uint16_t>(values, values + count), first});
    return status;
}

int served_write(void *ctx, unsigned first, unsigned count, const uint16_t *values) {
    Served *s = static_cast<Served *>(ctx);
    s->log.push_back({true, std::vector<uint16_t>(values, values + count), first});
    return vrx740::ModuleLinkWrite(&s->module, first, count, values);
}

void put_word(Bytes *b, unsigned v) {
    b->push_back(uint8_t(v >> 8));
    b->push_back(uint8_t(v & 0xFF));
}

// The characters of one transaction on the line, normal opcodes and BCC.
size_t transaction_chars(const Transaction &t, const Bytes &route) {
    unsigned address = t.first * 2;
    Bytes request, reply;
    if (t.write) {
        request = {0x02, 0x00};
        put_word(&request, address);
        for (uint16_t v : t.values)
            put_word(&request, v);
        request.push_back(0xFF);
        request.push_back(0xFF);
        reply = {0x80, 0x00};
        put_word(&reply, address);
    } else {
        request = {0x00, 0x00};
        put_word(&request, address);
        request.push_back(0);
        request.push_back(uint8_t(t.values.size() - 1));
        reply = {0x86, 0x00};
        put_word(&reply, address);
        for (uint16_t v : t.values)
            put_word(&reply, v);
    }
    return WireFrame(DC1, route, request, false).size() + 2 +
           WireFrame(DC1, route, reply, false).size() + 2;
}

// Runs one operation; prints its seconds, transactions and the ratio.
bool measure(const char *name, Sim *sim, Served *served, const std::function<bool()> &op) {
    SimWith(sim, [&](Slave *) { served->log.clear(); });
    ActionBegin();
    auto t0 = std::chrono::steady_clock::now();
    bool ok = op();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    size_t chars = 0, count = 0;
    SimWith(sim, [&](Slave *s) {
        for (const Transaction &t : served->log)
            chars += transaction_chars(t, s->dev.lastRoute);
        count = served->log.size();
    });
    double limit = double(chars) * double(int(BITS_PER_CHAR)) / double(int(BAUD));
    printf("%-18s %8.3f %13zu %11.3f %7.2f%s%s\n", name, seconds, count, limit, seconds / limit,
           ok ? "" : "  failed: ", ok ? "" : ActionReason());
    fflush(stdout);
    return ok;
}

// Twenty files of record lengths 8 to 27 with 1 to 3 windows each.
void sample_config(void) {
    ClearConfig(&g_config);
    g_config.fileCount = FILES;
    for (int i = 0; i < FILES; i++)
        g_config.files[i] = {uint16_t(8 + i), uint16_t(1 + i % 3), 99, 2, {}};
}

} // namespace

int main() {
    char dir[] = "/tmp/module_bench_XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        perror("module_bench: mkdtemp");
        return 1;
    }
    Served *served = new Served;
    vrx740::ModuleInit(&served->module);
    SimOptions o;
    o.link = std::string(dir) + "/COM1";
    o.baud = BAUD;
    o.hook.read = served_read;
    o.hook.write = served_write;
    o.hook.ctx = served;
    std::string error;
    Sim *sim = SimStart(o, &error);
    if (sim == nullptr) {
        fprintf(stderr, "module_bench: %s\n", error.c_str());
        return 1;
    }
    uint16_t route[1 + ROUTE_MAX_DROPS] = {0};
    g_handle = OpenSymax(SimSlavePath(sim), 0, route);
    if (g_handle == nullptr) {
        fprintf(stderr, "module_bench: OpenSymax failed\n");
        SimStop(sim);
        return 1;
    }
    SetPortParams(g_handle, BAUD, 1, 1, 500, 8);
    SetupDefaults(&g_setup);
    ConsoleRecordStart();
    ScreenInit();

    printf("20-file configuration over a pty at %d baud against the simulated module\n", BAUD);
    printf("%-18s %8s %13s %11s %7s\n", "operation", "seconds", "transactions", "line limit",
           "ratio");
    sample_config();
    bool ok = measure("send", sim, served, [] { return SendConfig(false, false); });
    ModuleConfig sent = g_config;
    ClearConfig(&g_config);
    ok = measure("fetch front panel", sim, served, FetchConfig) && ok;
    ok = ok && g_config.fileCount == sent.fileCount;
    g_setup.connectedVia = VIA_PLC_PORT;
    g_setup.rackAddress = 1001;
    SimWith(sim, [&](Slave *) {
        served->module.plc = true;
        served->module.rack = 1001;
    });
    ClearConfig(&g_config);
    ok = measure("fetch PLC port", sim, served, FetchConfig) && ok;
    ok = ok && g_config.fileCount == sent.fileCount;

    ScreenExit();
    ConsoleRecordStop();
    CommClose(g_handle);
    g_handle = nullptr;
    SimStop(sim);
    delete served;
    rmdir(dir);
    return ok ? 0 : 1;
}
