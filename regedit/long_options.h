// VELDAK's long options, for runs without the screen: a number of polls
// printed as text, CSV or JSON Lines, the type and order of the values, an
// output file and the link statistics. An argument that starts with "--" and
// has more after it is a long option; any other "-" or "/" argument is a
// switch of the classic command line, which reads "--" as the switch letter
// "-" and refuses it, so no classic command line changes meaning.
#pragma once
#include "regedit/settings.h"

#include <string>

// Takes the long option argv[*i] (its value is the next argument, or follows
// "=" in the same one); *i moves past what was used. PARSE_OK, PARSE_EXIT
// with the message in out, or PARSE_DONE after --help (the text in out) or
// --version (s->script.version set).
int TakeLongOption(int argc, const char *const *argv, int *i, RunSettings *s, std::string *out);
// Checks the long options against the rest once the whole line is read:
// options of a run of polls without --once or --count, and a register count
// that the type's registers a value do not divide. PARSE_OK or PARSE_EXIT.
int CheckLongOptions(const RunSettings *s, std::string *out);
// The long options' part of the usage text, after the classic one.
void AppendLongUsage(std::string *out);
// True when the command line asks for a run whose standard output holds data
// alone (--once, --count, --version): the banner and messages then go to
// standard error. Read before the line is parsed, so that its messages go there too.
bool DataOnStdout(int argc, const char *const *argv);
// The program's version, from the build.
const char *VeldakVersion(void);
