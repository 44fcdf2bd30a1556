// modbustcpsim: a Modbus TCP (or RTU-over-TCP) slave on a loopback port, with
// memory that can be read and set through commands on standard input.
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

static const char Usage[] =
    "usage: modbustcpsim [options]\n"
    "  Serves a Modbus slave (10000 coils, inputs, input and holding registers;\n"
    "  files 0-15 of 10000 records) on 127.0.0.1 and prints \"READY <port>\".\n"
    "options:\n"
    "  --port N          listen on port N (default 0: any free port)\n"
    "  --rtu             RTU frames over TCP instead of Modbus TCP (MBAP)\n"
    "  --unit N          answer only requests to unit N (default: every unit)\n"
    "  --fault NAME[:C]  inject a fault into the next C requests (0: all; default 1)\n"
    "                    reset close late delay split unit silent overlength badcrc garbage\n"
    "  --delay-ms N      delay of the \"delay\" fault (default 1000)\n"
    "  --stay            keep serving when standard input ends (stop with a signal)\n"
    "commands on standard input, one per line, each answered by one line:\n"
    "  get 4x N COUNT | set 4x N V...    (tables 0x 1x 3x 4x, N 1-based)\n"
    "  get 6x FILE REC COUNT | set 6x FILE REC V...\n"
    "  count | fault NAME [C] | delay MS | quit\n";

static int ParseInt(const char *text, long low, long high, long *value) {
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end || v < low || v > high)
        return 0;
    *value = v;
    return 1;
}

static int Fail(const char *what) {
    fprintf(stderr, "modbustcpsim: %s\n%s", what, Usage);
    return 2;
}

int main(int argc, char **argv) {
    TcpSimOptions options = {0, -1, 1000, 0};
    int fault = TCPSIM_NONE, faultCount = 1, stay = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        long v;
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            fputs(Usage, stdout);
            return 0;
        } else if (strcmp(a, "--rtu") == 0) {
            options.rtu = 1;
        } else if (strcmp(a, "--stay") == 0) {
            stay = 1;
        } else if (strcmp(a, "--port") == 0 && next && ParseInt(next, 0, 65535, &v)) {
            options.port = (uint16_t)v;
            i++;
        } else if (strcmp(a, "--unit") == 0 && next && ParseInt(next, 0, 255, &v)) {
            options.unit = (int)v;
            i++;
        } else if (strcmp(a, "--delay-ms") == 0 && next && ParseInt(next, 0, 600000, &v)) {
            options.delayMs = (int)v;
            i++;
        } else if (strcmp(a, "--fault") == 0 && next) {
            char name[32];
            snprintf(name, sizeof name, "%s", next);
            char *colon = strchr(name, ':');
            if (colon) {
                *colon = 0;
                if (!ParseInt(colon + 1, 0, 1000000, &v))
                    return Fail("bad fault count");
                faultCount = (int)v;
            }
            fault = TcpSimFaultParse(name);
            if (fault < 0)
                return Fail("unknown fault");
            i++;
        } else {
            return Fail("bad argument");
        }
    }
    ModbusSlave *slave = SlaveCreate();
    TcpSim *sim = slave ? TcpSimStart(slave, &options) : nullptr;
    if (!sim) {
        fprintf(stderr, "modbustcpsim: cannot listen on port %u\n", (unsigned)options.port);
        SlaveDestroy(slave);
        return 1;
    }
    TcpSimSetFault(sim, fault, faultCount);
    printf("READY %u\n", (unsigned)TcpSimPort(sim));
    fflush(stdout);
    char line[4096], out[8192];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = 0;
        if (line[0] == 0)
            continue;
        if (strcmp(line, "quit") == 0)
            break;
        TcpSimCommand(sim, slave, line, out, sizeof out);
        printf("%s\n", out);
        fflush(stdout);
    }
    if (stay && !feof(stdin))
        stay = 0; // "quit" ends the program in any case
    while (stay)
        std::this_thread::sleep_for(std::chrono::seconds(1));
    TcpSimStop(sim);
    SlaveDestroy(slave);
    return 0;
}
