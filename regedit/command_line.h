// VELDAK's command line: switches, target, route and the usage text. Every
// function here is pure: messages are appended to an output text that the
// program prints on standard output before its screen starts.
#pragma once
#include "regedit/settings.h"

#include <string>

// PARSE_EXIT ends the run with status 1; PARSE_DONE (--help, --version) with 0.
enum ParseResult { PARSE_OK = 0, PARSE_EXIT = 1, PARSE_DONE = 2 };

// The banner printed first by every run.
void AppendBanner(std::string *out);
// The usage text of -? and -H.
void AppendUsage(std::string *out);
// Scans argv[1..argc-1] left to right into s (which holds the defaults);
// long options (long_options.h) mix with the rest. PARSE_EXIT means the run
// ends with status 1 after printing out, PARSE_DONE with status 0.
int ParseArguments(int argc, const char *const *argv, RunSettings *s, std::string *out);
// Reads a route text ("1 2", "1,2") into route[0] = drop count, then the drops.
int ParseRoute(const char *text, uint16_t *route, std::string *out);
// A number as the switches read it: optional sign, then decimal (or hex)
// digits; a value beyond 32 bits saturates; a negative value wraps to unsigned.
unsigned ParseSwitchNumber(const char *text, bool hex);
// Copies a line typed at the prompt into target: the line end goes, a longer
// line is cut to the text size.
void TakeTargetLine(const char *line, RunSettings *s);
