// Sy/Max read transactions per second through the communications library over
// a pty, against the simulated device, at 9600 and 19200 baud. Beside each
// figure: the limit the wire sets for the same frames (request, its
// acknowledgement, the reply, its acknowledgement, one after the other at the
// line's character time, 11 bits for 8 data bits with even parity), and the
// ratio. Each run takes about RUN_MS.
#include "comm/comm.h"
#include "sim/symax/symax_sim.h"
#include "sim/symax/symax_wire.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace symaxsim;

namespace {

enum { RUN_MS = 1000, BITS_PER_CHAR = 11, VALUE = 0x1234 };

// The characters of one read of count registers on the wire: request frame,
// acknowledgement, reply frame, acknowledgement.
size_t transaction_chars(int count) {
    Bytes route = {'0', '1'};
    Bytes request = {0x00, 0x01, 0x00, 0x00, 0x00, uint8_t(count - 1)};
    Bytes reply = {0x86, 0x01, 0x00, 0x00};
    for (int i = 0; i < count; i++) {
        reply.push_back(uint8_t(VALUE >> 8));
        reply.push_back(uint8_t(VALUE & 0xFF));
    }
    return WireFrame(DC1, route, request, false).size() + 2 +
           WireFrame(DC1, route, reply, false).size() + 2;
}

struct Result {
    long good = 0, failed = 0;
    double seconds = 0;
    std::string error;
};

Result run(const std::string &dir, int baud, int count) {
    Result r;
    SimOptions o;
    o.link = dir + "/COM1";
    o.baud = baud;
    o.trace = getenv("SYMAX_BENCH_TRACE") != nullptr;
    Sim *sim = SimStart(o, &r.error);
    if (sim == nullptr)
        return r;
    SimWith(sim, [](Slave *s) {
        for (uint16_t &v : s->dev.mem.reg)
            v = VALUE;
    });
    uint16_t route[] = {1, 1};
    CommHandle *h = OpenSymax("COM1:", 0, route);
    if (h == nullptr) {
        r.error = "OpenSymax failed";
        SimStop(sim);
        return r;
    }
    SetPortParams(h, baud, 1, 1, 300, 8);
    uint16_t v[128];
    Read4X(h, 1, count, v); // the first exchange settles the link
    auto t0 = std::chrono::steady_clock::now();
    auto end = t0 + std::chrono::milliseconds(RUN_MS);
    while (std::chrono::steady_clock::now() < end) {
        if (Read4X(h, 1, count, v) == count && v[count - 1] == VALUE)
            r.good++;
        else
            r.failed++, r.error = CommErrorText(h);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    CommClose(h);
    SimStop(sim);
    return r;
}

} // namespace

int main() {
    char tmpl[] = "/tmp/symax_bench_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        perror("symax_bench: mkdtemp");
        return 1;
    }
    char oldDir[PATH_MAX];
    if (getcwd(oldDir, sizeof oldDir) == nullptr || chdir(tmpl) != 0) {
        perror("symax_bench: chdir");
        return 1;
    }
    printf("Sy/Max Read4X over a pty against symaxsim (normal opcodes, BCC, route of 1 drop)\n");
    printf("%6s %5s %10s %14s %7s %8s\n", "baud", "regs", "reads/s", "wire limit/s", "ratio",
           "failed");
    int status = 0;
    // SYMAX_BENCH_ONLY=BAUD:COUNT runs one case (with SYMAX_BENCH_TRACE set: traced).
    const char *only = getenv("SYMAX_BENCH_ONLY");
    for (int baud : {9600, 19200}) {
        for (int count : {1, 16, 125}) {
            if (only != nullptr && std::to_string(baud) + ":" + std::to_string(count) != only)
                continue;
            Result r = run(tmpl, baud, count);
            if (r.seconds == 0) {
                printf("%6d %5d  could not run: %s\n", baud, count, r.error.c_str());
                status = 1;
                continue;
            }
            double rate = double(r.good) / r.seconds;
            double limit =
                double(baud) / (double(BITS_PER_CHAR) * double(transaction_chars(count)));
            printf("%6d %5d %10.1f %14.1f %7.2f %8ld%s%s\n", baud, count, rate, limit, rate / limit,
                   r.failed, r.failed ? "  last error: " : "", r.failed ? r.error.c_str() : "");
            fflush(stdout);
        }
    }
    if (chdir(oldDir) != 0 || rmdir(tmpl) != 0)
        perror("symax_bench: cleaning up");
    return status;
}
