// The communications library's private view: the handle record, message
// buffers and queues, and the back ends that the public operations dispatch to.
//
// Locking: h->lock (recursive) guards the handle's queues, the write buffer and
// the transmit framer; the process-wide buffer pool has a lock of its own that
// is always taken last. The receive framers run on the reader thread (RxFramer
// holds h->lock around each byte, so they may use the pool and reply functions
// below, which lock for themselves); the transmit framers run with h->lock held.
#pragma once
#include "comm/comm.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#define COMM_MAGIC 0x10BABEEEu

enum LinkKind {
    LINK_SYMAX = 1,
    LINK_GATEWAY = 2,
    // Reserved for adapter links that no open produces (OpenSylink has no
    // transport): known kinds with a register range, served by no back end.
    LINK_RESERVED_3 = 3,
    LINK_RESERVED_4 = 4,
    LINK_MODBUS_RTU = 5,
    LINK_MODBUS_ASCII = 6,
    LINK_MODBUS_TCP = 8,
    LINK_RTU_OVER_TCP = 9,
};

enum Framing {
    FRAMING_SYMAX = 1,
    FRAMING_GATEWAY = 2,
    FRAMING_RTU = 5,
    FRAMING_ASCII = 6,
};

enum {
    MSG_ROUTE_SIZE = 18,
    MSG_DATA_SIZE = 263,
    SERIAL_BUFFER_SIZE = 258,
    ERROR_TEXT_SIZE = 84,
    TX_NOTHING = 0xFFFF, // what a transmit framer returns when it has nothing to send
    TXF_CRC = 0x40,      // transmit flag: Sy/Max CRC-16 instead of BCC
    TXF_WRITING = 0x100, // transmit flag: a write to the port is outstanding
};

// The unit passed between the caller and the serial driver.
struct MsgBuffer {
    MsgBuffer *link;
    uint16_t length;
    uint8_t route[MSG_ROUTE_SIZE]; // Sy/Max route characters + 0xFF 0xFF; Modbus: slave in [0]
    uint8_t data[MSG_DATA_SIZE];
};

// A singly linked FIFO of buffers.
struct MsgQueue {
    MsgBuffer *head;
    MsgBuffer *tail;
};

// Drop count then up to eight drops; Modbus kinds keep the slave/unit in count.
struct Route {
    uint16_t count;
    uint16_t drops[ROUTE_MAX_DROPS];
};

struct SerialPort;   // platform/serial.h
struct SerialDriver; // reader thread, events and pacing state of the serial driver

// The fields the framings share, by framing (Sy/Max 1, gateway 2, RTU 5,
// ASCII 6; "-" not used). One layout for all; each framing reads its own column.
//
//   field              Sy/Max                     gateway       RTU             ASCII
//   rxFlags            DLE filter (RXF_*)         -             -               0 high, 1 low digit
//   rxCursor           route, then data index     data index    data index      data index
//   rxRoom             route room (16), then      data room     data room       hex characters
//                      data room                                                left (526)
//   rxCheck            BCC or CRC-16              -             CRC-16          LRC
//   frameSequenceChar  DC1/DC2 of the frame in,   -             slave address   -
//                      the acknowledgement sent                 of the frame in
//   txFlags            control sequences, CRC     TXF_WRITING   TXF_WRITING     TXF_WRITING
//                      mode, TXF_WRITING
//   txCursor           route, then data index     data index    data index      0 address, then
//                                                                               data index + 1
//   txRoom             data left, then fill       -             -               address and PDU
//                      bytes left before ENQ                                    bytes in all
//   txCheck            BCC or CRC-16              -             CRC-16          LRC
//
// Of the other shared fields: route holds the drops for Sy/Max and the
// gateway and the slave (unit) address in its count for every Modbus kind;
// transactionCounter numbers Sy/Max transaction bytes and Modbus TCP
// transaction identifiers; responseChar, sequenceChar, enquiryCounter,
// nakRetryCounter, expectedTransaction, netToNet and priority are Sy/Max's;
// rxState and txState hold each framing's own states (named in its file).
struct CommHandle {
    uint32_t magic;
    int32_t kind;

    // Serial driver (serial_driver.cpp owns these).
    SerialDriver *driver;
    SerialPort *port;
    uint16_t readSize;
    uint8_t readBuffer[SERIAL_BUFFER_SIZE];
    uint8_t writeBuffer[SERIAL_BUFFER_SIZE];
    uint16_t buffered;
    uint16_t writeChunk;

    Route route;
    Route gatewayRoute; // route last selected on a gateway; count 0xFFFF: none

    uint8_t framing;
    // Receive framer.
    uint8_t rxState;
    uint8_t rxFlags;
    MsgQueue replyQueue;
    MsgBuffer *rxBuffer;
    uint16_t rxCursor;
    uint16_t rxRoom;
    uint16_t rxCheck;
    uint8_t responseChar;      // starts NAK
    uint8_t frameSequenceChar; // starts NAK; RTU keeps the slave address here (table above)

    // Transmit framer.
    uint8_t txState;
    uint16_t txFlags;
    MsgQueue txQueue;
    MsgBuffer *txBuffer;
    uint16_t txCursor;
    uint16_t txRoom;
    uint16_t txCheck;
    uint8_t sequenceChar; // DC1/DC2 of the next frame sent, starts DC1
    uint8_t enquiryCounter;
    uint8_t nakRetryCounter;
    uint8_t staleAnswers; // Sy/Max: answers still owed to enquiries of frames already acknowledged

    std::atomic<uint16_t> replyWanted;
    uint16_t transactionCounter;
    uint8_t netToNet;
    uint16_t replyTimeout; // idle ticks of about 10 ms
    IdleHook idleHook;
    void *idleArg;
    uint8_t priority;
    uint8_t expectedTransaction;

    // TCP kinds (tcp back end owns these).
    int sock;             // -1 when none
    uint32_t peerAddress; // IPv4, network order
    uint16_t peerPort;    // host order

    char errorText[ERROR_TEXT_SIZE];
    CommStats stats; // guarded by lock where the reader thread counts too

    std::recursive_mutex lock;
    std::condition_variable_any replyArrived; // signalled when a reply is queued
};

// ---- handle.cpp: texts and helpers shared by every back end ----
int HandleValid(const CommHandle *h);
void SetCommError(CommHandle *h, const char *text);
void SetCommErrorF(CommHandle *h, const char *format, ...) __attribute__((format(printf, 2, 3)));
int DefaultIdleHook(void *arg);
// Allocates a handle record with the fields every open sets; none when out of memory.
CommHandle *HandleAllocate(int kind);
void HandleFree(CommHandle *h);
// Adds one to a counter of h->stats under the handle's lock.
void StatsCount(CommHandle *h, uint32_t CommStats::*counter);

// ---- buffers.cpp: the process-wide pool and the handle's queues ----
extern std::atomic<int32_t> ReplyWaitCounter;
void queue_append(MsgQueue *q, MsgBuffer *b); // caller holds the lock
MsgBuffer *queue_take(MsgQueue *q);           // caller holds the lock
MsgBuffer *pool_take(void);                   // none when the pool is empty
void pool_give(MsgBuffer *b);
void pool_add_new(int n);                     // adds n fresh zeroed buffers
int pool_count(void);                         // for tests
void reply_push(CommHandle *h, MsgBuffer *b); // queue a received frame, wake the waiter
void reply_drain(CommHandle *h);              // every waiting reply back to the pool
void FlushQueues(CommHandle *h);
// The next frame for the Modbus transmit framers: taken from the transmit
// queue into txBuffer, its length cut to the data area, txCursor at its start;
// none when nothing waits. Caller holds the lock.
MsgBuffer *TxFrameTake(CommHandle *h);
// The buffer for the next request, after the replies still queued (a late
// answer is not the next request's) have gone back to the pool; none when the
// pool is empty, with "Buffer shortage, try again" set and the queues flushed.
MsgBuffer *RequestBuffer(CommHandle *h);
MsgBuffer *WaitReply(CommHandle *h, int ticks);

// ---- serial_driver.cpp: port, reader thread, writer ----
// How a serial open sets up the line: Sy/Max moves 8 bytes a transfer with RTS
// held on; the gateway and Modbus lines, which may be half duplex, move a
// whole buffer a transfer with RTS keying the transmitter.
enum SerialLine { SERIAL_LINE_SYMAX = 0, SERIAL_LINE_HALF_DUPLEX = 1 };
CommHandle *SerialOpen(const char *port, int netToNet, const uint16_t *route, SerialLine line);
void SerialClose(CommHandle *h);
int SerialSetParams(CommHandle *h, int baud, int parity, int stopBits, int dataBits);
// 1 when the line is hung up or its port could not be opened again.
int SerialLineDown(CommHandle *h);
// serial_reopen.cpp: called before each transaction of the serial kinds;
// opens a hung-up port again. 0 with the port's text when it cannot.
int SerialLinkReady(CommHandle *h);
// Called with each transaction's result: a failure on a hung-up line gets
// the port's text.
int SerialTransactionEnd(CommHandle *h, int result);
int SendMessage(CommHandle *h, MsgBuffer *b);
void KickWriter(CommHandle *h);
void RefillWriter(CommHandle *h, int written);
// Byte framers by framing: the receive framer is fed every received byte on
// the reader thread; the transmit framer returns the next byte or TX_NOTHING.
void RxFramer(CommHandle *h, uint8_t byte);
unsigned TxFramer(CommHandle *h);

// ---- symax_link.cpp / symax_message.cpp ----
// The Sy/Max frame check's step: CRC-16 in CRC mode, else the BCC (comm/checks.h).
unsigned CheckStep(unsigned check, uint8_t byte, int crcMode);
void SymaxRxByte(CommHandle *h, uint8_t byte);
unsigned SymaxTxByte(CommHandle *h);
int SymaxRead(CommHandle *h, int start, int count, uint16_t *values);
int SymaxWrite(CommHandle *h, int start, int count, uint16_t *values);
int SymaxRead3X(CommHandle *h, int ignored, int start, int count, uint16_t *values);
int SymaxRead6X(CommHandle *h, int file, int record, int count, uint16_t *values);
int SymaxWrite6X(CommHandle *h, int file, int record, int count, uint16_t *values);

// ---- status_text.cpp ----
const char *SymaxStatusText(unsigned code);     // every code 0..255 has a text
const char *ModbusExceptionText(unsigned code); // 1..12; others: a generic text

// ---- gateway.cpp, gateway_framer.cpp ----
void GatewayRxByte(CommHandle *h, uint8_t byte);
unsigned GatewayTxByte(CommHandle *h);
int GatewayRead(CommHandle *h, int start, int count, uint16_t *values);
int GatewayWrite(CommHandle *h, int start, int count, uint16_t *values);

// ---- modbus_rtu.cpp, modbus_ascii.cpp: serial framers ----
void RtuRxByte(CommHandle *h, uint8_t byte);
unsigned RtuTxByte(CommHandle *h);
void CloseRtuFrame(CommHandle *h);
void AsciiRxByte(CommHandle *h, uint8_t byte);
unsigned AsciiTxByte(CommHandle *h);

// ---- modbus_serial.cpp: the Modbus serial back ends (kinds 5, 6) ----
int ModbusSerialRead(CommHandle *h, int start, int count, uint16_t *values, int function);
int ModbusSerialWrite(CommHandle *h, int start, int count, uint16_t *values, int function);
int ModbusSerialFileRead(CommHandle *h, int refType, int file, int record, int count,
                         uint16_t *values);
int ModbusSerialFileWrite(CommHandle *h, int file, int record, int count, uint16_t *values);
int ModbusSerialInputWrite(CommHandle *h, int start, int count, uint16_t *values);

// ---- modbus_tcp.cpp: the TCP back ends (kinds 8, 9) ----
void TcpClose(CommHandle *h);
int ModbusTcpRead(CommHandle *h, int start, int count, uint16_t *values, int function);
int ModbusTcpWrite(CommHandle *h, int start, int count, uint16_t *values, int function);
int ModbusTcpFileRead(CommHandle *h, int refType, int file, int record, int count,
                      uint16_t *values);
int ModbusTcpFileWrite(CommHandle *h, int file, int record, int count, uint16_t *values);
int ModbusTcpInputWrite(CommHandle *h, int start, int count, uint16_t *values);
