// The serial port record shared by the port's files: the timing state and the
// started write are the same on every system (serial_wait.h decides on them);
// the handles are the system's. POSIX: serial.cpp (names, open, settings) and
// serial_io.cpp (paced writes, reads, the reader wait); Win32:
// serial_win32.cpp and serial_io_win32.cpp.
#pragma once
#include "platform/serial.h"
#include "platform/serial_wait.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

struct SerialPort {
#ifdef _WIN32
    HANDLE handle = INVALID_HANDLE_VALUE; // opened overlapped
    HANDLE stopEvent = nullptr;           // manual reset, stays signalled once stopped
    HANDLE nudgeEvent =
        nullptr;                // auto reset: a write was started, the wait recomputes its deadline
    HANDLE readEvent = nullptr; // manual reset events of the three overlapped records
    HANDLE writeEvent = nullptr;
    HANDLE commEvent = nullptr;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{}; // under the lock
    OVERLAPPED commOverlapped{};  // WaitCommEvent (the reader thread only)
    DWORD commMask = 0;
    bool writeInFlight = false; // a WriteFile has not completed (under the lock)
    bool readInFlight = false;  // a ReadFile into readBuf has not completed (reader thread)
    bool commInFlight = false;  // a WaitCommEvent has not completed (reader thread)
    bool inputEmpty = false;    // the last read found nothing: wait for EV_RXCHAR
    uint8_t readBuf[SERIAL_MAX_TRANSFER]; // the system reads here, the wait copies out
#else
    int fd = -1;
    int stopFd = -1;  // eventfd, stays readable once stopped
    int nudgeFd = -1; // eventfd, a write was started: the wait recomputes its deadline
    bool pty = false; // no output queue to drain
#endif
    std::atomic<bool> stopped{false};
    std::atomic<bool> hungUp{false};
    std::atomic<int> intervalMs{20};
    int rtsMode = SERIAL_RTS_HELD; // set before the port is used by two threads
    // What SerialPortClose puts back: the line settings found at open (none
    // for an attached fd), and RS-485 mode off when the port turned it on.
    struct SavedLine *savedLine = nullptr; // serial.cpp
    bool rs485TurnedOn = false;

    std::mutex lock;                // pacing, the started write and its timing
    std::atomic<int64_t> charNs{0}; // also read without the lock (SerialPortCharTime)
    int64_t lineFreeAt = 0;
    uint8_t writeBuf[SERIAL_MAX_TRANSFER];
    SerialWaitState wait; // the reader thread's read and the started write
};

// Raises or drops RTS while the port toggles it itself (SERIAL_RTS_TOGGLE_PORT);
// nothing otherwise.
void SerialRtsForWrite(SerialPort *p, bool on);
// Books n bytes on the line after what is already going out; the time the
// last of them would have left the wire. Under the lock.
int64_t SerialBookLine(SerialPort *p, int n);
// Pacing for baud and bits per character (start and stop bits included).
void SerialSetPacingLocked(SerialPort *p, int baud, int bitsPerChar);

#ifndef _WIN32
// Sets a rate that has no speed code (serial_baud.cpp), leaving the other
// line settings as they are; 1 when the device took the request.
int SerialSetOtherBaud(int fd, int baud);
// The rate the device says it sends at, in baud, and the one it receives at
// in *input (may be null); 0 when it cannot be asked. A UART that cannot make
// the rate asked for reports the one it chose.
int SerialBaudInForce(int fd, int *input);
#endif
