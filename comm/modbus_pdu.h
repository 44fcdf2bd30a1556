// Modbus request PDUs and reply checks, shared by the serial (RTU, ASCII) and
// TCP back ends. Pure functions on byte arrays: no handle, no I/O.
//
// A PDU is the function code followed by its data; numbers in it are 16-bit,
// high byte first. References given to the builders are 1-based (the PDU
// carries reference - 1); file records are sent unchanged (numbered from 0).
//
// Each check takes the expected slave (unit) address and the one the reply
// came from (a back end without an address check passes the same value twice),
// the reply PDU and its length. It returns the count on success, with the
// values copied out, or 0 with the error text written into text (room for
// MODBUS_TEXT_SIZE characters including the NUL).
#pragma once
#include <cstdint>

enum {
    MODBUS_PDU_MAX = 263,  // room a builder may need (a MsgBuffer's data area)
    MODBUS_TEXT_SIZE = 84, // room for an error text, as in the handle
};

// Functions 1 to 4: function, first reference - 1, count. Returns 5, or 0 for
// another function code.
int ModbusBuildRead(uint8_t *pdu, int function, int start, int count);

// Functions 5, 6, 15, 16. 5 and 6 send values[0] (function 5: the caller gives
// 0xFF00 or 0); 15 sends (count + 7) / 8 bytes of coil states already packed
// in place in the values array's memory (first coil in bit 0 of byte 0); 16
// sends count words. Returns the PDU length, or 0 when the request cannot be
// built: another function code, function 6 with a count other than 1, or a
// count whose byte count does not fit the PDU's one-byte field.
int ModbusBuildWrite(uint8_t *pdu, int function, int start, int count, const uint16_t *values);

// Function 20: byte count 7, reference type, file, record, record length =
// count. Returns 9.
int ModbusBuildFileRead(uint8_t *pdu, int refType, int file, int record, int count);

// Function 21: byte count 2 * count + 7, reference type, file, record, count,
// the words. The input-register (3X) write is reference type 3, file 0, record
// = first register - 1. Returns the PDU length, or 0 when the byte count would
// not fit its one-byte field.
int ModbusBuildFileWrite(uint8_t *pdu, int refType, int file, int record, int count,
                         const uint16_t *values);

// The length of a reply PDU (function code and data) as far as the n bytes
// held of it tell; 0 while it cannot be known (nothing held, a read's byte
// count not yet in, a function code we do not know). Exceptions carry one
// code; reads (1-4), file reads (20) and file writes (21, the request echoed)
// a byte count and that many bytes; single and multiple writes (5, 6, 15, 16)
// an address and a value or count.
int ModbusReplyLength(const uint8_t *pdu, int n);

// "Modbus error reply %u " followed by the exception's text for codes 1 to 12.
void ModbusExceptionReply(unsigned code, char *text);

// Reply to functions 1 to 4. Functions 3, 4: count words. Functions 1, 2: the
// packed bytes two to a word, first byte in the high half, (bytes + 1) / 2 words.
int ModbusCheckReadReply(int slave, int replySlave, const uint8_t *pdu, int length, int function,
                         int count, uint16_t *values, char *text);

// Reply to functions 5, 6, 15, 16: a 5-byte PDU with the same function code.
int ModbusCheckWriteReply(int slave, int replySlave, const uint8_t *pdu, int length, int function,
                          int count, char *text);

// Reply to function 20 for one sub-request of count words of refType.
int ModbusCheckFileReadReply(int slave, int replySlave, const uint8_t *pdu, int length, int refType,
                             int count, uint16_t *values, char *text);

// Reply to function 21: the echo of the request, 2 * count + 9 bytes.
int ModbusCheckFileWriteReply(int slave, int replySlave, const uint8_t *pdu, int length, int count,
                              char *text);
