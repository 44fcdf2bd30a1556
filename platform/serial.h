// Serial ports: open a COM port by name, set its line settings, and move
// bytes with the timing of a real line.
//
// Every write is paced: it counts as finished only when its bytes would have
// left the wire at the port's baud rate and framing (start + data + parity +
// stop bits per character), so a pty behaves like a cable. Reads end when the
// asked-for number of bytes has arrived or the line has been quiet for the
// inter-character interval after at least one byte (timed with poll(), to the
// millisecond).
//
// Two ways of use:
// - the communications library's reader thread: SerialPortWriteStart from any
//   thread, SerialPortWait on the reader thread (reports read completions,
//   write completions, hang-up and stop);
// - simulators and tests on a pty master: SerialPortAttach, then the blocking
//   SerialPortWrite and SerialPortRead, and SerialPortStop to end them. These
//   are POSIX only: the simulators and their tests stay Linux programs.
// A port that hangs up (pty peer closed, adapter pulled: on Win32 an
// overlapped operation that fails) is reported once and
// then never polled again, so no caller spins on it.
#pragma once
#include <cstdint>

struct SerialPort;

enum {
    SERIAL_MAX_TRANSFER = 512, // largest read size and write accepted at once
    // Results of SerialPortRead and SerialPortWrite.
    SERIAL_TIMEOUT = 0,  // nothing arrived within the overall timeout
    SERIAL_HUNGUP = -1,  // the line is gone (POLLHUP, EIO) or an I/O error
    SERIAL_STOPPED = -2, // SerialPortStop was called
    // Events of SerialPortWait.
    SERIAL_EV_READ = 1,    // a read finished: *count bytes are in the buffer
    SERIAL_EV_WRITTEN = 2, // the started write has left the wire: *count bytes
    SERIAL_EV_HUNGUP = 3,  // the line hung up (reported once)
    SERIAL_EV_STOP = 4,    // SerialPortStop was called
    SERIAL_EV_QUIET = 5,   // eager ports: the line has been quiet for the interval since
                           // the last bytes reported
};

// How RTS is driven (SerialPortSetRtsToggle, SerialPortRtsMode).
enum SerialRtsMode {
    SERIAL_RTS_HELD = 0,        // on while the port is open
    SERIAL_RTS_TOGGLE_LINE = 1, // the line driver raises it while sending (RS-485 mode)
    SERIAL_RTS_TOGGLE_PORT = 2, // raised before each write, dropped once it has drained
};

// Parity codes of SerialPortConfigure.
enum SerialParity {
    PARITY_NONE = 0,
    PARITY_EVEN = 1,
    PARITY_ODD = 2,
    PARITY_SPACE = 3,
    PARITY_MARK = 4,
};

// Opens a port by name (first 7 characters of "COMn:", any case; see
// SerialComNumber). POSIX: "COMn:" means a file or symlink named COMn in the
// current directory when there is one (point it at /dev/ttyUSB0 or a pty
// slave), else /dev/ttyS<n-1>; a name beginning with "/" is a device path used
// as is; opened exclusively (TIOCEXCL). Win32: "COMn:" is \\.\COMn, so COM10
// and above work; a name beginning with \\.\ is used as is; opened
// overlapped and not shared. Raw, 9600 baud, 8 data bits, even parity, one
// stop bit, CTS output flow control, DTR on, inter-character interval 20 ms.
// None when it cannot be opened or is not a serial device.
SerialPort *SerialPortOpen(const char *name);
// Resolves a port name as SerialPortOpen does into path (size bytes); 0 when
// the name is not a port name.
int SerialPortPath(const char *name, char *path, int size);
// SerialPortPath with "COMn:" looked for in the directory base (null or "":
// the current one); a file found there is given as base/COMn. Win32 has no
// such files: the base is not looked at.
int SerialPortPathIn(const char *name, const char *base, char *path, int size);
#ifndef _WIN32
// Wraps an open fd (a pty master) with the same pacing and read semantics,
// 8 data bits, no parity, one stop bit at baud. Puts the line in raw mode
// where it can. The port owns the fd from then on (SerialPortClose closes it).
// Note: a pty master reports hang-up while no slave fd is open.
SerialPort *SerialPortAttach(int fd, int baud);
#endif
// Puts back the line settings SerialPortOpen found, and turns RS-485 mode off
// again when the port turned it on; then closes the port and frees it. No
// other thread may be using it.
void SerialPortClose(SerialPort *p);

// Sets baud, parity (SerialParity; other codes keep the old parity), stop
// bits (2 → two, else one) and data bits (5 to 8; others keep the old), and
// the pacing that goes with them. Any rate may be asked for: one without a
// speed code of its own (135, 7200, 14400 ...) is set by number. Parity, bits
// and pacing are set even when the device refuses the rate, or runs at another
// one because it cannot make it (more than 2 % off); the result is then 0, as
// it is when a device drops the parity or data bits asked for. A pty ignores
// parity and data bits and takes any rate. 0 also for a rate of 0 or below,
// which changes nothing.
int SerialPortConfigure(SerialPort *p, int baud, int parity, int stopBits, int dataBits);
// Toggles RTS around transmission (on) or holds it on (off), for a
// half-duplex line whose transmitter RTS keys. The line driver's RS-485 mode
// (Win32: RTS_CONTROL_TOGGLE) is used where the driver has it; else the port
// raises RTS before each write and drops it once the write has drained. Call
// before the port is in use.
void SerialPortSetRtsToggle(SerialPort *p, bool on);
// The way RTS is driven now (SerialRtsMode).
int SerialPortRtsMode(const SerialPort *p);
// Sets only the pacing (no terminal settings): baud and bits per character
// including start and stop bits (10 for 8N1, 11 for 8E1).
void SerialPortSetPacing(SerialPort *p, int baud, int bitsPerChar);
// Eager reads (on) for SerialPortWait: bytes are reported as soon as they are
// in, and the end of the quiet interval after them as SERIAL_EV_QUIET. Off, a
// read is reported when it is full or the line has been quiet for the
// interval. Call before the port is in use.
void SerialPortSetEager(SerialPort *p, bool on);
// Sets the inter-character interval that ends a read, in milliseconds (≥ 1).
// Both systems time it themselves (serial_wait.h); on Win32 the port's reads
// return at once and EV_RXCHAR tells of new bytes.
void SerialPortSetInterval(SerialPort *p, int ms);
// The inter-character interval in milliseconds.
int SerialPortInterval(const SerialPort *p);
// Microseconds one character takes on the wire.
int SerialPortCharTime(const SerialPort *p);

#ifndef _WIN32
// The file descriptor (for tests).
int SerialPortFd(const SerialPort *p);
// Blocking read: waits up to timeoutMs (-1: without limit) for the first
// byte, then goes on until size bytes or the interval passes quiet. Returns
// the count, SERIAL_TIMEOUT, SERIAL_HUNGUP or SERIAL_STOPPED (bytes already
// read are returned first). While the line is hung up (a pty master with no
// slave open) it checks again every 10 ms, so a peer that opens later is
// served; SERIAL_HUNGUP only when the timeout ends with the line still down.
int SerialPortRead(SerialPort *p, uint8_t *buf, int size, int timeoutMs);
// Blocking paced write: returns n once the bytes would have left the wire,
// SERIAL_HUNGUP or SERIAL_STOPPED.
int SerialPortWrite(SerialPort *p, const uint8_t *buf, int n);
#endif
// Wakes every blocked read, write and wait on the port; from then on they
// return SERIAL_STOPPED / SERIAL_EV_STOP at once. Safe from any thread.
void SerialPortStop(SerialPort *p);

// Starts a write of n (≤ SERIAL_MAX_TRANSFER) bytes without blocking: the
// bytes are copied and handed to the system as it takes them; SerialPortWait
// reports SERIAL_EV_WRITTEN when they would have left the wire. One write at a
// time. 0 when the line has hung up or a write is already outstanding.
int SerialPortWriteStart(SerialPort *p, const uint8_t *buf, int n);
// The reader thread's wait: keeps one read of size bytes going into buf
// (bytes are added across calls until the read finishes; pass the same buf and
// size each time) and returns the first of: SERIAL_EV_STOP, SERIAL_EV_HUNGUP
// (once), SERIAL_EV_READ, SERIAL_EV_WRITTEN, with *count the bytes read or
// written. An eager port finishes a read with whatever has arrived and reports
// SERIAL_EV_QUIET (count 0) once the line has been quiet for the interval after
// it, also just before a hang-up. Must be called from one thread only.
int SerialPortWait(SerialPort *p, uint8_t *buf, int size, int *count);
