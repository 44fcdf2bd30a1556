// Modbus ASCII framers:  ':' address function data... LRC CR LF, every byte as
// two upper-case hexadecimal digits; the LRC is the two's complement of the
// byte sum of address, function and data.
//
//   receive:  idle -(':')-> data (hex pairs) -(control character)-> idle
//   transmit: idle -> ':' -> high/low digit of each byte -> LRC high/low -> CR -> LF
#include "comm/checks.h"
#include "comm/comm_internal.h"

#include <cstring>

enum AsciiRxState { ASC_IDLE = 0, ASC_DATA = 1, ASC_DISCARD = 3 };
enum AsciiTxState {
    ASCT_IDLE = 0,
    ASCT_HIGH = 1,
    ASCT_LOW = 2,
    ASCT_LRC_HIGH = 3,
    ASCT_LRC_LOW = 4,
    ASCT_CR = 5,
    ASCT_LF = 6,
};

enum { ASCII_ROOM = 2 * MSG_DATA_SIZE }; // hex characters a frame may hold

static const char hexDigits[] = "0123456789ABCDEF";

// Upper-case hex digits only; anything else counts as 0 and spoils the LRC.
static unsigned digit_value(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// Ends a frame at a control character or on overflow.
static void ascii_frame_end(CommHandle *h, int control) {
    MsgBuffer *b = h->rxBuffer;
    h->rxBuffer = nullptr;
    h->rxState = ASC_IDLE;
    int decoded = MSG_DATA_SIZE - h->rxRoom / 2;
    if (decoded >= 2 && control) {
        if ((h->rxCheck & 0xFF) == 0) {
            // First byte is the slave address, the last the LRC.
            b->route[0] = b->data[0];
            b->length = (uint16_t)(decoded - 2);
            memmove(b->data, b->data + 1, b->length);
            reply_push(h, b);
        } else {
            h->stats.checkErrors++;
            pool_give(b);
        }
        return;
    }
    ReplyWaitCounter = 0;
    pool_give(b);
}

void AsciiRxByte(CommHandle *h, uint8_t byte) {
    uint8_t c = byte & 0x7F;
    switch (h->rxState) {
    case ASC_IDLE: {
        if (!h->replyWanted) {
            h->rxState = c < 0x20 ? ASC_IDLE : ASC_DISCARD;
            return;
        }
        if (c != ':')
            return;
        MsgBuffer *b = pool_take();
        if (!b)
            return;
        h->rxBuffer = b;
        h->rxCheck = LRC_START;
        h->rxRoom = ASCII_ROOM;
        h->rxCursor = 0;
        h->rxFlags = 0; // 0: next character is the high digit of a pair
        h->rxState = ASC_DATA;
        return;
    }
    case ASC_DATA:
        if (c >= 0x20 && h->rxRoom > 0) {
            unsigned value = digit_value(c);
            h->rxRoom--;
            if (h->rxFlags == 0) {
                h->rxBuffer->data[h->rxCursor] = (uint8_t)(value << 4);
                h->rxFlags = 1;
            } else {
                uint8_t *p = &h->rxBuffer->data[h->rxCursor++];
                *p = (uint8_t)(*p + value);
                h->rxCheck = (uint16_t)LrcStep(h->rxCheck, *p);
                h->rxFlags = 0;
            }
            return;
        }
        ascii_frame_end(h, c < 0x20);
        return;
    default: // ASC_DISCARD
        if (c < 0x20)
            h->rxState = ASC_IDLE;
        return;
    }
}

// Byte i of the frame being sent: the slave address, then the PDU.
static uint8_t tx_frame_byte(const CommHandle *h) {
    return h->txCursor == 0 ? h->txBuffer->route[0] : h->txBuffer->data[h->txCursor - 1];
}

unsigned AsciiTxByte(CommHandle *h) {
    switch (h->txState) {
    case ASCT_IDLE: {
        MsgBuffer *b = TxFrameTake(h);
        if (!b)
            return TX_NOTHING;
        h->txCheck = LRC_START;
        h->txRoom = (uint16_t)(b->length + 1); // address and PDU bytes to send
        h->txState = ASCT_HIGH;
        return ':';
    }
    case ASCT_HIGH: {
        uint8_t byte = tx_frame_byte(h);
        h->txCheck = (uint16_t)LrcStep(h->txCheck, byte);
        h->txState = ASCT_LOW;
        return (uint8_t)hexDigits[byte >> 4];
    }
    case ASCT_LOW: {
        uint8_t byte = tx_frame_byte(h);
        h->txCursor++;
        if (h->txCursor < h->txRoom) {
            h->txState = ASCT_HIGH;
        } else {
            pool_give(h->txBuffer);
            h->txBuffer = nullptr;
            h->txState = ASCT_LRC_HIGH;
        }
        return (uint8_t)hexDigits[byte & 0x0F];
    }
    case ASCT_LRC_HIGH:
        h->txState = ASCT_LRC_LOW;
        return (uint8_t)hexDigits[(h->txCheck >> 4) & 0x0F];
    case ASCT_LRC_LOW:
        h->txState = ASCT_CR;
        return (uint8_t)hexDigits[h->txCheck & 0x0F];
    case ASCT_CR:
        h->txState = ASCT_LF;
        return 0x0D;
    default: // ASCT_LF
        h->txState = ASCT_IDLE;
        return 0x0A;
    }
}
