// A run of polls without the screen: --once or --count polls of the view, at
// the interval, printed in the chosen format to standard output or a file.
//
// A poll is the screen's poll cycle without drawing: the view's read of the
// register count, then the status words where the screen reads them (4X
// without -S). Each poll's lines are written whole and flushed. A stop
// request (SIGINT, SIGTERM) ends the run between polls; one that comes during
// a poll's wait ends the wait, and that unfinished poll is not printed.
#pragma once
#include "regedit/settings.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct CommHandle;

// Opens the output: the file (appended to) or standard output. *header says
// whether a CSV header is due: standard output, or a file new or empty.
// None with the message in out when the file cannot be opened.
FILE *ScriptOpenOutput(const RunSettings *s, bool *header, std::string *out);
// The polls on the open handle; the run's exit status: 0 every poll
// succeeded, 2 one failed (or the output could not be written).
int RunScript(const RunSettings *s, CommHandle *h, FILE *out, bool header);
// Reads count values of the view from start (bit views: packed words).
int ReadView(CommHandle *h, RegisterView view, int file6X, long start, int count, uint16_t *values);
