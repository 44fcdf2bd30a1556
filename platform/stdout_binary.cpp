// POSIX standard output has no text mode: nothing to do.
#include "platform/stdout_binary.h"

void StdoutBinary(void) {}
