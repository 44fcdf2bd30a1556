// A serial link without a port for the fuzz targets: the idle hook plays the
// device. Each time a request waits, the hook takes what the library sent and
// feeds the device's next segment of bytes to the receive framer one byte at a
// time; when the segments run out it gives up the wait (idle abort), so an
// input never waits out a timeout. Every reply the framer queues has the
// bytes past its length poisoned (AddressSanitizer) and filled with a
// sentinel, so a reply check that reads what the device never sent is caught.
#pragma once
#include "comm/comm_internal.h"

#include <cstddef>
#include <cstdint>

struct FuzzDevice {
    CommHandle *h;
    const uint8_t *data; // segments: a length byte, then that many bytes
    size_t size;
    size_t at;
    // Sy/Max: each segment is the data of a frame the device sends with a
    // good route and check, and the device acknowledges every request.
    bool framed;
    int segments; // segments fed so far
};

// A handle of the kind (LINK_SYMAX, LINK_GATEWAY, LINK_MODBUS_RTU,
// LINK_MODBUS_ASCII) with the fields an open sets, no port, drop or slave 1,
// and the device's hook installed.
CommHandle *FuzzLinkOpen(int kind, FuzzDevice *device);
// Gives back every buffer the handle holds and frees it.
void FuzzLinkClose(CommHandle *h);

// Runs operation op (0-4 the reads of 4X, 3X, 6X, 0X and 1X; 5 and up the
// writes of 4X, 4X by opcode 6, 6X, 3X, one 0X and several 0X) on registers
// from 1 (or file 1 record 1) with count values; reads go into values, writes
// send a pattern put there. *reads tells which it was.
int FuzzRunOperation(CommHandle *h, int op, int count, uint16_t *values, bool *reads);

// The most values an operation of the reply fuzzers moves.
enum { FUZZ_MOST = 128 };

// Runs the two operations of ops (its low nibble, then its high one, each
// taken modulo 11) with count values (1 to FUZZ_MOST) and checks each: no
// negative result, a read stores no more than count values and nothing past
// them, and a failure says why when the link carries the operation
// (carried, or every operation when it is null).
void FuzzRunOperations(CommHandle *h, uint8_t ops, int count, bool (*carried)(int kind, int op));
