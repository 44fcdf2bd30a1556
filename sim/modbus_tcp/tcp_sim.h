// A Modbus TCP server, or an RTU-over-TCP server, on a loopback port, serving
// a ModbusSlave model on a thread of its own, with faults injected on request.
//
// Used in-process by the tests and by the modbustcpsim program.
#pragma once
#include <cstdint>

struct ModbusSlave;

// What the server does instead of answering normally.
enum TcpSimFault {
    TCPSIM_NONE = 0,
    TCPSIM_RESET,      // reset the connection instead of answering
    TCPSIM_CLOSE,      // send half of the reply, then close the connection in order
    TCPSIM_LATE,       // hold the reply and send it just before the next one
    TCPSIM_DELAY,      // answer after the configured delay
    TCPSIM_SPLIT,      // answer in two segments: the header, a pause, the rest
    TCPSIM_UNIT,       // answer from another unit (the request's unit + 1)
    TCPSIM_SILENT,     // do not answer
    TCPSIM_OVERLENGTH, // MBAP length field 0xFFFF (RTU: a byte count past the frame)
    TCPSIM_BADCRC,     // RTU: a wrong CRC; Modbus TCP: a wrong transaction identifier
    TCPSIM_GARBAGE,    // 16 bytes of noise instead of the reply
    TCPSIM_FAULT_COUNT
};

struct TcpSimOptions {
    int rtu;       // 1: RTU frames over TCP; 0: Modbus TCP
    int unit;      // answer only requests to this unit; -1 answers every unit
    int delayMs;   // for TCPSIM_DELAY
    uint16_t port; // 0: any free port
};

struct TcpSim;

// Listens on 127.0.0.1 and starts the server thread; none when the port cannot be had.
TcpSim *TcpSimStart(ModbusSlave *slave, const TcpSimOptions *options);
// The port it listens on.
uint16_t TcpSimPort(const TcpSim *sim);
// Arms a fault for the next count requests (0: every request until changed).
void TcpSimSetFault(TcpSim *sim, int fault, int count);
void TcpSimSetDelay(TcpSim *sim, int ms);
// Requests answered or refused so far, over every connection.
unsigned long TcpSimRequests(const TcpSim *sim);
// Connections accepted so far.
unsigned long TcpSimConnections(const TcpSim *sim);
// Stops the thread, closes every socket and frees the server.
void TcpSimStop(TcpSim *sim);

// The fault named (e.g. "reset"), or -1.
int TcpSimFaultParse(const char *name);
const char *TcpSimFaultName(int fault);

// One text command of the simulator: "fault NAME [COUNT]", "delay MS", or a
// memory command of the slave model (see SlaveCommand). Answers into out.
int TcpSimCommand(TcpSim *sim, ModbusSlave *slave, const char *line, char *out, unsigned room);
