// Modbus RTU and ASCII frames on the slave's side.
#include "sim/modbus_serial/serial_frames.h"

#include "sim/sim_crc.h"

#include <cstring>

unsigned FrameCrc16(const uint8_t *bytes, size_t n) {
    return SimCrc16(bytes, n);
}

uint8_t FrameLrc(const uint8_t *bytes, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; i++)
        sum += bytes[i];
    return (uint8_t)(-sum);
}

int FrameRtuEncode(int address, const uint8_t *pdu, int length, uint8_t *out) {
    if (length < 0 || length > FRAME_PDU_MAX)
        return 0;
    out[0] = (uint8_t)address;
    memcpy(out + 1, pdu, (size_t)length);
    unsigned crc = FrameCrc16(out, (size_t)length + 1);
    out[length + 1] = (uint8_t)crc;
    out[length + 2] = (uint8_t)(crc >> 8);
    return length + 3;
}

int FrameRtuDecode(const uint8_t *frame, int n, int *address, uint8_t *pdu) {
    if (n < 4 || n > FRAME_RTU_MAX)
        return -1;
    if (FrameCrc16(frame, (size_t)n) != 0)
        return -1;
    *address = frame[0];
    memcpy(pdu, frame + 1, (size_t)n - 3);
    return n - 3;
}

static const char hexDigits[] = "0123456789ABCDEF";

int FrameAsciiEncode(int address, const uint8_t *pdu, int length, uint8_t *out) {
    if (length < 0 || length > FRAME_PDU_MAX)
        return 0;
    uint8_t bytes[FRAME_PDU_MAX + 2];
    bytes[0] = (uint8_t)address;
    memcpy(bytes + 1, pdu, (size_t)length);
    bytes[length + 1] = FrameLrc(bytes, (size_t)length + 1);
    int n = 0;
    out[n++] = ':';
    for (int i = 0; i < length + 2; i++) {
        out[n++] = (uint8_t)hexDigits[bytes[i] >> 4];
        out[n++] = (uint8_t)hexDigits[bytes[i] & 15];
    }
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

void AsciiCollectorInit(AsciiCollector *c) {
    c->used = 0;
    c->active = 0;
}

static int hex_value(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Decodes the collected hex text (without CR LF).
static int ascii_decode(const char *text, int n, int *address, uint8_t *pdu) {
    if (n % 2 != 0 || n < 6)
        return -1; // address, function, LRC at least
    uint8_t bytes[FRAME_ASCII_MAX / 2];
    int count = n / 2;
    if (count > FRAME_PDU_MAX + 2)
        return -1;
    for (int i = 0; i < count; i++) {
        int hi = hex_value(text[2 * i]), lo = hex_value(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return -1;
        bytes[i] = (uint8_t)(hi << 4 | lo);
    }
    if (FrameLrc(bytes, (size_t)count - 1) != bytes[count - 1])
        return -1;
    *address = bytes[0];
    memcpy(pdu, bytes + 1, (size_t)count - 2);
    return count - 2;
}

int AsciiCollectorFeed(AsciiCollector *c, uint8_t ch, int *result, int *address, uint8_t *pdu) {
    if (ch == ':') {
        c->active = 1;
        c->used = 0;
        return 0;
    }
    if (!c->active)
        return 0;
    if (ch == '\n' && c->used > 0 && c->text[c->used - 1] == '\r') {
        *result = ascii_decode(c->text, c->used - 1, address, pdu);
        c->active = 0;
        c->used = 0;
        return 1;
    }
    if (c->used >= FRAME_ASCII_MAX) {
        // Overlong: the frame is bad; wait for the next ':'.
        c->active = 0;
        c->used = 0;
        *result = -1;
        return 1;
    }
    c->text[c->used++] = (char)ch;
    return 0;
}
