// A simulated gateway device: answers the "A", "R" and "W" command lines with
// registers 1 to 8192 of a ModbusSlave model's holding table, and injects
// faults on request.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

struct ModbusSlave;
struct SerialPort;

enum GatewayFault {
    GW_FAULT_NONE = 0,
    GW_FAULT_SHORT = 1,   // an R reply with one value fewer than asked
    GW_FAULT_SILENCE = 2, // no reply
    GW_FAULT_GARBAGE = 3, // "?" instead of the reply
    GW_FAULT_LONG = 4,    // an R reply of 300 characters
};

enum { GW_DEVICE_LINE_MAX = 1024 };

struct GatewayDevice {
    ModbusSlave *model;
    std::mutex lock; // guards the fields below
    int routeCount;  // -1: no route selected yet
    int route[8];
    unsigned long selects, reads, writes, badLines;
    int fault;
    int faultOnce;
};

void GatewayDeviceInit(GatewayDevice *g, ModbusSlave *model);
// Answers one command line (without its CR) into reply; returns the reply's
// length (0: no reply). The reply ends with CR.
int GatewayDeviceAnswer(GatewayDevice *g, const char *line, char *reply, int room);
// Parses a fault name ("none", "short", "silence", "garbage", "long"); -1 when unknown.
int GatewayFaultParse(const char *name);
// Serves the port until it is stopped.
void GatewayDeviceRun(GatewayDevice *g, SerialPort *port);
