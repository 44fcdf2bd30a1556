// The simulated Sy/Max device's memory and message layer: it turns one request
// (route characters and message data) into the reply, as a controller would.
//
// Memory: registers 1 to 8192 and their status words as registers 8193 to
// 16384; 3X input registers 1 to 8192; 6X extended memory of 10 files of
// 10000 records. Requests: read (0x00), priority read (0x20), write (0x02),
// priority write (0x1E) and Modbus requests carried in opcode 0x22 (function
// 4 input registers, 0x14 and 0x15 extended memory). No locking here: the
// owner serialises access.
#pragma once
#include "sim/symax/symax_wire.h"

#include <cstdint>

namespace symaxsim {

enum {
    DEV_REGISTERS = 16384, // 8192 registers, then their status words
    DEV_INPUTS = 8192,
    DEV_FILES = 10,
    DEV_RECORDS = 10000,
    DEV_MAX_COUNT = 128,
};

// Sy/Max status codes the device itself answers with.
enum {
    ST_ILLEGAL_OPCODE = 1,
    ST_ILLEGAL_ADDRESS = 3,
    ST_COUNT_TOO_LARGE = 16,
    ST_ILLEGAL_ROUTE = 29,
};

// Another device model may stand in for the registers: when read (and write)
// are set, register reads and writes go to them instead of mem.reg, with the
// zero-based register index (register number - 1) already range checked.
// Each returns 0, or the Sy/Max status to answer with instead.
struct RegisterHook {
    int (*read)(void *ctx, unsigned first, unsigned count, uint16_t *values) = nullptr;
    int (*write)(void *ctx, unsigned first, unsigned count, const uint16_t *values) = nullptr;
    void *ctx = nullptr;
};

struct DeviceMemory {
    uint16_t reg[DEV_REGISTERS];
    uint16_t input[DEV_INPUTS];
    uint16_t ext[DEV_FILES][DEV_RECORDS];
};

struct Device {
    DeviceMemory mem;
    int drop;        // -1: answer every route; else the last drop must be this one
    int faultStatus; // replies left that carry faultCode instead of the answer
    int faultCode;
    RegisterHook hook; // none unless another model serves the registers
    // What arrived last, for tests.
    Bytes lastRoute;
    Bytes lastRequest;
    long requests;
};

// Zero memory, no faults, answers every route.
void DeviceInit(Device *d);
// The reply to one request: 1 with *replyRoute and *reply filled, 0 when the
// device gives no answer (an empty request).
int DeviceAnswer(Device *d, const Bytes &route, const Bytes &request, Bytes *replyRoute,
                 Bytes *reply);

} // namespace symaxsim
