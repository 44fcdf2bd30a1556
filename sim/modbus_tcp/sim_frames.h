// Request and reply frames of the TCP simulator: where a request ends in the
// received bytes, and the reply frame around a reply PDU.
//
//   Modbus TCP:    transaction(2) protocol(2) length(2) unit PDU
//   RTU over TCP:  unit PDU crc-low crc-high
#pragma once
#include "sim/sim_crc.h"

#include <cstdint>

enum {
    SIM_FRAME_MAX = 7 + 253 + 2, // header or address, the largest PDU, CRC
};

// Size of the complete request at the start of the have bytes: 0 when more
// bytes are needed, -1 when they cannot start a request.
int SimMbapRequestSize(const uint8_t *bytes, int have);
int SimRtuRequestSize(const uint8_t *bytes, int have);

// Builds the reply frame into frame (SIM_FRAME_MAX bytes); returns its length.
int SimMbapReply(uint8_t *frame, unsigned transaction, int unit, const uint8_t *pdu, int length);
int SimRtuReply(uint8_t *frame, int unit, const uint8_t *pdu, int length);
