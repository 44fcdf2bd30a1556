// Sy/Max message layer helpers shared by the request builders and their tests.
#pragma once
#include "comm/comm_internal.h"

enum {
    // Most values in one opcode 0x22 extended-memory write: the request's byte
    // count field is one byte (2 x count + 7) and the request fits a buffer.
    SYMAX_WRITE6X_MOST = 124,
};

// Writes the route characters (two upper-case hex digits per drop, bit 7 set
// in the first for a drop marked with bit 15) and 0xFF 0xFF into b->route.
void EncodeRoute(MsgBuffer *b, const Route *route);
// 1 when b->route holds pairs of hex digits (7 low bits, either case)
// followed by 0xFF; 0 otherwise.
int DecodeRoute(const MsgBuffer *b);
// Sets the text "(code) status text".
void SymaxStatusError(CommHandle *h, unsigned code);
// The next transaction byte: the counter's low byte, 6 bits in priority mode.
uint8_t SymaxNextTransaction(CommHandle *h);
// Finishes a request: length, Net-to-Net mark, route, framing, reply wanted
// and the transaction byte the reply must carry.
void SymaxPrepare(CommHandle *h, MsgBuffer *b, int length, uint8_t transaction);
