// The Windows port settings as plain values, so the rules that fill them can
// be checked on every system: the device control block fields the serial
// layer sets, and the read time-outs. serial_win32.cpp copies them to and
// from the system's DCB and COMMTIMEOUTS; the codes are the system's own.
#pragma once
#include <cstdint>

enum {
    // DCB Parity
    SERIAL_DCB_NOPARITY = 0,
    SERIAL_DCB_ODDPARITY = 1,
    SERIAL_DCB_EVENPARITY = 2,
    SERIAL_DCB_MARKPARITY = 3,
    SERIAL_DCB_SPACEPARITY = 4,
    // DCB StopBits
    SERIAL_DCB_ONESTOPBIT = 0,
    SERIAL_DCB_TWOSTOPBITS = 2,
    // DCB fDtrControl
    SERIAL_DCB_DTR_ENABLE = 1,
    // DCB fRtsControl
    SERIAL_DCB_RTS_DISABLE = 0,
    SERIAL_DCB_RTS_ENABLE = 1,
    SERIAL_DCB_RTS_TOGGLE = 3,
};

// The DCB fields the serial layer sets; the others stay as the port had them.
struct SerialDcb {
    uint32_t baudRate = 0;
    uint8_t byteSize = 0;
    uint8_t parity = 0;   // SERIAL_DCB_*PARITY
    uint8_t stopBits = 0; // SERIAL_DCB_*STOPBIT(S)
    bool binary = false;
    bool parityCheck = false; // fParity
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    uint8_t dtrControl = 0;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    bool nulStrip = false; // fNull
    uint8_t rtsControl = 0;
    bool abortOnError = false;
};

// The settings of an open: 9600 baud, 8 data bits, even parity checked, one
// stop bit, binary, output flow control by CTS (not DSR), DTR on, no DSR
// sensitivity, no XON/XOFF either way (transmit goes on after XOFF), no NUL
// stripping, no abort on error, RTS held on.
void SerialDcbForOpen(SerialDcb *d);
// Baud (any number), parity (SerialParity; other codes keep the old), stop
// bits (2 → two, else one) and data bits (5 to 8; others keep the old), as
// SerialPortConfigure takes them.
void SerialDcbForSettings(SerialDcb *d, int baud, int parity, int stopBits, int dataBits);
// RTS for a SerialRtsMode: held on, toggled by the driver around each
// transmission, or left to the port (raised and dropped by hand).
void SerialDcbForRts(SerialDcb *d, int rtsMode);
// Bits a character takes on the wire: start, data, parity and stop bits.
int SerialDcbBitsPerChar(const SerialDcb &d);

// The read time-outs of COMMTIMEOUTS; the write time-outs stay as they are.
struct SerialReadTimeouts {
    uint32_t interval;
    uint32_t multiplier;
    uint32_t constant;
};
// A read returns at once with the bytes already in, even none: the reader
// thread learns of new bytes from the port's EV_RXCHAR event and times the
// quiet line itself (serial_wait.h), so bytes reach the framers as they come.
SerialReadTimeouts SerialReadTimeoutsAtOnce();

// How an overlapped operation's error code is taken.
enum {
    SERIAL_WIN_PENDING = 0, // still going (ERROR_IO_PENDING, ERROR_IO_INCOMPLETE)
    SERIAL_WIN_HUNGUP = 1,  // the port is gone or failed: reported as a hang-up
};
int SerialWinErrorKind(uint32_t error);
