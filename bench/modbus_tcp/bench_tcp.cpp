// Modbus TCP read transactions per second on loopback: our library against
// libmodbus's own client, on the same server in the same run, as a ratio.
//
// usage: bench_modbus_tcp [--count N] [--rounds R] [--server PROGRAM]
// Without --server the server is the simulator's thread in this process; with
// it, the program (which prints "READY <port>" and ends when its input ends,
// as the libmodbus test server does) is started and used as well.
#include "comm/comm.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"
#include "tests/harness/peer_process.h"

#include <modbus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { READ_COUNT = 10 };

static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Transactions per second of our client, or 0 on a failure.
static double OursRound(unsigned port, int count) {
    CommHandle *h = OpenModbusTCP("127.0.0.1", port, 1);
    if (!h)
        return 0;
    uint16_t v[READ_COUNT];
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; i++)
        if (Read4X(h, 1, READ_COUNT, v) != READ_COUNT) {
            fprintf(stderr, "our read failed: %s\n", CommErrorText(h));
            CommClose(h);
            return 0;
        }
    double s = Seconds(start);
    CommClose(h);
    return count / s;
}

static double LibmodbusRound(unsigned port, int count) {
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", (int)port);
    if (!ctx)
        return 0;
    modbus_set_slave(ctx, 1);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        return 0;
    }
    uint16_t v[READ_COUNT];
    auto start = std::chrono::steady_clock::now();
    int ok = 1;
    for (int i = 0; i < count && ok; i++)
        ok = modbus_read_registers(ctx, 0, READ_COUNT, v) == READ_COUNT;
    double s = Seconds(start);
    modbus_close(ctx);
    modbus_free(ctx);
    if (!ok)
        fprintf(stderr, "libmodbus read failed\n");
    return ok ? count / s : 0;
}

// Alternates rounds of the two clients and keeps each one's best; prints the ratio.
static int Compare(const char *server, unsigned port, int count, int rounds) {
    double ours = 0, theirs = 0;
    for (int r = 0; r < rounds; r++) {
        double a = OursRound(port, count), b = LibmodbusRound(port, count);
        if (a == 0 || b == 0)
            return 0;
        if (a > ours)
            ours = a;
        if (b > theirs)
            theirs = b;
    }
    printf("server %-12s ours %8.0f/s  libmodbus %8.0f/s  ratio %.2f\n", server, ours, theirs,
           ours / theirs);
    return 1;
}

int main(int argc, char **argv) {
    int count = 20000, rounds = 3;
    const char *program = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--count") == 0)
            count = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--rounds") == 0)
            rounds = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--server") == 0)
            program = argv[i + 1];
    }
    if (count < 1 || rounds < 1 || argc % 2 == 0) {
        fprintf(stderr, "usage: bench_modbus_tcp [--count N] [--rounds R] [--server PROGRAM]\n");
        return 2;
    }
    printf("Modbus TCP reads of %d registers on loopback, best of %d rounds of %d\n", READ_COUNT,
           rounds, count);
    ModbusSlave *slave = SlaveCreate();
    TcpSimOptions options = {0, -1, 0, 0};
    TcpSim *sim = slave ? TcpSimStart(slave, &options) : nullptr;
    int ok = sim && Compare("modbustcpsim", TcpSimPort(sim), count, rounds);
    TcpSimStop(sim);
    SlaveDestroy(slave);
    if (ok && program) {
        PeerProcess peer = {0, -1, -1, 0};
        const char *args[] = {program, nullptr};
        ok = PeerStart(&peer, args, 10000) && Compare("libmodbus", peer.port, count, rounds);
        PeerStop(&peer, 5000);
    }
    if (!ok)
        fprintf(stderr, "benchmark failed\n");
    return ok ? 0 : 1;
}
