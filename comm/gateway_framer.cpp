// Gateway line framers: a command or reply is one line of text ended by a
// control character (CR), which is kept as the line's last character.
//
//   receive:  idle -> line -(control character)-> idle
//             line with no room -> line queued as it is -> discard to the next control character
//   transmit: the buffer's bytes as they are, one buffer after another
#include "comm/comm_internal.h"

enum GatewayRxState { GW_IDLE = 0, GW_LINE = 1, GW_DISCARD = 3 };

void GatewayRxByte(CommHandle *h, uint8_t byte) {
    uint8_t c = byte & 0x7F;
    if (h->rxState == GW_IDLE) {
        MsgBuffer *b = h->replyWanted ? pool_take() : nullptr;
        if (!b) {
            h->rxState = GW_DISCARD;
        } else {
            h->rxBuffer = b;
            h->rxRoom = MSG_DATA_SIZE;
            h->rxCursor = 0;
            h->rxState = GW_LINE;
        }
    }
    if (h->rxState == GW_DISCARD) {
        if (c < 0x20)
            h->rxState = GW_IDLE;
        return;
    }
    // GW_LINE
    int full = h->rxRoom == 0;
    // A control character that arrives with the line full still ends it.
    int cutShort = full && c >= 0x20;
    if (!full) {
        h->rxBuffer->data[h->rxCursor++] = c;
        h->rxRoom--;
    } else {
        c = 0; // an overlong line ends here; the rest of it is thrown away
    }
    if (c < 0x20) {
        MsgBuffer *b = h->rxBuffer;
        h->rxBuffer = nullptr;
        b->length = (uint16_t)(MSG_DATA_SIZE - h->rxRoom);
        reply_push(h, b);
        h->rxState = cutShort ? GW_DISCARD : GW_IDLE;
    }
}

unsigned GatewayTxByte(CommHandle *h) {
    for (;;) {
        if (!h->txBuffer) {
            h->txBuffer = queue_take(&h->txQueue);
            if (!h->txBuffer)
                return TX_NOTHING;
            h->txCursor = 0;
        }
        MsgBuffer *b = h->txBuffer;
        if (h->txCursor < b->length && h->txCursor < MSG_DATA_SIZE) {
            uint8_t byte = b->data[h->txCursor++];
            if (h->txCursor >= b->length) {
                pool_give(b);
                h->txBuffer = nullptr;
            }
            return byte;
        }
        pool_give(b);
        h->txBuffer = nullptr;
    }
}
