// Modbus RTU framers: address, function and data, CRC low byte, CRC high byte.
// A reply whose length its own bytes give is closed with its last byte once
// its CRC checks; any other frame ends when the line has been quiet for the
// inter-character interval, and the reader thread then calls CloseRtuFrame.
//
//   receive:  idle -> data (address, PDU, CRC) -> complete by length and CRC,
//                     or CloseRtuFrame -> idle
//             data with no room left -> overflow (discard until CloseRtuFrame)
//   transmit: idle -> address -> data... -> CRC low -> CRC high -> idle
#include "comm/checks.h"
#include "comm/comm_internal.h"
#include "comm/modbus_pdu.h"

enum RtuRxState { RTU_IDLE = 0, RTU_DATA = 1, RTU_OVERFLOW = 2, RTU_DISCARD = 3 };
enum RtuTxState { RTUT_IDLE = 0, RTUT_DATA = 1, RTUT_CRC_HIGH = 2 };

void RtuRxByte(CommHandle *h, uint8_t byte) {
    switch (h->rxState) {
    case RTU_IDLE: {
        if (!h->replyWanted) {
            // Nothing is waiting: throw bytes away until a control byte.
            h->rxState = RTU_DISCARD;
            if (byte < 0x20)
                h->rxState = RTU_IDLE;
            return;
        }
        MsgBuffer *b = pool_take();
        if (!b)
            return; // no buffer: the frame is lost and the caller times out
        h->rxBuffer = b;
        h->frameSequenceChar = byte; // the slave address
        h->rxCheck = (uint16_t)Crc16Step(CRC16_START, byte);
        h->rxCursor = 0;
        h->rxRoom = MSG_DATA_SIZE;
        h->rxState = RTU_DATA;
        return;
    }
    case RTU_DATA:
        if (h->rxRoom > 0 && h->rxBuffer) {
            h->rxBuffer->data[h->rxCursor++] = byte;
            h->rxRoom--;
            h->rxCheck = (uint16_t)Crc16Step(h->rxCheck, byte);
            // Complete by its length with a CRC that checks: no need to wait
            // for the line to go quiet. A bad CRC still waits for the quiet.
            int pdu = ModbusReplyLength(h->rxBuffer->data, h->rxCursor);
            if (h->rxCheck == 0 && pdu != 0 && h->rxCursor == pdu + 2)
                CloseRtuFrame(h);
            return;
        }
        // Overlong frame: give the buffer back and end the caller's wait now.
        if (h->rxBuffer)
            pool_give(h->rxBuffer);
        h->rxBuffer = nullptr;
        ReplyWaitCounter = 0;
        h->rxState = RTU_OVERFLOW;
        return;
    case RTU_OVERFLOW:
        return;
    default: // RTU_DISCARD
        if (byte < 0x20)
            h->rxState = RTU_IDLE;
        return;
    }
}

void CloseRtuFrame(CommHandle *h) {
    MsgBuffer *b = h->rxBuffer;
    h->rxBuffer = nullptr;
    h->rxState = RTU_IDLE;
    if (!b)
        return;
    int length = MSG_DATA_SIZE - h->rxRoom;
    // The CRC over address, data and the received CRC itself comes out 0.
    if (length > 2 && h->rxCheck == 0) {
        b->length = (uint16_t)(length - 2);
        b->route[0] = h->frameSequenceChar;
        reply_push(h, b);
    } else {
        if (length > 2)
            h->stats.checkErrors++;
        pool_give(b);
    }
}

unsigned RtuTxByte(CommHandle *h) {
    switch (h->txState) {
    case RTUT_IDLE: {
        MsgBuffer *b = TxFrameTake(h);
        if (!b)
            return TX_NOTHING;
        h->txCheck = (uint16_t)Crc16Step(CRC16_START, b->route[0]);
        h->txState = RTUT_DATA;
        return b->route[0];
    }
    case RTUT_DATA: {
        MsgBuffer *b = h->txBuffer;
        if (h->txCursor < b->length) {
            uint8_t byte = b->data[h->txCursor++];
            h->txCheck = (uint16_t)Crc16Step(h->txCheck, byte);
            return byte;
        }
        pool_give(b);
        h->txBuffer = nullptr;
        h->txState = RTUT_CRC_HIGH;
        return h->txCheck & 0xFF;
    }
    default: // RTUT_CRC_HIGH
        h->txState = RTUT_IDLE;
        return h->txCheck >> 8;
    }
}
