// Modbus request PDUs and the checks of their replies, with the texts the
// user sees. The serial and TCP back ends frame and send what is built here.
#include "comm/modbus_pdu.h"

#include "comm/comm_internal.h"

#include <cstdio>
#include <cstring>

static void put16(uint8_t *p, unsigned value) {
    p[0] = (uint8_t)(value >> 8);
    p[1] = (uint8_t)value;
}

static unsigned get16(const uint8_t *p) {
    return (unsigned)p[0] << 8 | p[1];
}

// The byte at index i of the PDU, or -1 when the PDU is shorter, so that a
// short reply fails the comparison instead of being read past its end.
static int at(const uint8_t *pdu, int length, int i) {
    return i < length ? pdu[i] : -1;
}

static void text_set(char *text, const char *s) {
    snprintf(text, MODBUS_TEXT_SIZE, "%s", s);
}

int ModbusBuildRead(uint8_t *pdu, int function, int start, int count) {
    if (function < 1 || function > 4)
        return 0;
    pdu[0] = (uint8_t)function;
    put16(pdu + 1, (unsigned)(start - 1) & 0xFFFF);
    put16(pdu + 3, (unsigned)count & 0xFFFF);
    return 5;
}

int ModbusBuildWrite(uint8_t *pdu, int function, int start, int count, const uint16_t *values) {
    if (count < 1)
        return 0;
    pdu[0] = (uint8_t)function;
    put16(pdu + 1, (unsigned)(start - 1) & 0xFFFF);
    switch (function) {
    case 5:
        put16(pdu + 3, values[0]);
        return 5;
    case 6:
        if (count != 1)
            return 0;
        put16(pdu + 3, values[0]);
        return 5;
    case 15: {
        int bytes = (count + 7) / 8;
        if (bytes > 255)
            return 0;
        put16(pdu + 3, (unsigned)count);
        pdu[5] = (uint8_t)bytes;
        // The coil states were packed in place in the words' memory.
        memcpy(pdu + 6, values, (size_t)bytes);
        return 6 + bytes;
    }
    case 16: {
        int bytes = 2 * count;
        if (bytes > 255)
            return 0;
        put16(pdu + 3, (unsigned)count);
        pdu[5] = (uint8_t)bytes;
        for (int i = 0; i < count; i++)
            put16(pdu + 6 + 2 * i, values[i]);
        return 6 + bytes;
    }
    default:
        return 0;
    }
}

int ModbusBuildFileRead(uint8_t *pdu, int refType, int file, int record, int count) {
    pdu[0] = 20;
    pdu[1] = 7;
    pdu[2] = (uint8_t)refType;
    put16(pdu + 3, (unsigned)file & 0xFFFF);
    put16(pdu + 5, (unsigned)record & 0xFFFF);
    put16(pdu + 7, (unsigned)count & 0xFFFF);
    return 9;
}

int ModbusBuildFileWrite(uint8_t *pdu, int refType, int file, int record, int count,
                         const uint16_t *values) {
    int bytes = 2 * count + 7;
    if (count < 1 || bytes > 255)
        return 0;
    pdu[0] = 21;
    pdu[1] = (uint8_t)bytes;
    pdu[2] = (uint8_t)refType;
    put16(pdu + 3, (unsigned)file & 0xFFFF);
    put16(pdu + 5, (unsigned)record & 0xFFFF);
    put16(pdu + 7, (unsigned)count);
    for (int i = 0; i < count; i++)
        put16(pdu + 9 + 2 * i, values[i]);
    return 9 + 2 * count;
}

int ModbusReplyLength(const uint8_t *pdu, int n) {
    if (n < 1)
        return 0;
    uint8_t function = pdu[0];
    if (function & 0x80)
        return 1 + 1;
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 20:
    case 21:
        return n < 2 ? 0 : 1 + 1 + pdu[1];
    case 5:
    case 6:
    case 15:
    case 16:
        return 1 + 4;
    default:
        return 0;
    }
}

void ModbusExceptionReply(unsigned code, char *text) {
    if (code >= 1 && code <= 12)
        snprintf(text, MODBUS_TEXT_SIZE, "Modbus error reply %u %s", code,
                 ModbusExceptionText(code));
    else
        snprintf(text, MODBUS_TEXT_SIZE, "Modbus error reply %u ", code);
}

// The checks every reply starts with: the address, then an exception, then the
// function code. Returns 1 when the reply may be looked at further.
static int reply_head_ok(int slave, int replySlave, const uint8_t *pdu, int length, int function,
                         const char *wrongDrop, const char *wrongOpcode, char *text) {
    if (slave != replySlave) {
        text_set(text, wrongDrop);
        return 0;
    }
    if (length >= 1 && (pdu[0] & 0x80)) {
        int code = at(pdu, length, 1);
        ModbusExceptionReply(code < 0 ? 0u : (unsigned)code, text);
        return 0;
    }
    if (at(pdu, length, 0) != function) {
        text_set(text, wrongOpcode);
        return 0;
    }
    return 1;
}

int ModbusCheckReadReply(int slave, int replySlave, const uint8_t *pdu, int length, int function,
                         int count, uint16_t *values, char *text) {
    if (!reply_head_ok(slave, replySlave, pdu, length, function, "Read reply had wrong drop",
                       "Read reply had wrong opcode", text))
        return 0;
    if (length < 2) {
        text_set(text, "Read reply was wrong size");
        return 0;
    }
    int bits = function == 1 || function == 2;
    unsigned bytes = pdu[1];
    unsigned want = bits ? (unsigned)(count + 7) / 8 : 2u * (unsigned)count;
    if (bytes != want) {
        snprintf(text, MODBUS_TEXT_SIZE, "Reply length %u doesn't match query %u", bytes,
                 (unsigned)count);
        return 0;
    }
    if ((unsigned)length != bytes + 2) {
        text_set(text, "Read reply was wrong size");
        return 0;
    }
    const uint8_t *data = pdu + 2;
    if (bits) {
        // Two packed bytes to a word; an odd last byte gets a zero low half.
        for (unsigned i = 0; i < (bytes + 1) / 2; i++) {
            unsigned low = 2 * i + 1 < bytes ? data[2 * i + 1] : 0;
            values[i] = (uint16_t)(data[2 * i] << 8 | low);
        }
    } else {
        for (int i = 0; i < count; i++)
            values[i] = (uint16_t)get16(data + 2 * i);
    }
    return count;
}

int ModbusCheckWriteReply(int slave, int replySlave, const uint8_t *pdu, int length, int function,
                          int count, char *text) {
    if (!reply_head_ok(slave, replySlave, pdu, length, function, "Write reply had wrong drop",
                       "Write reply had wrong opcode", text))
        return 0;
    if (length != 5) {
        text_set(text, "Write reply was wrong size");
        return 0;
    }
    return count;
}

int ModbusCheckFileReadReply(int slave, int replySlave, const uint8_t *pdu, int length, int refType,
                             int count, uint16_t *values, char *text) {
    if (!reply_head_ok(slave, replySlave, pdu, length, 20, "Read reply had wrong drop",
                       "Read reply had wrong opcode", text))
        return 0;
    if (at(pdu, length, 1) != 2 * count + 2) {
        text_set(text, "Read reply was wrong size (a)");
        return 0;
    }
    if (at(pdu, length, 2) != 2 * count + 1) {
        text_set(text, "Read reply was wrong size (b)");
        return 0;
    }
    if (at(pdu, length, 3) != refType) {
        text_set(text, "Read reply had wrong reference type");
        return 0;
    }
    if (length != 2 * count + 4) {
        text_set(text, "Read reply was wrong size (c)");
        return 0;
    }
    for (int i = 0; i < count; i++)
        values[i] = (uint16_t)get16(pdu + 4 + 2 * i);
    return count;
}

int ModbusCheckFileWriteReply(int slave, int replySlave, const uint8_t *pdu, int length, int count,
                              char *text) {
    if (!reply_head_ok(slave, replySlave, pdu, length, 21, "Write reply had wrong drop",
                       "Write reply had wrong opcode", text))
        return 0;
    if (length != 2 * count + 9) {
        text_set(text, "Write reply was wrong size");
        return 0;
    }
    return count;
}
