/* A libmodbus slave on 127.0.0.1 for the interoperability tests and the benchmark.
 *
 * Usage: libmodbus_server
 * Listens on a free loopback port, prints "READY <port>", and serves one
 * connection at a time until standard input ends. Holding register n (1-based)
 * starts as (7 * n) & 0xFFFF, input register n as n + 1000, coil n as
 * n % 3 == 0, discrete input n as n % 2 == 0. */
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

enum { POINTS = 10000 };

static void fill(modbus_mapping_t *m) {
    for (int i = 0; i < POINTS; i++) {
        int n = i + 1;
        m->tab_registers[i] = (uint16_t)(7 * n);
        m->tab_input_registers[i] = (uint16_t)(n + 1000);
        m->tab_bits[i] = n % 3 == 0;
        m->tab_input_bits[i] = n % 2 == 0;
    }
}

/* 1 when standard input has ended. */
static int input_ended(void) {
    struct pollfd p = {0, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0)
        return 0;
    char junk[256];
    return read(0, junk, sizeof junk) <= 0;
}

int main(void) {
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", 0);
    modbus_mapping_t *map = modbus_mapping_new(POINTS, POINTS, POINTS, POINTS);
    if (!ctx || !map)
        return 1;
    fill(map);
    int listener = modbus_tcp_listen(ctx, 1);
    if (listener < 0)
        return 1;
    struct sockaddr_in at;
    socklen_t size = sizeof at;
    getsockname(listener, (struct sockaddr *)&at, &size);
    printf("READY %u\n", (unsigned)ntohs(at.sin_port));
    fflush(stdout);
    for (;;) {
        struct pollfd p[2] = {{listener, POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(p, 2, -1) < 0)
            break;
        if (p[1].revents && input_ended())
            break;
        if (!p[0].revents)
            continue;
        int sock = modbus_tcp_accept(ctx, &listener);
        if (sock < 0)
            break;
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            struct pollfd q[2] = {{sock, POLLIN, 0}, {0, POLLIN, 0}};
            if (poll(q, 2, -1) < 0)
                break;
            if (q[1].revents && input_ended())
                goto done;
            if (!q[0].revents)
                continue;
            int rc = modbus_receive(ctx, query);
            if (rc == 0)
                continue; /* a request for another unit: ignored */
            if (rc < 0)
                break;
            modbus_reply(ctx, query, rc, map);
        }
        close(sock);
    }
done:
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    close(listener);
    return 0;
}
