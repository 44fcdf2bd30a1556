// The simulated gateway's command dialogue.
#include "sim/gateway/gateway_device.h"

#include "platform/serial.h"
#include "sim/modbus_slave/modbus_slave.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

enum { GW_REGISTERS = 8192, GW_MAX_COUNT = 128 };

void GatewayDeviceInit(GatewayDevice *g, ModbusSlave *model) {
    g->model = model;
    g->routeCount = -1;
    g->selects = g->reads = g->writes = g->badLines = 0;
    g->fault = GW_FAULT_NONE;
    g->faultOnce = 0;
}

int GatewayFaultParse(const char *name) {
    static const char *const names[] = {"none", "short", "silence", "garbage", "long"};
    for (int i = 0; i < 5; i++)
        if (strcmp(name, names[i]) == 0)
            return i;
    return -1;
}

// Reads up to max decimal numbers from text; returns how many, -1 on a bad word.
static int numbers(const char *text, unsigned long *out, int max) {
    int n = 0;
    while (*text) {
        while (*text == ' ')
            text++;
        if (!*text)
            break;
        if (n == max || *text < '0' || *text > '9')
            return -1;
        char *end = nullptr;
        out[n++] = strtoul(text, &end, 10);
        text = end;
        if (*text && *text != ' ')
            return -1;
    }
    return n;
}

static int reply_cr(char *reply) {
    reply[0] = '\r';
    return 1;
}

static int answer_read(GatewayDevice *g, const unsigned long *v, int n, int fault, char *reply,
                       int room) {
    if (n != 2 || v[1] < 1 || v[1] > GW_MAX_COUNT || v[0] < 1 || v[0] + v[1] - 1 > GW_REGISTERS)
        return snprintf(reply, (size_t)room, "E\r");
    if (fault == GW_FAULT_LONG) {
        memset(reply, '7', 300);
        reply[300] = '\r';
        return 301;
    }
    uint16_t values[GW_MAX_COUNT];
    int count = (int)v[1];
    SlaveGet(g->model, 4, 0, (int)v[0] - 1, count, values);
    if (fault == GW_FAULT_SHORT)
        count--;
    int len = 0;
    for (int i = 0; i < count && len < room - 8; i++)
        len += snprintf(reply + len, (size_t)(room - len), i ? " %u" : "%u", values[i]);
    reply[len++] = '\r';
    return len;
}

static int answer_write(GatewayDevice *g, const unsigned long *v, int n, char *reply, int room) {
    int count = n - 1;
    if (count < 1 || v[0] < 1 || v[0] + (unsigned long)count - 1 > GW_REGISTERS)
        return snprintf(reply, (size_t)room, "E\r");
    uint16_t values[GW_MAX_COUNT];
    // Values come sign-widened: the low 16 bits are the register.
    for (int i = 0; i < count; i++)
        values[i] = (uint16_t)v[1 + i];
    SlaveSet(g->model, 4, 0, (int)v[0] - 1, count, values);
    return reply_cr(reply);
}

int GatewayDeviceAnswer(GatewayDevice *g, const char *line, char *reply, int room) {
    std::lock_guard<std::mutex> guard(g->lock);
    int fault = g->fault;
    // Short and long replies are faults of "R" replies only; a one-shot
    // fault is used up by the first reply it changes.
    if ((fault == GW_FAULT_SHORT || fault == GW_FAULT_LONG) && line[0] != 'R')
        fault = GW_FAULT_NONE;
    else if (g->faultOnce)
        g->fault = GW_FAULT_NONE;
    if (fault == GW_FAULT_SILENCE)
        return 0;
    unsigned long v[GW_MAX_COUNT + 1];
    int n = line[0] ? numbers(line + 1, v, GW_MAX_COUNT + 1) : -1;
    if (n < 0) {
        g->badLines++;
        return snprintf(reply, (size_t)room, "E\r");
    }
    if (fault == GW_FAULT_GARBAGE)
        return snprintf(reply, (size_t)room, "?\r");
    switch (line[0]) {
    case 'A':
        if (n > 8)
            return snprintf(reply, (size_t)room, "E\r");
        g->selects++;
        g->routeCount = n;
        for (int i = 0; i < n; i++)
            g->route[i] = (int)v[i];
        return reply_cr(reply);
    case 'R':
        g->reads++;
        return answer_read(g, v, n, fault, reply, room);
    case 'W':
        g->writes++;
        return answer_write(g, v, n, reply, room);
    default:
        g->badLines++;
        return snprintf(reply, (size_t)room, "E\r");
    }
}

void GatewayDeviceRun(GatewayDevice *g, SerialPort *port) {
    char line[GW_DEVICE_LINE_MAX];
    int used = 0, overlong = 0;
    uint8_t buf[SERIAL_MAX_TRANSFER];
    for (;;) {
        int n = SerialPortRead(port, buf, sizeof buf, -1);
        if (n == SERIAL_STOPPED)
            return;
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        for (int i = 0; i < n; i++) {
            char c = (char)(buf[i] & 0x7F);
            if (c == '\n')
                continue; // a CR LF ending counts once
            if (c != '\r') {
                if (used < GW_DEVICE_LINE_MAX - 1)
                    line[used++] = c;
                else
                    overlong = 1;
                continue;
            }
            line[used] = 0;
            char reply[GW_DEVICE_LINE_MAX];
            int len = 0;
            if (overlong) {
                std::lock_guard<std::mutex> guard(g->lock);
                g->badLines++;
                len = snprintf(reply, sizeof reply, "E\r");
            } else {
                len = GatewayDeviceAnswer(g, line, reply, (int)sizeof reply);
            }
            used = 0;
            overlong = 0;
            if (len > 0)
                SerialPortWrite(port, (const uint8_t *)reply, len);
        }
    }
}
