// Modbus RTU transactions per second over a pty, against our simulator and
// against the pymodbus and libmodbus RTU servers, beside the wire-time limit.
//
// usage: rtu_bench [SECONDS]   (default 3 per line of the table)
//
// A transaction is Read4X of 10 registers: a request of 8 bytes and a reply
// of 25 bytes. The limit counts both frames at the line's character time plus
// the 3.5-character quiet interval that ends each frame; our master ends a
// reply frame only after its read interval (20 ms at 9600 baud, 12 ms at
// 19200), which the second limit adds. The limits are those of a real line:
// a pty hands over the bytes of a write at once and the pacing only holds the
// writer back until they would have left the wire, so a pty run can exceed
// them. The pymodbus and libmodbus peers sit behind a relay that does not
// pace at all.
#include "comm/comm.h"
#include "tests/harness/sim_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

enum { REGISTERS = 10, REQUEST_BYTES = 8, REPLY_BYTES = 5 + 2 * REGISTERS };

struct Result {
    int done = 0, failed = 0;
    double seconds = 0;
};

Result run(int baud, double seconds) {
    Result r;
    CommHandle *h = OpenModbusRTU("COM1:", 1);
    if (!h)
        return r;
    SetPortParams(h, baud, 0, 1, 100, 8);
    uint16_t values[REGISTERS];
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= seconds) {
            r.seconds = elapsed;
            break;
        }
        if (Read4X(h, 1, REGISTERS, values) == REGISTERS)
            r.done++;
        else
            r.failed++;
    }
    CommClose(h);
    return r;
}

void report(const char *peer, int baud, const Result &r) {
    double charTime = 10.0 / baud; // 8 data bits, no parity, one stop bit
    double wire = (REQUEST_BYTES + REPLY_BYTES + 2 * 3.5) * charTime;
    double interval = (4.0 * baud + 153996) / baud / 1000.0; // the master's read interval
    double ours = (REQUEST_BYTES + REPLY_BYTES + 3.5) * charTime + (int)(interval * 1000) / 1000.0;
    printf("%-9s %6d  %8.1f  %6d  %10.1f  %14.1f\n", peer, baud,
           r.seconds > 0 ? r.done / r.seconds : 0.0, r.failed, 1 / wire, 1 / ours);
}

} // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    if (seconds <= 0) {
        fprintf(stderr, "usage: rtu_bench [SECONDS]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    printf("peer        baud  trans/s  failed  wire limit  with interval\n");
    for (int baud : {9600, 19200}) {
        TempDir dir;
        SimProcess sim;
        std::string b = std::to_string(baud);
        if (!sim.start({MODBUS_SERIAL_SIM, "--rtu", "--slave", "1", "--baud", b, "--link",
                        dir.path + "/COM1"},
                       nullptr)) {
            fprintf(stderr, "rtu_bench: simulator did not start\n");
            return 1;
        }
        report("simulator", baud, run(baud, seconds));
        sim.stop();
    }
    for (int baud : {9600, 19200}) {
        TempDir dir;
        SimProcess peer;
        if (!peer.start({"/usr/bin/python3", PYMODBUS_SERVER, "rtu", "1", dir.path + "/COM1"},
                        nullptr, 20000)) {
            fprintf(stderr, "rtu_bench: pymodbus server did not start\n");
            return 1;
        }
        report("pymodbus", baud, run(baud, seconds));
        peer.stop();
    }
    for (int baud : {9600, 19200}) {
        TempDir dir;
        SimProcess peer;
        if (!peer.start({LIBMODBUS_SERVER, "1", dir.path + "/COM1"}, nullptr)) {
            fprintf(stderr, "rtu_bench: libmodbus server did not start\n");
            return 1;
        }
        report("libmodbus", baud, run(baud, seconds));
        peer.stop();
    }
    return 0;
}
