// The printed forms of a poll for runs without the screen: CSV rows (RFC
// 4180) under a header in the view's register notation, JSON Lines objects,
// text lines in the screen's columns, UTC times, and the statistics line.
// Pure functions: every line is built whole before it is written.
#pragma once
#include "comm/comm.h"
#include "regedit/settings.h"

#include <cstdint>
#include <string>

// One poll as read.
struct PollRecord {
    int64_t timeMs;         // the poll's start, ms since 1970-01-01 UTC
    long start;             // first register (reference, record) read
    int count;              // registers (bit views: references) read
    const uint16_t *values; // count words; bit views: one 0/1 entry per reference
    bool valuesOk;          // the values read succeeded
    int statusCount;        // status words the poll reads (0: none in this view)
    const uint16_t *status; // statusCount words
    bool statusOk;          // the status read succeeded
    const char *error;      // the failure's text, or null when the poll succeeded
};

// "2026-01-31T23:59:59.123Z".
std::string UtcTimeText(int64_t ms);
// A CSV field: as it is, or in double quotes (quotes doubled) when it holds a
// comma, a quote, a CR or an LF.
std::string CsvField(const std::string &text);
// A JSON string with its quotes; control characters and bytes above 0x7E escaped.
std::string JsonString(const std::string &text);
// Register reg of the view in its notation: 40001 (4X), 00001 (0X), 10001
// (1X), 30001 (3X), six digits from 10000 on; 6:FILE:RECORD for 6X.
std::string RegisterName(RegisterView view, int file6X, long reg);

// The CSV header: time, start, one column per value, the status words, error.
std::string CsvHeader(const RunSettings *s, const PollRecord &p);
std::string CsvRow(const RunSettings *s, const PollRecord &p);
std::string JsonLine(const RunSettings *s, const PollRecord &p);
// One line per value: the screen's register, HEX, UNSIGN, SIGNED and STAT
// columns for 16-bit types; the register and the value for wider ones; on
// failure "ERROR" and the error text.
std::string TextLines(const RunSettings *s, const PollRecord &p);

// "VELDAK statistics: sent=.. received=.. ... loss=..%", with a line end.
std::string StatsLine(const CommStats &st);
