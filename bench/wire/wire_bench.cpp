// Reads per second on a cable paced like a real line (11 bits a character):
// our Modbus RTU client and libmodbus's RTU client, one after the other,
// against the same simulated slave at 9600 and 19200 baud, and our Sy/Max
// client against the Sy/Max simulator on the same cable. Each read is of 20
// holding registers. Beside each figure: the ratio to libmodbus and to the
// line's own limit, the characters of one read (request and reply, and for
// Sy/Max their acknowledgements) back to back, with no quiet interval.
//
// usage: wire_bench [SECONDS]   (default 3 per run)
#include "comm/comm.h"
#include "sim/paced_cable/paced_cable.h"
#include "sim/symax/symax_sim.h"
#include "sim/symax/symax_wire.h"
#include "tests/harness/sim_process.h"

#ifdef HAVE_LIBMODBUS
#include <modbus/modbus.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

enum { REGISTERS = 20, BITS_PER_CHAR = 11, VALUE = 0x1234 };

using Clock = std::chrono::steady_clock;

struct Result {
    long good = 0, failed = 0;
    double seconds = 0;
    std::string note; // why there is no figure, or the last failure
    double rate() const { return seconds > 0 ? good / seconds : 0; }
};

// Runs read() again and again for the given time, after one read that settles the line.
Result repeat(double seconds, const std::function<bool(std::string *)> &read) {
    Result r;
    std::string error;
    read(&error);
    auto t0 = Clock::now();
    for (;;) {
        double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        if (elapsed >= seconds) {
            r.seconds = elapsed;
            return r;
        }
        if (read(&error))
            r.good++;
        else
            r.failed++, r.note = error;
    }
}

Result ours_rtu(const std::string &port, int baud, double seconds) {
    CommHandle *h = OpenModbusRTU(port.c_str(), 1);
    if (!h) {
        Result r;
        r.note = "OpenModbusRTU failed";
        return r;
    }
    SetPortParams(h, baud, 1, 1, 100, 8);
    uint16_t v[REGISTERS];
    Result r = repeat(seconds, [&](std::string *error) {
        if (Read4X(h, 1, REGISTERS, v) == REGISTERS)
            return true;
        *error = CommErrorText(h);
        return false;
    });
    CommClose(h);
    return r;
}

Result libmodbus_rtu(const std::string &port, int baud, double seconds) {
    Result r;
#ifdef HAVE_LIBMODBUS
    modbus_t *ctx = modbus_new_rtu(port.c_str(), baud, 'E', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        r.note = "libmodbus could not open the port";
        if (ctx)
            modbus_free(ctx);
        return r;
    }
    uint16_t v[REGISTERS];
    r = repeat(seconds, [&](std::string *error) {
        if (modbus_read_registers(ctx, 0, REGISTERS, v) == REGISTERS)
            return true;
        *error = modbus_strerror(errno);
        return false;
    });
    modbus_close(ctx);
    modbus_free(ctx);
#else
    (void)port, (void)baud, (void)seconds;
    r.note = "libmodbus not built in";
#endif
    return r;
}

Result ours_symax(const std::string &port, int baud, double seconds) {
    uint16_t route[] = {1, 1};
    CommHandle *h = OpenSymax(port.c_str(), 0, route);
    if (!h) {
        Result r;
        r.note = "OpenSymax failed";
        return r;
    }
    SetPortParams(h, baud, 1, 1, 300, 8);
    uint16_t v[REGISTERS];
    Result r = repeat(seconds, [&](std::string *error) {
        if (Read4X(h, 1, REGISTERS, v) == REGISTERS && v[REGISTERS - 1] == VALUE)
            return true;
        *error = CommErrorText(h);
        return false;
    });
    CommClose(h);
    return r;
}

// The characters of one RTU read: request, and a reply with its byte count.
int rtu_chars() {
    return 8 + 5 + 2 * REGISTERS;
}

// The characters of one Sy/Max read: request, acknowledgement, reply, acknowledgement.
int symax_chars() {
    using namespace symaxsim;
    Bytes route = {'0', '1'};
    Bytes request = {0x00, 0x01, 0x00, 0x00, 0x00, uint8_t(REGISTERS - 1)};
    Bytes reply = {0x86, 0x01, 0x00, 0x00};
    for (int i = 0; i < REGISTERS; i++) {
        reply.push_back(uint8_t(VALUE >> 8));
        reply.push_back(uint8_t(VALUE & 0xFF));
    }
    return int(WireFrame(DC1, route, request, false).size() + 2 +
               WireFrame(DC1, route, reply, false).size() + 2);
}

double line_limit(int baud, int chars) {
    return baud / double(chars * BITS_PER_CHAR);
}

void print_row(const char *client, int baud, const Result &r, const Result *lib, int chars) {
    char rate[32] = "-", ratio[32] = "-", limit[32];
    if (r.seconds > 0)
        snprintf(rate, sizeof rate, "%.1f", r.rate());
    if (lib && r.seconds > 0 && lib->rate() > 0)
        snprintf(ratio, sizeof ratio, "%.2f", r.rate() / lib->rate());
    double line = line_limit(baud, chars);
    snprintf(limit, sizeof limit, "%.1f", line);
    printf("%-16s %6d  %8s  %6ld  %12s  %10s  %8.2f", client, baud, rate, r.failed, ratio, limit,
           r.rate() / line);
    if (!r.note.empty())
        printf("  (%s)", r.note.c_str());
    printf("\n");
}

// A cable from dir/COM1 to the device's link dir/DEV.
PacedCable *cable_to(const std::string &dir, int baud) {
    CableOptions o;
    o.baud = baud;
    o.bitsPerChar = BITS_PER_CHAR;
    o.a.link = dir + "/COM1";
    o.b.open = dir + "/DEV";
    std::string error;
    PacedCable *c = CableStart(o, &error);
    if (!c)
        fprintf(stderr, "wire_bench: %s\n", error.c_str());
    return c;
}

// The RTU slave on dir/DEV: libmodbus's server where it was built, else our
// simulator (which ends a request at a quiet line of three and a half
// characters, so a cable held up by a busy machine can split one).
bool rtu_slave_start(SimProcess *slave, const std::string &dir, int baud) {
#ifdef LIBMODBUS_SERVER
    (void)baud;
    return slave->start({LIBMODBUS_SERVER, "1", dir + "/DEV"}, nullptr);
#else
    return slave->start({MODBUS_SERIAL_SIM, "--rtu", "--slave", "1", "--baud", std::to_string(baud),
                         "--link", dir + "/DEV"},
                        nullptr);
#endif
}

// Both RTU clients against one slave behind the cable.
bool rtu_rows(int baud, double seconds) {
    TempDir dir;
    SimProcess sim;
    if (!rtu_slave_start(&sim, dir.path, baud)) {
        fprintf(stderr, "wire_bench: the Modbus slave did not start\n");
        return false;
    }
    PacedCable *c = cable_to(dir.path, baud);
    if (!c)
        return false;
    std::string port = dir.path + "/COM1";
    Result lib = libmodbus_rtu(port, baud, seconds);
    Result ours = ours_rtu(port, baud, seconds);
    print_row("libmodbus RTU", baud, lib, lib.seconds > 0 ? &lib : nullptr, rtu_chars());
    print_row("ours RTU", baud, ours, lib.seconds > 0 ? &lib : nullptr, rtu_chars());
    CableStop(c);
    sim.stop();
    unlink((dir.path + "/DEV").c_str());
    return true;
}

bool symax_row(int baud, double seconds) {
    TempDir dir;
    symaxsim::SimOptions o;
    o.link = dir.path + "/DEV";
    o.baud = baud;
    std::string error;
    symaxsim::Sim *sim = symaxsim::SimStart(o, &error);
    if (!sim) {
        fprintf(stderr, "wire_bench: %s\n", error.c_str());
        return false;
    }
    symaxsim::SimWith(sim, [](symaxsim::Slave *s) {
        for (uint16_t &v : s->dev.mem.reg)
            v = VALUE;
    });
    PacedCable *c = cable_to(dir.path, baud);
    if (!c) {
        symaxsim::SimStop(sim);
        return false;
    }
    Result r = ours_symax(dir.path + "/COM1", baud, seconds);
    print_row("ours Sy/Max", baud, r, nullptr, symax_chars());
    CableStop(c);
    symaxsim::SimStop(sim);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    if (argc > 2 || seconds <= 0) {
        fprintf(stderr, "usage: wire_bench [SECONDS]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    printf("reads of %d registers on a cable paced at 11 bits a character, %.1f s a run\n",
           REGISTERS, seconds);
#ifdef LIBMODBUS_SERVER
    printf("Modbus slave: libmodbus's RTU server; Sy/Max: our simulator\n");
#else
    printf("Modbus slave: our simulator; Sy/Max: our simulator\n");
#endif
#ifndef HAVE_LIBMODBUS
    printf("libmodbus was not found when this was built: its column is left out\n");
#endif
    printf("%-16s %6s  %8s  %6s  %12s  %10s  %8s\n", "client", "baud", "reads/s", "failed",
           "x libmodbus", "line limit", "x limit");
    bool ok = true;
    for (int baud : {9600, 19200})
        ok = rtu_rows(baud, seconds) && ok;
    for (int baud : {9600, 19200})
        ok = symax_row(baud, seconds) && ok;
    return ok ? 0 : 1;
}
