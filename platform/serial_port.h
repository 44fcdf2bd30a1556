// The serial port record shared by the port's two files: serial.cpp (names,
// open, settings) and serial_io.cpp (paced writes, reads, the reader wait).
#pragma once
#include "platform/serial.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

struct SerialPort {
    int fd = -1;
    int stopFd = -1;  // eventfd, stays readable once stopped
    int nudgeFd = -1; // eventfd, a write was started: the wait recomputes its deadline
    bool pty = false; // no output queue to drain
    std::atomic<bool> stopped{false};
    std::atomic<bool> hungUp{false};
    bool hangReported = false;
    std::atomic<int> intervalMs{20};
    int rtsMode = SERIAL_RTS_HELD; // set before the port is used by two threads
    // What SerialPortClose puts back: the line settings found at open (none
    // for an attached fd), and RS-485 mode off when the port turned it on.
    struct SavedLine *savedLine = nullptr; // serial.cpp
    bool rs485TurnedOn = false;

    std::mutex lock;                // pacing and the started write
    std::atomic<int64_t> charNs{0}; // also read without the lock (SerialPortCharTime)
    int64_t lineFreeAt = 0;
    uint8_t writeBuf[SERIAL_MAX_TRANSFER];
    int writeLength = 0;
    int writeHanded = 0; // bytes the system has taken
    bool writing = false;
    int64_t writeDueAt = 0;

    // The reader thread's read in progress (SerialPortWait only).
    int readCount = 0;
    int64_t lastByteAt = 0;
    bool eager = false;        // bytes are reported as they arrive, the quiet after them too
    bool quietPending = false; // bytes were reported and the line has not been quiet since
};

// Monotonic time in nanoseconds.
inline int64_t SerialNowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

// Raises or drops RTS while the port toggles it itself (SERIAL_RTS_TOGGLE_PORT);
// nothing otherwise.
void SerialRtsForWrite(SerialPort *p, bool on);

// Sets a rate that has no speed code (serial_baud.cpp), leaving the other
// line settings as they are; 1 when the device took the request.
int SerialSetOtherBaud(int fd, int baud);
// The rate the device says it sends at, in baud, and the one it receives at
// in *input (may be null); 0 when it cannot be asked. A UART that cannot make
// the rate asked for reports the one it chose.
int SerialBaudInForce(int fd, int *input);
