// The Modbus slave model: memory tables and the PDU server.
#include "sim/modbus_slave/modbus_slave.h"

#include <cstring>
#include <mutex>
#include <new>

struct ModbusSlave {
    std::mutex lock;
    unsigned long requests;
    uint8_t coils[SLAVE_POINTS];
    uint8_t inputs[SLAVE_POINTS];
    uint16_t inputRegs[SLAVE_POINTS];
    uint16_t holding[SLAVE_POINTS];
    uint16_t files[SLAVE_FILES][SLAVE_FILE_RECORDS];
};

enum { EX_FUNCTION = 1, EX_ADDRESS = 2, EX_VALUE = 3 };

ModbusSlave *SlaveCreate(void) {
    return new (std::nothrow) ModbusSlave();
}

void SlaveDestroy(ModbusSlave *s) {
    delete s;
}

static unsigned Word(const uint8_t *p) {
    return (unsigned)(p[0] << 8 | p[1]);
}

static void PutWord(uint8_t *p, unsigned v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

static int Exception(const uint8_t *request, int code, uint8_t *reply) {
    reply[0] = (uint8_t)(request[0] | 0x80);
    reply[1] = (uint8_t)code;
    return 2;
}

static int InRange(unsigned first, unsigned count, unsigned size) {
    return first < size && count <= size - first;
}

// Functions 1 and 2: bits packed eight to a byte, first point in bit 0.
static int ReadBits(const uint8_t *bits, const uint8_t *rq, int len, uint8_t *reply) {
    if (len != 5)
        return Exception(rq, EX_VALUE, reply);
    unsigned first = Word(rq + 1), count = Word(rq + 3);
    if (count < 1 || count > 2000)
        return Exception(rq, EX_VALUE, reply);
    if (!InRange(first, count, SLAVE_POINTS))
        return Exception(rq, EX_ADDRESS, reply);
    unsigned bytes = (count + 7) / 8;
    reply[0] = rq[0];
    reply[1] = (uint8_t)bytes;
    memset(reply + 2, 0, bytes);
    for (unsigned i = 0; i < count; i++)
        if (bits[first + i])
            reply[2 + i / 8] |= (uint8_t)(1u << (i % 8));
    return (int)(2 + bytes);
}

// Functions 3 and 4.
static int ReadRegs(const uint16_t *regs, const uint8_t *rq, int len, uint8_t *reply) {
    if (len != 5)
        return Exception(rq, EX_VALUE, reply);
    unsigned first = Word(rq + 1), count = Word(rq + 3);
    if (count < 1 || count > 125)
        return Exception(rq, EX_VALUE, reply);
    if (!InRange(first, count, SLAVE_POINTS))
        return Exception(rq, EX_ADDRESS, reply);
    reply[0] = rq[0];
    reply[1] = (uint8_t)(2 * count);
    for (unsigned i = 0; i < count; i++)
        PutWord(reply + 2 + 2 * i, regs[first + i]);
    return (int)(2 + 2 * count);
}

static int WriteCoil(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len != 5)
        return Exception(rq, EX_VALUE, reply);
    unsigned at = Word(rq + 1), value = Word(rq + 3);
    if (value != 0xFF00 && value != 0)
        return Exception(rq, EX_VALUE, reply);
    if (at >= SLAVE_POINTS)
        return Exception(rq, EX_ADDRESS, reply);
    s->coils[at] = value ? 1 : 0;
    memcpy(reply, rq, 5);
    return 5;
}

static int WriteRegister(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len != 5)
        return Exception(rq, EX_VALUE, reply);
    unsigned at = Word(rq + 1);
    if (at >= SLAVE_POINTS)
        return Exception(rq, EX_ADDRESS, reply);
    s->holding[at] = (uint16_t)Word(rq + 3);
    memcpy(reply, rq, 5);
    return 5;
}

static int WriteCoils(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len < 6)
        return Exception(rq, EX_VALUE, reply);
    unsigned first = Word(rq + 1), count = Word(rq + 3), bytes = rq[5];
    if (count < 1 || count > 1968 || bytes != (count + 7) / 8 || (unsigned)len != 6 + bytes)
        return Exception(rq, EX_VALUE, reply);
    if (!InRange(first, count, SLAVE_POINTS))
        return Exception(rq, EX_ADDRESS, reply);
    for (unsigned i = 0; i < count; i++)
        s->coils[first + i] = (rq[6 + i / 8] >> (i % 8)) & 1;
    memcpy(reply, rq, 5);
    return 5;
}

static int WriteRegisters(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len < 6)
        return Exception(rq, EX_VALUE, reply);
    unsigned first = Word(rq + 1), count = Word(rq + 3), bytes = rq[5];
    if (count < 1 || count > 123 || bytes != 2 * count || (unsigned)len != 6 + bytes)
        return Exception(rq, EX_VALUE, reply);
    if (!InRange(first, count, SLAVE_POINTS))
        return Exception(rq, EX_ADDRESS, reply);
    for (unsigned i = 0; i < count; i++)
        s->holding[first + i] = (uint16_t)Word(rq + 6 + 2 * i);
    memcpy(reply, rq, 5);
    return 5;
}

// The words a file sub-request names: reference type 6 is a file of records,
// reference type 3 (file 0) the input registers. None when out of range.
static uint16_t *FileWords(ModbusSlave *s, unsigned refType, unsigned file, unsigned record,
                           unsigned count) {
    if (refType == 6) {
        if (file >= SLAVE_FILES || !InRange(record, count, SLAVE_FILE_RECORDS))
            return nullptr;
        return &s->files[file][record];
    }
    if (refType == 3 && file == 0 && InRange(record, count, SLAVE_POINTS))
        return &s->inputRegs[record];
    return nullptr;
}

// Function 20: byte count, then sub-requests of 7 bytes (type, file, record, length).
static int ReadFile(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len < 2)
        return Exception(rq, EX_VALUE, reply);
    unsigned bytes = rq[1];
    if (bytes < 7 || bytes > 0xF5 || bytes % 7 || (unsigned)len != 2 + bytes)
        return Exception(rq, EX_VALUE, reply);
    unsigned out = 2;
    for (unsigned at = 2; at < 2 + bytes; at += 7) {
        unsigned refType = rq[at], count = Word(rq + at + 5);
        if (refType != 6 && refType != 3)
            return Exception(rq, EX_ADDRESS, reply);
        if (count < 1 || out + 2 + 2 * count > SLAVE_PDU_MAX)
            return Exception(rq, EX_VALUE, reply);
        uint16_t *words = FileWords(s, refType, Word(rq + at + 1), Word(rq + at + 3), count);
        if (!words)
            return Exception(rq, EX_ADDRESS, reply);
        reply[out] = (uint8_t)(1 + 2 * count);
        reply[out + 1] = (uint8_t)refType;
        for (unsigned i = 0; i < count; i++)
            PutWord(reply + out + 2 + 2 * i, words[i]);
        out += 2 + 2 * count;
    }
    reply[0] = rq[0];
    reply[1] = (uint8_t)(out - 2);
    return (int)out;
}

// Function 21: byte count, then sub-requests (type, file, record, length, words).
// Every sub-request is checked before anything is written; the reply echoes the request.
static int WriteFile(ModbusSlave *s, const uint8_t *rq, int len, uint8_t *reply) {
    if (len < 2)
        return Exception(rq, EX_VALUE, reply);
    unsigned bytes = rq[1];
    if (bytes < 9 || (unsigned)len != 2 + bytes)
        return Exception(rq, EX_VALUE, reply);
    for (int pass = 0; pass < 2; pass++) {
        for (unsigned at = 2; at < 2 + bytes;) {
            if (at + 7 > 2 + bytes)
                return Exception(rq, EX_VALUE, reply);
            unsigned refType = rq[at], count = Word(rq + at + 5);
            if (count < 1 || at + 7 + 2 * count > 2 + bytes)
                return Exception(rq, EX_VALUE, reply);
            if (refType != 6 && refType != 3)
                return Exception(rq, EX_ADDRESS, reply);
            uint16_t *words = FileWords(s, refType, Word(rq + at + 1), Word(rq + at + 3), count);
            if (!words)
                return Exception(rq, EX_ADDRESS, reply);
            if (pass == 1)
                for (unsigned i = 0; i < count; i++)
                    words[i] = (uint16_t)Word(rq + at + 7 + 2 * i);
            at += 7 + 2 * count;
        }
    }
    memcpy(reply, rq, (size_t)len);
    return len;
}

int SlaveServe(ModbusSlave *s, const uint8_t *request, int length, uint8_t *reply) {
    if (length <= 0 || length > SLAVE_PDU_MAX)
        return 0;
    std::lock_guard<std::mutex> guard(s->lock);
    s->requests++;
    switch (request[0]) {
    case 1:
        return ReadBits(s->coils, request, length, reply);
    case 2:
        return ReadBits(s->inputs, request, length, reply);
    case 3:
        return ReadRegs(s->holding, request, length, reply);
    case 4:
        return ReadRegs(s->inputRegs, request, length, reply);
    case 5:
        return WriteCoil(s, request, length, reply);
    case 6:
        return WriteRegister(s, request, length, reply);
    case 15:
        return WriteCoils(s, request, length, reply);
    case 16:
        return WriteRegisters(s, request, length, reply);
    case 20:
        return ReadFile(s, request, length, reply);
    case 21:
        return WriteFile(s, request, length, reply);
    default:
        return Exception(request, EX_FUNCTION, reply);
    }
}

unsigned long SlaveRequests(ModbusSlave *s) {
    std::lock_guard<std::mutex> guard(s->lock);
    return s->requests;
}

// The bit table, or for a register table the word table, that a prefix names.
static void TableOf(ModbusSlave *s, int table, int file, uint8_t **bits, uint16_t **words,
                    unsigned *size) {
    *bits = nullptr;
    *words = nullptr;
    *size = SLAVE_POINTS;
    switch (table) {
    case TABLE_COILS:
        *bits = s->coils;
        break;
    case TABLE_INPUTS:
        *bits = s->inputs;
        break;
    case TABLE_INPUT_REGS:
        *words = s->inputRegs;
        break;
    case TABLE_HOLDING:
        *words = s->holding;
        break;
    case TABLE_FILES:
        if (file >= 0 && file < SLAVE_FILES) {
            *words = s->files[file];
            *size = SLAVE_FILE_RECORDS;
        }
        break;
    default:
        break;
    }
}

static int Move(ModbusSlave *s, int table, int file, int first, int count, uint16_t *out,
                const uint16_t *in) {
    if (!s || first < 0 || count < 1)
        return 0;
    std::lock_guard<std::mutex> guard(s->lock);
    uint8_t *bits;
    uint16_t *words;
    unsigned size;
    TableOf(s, table, file, &bits, &words, &size);
    if ((!bits && !words) || !InRange((unsigned)first, (unsigned)count, size))
        return 0;
    for (int i = 0; i < count; i++) {
        if (in && bits)
            bits[first + i] = in[i] ? 1 : 0;
        if (in && words)
            words[first + i] = in[i];
        if (out)
            out[i] = bits ? bits[first + i] : words[first + i];
    }
    return count;
}

int SlaveGet(ModbusSlave *s, int table, int file, int first, int count, uint16_t *values) {
    return Move(s, table, file, first, count, values, nullptr);
}

int SlaveSet(ModbusSlave *s, int table, int file, int first, int count, const uint16_t *values) {
    return Move(s, table, file, first, count, nullptr, values);
}
