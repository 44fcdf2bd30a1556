// Sy/Max message layer: register read and write requests (normal and
// priority opcodes, and Modbus requests carried in opcode 0x22), their
// transaction byte and route, and the checks of the replies.
#include "comm/symax_message.h"
#include "comm/comm_internal.h"

#include <chrono>
#include <cstring>

namespace {

// Opcodes, and the transaction byte of every carried request.
constexpr uint8_t OP_READ = 0x00;
constexpr uint8_t OP_PRIORITY_READ = 0x20;
constexpr uint8_t OP_WRITE = 0x02;
constexpr uint8_t OP_PRIORITY_WRITE = 0x1E;
constexpr uint8_t OP_CARRIED = 0x22;
constexpr uint8_t OP_READ_REPLY = 0x86;
constexpr uint8_t OP_PRIORITY_READ_REPLY = 0x90;
constexpr uint8_t OP_WRITE_REPLY = 0x80;
constexpr uint8_t OP_PRIORITY_REPLY = 0x92;
constexpr uint8_t OP_ERROR_REPLY = 0xA2;
constexpr uint8_t CARRIED_TRANSACTION = 0xBA;

// Copies n big-endian words from bytes into values, at most most of them.
int CopyValues(const uint8_t *bytes, int n, int most, uint16_t *values) {
    if (n < 0)
        n = 0;
    if (n > most)
        n = most;
    for (int i = 0; i < n; i++)
        values[i] = (uint16_t)(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return n;
}

uint8_t *PutWord(uint8_t *p, unsigned word) {
    *p++ = (uint8_t)(word >> 8);
    *p++ = (uint8_t)word;
    return p;
}

uint8_t *PutValues(uint8_t *p, int count, const uint16_t *values) {
    for (int i = 0; i < count; i++)
        p = PutWord(p, values[i]);
    return p;
}

// Replies shorter than these carry no status, error code or value where the
// checks look for them: opcode and transaction byte (every reply), the error
// code of 0xA2 (byte 2), the status of 0x90 and 0x92 (byte 4), the code of a
// carried error report (byte 5). Past a reply's length a buffer holds what an
// earlier message left there.
constexpr int ERROR_REPLY_LENGTH = 3;
constexpr int STATUS_REPLY_LENGTH = 5;
constexpr int CARRIED_ERROR_LENGTH = 6;
constexpr int READ_VALUES_AT = 4;
constexpr int PRIORITY_VALUES_AT = 7;

// The error text for an opcode 0x22 reply shorter than a good one; one too
// short to hold its code is invalidText.
void CarriedErrorText(CommHandle *h, const MsgBuffer *b, int modbusForm, const char *invalidText) {
    if (b->length < CARRIED_ERROR_LENGTH) {
        SetCommError(h, invalidText);
        return;
    }
    unsigned code = b->data[5];
    if (modbusForm) {
        StatsCount(h, &CommStats::errorReplies);
        if (code >= 1 && code <= 12)
            SetCommErrorF(h, "Modbus error reply %u %s", code, ModbusExceptionText(code));
        else
            SetCommErrorF(h, "Modbus error reply %u ", code);
    } else {
        SymaxStatusError(h, code);
    }
}

// Sends the request and waits for the reply; the text is put in place before
// the wait (empty: none). The request buffer belongs to the driver from here.
MsgBuffer *Transact(CommHandle *h, MsgBuffer *b, const char *timeoutText) {
    if (timeoutText)
        SetCommError(h, timeoutText);
    SendMessage(h, b);
    MsgBuffer *reply = WaitReply(h, h->replyTimeout);
    h->replyWanted = 0;
    return reply;
}

// The reply's route must decode and its transaction byte match the request.
bool ReplyMatches(const MsgBuffer *reply, uint8_t transaction) {
    return DecodeRoute(reply) && reply->length >= 2 && reply->data[1] == transaction;
}

} // namespace

void EncodeRoute(MsgBuffer *b, const Route *route) {
    static const char hex[] = "0123456789ABCDEF";
    int count = route->count > 8 ? 8 : route->count;
    int at = 0;
    for (int i = 0; i < count; i++) {
        unsigned drop = route->drops[i];
        uint8_t high = (uint8_t)hex[(drop >> 4) & 0xF];
        if (drop & 0x8000)
            high |= 0x80; // the Net-to-Net mark
        b->route[at++] = high;
        b->route[at++] = (uint8_t)hex[drop & 0xF];
    }
    b->route[at++] = 0xFF;
    b->route[at] = 0xFF;
}

static bool IsHexDigit7(uint8_t c) {
    c &= 0x7F;
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int DecodeRoute(const MsgBuffer *b) {
    int at = 0;
    while (at < MSG_ROUTE_SIZE && IsHexDigit7(b->route[at])) {
        if (at + 1 >= MSG_ROUTE_SIZE || !IsHexDigit7(b->route[at + 1]))
            return 0;
        at += 2;
    }
    return at < MSG_ROUTE_SIZE && b->route[at] == 0xFF;
}

void SymaxStatusError(CommHandle *h, unsigned code) {
    StatsCount(h, &CommStats::errorReplies);
    SetCommErrorF(h, "(%u) %s", code, SymaxStatusText(code));
}

uint8_t SymaxNextTransaction(CommHandle *h) {
    uint8_t t = (uint8_t)h->transactionCounter;
    h->transactionCounter++;
    return h->priority ? (uint8_t)(t & 0x3F) : t;
}

void SymaxPrepare(CommHandle *h, MsgBuffer *b, int length, uint8_t transaction) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    b->length = (uint16_t)length;
    if (h->netToNet && h->route.count >= 2)
        h->route.drops[1] |= 0x8000;
    EncodeRoute(b, &h->route);
    h->framing = FRAMING_SYMAX;
    h->replyWanted = 1;
    h->expectedTransaction = transaction;
}

namespace {

// Builds a register read or write request (normal or priority opcode), sends
// it and waits for the reply; none when the handle, the count or the pool
// fails, or no reply came. *t gets the request's transaction byte.
MsgBuffer *RegisterTransact(CommHandle *h, bool write, int start, int count, const uint16_t *values,
                            uint8_t *t) {
    if (!HandleValid(h) || count <= 0)
        return nullptr;
    MsgBuffer *b = RequestBuffer(h);
    if (!b)
        return nullptr;
    *t = SymaxNextTransaction(h);
    uint8_t *p = b->data;
    if (write)
        *p++ = h->priority ? OP_PRIORITY_WRITE : OP_WRITE;
    else
        *p++ = h->priority ? OP_PRIORITY_READ : OP_READ;
    *p++ = *t;
    // The priority read has three zero bytes here, the priority write one.
    for (int i = 0; h->priority && i < (write ? 1 : 3); i++)
        *p++ = 0;
    p = PutWord(p, (unsigned)(start - 1) * 2);
    if (write) {
        p = PutValues(p, count, values);
        if (!h->priority) {
            *p++ = 0xFF;
            *p++ = 0xFF;
        }
    } else {
        *p++ = 0;
        *p++ = (uint8_t)(count - 1);
    }
    SymaxPrepare(h, b, (int)(p - b->data), *t);
    // The timeout text goes in before the wait, so that an idle abort keeps its own.
    return Transact(h, b, write ? "Write reply timeout" : "Read reply timeout");
}

// The values of a read reply; 0 with the text set when it is none.
int ReadReplyValues(CommHandle *h, const MsgBuffer *reply, uint8_t t, int count, uint16_t *values) {
    int result = 0;
    const uint8_t *d = reply->data;
    int length = reply->length;
    if (!DecodeRoute(reply)) {
        SetCommError(h, "Bad Reply Route");
    } else if (length < 2 || d[1] != t) {
        SetCommError(h, "Bad transnum on reply");
    } else if (d[0] == OP_READ_REPLY) {
        // A reply may announce more values than were asked for: only count are kept.
        result = CopyValues(d + READ_VALUES_AT, (length - READ_VALUES_AT) / 2, count, values);
        if (result == 0)
            SetCommError(h, "Read reply invalid");
    } else if (d[0] == OP_PRIORITY_READ_REPLY) {
        if (length < STATUS_REPLY_LENGTH)
            SetCommError(h, "Read reply invalid");
        else if (d[4] != 0)
            SymaxStatusError(h, d[4]);
        else if ((result = CopyValues(d + PRIORITY_VALUES_AT, (length - PRIORITY_VALUES_AT) / 2,
                                      count, values)) == 0)
            SetCommError(h, "Read reply invalid");
    } else if (d[0] == OP_ERROR_REPLY) {
        if (length < ERROR_REPLY_LENGTH)
            SetCommError(h, "Read reply invalid");
        else
            SymaxStatusError(h, d[2]);
    } else {
        SetCommErrorF(h, "Can't deal with Reply Opcode 0x%02X.", d[0]);
    }
    return result;
}

// count when the reply confirms the write; 0 with the text set otherwise.
int WriteReplyResult(CommHandle *h, const MsgBuffer *reply, uint8_t t, int count) {
    int result = 0;
    const uint8_t *d = reply->data;
    int length = reply->length;
    if (!ReplyMatches(reply, t)) {
        SetCommError(h, "Write reply invalid");
    } else if (d[0] == OP_WRITE_REPLY) {
        result = count;
    } else if (d[0] == OP_PRIORITY_REPLY && length >= STATUS_REPLY_LENGTH) {
        if (d[4] != 0)
            SymaxStatusError(h, d[4]);
        else
            result = count;
    } else if (d[0] == OP_ERROR_REPLY && length >= ERROR_REPLY_LENGTH) {
        SymaxStatusError(h, d[2]);
    } else {
        SetCommError(h, "Write reply invalid");
    }
    return result;
}

// A register read or write, from the request to its result.
int RegisterOperation(CommHandle *h, bool write, int start, int count, uint16_t *values) {
    uint8_t t;
    MsgBuffer *reply = RegisterTransact(h, write, start, count, values, &t);
    if (!reply)
        return 0;
    int result =
        write ? WriteReplyResult(h, reply, t, count) : ReadReplyValues(h, reply, t, count, values);
    pool_give(reply);
    return result;
}

} // namespace

int SymaxRead(CommHandle *h, int start, int count, uint16_t *values) {
    return RegisterOperation(h, false, start, count, values);
}

int SymaxWrite(CommHandle *h, int start, int count, uint16_t *values) {
    return RegisterOperation(h, true, start, count, values);
}

// ---- Modbus requests carried in opcode 0x22 ----

namespace {

// Whether an opcode 0x92 reply answers this carried request. Every carried
// request has the same transaction byte, so a repeated answer to an earlier
// one (the device resends it when our acknowledgement was lost) is only told
// apart by its Modbus part: it must carry our function code and, as far as the
// reply goes, the head a good answer starts with (the byte counts of the
// reads, the echoed request of the write); or our function code as an
// exception; or a status (byte 4 zero), which names no function.
bool CarriedReplyFits(const MsgBuffer *reply, const uint8_t *head, int headLength) {
    if (reply->length < 5)
        return true; // too short to tell: the caller's checks judge it
    uint8_t function = reply->data[4];
    if (function == 0 || function == (head[0] | 0x80))
        return true;
    if (function != head[0])
        return false;
    for (int i = 1; i < headLength && 4 + i < reply->length; i++)
        if (reply->data[4 + i] != head[i])
            return false;
    return true;
}

// Builds the carried request around the Modbus bytes and waits for the reply;
// a reply of the wrong route, transaction byte or opcode is answered with
// invalidText and dropped. A reply that answers another carried request (see
// CarriedReplyFits; head is what ours must start with) goes back to the pool
// and the wait goes on for the rest of the same timeout.
MsgBuffer *CarriedTransact(CommHandle *h, const uint8_t *modbus, int n, const uint8_t *head,
                           int headLength, const char *timeoutText, const char *invalidText,
                           int *failed) {
    *failed = 1;
    MsgBuffer *b = RequestBuffer(h);
    if (!b)
        return nullptr;
    b->data[0] = OP_CARRIED;
    b->data[1] = CARRIED_TRANSACTION;
    b->data[2] = 0xD5;
    b->data[3] = 0x00;
    memcpy(b->data + 4, modbus, (size_t)n);
    SymaxPrepare(h, b, 4 + n, CARRIED_TRANSACTION);
    const auto tick = std::chrono::milliseconds(10);
    const auto end = std::chrono::steady_clock::now() + h->replyTimeout * tick;
    SetCommError(h, timeoutText);
    SendMessage(h, b);
    MsgBuffer *reply = WaitReply(h, h->replyTimeout);
    while (reply && ReplyMatches(reply, CARRIED_TRANSACTION) &&
           reply->data[0] == OP_PRIORITY_REPLY && !CarriedReplyFits(reply, head, headLength)) {
        pool_give(reply);
        auto left = end - std::chrono::steady_clock::now();
        int ticks =
            left > left.zero() ? (int)((left + tick - std::chrono::nanoseconds(1)) / tick) : 0;
        reply = WaitReply(h, ticks); // none left: only a reply already queued
    }
    h->replyWanted = 0;
    if (!reply)
        return nullptr;
    if (!ReplyMatches(reply, CARRIED_TRANSACTION) || reply->data[0] != OP_PRIORITY_REPLY) {
        SetCommError(h, invalidText);
        pool_give(reply);
        return nullptr;
    }
    *failed = 0;
    return reply;
}

// The reads: a good reply is at least goodLength long and not a Modbus
// exception (function code with bit 7 set); values start at first.
int CarriedRead(CommHandle *h, const uint8_t *modbus, int n, const uint8_t *head, int headLength,
                int goodLength, int first, int count, uint16_t *values) {
    // Only whole values inside the reply are taken.
    int failed;
    MsgBuffer *reply = CarriedTransact(h, modbus, n, head, headLength, "Read reply timeout",
                                       "Read reply invalid", &failed);
    if (!reply)
        return 0;
    int result = 0;
    int length = reply->length;
    bool exception = length >= 5 && (reply->data[4] & 0x80);
    if (length >= goodLength && !exception) {
        result = CopyValues(reply->data + first, (length - first) / 2, count, values);
        if (result == 0)
            SetCommError(h, "Read reply invalid");
    } else {
        CarriedErrorText(h, reply, exception, "Read reply invalid");
    }
    pool_give(reply);
    return result;
}

} // namespace

int SymaxRead3X(CommHandle *h, int, int start, int count, uint16_t *values) {
    if (!HandleValid(h) || count <= 0)
        return 0;
    uint8_t m[5] = {0x04};
    PutWord(PutWord(m + 1, (unsigned)(start - 1)), (unsigned)count);
    // The answer: function code, byte count.
    const uint8_t head[2] = {0x04, (uint8_t)(2 * count)};
    return CarriedRead(h, m, 5, head, 2, 6, 6, count, values);
}

int SymaxRead6X(CommHandle *h, int file, int record, int count, uint16_t *values) {
    if (!HandleValid(h) || count <= 0)
        return 0;
    uint8_t m[9] = {0x14, 0x07, 0x06};
    PutWord(PutWord(PutWord(m + 3, (unsigned)file), (unsigned)record), (unsigned)count);
    // The answer: function code, data length, record length, reference type.
    const uint8_t head[4] = {0x14, (uint8_t)(2 * count + 2), (uint8_t)(2 * count + 1), 0x06};
    return CarriedRead(h, m, 9, head, 4, 7, 8, count, values);
}

int SymaxWrite6X(CommHandle *h, int file, int record, int count, uint16_t *values) {
    if (!HandleValid(h) || count <= 0)
        return 0;
    // The byte count field is one byte and the request must fit a buffer.
    if (count > SYMAX_WRITE6X_MOST) {
        SetCommError(h, "Illegal write count");
        return 0;
    }
    uint8_t m[MSG_DATA_SIZE];
    uint8_t *p = m;
    *p++ = 0x15;
    *p++ = (uint8_t)(2 * count + 7);
    *p++ = 0x06;
    p = PutWord(p, (unsigned)file);
    p = PutWord(p, (unsigned)record);
    *p++ = 0x00;
    *p++ = (uint8_t)count;
    p = PutValues(p, count, values);
    int failed;
    // The answer echoes the request.
    MsgBuffer *reply = CarriedTransact(h, m, (int)(p - m), m, (int)(p - m), "Write reply timeout",
                                       "Write reply invalid", &failed);
    if (!reply)
        return 0;
    int result = 0;
    if (reply->length >= 7)
        result = reply->length;
    else
        CarriedErrorText(h, reply, reply->length >= STATUS_REPLY_LENGTH && reply->data[4] != 0,
                         "Write reply invalid");
    pool_give(reply);
    return result;
}
