// The Modbus serial back ends (RTU and ASCII): one request, one reply, on the
// caller's thread. The PDUs and reply checks are shared with the TCP back
// ends; the framing is the RTU or ASCII framer's.
#include "comm/comm_internal.h"
#include "comm/modbus_pdu.h"

static int slave_of(const CommHandle *h) {
    return h->route.count & 0xFF;
}

// Takes the request buffer, or sets the shortage text and flushes the queues.
static MsgBuffer *request_take(CommHandle *h) {
    MsgBuffer *b = pool_take();
    if (!b) {
        SetCommError(h, "Buffer shortage, try again");
        FlushQueues(h);
    }
    return b;
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

// Copies a failed check's text into the handle and gives the reply back.
static int reply_done(CommHandle *h, MsgBuffer *reply, int result, const char *text) {
    if (reply->length >= 1 && (reply->data[0] & 0x80))
        StatsCount(h, &CommStats::errorReplies);
    pool_give(reply);
    if (!result)
        SetCommError(h, text);
    return result;
}

int ModbusSerialRead(CommHandle *h, int start, int count, uint16_t *values, int function) {
    if (!HandleValid(h) || count == 0)
        return 0;
    MsgBuffer *b = request_take(h);
    if (!b)
        return 0;
    int length = ModbusBuildRead(b->data, function, start, count);
    if (!length) {
        pool_give(b);
        return 0;
    }
    MsgBuffer *reply = transact(h, b, length, "No reply to read command");
    if (!reply)
        return 0;
    char text[MODBUS_TEXT_SIZE];
    int n = ModbusCheckReadReply(slave_of(h), reply->route[0], reply->data, reply->length, function,
                                 count, values, text);
    return reply_done(h, reply, n, text);
}

int ModbusSerialWrite(CommHandle *h, int start, int count, uint16_t *values, int function) {
    if (!HandleValid(h) || count == 0)
        return 0;
    if (function == 6 && count != 1)
        return 0;
    MsgBuffer *b = request_take(h);
    if (!b)
        return 0;
    int length = ModbusBuildWrite(b->data, function, start, count, values);
    if (!length) {
        // The byte count of the request would not fit its one-byte field.
        pool_give(b);
        SetCommError(h, "Illegal write count");
        return 0;
    }
    MsgBuffer *reply = transact(h, b, length, "No reply to write command");
    if (!reply)
        return 0;
    char text[MODBUS_TEXT_SIZE];
    int n = ModbusCheckWriteReply(slave_of(h), reply->route[0], reply->data, reply->length,
                                  function, count, text);
    return reply_done(h, reply, n, text);
}

int ModbusSerialFileRead(CommHandle *h, int refType, int file, int record, int count,
                         uint16_t *values) {
    if (!HandleValid(h) || count == 0)
        return 0;
    MsgBuffer *b = request_take(h);
    if (!b)
        return 0;
    int length = ModbusBuildFileRead(b->data, refType, file, record, count);
    MsgBuffer *reply = transact(h, b, length, "No reply to read command");
    if (!reply)
        return 0;
    char text[MODBUS_TEXT_SIZE];
    int n = ModbusCheckFileReadReply(slave_of(h), reply->route[0], reply->data, reply->length,
                                     refType, count, values, text);
    return reply_done(h, reply, n, text);
}

// Function 21 with the given reference type, file and record.
static int file_write(CommHandle *h, int refType, int file, int record, int count,
                      uint16_t *values) {
    if (!HandleValid(h) || count == 0)
        return 0;
    MsgBuffer *b = request_take(h);
    if (!b)
        return 0;
    int length = ModbusBuildFileWrite(b->data, refType, file, record, count, values);
    if (!length) {
        pool_give(b);
        SetCommError(h, "Illegal write count");
        return 0;
    }
    MsgBuffer *reply = transact(h, b, length, "No reply to write command");
    if (!reply)
        return 0;
    char text[MODBUS_TEXT_SIZE];
    int n = ModbusCheckFileWriteReply(slave_of(h), reply->route[0], reply->data, reply->length,
                                      count, text);
    return reply_done(h, reply, n, text);
}

int ModbusSerialFileWrite(CommHandle *h, int file, int record, int count, uint16_t *values) {
    return file_write(h, 6, file, record, count, values);
}

int ModbusSerialInputWrite(CommHandle *h, int start, int count, uint16_t *values) {
    return file_write(h, 3, 0, start - 1, count, values);
}
