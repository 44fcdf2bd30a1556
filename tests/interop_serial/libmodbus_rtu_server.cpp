// libmodbus_rtu_server: libmodbus's Modbus RTU server on a pty, a peer for the
// interoperability tests.
//
// usage: libmodbus_rtu_server SLAVE LINK
// Makes two pty pairs and relays bytes between their masters: libmodbus
// serves on one slave device, the other is linked as LINK for the client
// under test. Prints "READY <client pty>" and ends at the end of standard
// input. Memory (zero-based point i): coil i % 3 == 0, input i % 2 == 1,
// input register 1000 + i, holding register 2i + 7, 2000 points each.
#include "platform/pty.h"

#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

enum { POINTS = 2000 };

std::atomic<bool> stopping{false};

// Copies bytes both ways between the two masters until stopping.
void relay(int a, int b) {
    while (!stopping) {
        pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (poll(p, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2; i++) {
            if (!(p[i].revents & POLLIN))
                continue;
            unsigned char buf[512];
            ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n > 0)
                (void)!write(i == 0 ? b : a, buf, (size_t)n);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: libmodbus_rtu_server SLAVE LINK\n");
        return 2;
    }
    PtyPair client, server;
    if (!PtyOpen(&client) || !PtyOpen(&server) || !PtyLink(&client, argv[2])) {
        fprintf(stderr, "libmodbus_rtu_server: cannot make the ptys\n");
        return 1;
    }
    modbus_t *ctx = modbus_new_rtu(server.slavePath, 38400, 'N', 8, 1);
    modbus_mapping_t *map = modbus_mapping_new(POINTS, POINTS, POINTS, POINTS);
    if (!ctx || !map || modbus_set_slave(ctx, atoi(argv[1])) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "libmodbus_rtu_server: cannot start libmodbus\n");
        return 1;
    }
    for (int i = 0; i < POINTS; i++) {
        map->tab_bits[i] = i % 3 == 0;
        map->tab_input_bits[i] = i % 2 == 1;
        map->tab_input_registers[i] = (uint16_t)(1000 + i);
        map->tab_registers[i] = (uint16_t)(2 * i + 7);
    }
    modbus_set_indication_timeout(ctx, 0, 100000);
    std::thread relayThread(relay, client.master, server.master);
    std::thread stdinThread([] {
        char line[256];
        while (fgets(line, sizeof line, stdin)) {
        }
        stopping = true;
    });
    printf("READY %s\n", client.slavePath);
    fflush(stdout);
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stopping) {
        int n = modbus_receive(ctx, request);
        if (n > 0)
            modbus_reply(ctx, request, n, map);
        else if (n < 0 && errno != ETIMEDOUT)
            modbus_flush(ctx); // a request it could not frame: start afresh
    }
    relayThread.join();
    stdinThread.join();
    modbus_close(ctx);
    modbus_free(ctx);
    modbus_mapping_free(map);
    PtyClose(&client);
    PtyClose(&server);
    return 0;
}
