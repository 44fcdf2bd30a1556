// The simulated Sy/Max device's message layer (see symax_device.h).
#include "sim/symax/symax_device.h"

#include <cstring>

namespace symaxsim {

void DeviceInit(Device *d) {
    memset(&d->mem, 0, sizeof d->mem);
    d->drop = -1;
    d->faultStatus = 0;
    d->faultCode = 0;
    d->hook = RegisterHook{};
    d->lastRoute.clear();
    d->lastRequest.clear();
    d->requests = 0;
}

static unsigned get16(const Bytes &b, size_t at) {
    return unsigned(b[at]) << 8 | b[at + 1];
}

static void put16(Bytes *b, unsigned v) {
    b->push_back(uint8_t(v >> 8));
    b->push_back(uint8_t(v));
}

// Register range check for a byte address and a count: the first register or 0.
static int register_range(unsigned address, unsigned count, int *status) {
    if (count < 1 || count > DEV_MAX_COUNT) {
        *status = ST_COUNT_TOO_LARGE;
        return 0;
    }
    if (address % 2 != 0 || address / 2 + count > DEV_REGISTERS) {
        *status = ST_ILLEGAL_ADDRESS;
        return 0;
    }
    return int(address / 2) + 1;
}

// Opcode 0x00 and 0x20: read registers.
static void answer_read(Device *d, const Bytes &q, bool priority, Bytes *r) {
    size_t at = priority ? 5 : 2;
    if (q.size() < at + 4) {
        *r = {0xA2, q[1], ST_ILLEGAL_ADDRESS};
        return;
    }
    unsigned address = get16(q, at), count = get16(q, at + 2) + 1;
    int status = 0;
    int first = register_range(address, count, &status);
    if (first == 0 && !priority) {
        *r = {0xA2, q[1], uint8_t(status)};
        return;
    }
    uint16_t values[DEV_MAX_COUNT];
    if (first != 0 && d->hook.read != nullptr) {
        status = d->hook.read(d->hook.ctx, unsigned(first - 1), count, values);
        if (status != 0)
            first = 0;
        if (status != 0 && !priority) {
            *r = {0xA2, q[1], uint8_t(status)};
            return;
        }
    } else {
        for (unsigned i = 0; first != 0 && i < count; i++)
            values[i] = d->mem.reg[first - 1 + i];
    }
    if (priority)
        *r = {0x90, q[1], 0x00, 0x00, uint8_t(status), uint8_t(address >> 8), uint8_t(address)};
    else
        *r = {0x86, q[1], uint8_t(address >> 8), uint8_t(address)};
    for (unsigned i = 0; first != 0 && i < count; i++)
        put16(r, values[i]);
}

// Opcode 0x02 (values then 0xFF 0xFF) and 0x1E: write registers.
static void answer_write(Device *d, const Bytes &q, bool priority, Bytes *r) {
    size_t at = priority ? 5 : 4;
    size_t end = q.size();
    bool shaped = end > at && (end - at) % 2 == 0;
    if (!priority) {
        // The normal write ends with the 0xFF 0xFF mark.
        shaped = shaped && end >= at + 4 && q[end - 1] == 0xFF && q[end - 2] == 0xFF;
        end -= 2;
    }
    unsigned address = q.size() >= at ? get16(q, at - 2) : 0;
    unsigned count = shaped ? unsigned(end - at) / 2 : 0;
    int status = 122; // "Insufficient Data For Write"
    int first = shaped ? register_range(address, count, &status) : 0;
    if (first != 0 && d->hook.write != nullptr) {
        uint16_t values[DEV_MAX_COUNT];
        for (unsigned i = 0; i < count; i++)
            values[i] = uint16_t(get16(q, at + 2 * i));
        status = d->hook.write(d->hook.ctx, unsigned(first - 1), count, values);
    } else if (first != 0) {
        for (unsigned i = 0; i < count; i++)
            d->mem.reg[first - 1 + i] = uint16_t(get16(q, at + 2 * i));
        status = 0;
    }
    if (priority)
        *r = {0x92, q[1], 0x00, 0x00, uint8_t(status), uint8_t(address >> 8), uint8_t(address)};
    else if (status != 0)
        *r = {0xA2, q[1], uint8_t(status)};
    else
        *r = {0x80, q[1], uint8_t(address >> 8), uint8_t(address)};
}

// A Modbus exception in an opcode 0x22 reply.
static void modbus_exception(const Bytes &q, uint8_t function, uint8_t code, Bytes *r) {
    *r = {0x92, q[1], q[2], q[3], uint8_t(function | 0x80), code};
}

// Functions 0x14 and 0x15 share the sub-request: ref type 6, file, record, length.
static int file_range(const Bytes &q, size_t need, int *file, int *record, int *count) {
    if (q.size() < need || q[6] != 6)
        return 3;
    *file = int(get16(q, 7));
    *record = int(get16(q, 9));
    *count = int(get16(q, 11));
    if (*count < 1 || *count > 125)
        return 3;
    if (*file < 1 || *file > DEV_FILES || *record + *count > DEV_RECORDS)
        return 2;
    return 0;
}

// Opcode 0x22: a Modbus request from byte 4 on, answered as opcode 0x92.
static void answer_modbus(Device *d, const Bytes &q, Bytes *r) {
    if (q.size() < 5) {
        *r = {0xA2, q[1], ST_ILLEGAL_ADDRESS};
        return;
    }
    uint8_t function = q[4];
    int file = 0, record = 0, count = 0, code = 0;
    Bytes head = {0x92, q[1], q[2], q[3], function};
    if (function == 0x04) {
        if (q.size() < 9)
            return modbus_exception(q, function, 3, r);
        unsigned start = get16(q, 5), n = get16(q, 7);
        if (n < 1 || n > 125)
            return modbus_exception(q, function, 3, r);
        if (start + n > DEV_INPUTS)
            return modbus_exception(q, function, 2, r);
        *r = head;
        r->push_back(uint8_t(2 * n));
        for (unsigned i = 0; i < n; i++)
            put16(r, d->mem.input[start + i]);
    } else if (function == 0x14) {
        if ((code = file_range(q, 13, &file, &record, &count)) != 0)
            return modbus_exception(q, function, uint8_t(code), r);
        *r = head;
        r->push_back(uint8_t(2 + 2 * count));
        r->push_back(uint8_t(1 + 2 * count));
        r->push_back(6);
        for (int i = 0; i < count; i++)
            put16(r, d->mem.ext[file - 1][record + i]);
    } else if (function == 0x15) {
        code = file_range(q, 13, &file, &record, &count);
        if (code == 0 && q.size() < 13 + 2 * size_t(count))
            code = 3;
        if (code != 0)
            return modbus_exception(q, function, uint8_t(code), r);
        for (int i = 0; i < count; i++)
            d->mem.ext[file - 1][record + i] = uint16_t(get16(q, 13 + 2 * i));
        // The write is answered with its own request echoed.
        *r = head;
        r->insert(r->end(), q.begin() + 5, q.begin() + 13 + 2 * count);
    } else {
        modbus_exception(q, function, 1, r);
    }
}

// The error form of each opcode's reply, for a status the tests asked for.
static void answer_status(const Bytes &q, uint8_t code, Bytes *r) {
    switch (q[0]) {
    case 0x20:
        *r = {0x90, q[1], 0x00, 0x00, code, 0x00, 0x00};
        break;
    case 0x1E:
        *r = {0x92, q[1], 0x00, 0x00, code, 0x00, 0x00};
        break;
    case 0x22:
        if (q.size() >= 5) {
            modbus_exception(q, q[4], code, r);
            break;
        }
        [[fallthrough]];
    default:
        *r = {0xA2, q[1], code};
    }
}

int DeviceAnswer(Device *d, const Bytes &route, const Bytes &request, Bytes *replyRoute,
                 Bytes *reply) {
    if (request.size() < 2)
        return 0;
    d->lastRoute = route;
    d->lastRequest = request;
    d->requests++;
    *replyRoute = WireRouteReverse(route);
    std::vector<int> drops;
    if (!WireRouteDrops(route, &drops) ||
        (d->drop >= 0 && !drops.empty() && drops.back() != d->drop)) {
        *reply = {0xA2, request[1], ST_ILLEGAL_ROUTE};
        return 1;
    }
    if (d->faultStatus > 0) {
        d->faultStatus--;
        answer_status(request, uint8_t(d->faultCode), reply);
        return 1;
    }
    switch (request[0]) {
    case 0x00:
        answer_read(d, request, false, reply);
        break;
    case 0x20:
        answer_read(d, request, true, reply);
        break;
    case 0x02:
        answer_write(d, request, false, reply);
        break;
    case 0x1E:
        answer_write(d, request, true, reply);
        break;
    case 0x22:
        answer_modbus(d, request, reply);
        break;
    default:
        *reply = {0xA2, request[1], ST_ILLEGAL_OPCODE};
    }
    return 1;
}

} // namespace symaxsim
