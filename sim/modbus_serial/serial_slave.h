// A Modbus slave on a serial line in RTU or ASCII framing: reads requests
// from a port, answers those addressed to it from a ModbusSlave model, and
// injects faults on request.
#pragma once
#include <atomic>
#include <cstdint>

struct ModbusSlave;
struct SerialPort;

enum SlaveFault {
    FAULT_NONE = 0,
    FAULT_WRONG_SLAVE = 1, // the reply carries another slave address
    FAULT_BAD_CHECK = 2,   // the reply's CRC or LRC is spoiled
    FAULT_SILENCE = 3,     // no reply at all
    FAULT_LATE = 4,        // the reply comes after lateMs milliseconds
    FAULT_OVERLONG = 5,    // a frame longer than any reply (300 bytes) instead of the reply
};

struct SerialSlave {
    SerialPort *port;
    ModbusSlave *model;
    int ascii;                  // 0: RTU framing, 1: ASCII framing
    int address;                // own slave address, 1 to 247
    std::atomic<int> fault;     // SlaveFault
    std::atomic<int> faultOnce; // nonzero: the fault applies to the next reply only
    std::atomic<int> lateMs;
    std::atomic<unsigned long> badFrames;   // framing or check errors
    std::atomic<unsigned long> otherFrames; // good frames for another slave
    std::atomic<unsigned long> replies;
};

// Parses a fault name ("none", "wrong-slave", "bad-check", "silence", "late",
// "overlong"); -1 when unknown.
int SlaveFaultParse(const char *name);
// Serves until the port is stopped (SerialPortStop) or hangs up for good.
void SerialSlaveRun(SerialSlave *s);
