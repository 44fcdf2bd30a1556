// Modbus slave model shared by the simulators: a data model (coils, discrete
// inputs, input registers, holding registers and files of records) and a PDU
// server that turns a request PDU into a reply PDU or an exception reply.
//
// A PDU here is the function code and its data, without address, header or
// check. Every operation takes the slave's own lock, so one model may be served
// from a network thread while a test reads and sets its memory.
//
// Served functions: 1, 2 (read coils, inputs), 3, 4 (read holding, input
// registers), 5, 6 (write one coil, one register), 15, 16 (write coils,
// registers), 20 (read file records, reference type 6, and 3 for input
// registers), 21 (write file records, reference type 6, and reference type 3
// which writes input registers: file 0, record = first register - 1).
// Exceptions: 01 unknown function, 02 address or file out of range,
// 03 bad count, byte count or coil value.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    SLAVE_POINTS = 10000,       // coils, inputs, input registers, holding registers each
    SLAVE_FILES = 16,           // files 0 to 15
    SLAVE_FILE_RECORDS = 10000, // records 0 to 9999 in each file
    SLAVE_PDU_MAX = 253,        // largest PDU of a request or reply
};

// The four bit and register tables and the files, by the usual reference prefix.
enum SlaveTable {
    TABLE_COILS = 0,      // 0X
    TABLE_INPUTS = 1,     // 1X
    TABLE_INPUT_REGS = 3, // 3X
    TABLE_HOLDING = 4,    // 4X
    TABLE_FILES = 6,      // 6X
};

struct ModbusSlave;

// A new model with all memory zero; none when out of memory.
ModbusSlave *SlaveCreate(void);
void SlaveDestroy(ModbusSlave *s);

// Serves one request PDU. Writes the reply PDU (or the exception reply:
// function | 0x80, code) to reply, which has room for SLAVE_PDU_MAX bytes,
// and returns its length. A request of length 0 returns 0 (nothing to answer).
int SlaveServe(ModbusSlave *s, const uint8_t *request, int length, uint8_t *reply);

// Direct memory access for tests and simulator commands. first is the 0-based
// point (PDU address); bits read and set as 0 or 1. For TABLE_FILES, file
// selects the file and first is the record number; other tables ignore file.
// Both return the number of values moved, 0 when the range is outside the model.
int SlaveGet(ModbusSlave *s, int table, int file, int first, int count, uint16_t *values);
int SlaveSet(ModbusSlave *s, int table, int file, int first, int count, const uint16_t *values);

// Number of requests served (including exception replies) since creation.
unsigned long SlaveRequests(ModbusSlave *s);

// One line of the simulators' text command language, answered into out
// (NUL-terminated, at most room bytes, no newline):
//   get 4x N COUNT           -> "OK v1 v2 ..."   (tables 0x 1x 3x 4x; N is 1-based)
//   set 4x N V1 [V2 ...]     -> "OK"
//   get 6x FILE RECORD COUNT -> "OK v1 v2 ..."   (records are numbered from 0)
//   set 6x FILE RECORD V1 [V2 ...] -> "OK"
//   count                    -> "OK <requests served>"
// Values are decimal or 0x-prefixed hexadecimal. Anything else: "ERR <reason>".
// Returns 1 for OK, 0 for ERR.
int SlaveCommand(ModbusSlave *s, const char *line, char *out, size_t room);
