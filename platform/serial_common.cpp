// Serial port settings that every system keeps the same way: pacing, the
// quiet interval, eager reads and the RTS mode.
#include "platform/serial_port.h"

#include <algorithm>

void SerialSetPacingLocked(SerialPort *p, int baud, int bitsPerChar) {
    if (baud <= 0)
        baud = 9600;
    if (bitsPerChar <= 0)
        bitsPerChar = 10;
    p->charNs = (int64_t)bitsPerChar * 1000000000 / baud;
}

int64_t SerialBookLine(SerialPort *p, int n) {
    int64_t begin = std::max(SerialNowNs(), p->lineFreeAt);
    p->lineFreeAt = begin + n * p->charNs;
    return p->lineFreeAt;
}

int SerialPortPath(const char *name, char *path, int size) {
    return SerialPortPathIn(name, nullptr, path, size);
}

void SerialPortSetPacing(SerialPort *p, int baud, int bitsPerChar) {
    std::lock_guard<std::mutex> guard(p->lock);
    SerialSetPacingLocked(p, baud, bitsPerChar);
}

void SerialPortSetEager(SerialPort *p, bool on) {
    p->wait.eager = on;
}

void SerialPortSetInterval(SerialPort *p, int ms) {
    p->intervalMs = ms < 1 ? 1 : ms;
}

int SerialPortInterval(const SerialPort *p) {
    return p->intervalMs;
}

int SerialPortCharTime(const SerialPort *p) {
    return (int)(p->charNs / 1000);
}

int SerialPortRtsMode(const SerialPort *p) {
    return p ? p->rtsMode : SERIAL_RTS_HELD;
}
