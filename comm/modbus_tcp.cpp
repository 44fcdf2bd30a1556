// The Modbus TCP (MBAP header) and RTU-over-TCP back ends: request framing,
// reply sizing, and the reply checks with their texts.
//
//   Modbus TCP:    transaction(2) protocol 0(2) length(2) unit PDU
//   RTU over TCP:  unit PDU crc-low crc-high
#include "comm/checks.h"
#include "comm/modbus_pdu.h"
#include "comm/tcp_link.h"

#include <cstdio>
#include <cstring>

enum { MBAP_LENGTH_MOST = 254 }; // unit byte + the largest PDU

static unsigned Word(const uint8_t *p) {
    return (unsigned)(p[0] << 8 | p[1]);
}

// The MBAP header tells the reply's size once its six bytes are in.
static int MbapSize(CommHandle *h, const uint8_t *reply, int have) {
    if (have < MBAP_HEADER)
        return MBAP_HEADER;
    unsigned length = Word(reply + 4);
    if (length > MBAP_LENGTH_MOST) {
        SetCommError(h, "Recv Reply message too large");
        return -1;
    }
    if (length < 2) {
        SetCommError(h, "Reply header invalid");
        return -1;
    }
    return MBAP_HEADER + (int)length;
}

// An RTU reply's size: unit, the PDU as far as its length is known, CRC. A
// function code we do not know ends the reply where it stands; its check
// then fails.
static int RtuSize(CommHandle *, const uint8_t *reply, int have) {
    if (have < 3)
        return 3;
    int pdu = ModbusReplyLength(reply + 1, have - 1);
    return pdu != 0 ? 1 + pdu + 2 : have;
}

// The reply as the checks see it.
struct TcpReply {
    uint8_t frame[TCP_REPLY_ROOM];
    int unit;
    const uint8_t *pdu;
    int length;
};

// Modbus TCP: numbers the request, sends it and receives the reply that carries
// its number; replies to earlier requests are skipped.
static int TransactMbap(CommHandle *h, const uint8_t *pdu, int pduLength, TcpReply *r) {
    uint8_t frame[7 + MODBUS_PDU_MAX];
    uint16_t id = ++h->transactionCounter;
    frame[0] = (uint8_t)(id >> 8);
    frame[1] = (uint8_t)id;
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = (uint8_t)((1 + pduLength) >> 8);
    frame[5] = (uint8_t)(1 + pduLength);
    frame[6] = (uint8_t)h->route.count;
    memcpy(frame + 7, pdu, (size_t)pduLength);
    if (!TcpSend(h, frame, 7 + pduLength))
        return 0;
    int polls = 0;
    for (;;) {
        int n = TcpReceive(h, r->frame, MbapSize, &polls);
        if (!n)
            return 0;
        if (Word(r->frame) == id) {
            StatsCount(h, &CommStats::repliesTaken);
            r->unit = r->frame[6];
            r->pdu = r->frame + 7;
            r->length = n - 7;
            return 1;
        }
        // A stale reply costs a poll, so that a stream of them cannot hold the wait.
        if (polls++ >= h->replyTimeout) {
            SetCommError(h, "Reply timeout");
            StatsCount(h, &CommStats::timeouts);
            return 0;
        }
    }
}

static int TransactRtu(CommHandle *h, const uint8_t *pdu, int pduLength, TcpReply *r) {
    uint8_t frame[3 + MODBUS_PDU_MAX];
    frame[0] = (uint8_t)h->route.count;
    memcpy(frame + 1, pdu, (size_t)pduLength);
    unsigned crc = Crc16(frame, 1 + pduLength);
    frame[1 + pduLength] = (uint8_t)crc;
    frame[2 + pduLength] = (uint8_t)(crc >> 8);
    if (!TcpSend(h, frame, 3 + pduLength))
        return 0;
    int polls = 0;
    int n = TcpReceive(h, r->frame, RtuSize, &polls);
    if (!n)
        return 0;
    if (n < 4 || Crc16(r->frame, n) != 0) {
        SetCommError(h, "Reply CRC error");
        StatsCount(h, &CommStats::checkErrors);
        return 0;
    }
    StatsCount(h, &CommStats::repliesTaken);
    r->unit = r->frame[0];
    r->pdu = r->frame + 1;
    r->length = n - 3;
    return 1;
}

// Drains what the peer sent before, then runs the request by the handle's kind.
static int Transact(CommHandle *h, const uint8_t *pdu, int pduLength, TcpReply *r) {
    if (!TcpDrain(h))
        return 0;
    if (h->kind == LINK_RTU_OVER_TCP)
        return TransactRtu(h, pdu, pduLength, r);
    return TransactMbap(h, pdu, pduLength, r);
}

// The checks every reply starts with: unit, exception, function code.
static int ReplyHeadOk(CommHandle *h, const TcpReply *r, int function) {
    if (r->unit != (uint8_t)h->route.count) {
        SetCommError(h, "Reply drop doesn't match query");
        return 0;
    }
    if (r->length >= 1 && r->pdu[0] == function + 128) {
        StatsCount(h, &CommStats::errorReplies);
        unsigned code = r->length >= 2 ? r->pdu[1] : 0;
        if (code >= 1 && code <= 12)
            SetCommError(h, ModbusExceptionText(code));
        else
            SetCommErrorF(h, "Modbus error reply %u", code);
        return 0;
    }
    if (r->length < 1 || r->pdu[0] != function) {
        SetCommError(h, "Reply opcode doesn't match query");
        return 0;
    }
    return 1;
}

// The start of every operation: a valid handle and count, the request PDU
// built (length 0: it could not be, failText says why when given), sent, and
// a reply whose head checks. 0 when any of them fails.
static int Request(CommHandle *h, int count, const uint8_t *pdu, int length, int function,
                   const char *failText, TcpReply *r) {
    if (!HandleValid(h) || count == 0)
        return 0;
    if (!length) {
        if (failText)
            SetCommError(h, failText);
        return 0;
    }
    return Transact(h, pdu, length, r) && ReplyHeadOk(h, r, function);
}

int ModbusTcpRead(CommHandle *h, int start, int count, uint16_t *values, int function) {
    uint8_t pdu[MODBUS_PDU_MAX];
    int length = ModbusBuildRead(pdu, function, start, count);
    TcpReply r;
    if (!Request(h, count, pdu, length, function, nullptr, &r))
        return 0;
    // A peer may pad the reply past the data its byte count gives: only that
    // much is read. A reply short of its byte count is still refused.
    if (r.length >= 2 && r.length > r.pdu[1] + 2)
        r.length = r.pdu[1] + 2;
    // The unit and function were checked above; the shared check adds the byte
    // count and the size, and unpacks the data.
    char text[MODBUS_TEXT_SIZE];
    int done = ModbusCheckReadReply(r.unit, r.unit, r.pdu, r.length, function, count, values, text);
    if (!done)
        SetCommError(h, text);
    return done;
}

int ModbusTcpWrite(CommHandle *h, int start, int count, uint16_t *values, int function) {
    uint8_t pdu[MODBUS_PDU_MAX];
    int length = ModbusBuildWrite(pdu, function, start, count, values);
    // Function 6 is for one register only; a block that cannot be framed is refused.
    const char *failText = function != 6 ? "Illegal write count" : nullptr;
    TcpReply r;
    return Request(h, count, pdu, length, function, failText, &r) ? count : 0;
}

int ModbusTcpFileRead(CommHandle *h, int refType, int file, int record, int count,
                      uint16_t *values) {
    uint8_t pdu[MODBUS_PDU_MAX];
    int length = ModbusBuildFileRead(pdu, refType, file, record, count);
    TcpReply r;
    if (!Request(h, count, pdu, length, 20, nullptr, &r))
        return 0;
    unsigned bytes = r.length >= 2 ? r.pdu[1] : 0;
    if (bytes != 2u * (unsigned)count + 2) {
        SetCommErrorF(h, "Reply length %u doesn't match query %u", bytes, (unsigned)count);
        return 0;
    }
    // The words follow the sub-response length and the reference type.
    if (r.length < 4 + 2 * count) {
        SetCommError(h, "Read reply was wrong size");
        return 0;
    }
    for (int i = 0; i < count; i++)
        values[i] = (uint16_t)Word(r.pdu + 4 + 2 * i);
    return count;
}

static int FileWrite(CommHandle *h, int refType, int file, int record, int count,
                     uint16_t *values) {
    uint8_t pdu[MODBUS_PDU_MAX];
    int length = ModbusBuildFileWrite(pdu, refType, file, record, count, values);
    TcpReply r;
    return Request(h, count, pdu, length, 21, "Illegal write count", &r) ? count : 0;
}

int ModbusTcpFileWrite(CommHandle *h, int file, int record, int count, uint16_t *values) {
    return FileWrite(h, 6, file, record, count, values);
}

int ModbusTcpInputWrite(CommHandle *h, int start, int count, uint16_t *values) {
    return FileWrite(h, 3, 0, start - 1, count, values);
}
