// Request sizing and reply framing for the TCP simulator.
#include "sim/modbus_tcp/sim_frames.h"

#include <cstring>

int SimMbapRequestSize(const uint8_t *bytes, int have) {
    if (have < 6)
        return 0;
    int length = bytes[4] << 8 | bytes[5];
    // The unit byte and at least a function code; no PDU is longer than 253.
    if (length < 2 || length > 254)
        return -1;
    return have >= 6 + length ? 6 + length : 0;
}

// The size follows from the function code and, for the block functions, the
// byte count. Unknown functions end where the received bytes end.
int SimRtuRequestSize(const uint8_t *bytes, int have) {
    if (have < 2)
        return 0;
    int size;
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        size = 8;
        break;
    case 15:
    case 16:
        if (have < 7)
            return 0;
        size = 7 + bytes[6] + 2;
        break;
    case 20:
    case 21:
        if (have < 3)
            return 0;
        size = 3 + bytes[2] + 2;
        break;
    default:
        return have >= 4 ? have : 0;
    }
    return have >= size ? size : 0;
}

int SimMbapReply(uint8_t *frame, unsigned transaction, int unit, const uint8_t *pdu, int length) {
    frame[0] = (uint8_t)(transaction >> 8);
    frame[1] = (uint8_t)transaction;
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = (uint8_t)((length + 1) >> 8);
    frame[5] = (uint8_t)(length + 1);
    frame[6] = (uint8_t)unit;
    memcpy(frame + 7, pdu, (size_t)length);
    return 7 + length;
}

int SimRtuReply(uint8_t *frame, int unit, const uint8_t *pdu, int length) {
    frame[0] = (uint8_t)unit;
    memcpy(frame + 1, pdu, (size_t)length);
    unsigned crc = SimCrc16(frame, 1 + length);
    frame[1 + length] = (uint8_t)crc;
    frame[2 + length] = (uint8_t)(crc >> 8);
    return 3 + length;
}
