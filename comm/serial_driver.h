// The serial driver's private record: the port operations it uses, the
// reader thread, and what it keeps to open a hung-up port again exactly as
// it was opened (the port its name was found as, the settings).
#pragma once
#include "comm/comm_internal.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// The port operations of the driver: the platform's serial ports, or a test's
// recording port. nowMs is a monotonic clock in milliseconds.
struct SerialOps {
    SerialPort *(*open)(const char *path);
    void (*close)(SerialPort *p);
    int (*configure)(SerialPort *p, int baud, int parity, int stopBits, int dataBits);
    void (*setInterval)(SerialPort *p, int ms);
    void (*setEager)(SerialPort *p, bool on);
    void (*setRtsToggle)(SerialPort *p, bool on);
    void (*stop)(SerialPort *p);
    int (*writeStart)(SerialPort *p, const uint8_t *buf, int n);
    int (*wait)(SerialPort *p, uint8_t *buf, int size, int *count);
    int64_t (*nowMs)(void);
};

extern const SerialOps PlatformSerialOps;

enum {
    REOPEN_SPACING_MS = 500, // at most one open of a hung-up port in this time
};

struct SerialDriver {
    const SerialOps *ops;
    std::thread reader;
    std::string path; // the port as found at the first open ("DIR/COM1", "/dev/ttyS0")
    bool halfDuplex;  // RTS keys the transmitter (gateway and Modbus lines)
    // The settings last asked for (SetPortParams); none before the first.
    bool configured;
    int baud, parity, stopBits, dataBits;
    // The reader thread saw the line hang up; the caller's next transaction
    // opens the port again. Without a port, lastAttemptMs is the time of the
    // last open that failed.
    std::atomic<bool> hungUp;
    int64_t lastAttemptMs;
};

// Opens the driver's port and sets it up as the first open does, with the settings asked for since;
// none when it cannot.
SerialPort *SerialPortBringUp(CommHandle *h);
// Starts the reader thread on h->port; 0 when the thread cannot be made.
int SerialStartReader(CommHandle *h);
// Ends the reader thread and closes the port; the driver record stays.
void SerialStopPort(CommHandle *h);
// A handle of the serial kinds on a port opened through ops.
CommHandle *SerialOpenWith(const SerialOps *ops, const char *port, int netToNet,
                           const uint16_t *route, SerialLine line);
// 1 when the next open of a hung-up port may be tried at nowMs.
int ReopenDue(int64_t nowMs, int64_t lastAttemptMs);
