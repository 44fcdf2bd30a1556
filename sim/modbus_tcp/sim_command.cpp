// The TCP simulator's text commands: faults and delay, then the slave model's
// memory commands.
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// A whole decimal number in 0..limit.
static int WholeNumber(const char *text, long limit, long *value) {
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end || v < 0 || v > limit)
        return 0;
    *value = v;
    return 1;
}

int TcpSimCommand(TcpSim *sim, ModbusSlave *slave, const char *line, char *out, unsigned room) {
    char word[16], name[16], extra[16];
    name[0] = extra[0] = 0;
    int words = sscanf(line, "%15s %15s %15s", word, name, extra);
    if (words >= 2 && strcmp(word, "fault") == 0) {
        int fault = TcpSimFaultParse(name);
        long count = 1;
        if (fault < 0) {
            snprintf(out, room, "ERR unknown fault");
            return 0;
        }
        if (words == 3 && !WholeNumber(extra, 1000000, &count)) {
            snprintf(out, room, "ERR bad count");
            return 0;
        }
        TcpSimSetFault(sim, fault, (int)count);
        snprintf(out, room, "OK");
        return 1;
    }
    if (words == 2 && strcmp(word, "delay") == 0) {
        long ms;
        if (!WholeNumber(name, 600000, &ms)) {
            snprintf(out, room, "ERR bad delay");
            return 0;
        }
        TcpSimSetDelay(sim, (int)ms);
        snprintf(out, room, "OK");
        return 1;
    }
    return SlaveCommand(slave, line, out, room);
}
