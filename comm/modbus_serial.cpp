// The Modbus serial back ends (RTU and ASCII): one request, one reply, on the
// caller's thread. The PDUs and reply checks are shared with the TCP back
// ends; the framing is the RTU or ASCII framer's.
#include "comm/comm_internal.h"
#include "comm/modbus_pdu.h"

static int slave_of(const CommHandle *h) {
    return h->route.count & 0xFF;
}

// Sends the request built in b and waits for the reply; none on time-out or
// abort, with the handle's text set.
static MsgBuffer *transact(CommHandle *h, MsgBuffer *b, int length, const char *timeoutText) {
    b->length = (uint16_t)length;
    b->route[0] = (uint8_t)slave_of(h);
    // The open set the framing already; it is only written when it differs,
    // as the reader thread reads it for every byte.
    uint8_t framing = h->kind == LINK_MODBUS_ASCII ? FRAMING_ASCII : FRAMING_RTU;
    if (h->framing != framing)
        h->framing = framing;
    h->replyWanted = 1;
    reply_drain(h); // a late reply to an earlier request is not this one's
    SendMessage(h, b);
    SetCommError(h, timeoutText);
    MsgBuffer *reply = WaitReply(h, h->replyTimeout);
    h->replyWanted = 0;
    return reply;
}

// The four kinds of request and what each needs.
enum RequestKind { REQUEST_READ, REQUEST_WRITE, REQUEST_FILE_READ, REQUEST_FILE_WRITE };
struct Request {
    RequestKind kind;
    int function;              // reads and writes
    int refType, file, record; // file reads and writes
    int start, count;
    uint16_t *values;
};

// Builds the request PDU; 0 when it cannot be built.
static int request_build(const Request &r, uint8_t *pdu) {
    switch (r.kind) {
    case REQUEST_READ:
        return ModbusBuildRead(pdu, r.function, r.start, r.count);
    case REQUEST_WRITE:
        return ModbusBuildWrite(pdu, r.function, r.start, r.count, r.values);
    case REQUEST_FILE_READ:
        return ModbusBuildFileRead(pdu, r.refType, r.file, r.record, r.count);
    default:
        return ModbusBuildFileWrite(pdu, r.refType, r.file, r.record, r.count, r.values);
    }
}

// The request's result from its reply (values copied out), or 0 with the text written.
static int request_check(const CommHandle *h, const Request &r, const MsgBuffer *reply,
                         char *text) {
    int slave = slave_of(h), from = reply->route[0];
    switch (r.kind) {
    case REQUEST_READ:
        return ModbusCheckReadReply(slave, from, reply->data, reply->length, r.function, r.count,
                                    r.values, text);
    case REQUEST_WRITE:
        return ModbusCheckWriteReply(slave, from, reply->data, reply->length, r.function, r.count,
                                     text);
    case REQUEST_FILE_READ:
        return ModbusCheckFileReadReply(slave, from, reply->data, reply->length, r.refType, r.count,
                                        r.values, text);
    default:
        return ModbusCheckFileWriteReply(slave, from, reply->data, reply->length, r.count, text);
    }
}

// One request and its reply, from the request buffer to the result.
static int request_run(CommHandle *h, const Request &r) {
    if (!HandleValid(h) || r.count == 0)
        return 0;
    if (r.kind == REQUEST_WRITE && r.function == 6 && r.count != 1)
        return 0;
    bool read = r.kind == REQUEST_READ || r.kind == REQUEST_FILE_READ;
    MsgBuffer *b = RequestBuffer(h);
    if (!b)
        return 0;
    int length = request_build(r, b->data);
    if (!length) {
        // A write's byte count would not fit its one-byte field.
        pool_give(b);
        if (!read)
            SetCommError(h, "Illegal write count");
        return 0;
    }
    MsgBuffer *reply =
        transact(h, b, length, read ? "No reply to read command" : "No reply to write command");
    if (!reply)
        return 0;
    char text[MODBUS_TEXT_SIZE];
    int result = request_check(h, r, reply, text);
    if (reply->length >= 1 && (reply->data[0] & 0x80))
        StatsCount(h, &CommStats::errorReplies);
    pool_give(reply);
    if (!result)
        SetCommError(h, text);
    return result;
}

int ModbusSerialRead(CommHandle *h, int start, int count, uint16_t *values, int function) {
    return request_run(h, {REQUEST_READ, function, 0, 0, 0, start, count, values});
}

int ModbusSerialWrite(CommHandle *h, int start, int count, uint16_t *values, int function) {
    return request_run(h, {REQUEST_WRITE, function, 0, 0, 0, start, count, values});
}

int ModbusSerialFileRead(CommHandle *h, int refType, int file, int record, int count,
                         uint16_t *values) {
    return request_run(h, {REQUEST_FILE_READ, 20, refType, file, record, 0, count, values});
}

int ModbusSerialFileWrite(CommHandle *h, int file, int record, int count, uint16_t *values) {
    return request_run(h, {REQUEST_FILE_WRITE, 21, 6, file, record, 0, count, values});
}

// Function 21 with reference type 3, file 0, the first register - 1 as the record.
int ModbusSerialInputWrite(CommHandle *h, int start, int count, uint16_t *values) {
    return request_run(h, {REQUEST_FILE_WRITE, 21, 3, 0, start - 1, 0, count, values});
}
