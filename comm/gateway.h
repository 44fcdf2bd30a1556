// The gateway dialogue's line building and parsing, apart from the port so
// that tests and the fuzzer can drive them directly.
#pragma once
#include <cstdint>

struct CommHandle;

enum {
    GATEWAY_LAST_REGISTER = 8192, // the gateway serves registers 1 to 8192
    GATEWAY_LINE_MAX = 263,       // a command line, CR included
    GATEWAY_BAD_REPLIES_MAX = 16, // wrong lines accepted while waiting for a CR
};

// Selects the handle's route with "A" unless the gateway already has it.
int GatewaySelectRoute(CommHandle *h);
// "A" followed by " %d" per drop and CR; returns the length.
int GatewayFormatRoute(char *line, int dropCount, const uint16_t *drops);
// "W start v1 v2 ... CR" with as many of the count values as fit in one line;
// *used gets how many went in. Returns the length.
int GatewayFormatWrite(char *line, int start, int count, const uint16_t *values, int *used);
// The decimal numbers of a reply line, at most count of them; returns how many.
int GatewayParseValues(const uint8_t *line, int length, int count, uint16_t *values);
