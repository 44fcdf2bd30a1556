// TEMPORARY: placeholders until the serial driver, buffers, Sy/Max and texts land. Delete this file then.
#include "comm/comm_internal.h"
std::atomic<int32_t> ReplyWaitCounter{0};
void queue_append(MsgQueue *, MsgBuffer *) {}
MsgBuffer *queue_take(MsgQueue *) { return nullptr; }
MsgBuffer *pool_take(void) { return nullptr; }
void pool_give(MsgBuffer *) {}
void pool_add_new(int) {}
int pool_count(void) { return 0; }
void reply_push(CommHandle *, MsgBuffer *) {}
void reply_drain(CommHandle *) {}
void FlushQueues(CommHandle *) {}
MsgBuffer *WaitReply(CommHandle *, int) { return nullptr; }
CommHandle *SerialOpen(const char *, int, const uint16_t *, int) { return nullptr; }
void SerialClose(CommHandle *) {}
int SerialSetParams(CommHandle *, int, int, int, int) { return 0; }
int SendMessage(CommHandle *, MsgBuffer *) { return 0; }
void KickWriter(CommHandle *) {}
void RefillWriter(CommHandle *, int) {}
void RxFramer(CommHandle *, uint8_t) {}
unsigned TxFramer(CommHandle *) { return TX_NOTHING; }
unsigned CheckStep(unsigned c, uint8_t, int) { return c; }
void SymaxRxByte(CommHandle *, uint8_t) {}
unsigned SymaxTxByte(CommHandle *) { return TX_NOTHING; }
int SymaxRead(CommHandle *, int, int, uint16_t *) { return 0; }
int SymaxWrite(CommHandle *, int, int, uint16_t *) { return 0; }
int SymaxRead3X(CommHandle *, int, int, int, uint16_t *) { return 0; }
int SymaxRead6X(CommHandle *, int, int, int, uint16_t *) { return 0; }
int SymaxWrite6X(CommHandle *, int, int, int, uint16_t *) { return 0; }
const char *SymaxStatusText(unsigned) { return ""; }
const char *ModbusExceptionText(unsigned) { return ""; }
