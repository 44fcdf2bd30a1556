// Data files: the hex, binary and decimal record formats that load reads,
// unload writes and record length conversion rewrites.
//
// A data file is records of L registers one after the other:
//   .HEX  each register as four characters 0-9 A-F a-f or "-" (the minus
//         takes one place and negates); anything else between them is skipped
//   .BIN  L little-endian 16-bit words, nothing between records
//   .DEC  each register as a run of digits, any "-" in it negates, ended by
//         the first other character or the end of the data
// Bit 7 of every text byte is cleared first; values wrap to 16 bits. The
// writers put "%04X" or the unsigned decimal value with "," between the
// registers and CR LF after the last; binary records as little-endian words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Where a reader takes its bytes from: a file, or bytes in memory.
struct DataReader {
    FILE *file;           // read from this file when set
    const uint8_t *bytes; // otherwise from these bytes
    size_t size;
    size_t pos;
    bool failed; // the file could not be read (not its end)
};

// A reader over a file opened for binary reading.
DataReader FileReader(FILE *f);
// A reader over size bytes in memory.
DataReader MemoryReader(const uint8_t *bytes, size_t size);

// The next byte, or -1 at the end; -1 with failed set on a read error.
int ReaderByte(DataReader *r);

// Reads one text register in radix 16 or 10 into *value; false when the
// data ends first (*value is then untouched). A decimal number whose digits
// run to the end of the data ends there.
bool ReadTextRegister(DataReader *r, int radix, uint16_t *value);

// Reads one record of length registers (1 to 2039) of a data type (1 hex,
// 2 binary, 3 decimal) into record. False when the data ends before the
// record is whole (a partial record is dropped and record is left
// untouched) or cannot be read (the reader's failed is set).
bool ReadDataRecord(DataReader *r, int type, int length, uint16_t *record);

// The bytes of one record of length registers in a data type, into out
// (at most DATA_RECORD_TEXT_MAX bytes); returns the byte count.
constexpr size_t DATA_RECORD_TEXT_MAX = 2039 * 6 + 2;
size_t FormatDataRecord(int type, int length, const uint16_t *record, char *out);

// Writes one record to a file opened for binary writing; false when the
// write fails.
bool WriteDataRecord(FILE *f, int type, int length, const uint16_t *record);
