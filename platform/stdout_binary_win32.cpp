// Windows standard output turns LF into CR LF in text mode; binary mode
// leaves the bytes alone.
#include "platform/stdout_binary.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

void StdoutBinary(void) {
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}
