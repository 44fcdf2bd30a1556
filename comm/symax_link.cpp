// Sy/Max point-to-point link layer: the byte framers of framing 1.
//
//   DLE SOH seq route DLE STX data DLE ETX check      (check: BCC, or CRC high low)
//
// Every good frame is acknowledged with DLE and its own sequence character
// (DC1/DC2), a bad one with DLE NAK, a frame start without a free buffer with
// DLE SYN. After sending a frame the transmitter sends fill bytes, then DLE ENQ
// up to 32 times, until the peer acknowledges; DLE NAK resends up to 8 times.
#include "comm/checks.h"
#include "comm/comm_internal.h"

namespace {

enum : uint8_t {
    SOH = 0x01,
    STX = 0x02,
    ETX = 0x03,
    ENQ = 0x05,
    DLE = 0x10,
    DC1 = 0x11,
    DC2 = 0x12,
    NAK = 0x15,
    SYN = 0x16,
    FILL = 0xFE,
};

// Transmit flags: control sequences the receive side asks for.
enum : uint16_t {
    TXF_SEND_DLE = 0x01,
    TXF_SEND_ENQ = 0x02,
    TXF_ASK_RESPONSE = 0x04, // DLE + response character
    TXF_SEND_RESPONSE = 0x08,
    TXF_ASK_BUSY = 0x10, // DLE SYN
    TXF_SEND_SYN = 0x20,
    TXF_IN_SEQUENCE = 0x80, // the byte after an opening DLE follows at once
    // The frame's last byte is in the write being filled, or in the one on
    // its way out: the wait for the acknowledgement starts when that write is
    // done (TXF_CRC 0x40 and TXF_WRITING 0x100 are the driver's).
    TXF_FRAME_LEAVING = 0x200,
};

// Receive flags: the DLE filter.
enum : uint8_t {
    RXF_AFTER_DLE = 0x01,
    RXF_RAW_NEXT = 0x02,
};

// Transmit states: the next byte of the frame (TX_CHECK: the BCC, or the
// CRC's low byte), then the wait for the acknowledgement.
enum {
    TX_IDLE = 0,
    TX_DLE,
    TX_SOH,
    TX_SEQUENCE,
    TX_ROUTE,
    TX_STX,
    TX_DATA,
    TX_ETX,
    TX_CRC_HIGH,
    TX_CHECK,
    TX_WAIT_ACK, // 10, the state the tests and the fuzzer watch for
};
// Receive states: 0 idle, 1 sequence, 2 route, 3 data, 4 CRC high, 5 check low.
enum { RX_IDLE = 0, RX_SEQUENCE, RX_ROUTE, RX_DATA, RX_CRC_HIGH, RX_CHECK };

const int kFillBytes = 10;
const int kEnquiries = 32;
const int kNakRetries = 8;
const unsigned kStaleMost = 8;

int CrcMode(const CommHandle *h) {
    return (h->txFlags & TXF_CRC) != 0;
}

unsigned CheckStart(const CommHandle *h) {
    return CrcMode(h) ? CRC16_START : BCC_START;
}

void TxStep(CommHandle *h, uint8_t byte) {
    h->txCheck = (uint16_t)CheckStep(h->txCheck, byte, CrcMode(h));
}

void RxStep(CommHandle *h, uint8_t byte) {
    h->rxCheck = (uint16_t)CheckStep(h->rxCheck, byte, CrcMode(h));
}

void TxDropBuffer(CommHandle *h) {
    pool_give(h->txBuffer);
    h->txBuffer = nullptr;
    h->txState = TX_IDLE;
    h->txFlags &= (uint16_t)~TXF_FRAME_LEAVING;
}

// ---- transmit ----

// The frame state machine; returns the next byte or TX_NOTHING.
unsigned TxMachine(CommHandle *h) {
    for (;;) {
        switch (h->txState) {
        case TX_IDLE:
            h->txBuffer = queue_take(&h->txQueue);
            if (!h->txBuffer)
                return TX_NOTHING;
            h->nakRetryCounter = kNakRetries;
            h->txState = TX_DLE;
            continue;
        case TX_DLE:
            h->txCheck = (uint16_t)CheckStart(h);
            h->txFlags |= TXF_IN_SEQUENCE;
            h->txState = TX_SOH;
            return DLE;
        case TX_SOH:
            h->txState = TX_SEQUENCE;
            return SOH;
        case TX_SEQUENCE:
            h->txCursor = 0;
            TxStep(h, h->sequenceChar);
            h->txState = TX_ROUTE;
            return h->sequenceChar;
        case TX_ROUTE: {
            // A route area without its end mark ends at its last byte.
            uint8_t c = h->txCursor < MSG_ROUTE_SIZE ? h->txBuffer->route[h->txCursor] : 0xFF;
            if (c == 0xFF) {
                TxStep(h, DLE);
                h->txFlags |= TXF_IN_SEQUENCE;
                h->txState = TX_STX;
                return DLE;
            }
            h->txCursor++;
            TxStep(h, c);
            return c;
        }
        case TX_STX:
            h->txCursor = 0;
            h->txRoom = h->txBuffer->length > (int)MSG_DATA_SIZE ? (uint16_t)MSG_DATA_SIZE
                                                                 : h->txBuffer->length;
            TxStep(h, STX);
            h->txState = TX_DATA;
            return STX;
        case TX_DATA: {
            if (h->txRoom == 0) {
                TxStep(h, DLE);
                h->txFlags |= TXF_IN_SEQUENCE;
                h->txState = TX_ETX;
                return DLE;
            }
            uint8_t c = h->txBuffer->data[h->txCursor++];
            h->txRoom--;
            if (c == DLE) {
                // The data DLE is doubled: the second one follows as send-DLE.
                h->txFlags |= TXF_SEND_DLE;
                TxStep(h, DLE);
            }
            TxStep(h, c);
            return c;
        }
        case TX_ETX:
            TxStep(h, ETX);
            h->txFlags |= TXF_IN_SEQUENCE;
            h->txState = CrcMode(h) ? TX_CRC_HIGH : TX_CHECK;
            return ETX;
        case TX_CRC_HIGH:
            h->txFlags |= TXF_IN_SEQUENCE;
            h->txState = TX_CHECK;
            return (uint8_t)(h->txCheck >> 8);
        case TX_CHECK:
            h->enquiryCounter = kEnquiries;
            h->txRoom = kFillBytes; // the fill count while waiting
            h->txState = TX_WAIT_ACK;
            h->txFlags |= TXF_FRAME_LEAVING;
            return (uint8_t)(h->txCheck & 0xFF);
        case TX_WAIT_ACK:
            // The write that carries the frame's last byte ends with it. The
            // writer asks again once that write is done, with nothing left
            // over (a port reports a write done when its bytes have left the
            // wire); only then do the fill bytes start, so an enquiry can
            // never go out while the request is still being sent.
            if (h->txFlags & TXF_FRAME_LEAVING) {
                if (h->buffered != 0)
                    return TX_NOTHING;
                h->txFlags &= (uint16_t)~TXF_FRAME_LEAVING;
            }
            // The fill bytes are the clock: each write of them takes its time
            // on the wire, so they are the wait before an enquiry.
            if (h->txRoom != 0) {
                h->txRoom--;
                return FILL;
            }
            if (h->enquiryCounter != 0) {
                h->enquiryCounter--;
                h->stats.enquiries++;
                h->txFlags |= TXF_SEND_ENQ;
                h->txRoom = kFillBytes;
                return DLE;
            }
            TxDropBuffer(h); // never acknowledged: the caller times out
            continue;
        default:
            TxDropBuffer(h);
            continue;
        }
    }
}

// ---- receive ----

// Answers the frame being received with DLE NAK and drops it; the NAK asks
// the peer to send it again.
void Reject(CommHandle *h) {
    h->stats.retransmissions++;
    h->responseChar = NAK;
    h->txFlags |= TXF_ASK_RESPONSE;
    pool_give(h->rxBuffer);
    h->rxBuffer = nullptr;
    h->rxState = RX_IDLE;
    KickWriter(h);
}

// The peer refused our frame (DLE NAK, or an acknowledgement of the wrong
// sequence): send it again while retries last, else drop it. Only a frame
// that has been sent and waits for its acknowledgement can be refused: a
// refusal that comes while a frame is going out (a late answer to an earlier
// enquiry, or to the frame this one repeats) would restart it, spend a retry
// and put the same request on the line twice.
void PeerNak(CommHandle *h) {
    if (h->txState != TX_WAIT_ACK)
        return;
    h->stats.naks++;
    if (h->nakRetryCounter != 0) {
        h->nakRetryCounter--;
        h->stats.retransmissions++;
        h->txState = TX_DLE;
        h->txFlags &= (uint16_t)~TXF_FRAME_LEAVING;
    } else {
        TxDropBuffer(h);
    }
    KickWriter(h);
}

void PeerAck(CommHandle *h, uint8_t byte) {
    if (h->txState != TX_WAIT_ACK)
        return;
    if (byte != h->sequenceChar) {
        // The peer acknowledges a good frame with its own sequence character,
        // so the other one only comes as the answer to an enquiry. Before this
        // frame has enquired it answers an enquiry about the frame before
        // (late), and is no refusal of this one: resending would run the
        // request twice. DLE SYN (busy) is a refusal at any time.
        if (byte != SYN && h->enquiryCounter == kEnquiries)
            return;
        // After this frame has enquired, the answers still owed to the
        // enquiries of the frames before come first: each is a late answer
        // about them, not this frame's refusal. Should one of those never
        // come, a real refusal waits one enquiry longer; it is asked again.
        if (byte != SYN && h->staleAnswers != 0) {
            h->staleAnswers--;
            return;
        }
        PeerNak(h);
        return;
    }
    // Each enquiry of this frame that the acknowledgement overtook may still
    // be answered, with this frame's sequence character, while the next frame
    // waits. Answers owed about older frames carry the next frame's own
    // character and cannot be told from its acknowledgement, so they are not
    // counted. At most kStaleMost are passed over, so that a frame the peer
    // lost is still sent again well within its enquiries.
    unsigned owed = (unsigned)(kEnquiries - h->enquiryCounter);
    h->staleAnswers = (uint8_t)(owed > kStaleMost ? kStaleMost : owed);
    TxDropBuffer(h);
    h->sequenceChar = h->sequenceChar == DC2 ? DC1 : DC2;
    KickWriter(h);
}

// A complete frame with a good check: queue it when it answers the request
// in hand, and acknowledge it in every case.
void FrameGood(CommHandle *h) {
    MsgBuffer *b = h->rxBuffer;
    h->rxBuffer = nullptr;
    b->length = (uint16_t)(MSG_DATA_SIZE - h->rxRoom);
    if (b->length >= 2 && b->data[1] == h->expectedTransaction)
        reply_push(h, b);
    else
        pool_give(b);
    h->rxState = RX_IDLE;
    h->responseChar = h->frameSequenceChar;
    h->txFlags |= TXF_ASK_RESPONSE;
    KickWriter(h);
}

void RxMachine(CommHandle *h, uint8_t byte, bool escaped) {
    switch (h->rxState) {
    case RX_IDLE:
        if (!escaped || byte != SOH)
            return;
        h->rxBuffer = pool_take();
        if (!h->rxBuffer) {
            h->txFlags |= TXF_ASK_BUSY;
            KickWriter(h);
            return;
        }
        h->rxCheck = (uint16_t)CheckStart(h);
        h->rxState = RX_SEQUENCE;
        return;
    case RX_SEQUENCE:
        if (escaped || (byte != DC1 && byte != DC2))
            return Reject(h);
        h->frameSequenceChar = byte;
        h->rxCursor = 0;
        h->rxRoom = 16;
        RxStep(h, byte);
        h->rxState = RX_ROUTE;
        return;
    case RX_ROUTE:
        if (escaped) {
            if (byte != STX)
                return Reject(h);
            RxStep(h, DLE);
            RxStep(h, STX);
            h->rxBuffer->route[h->rxCursor] = 0xFF;
            h->rxBuffer->route[h->rxCursor + 1] = 0xFF;
            h->rxCursor = 0;
            h->rxRoom = MSG_DATA_SIZE;
            h->rxState = RX_DATA;
            return;
        }
        if (h->rxRoom == 0)
            return Reject(h);
        h->rxBuffer->route[h->rxCursor++] = byte;
        h->rxRoom--;
        RxStep(h, byte);
        return;
    case RX_DATA:
        if (escaped && byte == ETX) {
            RxStep(h, DLE);
            RxStep(h, ETX);
            h->rxFlags |= RXF_RAW_NEXT;
            h->rxState = CrcMode(h) ? RX_CRC_HIGH : RX_CHECK;
            return;
        }
        if (h->rxRoom == 0 || (escaped && byte != DLE))
            return Reject(h);
        if (escaped)
            RxStep(h, DLE); // the doubled DLE counts twice
        RxStep(h, byte);
        h->rxBuffer->data[h->rxCursor++] = byte;
        h->rxRoom--;
        return;
    case RX_CRC_HIGH:
        if (byte != (h->rxCheck >> 8)) {
            h->stats.checkErrors++;
            return Reject(h);
        }
        h->rxFlags |= RXF_RAW_NEXT;
        h->rxState = RX_CHECK;
        return;
    case RX_CHECK:
        if (byte != (h->rxCheck & 0xFF)) {
            h->stats.checkErrors++;
            return Reject(h);
        }
        FrameGood(h);
        return;
    default:
        pool_give(h->rxBuffer);
        h->rxBuffer = nullptr;
        h->rxState = RX_IDLE;
        return;
    }
}

} // namespace

unsigned CheckStep(unsigned check, uint8_t byte, int crcMode) {
    return crcMode ? Crc16Step(check, byte) : BccStep(check, byte);
}

unsigned SymaxTxByte(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    uint16_t &f = h->txFlags;
    if (f & TXF_IN_SEQUENCE) {
        f &= (uint16_t)~TXF_IN_SEQUENCE;
        return TxMachine(h);
    }
    if (f & TXF_SEND_ENQ) {
        f &= (uint16_t)~TXF_SEND_ENQ;
        return ENQ;
    }
    if (f & TXF_SEND_DLE) {
        f &= (uint16_t)~TXF_SEND_DLE;
        return DLE;
    }
    if (f & TXF_SEND_RESPONSE) {
        f &= (uint16_t)~TXF_SEND_RESPONSE;
        return h->responseChar;
    }
    if (f & TXF_SEND_SYN) {
        f &= (uint16_t)~TXF_SEND_SYN;
        return SYN;
    }
    if (f & TXF_ASK_RESPONSE) {
        f = (uint16_t)((f & ~TXF_ASK_RESPONSE) | TXF_SEND_RESPONSE);
        return DLE;
    }
    if (f & TXF_ASK_BUSY) {
        f = (uint16_t)((f & ~TXF_ASK_BUSY) | TXF_SEND_SYN);
        return DLE;
    }
    return TxMachine(h);
}

void SymaxRxByte(CommHandle *h, uint8_t byte) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    if (h->rxFlags & RXF_AFTER_DLE) {
        h->rxFlags &= (uint8_t)~RXF_AFTER_DLE;
        switch (byte) {
        case SOH:
            // A new frame start abandons the one in progress.
            if (h->rxState != RX_IDLE) {
                pool_give(h->rxBuffer);
                h->rxBuffer = nullptr;
                h->rxState = RX_IDLE;
            }
            RxMachine(h, byte, true);
            return;
        case ENQ:
            // The peer missed our last response: send it again.
            h->txFlags |= TXF_ASK_RESPONSE;
            KickWriter(h);
            return;
        case SYN:
            h->nakRetryCounter = kNakRetries;
            PeerAck(h, byte);
            return;
        case DC1:
        case DC2:
            PeerAck(h, byte);
            return;
        case NAK:
            PeerNak(h);
            return;
        default:
            RxMachine(h, byte, true);
            return;
        }
    }
    if (h->rxFlags & RXF_RAW_NEXT) {
        h->rxFlags &= (uint8_t)~RXF_RAW_NEXT;
        RxMachine(h, byte, false);
        return;
    }
    if (byte == DLE) {
        h->rxFlags |= RXF_AFTER_DLE;
        return;
    }
    RxMachine(h, byte, false);
}
