// Serial ports on Win32: port names, open, line settings through the device
// control block, RTS, close and stop. The transfers are in serial_io_win32.cpp.
#include "platform/serial_dcb.h"
#include "platform/serial_name.h"
#include "platform/serial_port.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <timeapi.h>

static_assert(SERIAL_DCB_NOPARITY == NOPARITY && SERIAL_DCB_ODDPARITY == ODDPARITY &&
                  SERIAL_DCB_EVENPARITY == EVENPARITY && SERIAL_DCB_MARKPARITY == MARKPARITY &&
                  SERIAL_DCB_SPACEPARITY == SPACEPARITY,
              "parity codes");
static_assert(SERIAL_DCB_ONESTOPBIT == ONESTOPBIT && SERIAL_DCB_TWOSTOPBITS == TWOSTOPBITS,
              "stop bit codes");
static_assert(SERIAL_DCB_DTR_ENABLE == DTR_CONTROL_ENABLE &&
                  SERIAL_DCB_RTS_DISABLE == RTS_CONTROL_DISABLE &&
                  SERIAL_DCB_RTS_ENABLE == RTS_CONTROL_ENABLE &&
                  SERIAL_DCB_RTS_TOGGLE == RTS_CONTROL_TOGGLE,
              "modem line codes");

namespace {

void FromSystem(const DCB &s, SerialDcb *d) {
    d->baudRate = s.BaudRate;
    d->byteSize = s.ByteSize;
    d->parity = s.Parity;
    d->stopBits = s.StopBits;
    d->binary = s.fBinary;
    d->parityCheck = s.fParity;
    d->outxCtsFlow = s.fOutxCtsFlow;
    d->outxDsrFlow = s.fOutxDsrFlow;
    d->dtrControl = (uint8_t)s.fDtrControl;
    d->dsrSensitivity = s.fDsrSensitivity;
    d->txContinueOnXoff = s.fTXContinueOnXoff;
    d->outX = s.fOutX;
    d->inX = s.fInX;
    d->nulStrip = s.fNull;
    d->rtsControl = (uint8_t)s.fRtsControl;
    d->abortOnError = s.fAbortOnError;
}

void ToSystem(const SerialDcb &d, DCB *s) {
    s->BaudRate = d.baudRate;
    s->ByteSize = d.byteSize;
    s->Parity = d.parity;
    s->StopBits = d.stopBits;
    s->fBinary = d.binary;
    s->fParity = d.parityCheck;
    s->fOutxCtsFlow = d.outxCtsFlow;
    s->fOutxDsrFlow = d.outxDsrFlow;
    s->fDtrControl = d.dtrControl;
    s->fDsrSensitivity = d.dsrSensitivity;
    s->fTXContinueOnXoff = d.txContinueOnXoff;
    s->fOutX = d.outX;
    s->fInX = d.inX;
    s->fNull = d.nulStrip;
    s->fRtsControl = d.rtsControl;
    s->fAbortOnError = d.abortOnError;
}

// Reads the port's control block, lets change fill the fields and writes it
// back; false when the port refuses.
template <typename Change> bool ChangeDcb(SerialPort *p, SerialDcb *fields, Change change) {
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p->handle, &dcb))
        return false;
    FromSystem(dcb, fields);
    change(fields);
    ToSystem(*fields, &dcb);
    return SetCommState(p->handle, &dcb) != 0;
}

bool SetReadTimeouts(HANDLE h) {
    COMMTIMEOUTS t;
    if (!GetCommTimeouts(h, &t))
        return false;
    SerialReadTimeouts r = SerialReadTimeoutsAtOnce();
    t.ReadIntervalTimeout = r.interval;
    t.ReadTotalTimeoutMultiplier = r.multiplier;
    t.ReadTotalTimeoutConstant = r.constant;
    return SetCommTimeouts(h, &t) != 0;
}

void CloseEvent(HANDLE *e) {
    if (*e)
        CloseHandle(*e);
    *e = nullptr;
}

void PortFree(SerialPort *p) {
    if (p->handle != INVALID_HANDLE_VALUE)
        CloseHandle(p->handle);
    CloseEvent(&p->stopEvent);
    CloseEvent(&p->nudgeEvent);
    CloseEvent(&p->readEvent);
    CloseEvent(&p->writeEvent);
    CloseEvent(&p->commEvent);
    delete p;
}

// Waits for an overlapped operation that was cancelled to end, so that the
// system no longer writes into the record and its buffer.
void Settle(SerialPort *p, OVERLAPPED *o, bool *inFlight) {
    if (!*inFlight)
        return;
    DWORD n = 0;
    GetOverlappedResult(p->handle, o, &n, TRUE);
    *inFlight = false;
}

} // namespace

int SerialPortPathIn(const char *name, const char *, char *path, int size) {
    if (!name || !path || size < 2)
        return 0;
    if (strncmp(name, "\\\\.\\", 4) == 0)
        return snprintf(path, (size_t)size, "%s", name) < size;
    int number = SerialComNumber(name);
    if (number < 1)
        return 0;
    return snprintf(path, (size_t)size, "\\\\.\\COM%d", number) < size;
}

SerialPort *SerialPortOpen(const char *name) {
    char path[MAX_PATH];
    if (!SerialPortPath(name, path, sizeof path))
        return nullptr;
    SerialPort *p = new (std::nothrow) SerialPort();
    if (!p)
        return nullptr;
    p->handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING, nullptr);
    p->stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    p->nudgeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    p->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    p->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    p->commEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (p->handle == INVALID_HANDLE_VALUE || !p->stopEvent || !p->nudgeEvent || !p->readEvent ||
        !p->writeEvent || !p->commEvent) {
        PortFree(p);
        return nullptr;
    }
    p->readOverlapped.hEvent = p->readEvent;
    p->writeOverlapped.hEvent = p->writeEvent;
    p->commOverlapped.hEvent = p->commEvent;
    SerialDcb fields;
    // Not a serial device (a file, a console) when it has no control block.
    if (!ChangeDcb(p, &fields, SerialDcbForOpen) || !SetReadTimeouts(p->handle) ||
        !SetCommMask(p->handle, EV_RXCHAR)) {
        PortFree(p);
        return nullptr;
    }
    SerialSetPacingLocked(p, 9600, SerialDcbBitsPerChar(fields));
    // The waits end to the millisecond while a port is open, as the quiet
    // interval and the paced writes need (the system's tick is 15.6 ms).
    timeBeginPeriod(1);
    return p;
}

void SerialPortClose(SerialPort *p) {
    if (!p)
        return;
    CancelIoEx(p->handle, nullptr);
    Settle(p, &p->readOverlapped, &p->readInFlight);
    Settle(p, &p->commOverlapped, &p->commInFlight);
    Settle(p, &p->writeOverlapped, &p->writeInFlight);
    PortFree(p);
    timeEndPeriod(1);
}

int SerialPortConfigure(SerialPort *p, int baud, int parity, int stopBits, int dataBits) {
    if (!p || baud <= 0)
        return 0;
    SerialDcb fields;
    bool took = ChangeDcb(p, &fields, [&](SerialDcb *d) {
        SerialDcbForSettings(d, baud, parity, stopBits, dataBits);
    });
    if (!took) {
        // The pacing follows what was asked for even when the port refused.
        SerialDcbForSettings(&fields, baud, parity, stopBits, dataBits);
    }
    std::lock_guard<std::mutex> guard(p->lock);
    SerialSetPacingLocked(p, baud, SerialDcbBitsPerChar(fields));
    return took ? 1 : 0;
}

void SerialPortSetRtsToggle(SerialPort *p, bool on) {
    if (!p)
        return;
    SerialDcb fields;
    if (!on) {
        ChangeDcb(p, &fields, [](SerialDcb *d) { SerialDcbForRts(d, SERIAL_RTS_HELD); });
        p->rtsMode = SERIAL_RTS_HELD;
        return;
    }
    // The driver toggles RTS itself where it can; else the port does it.
    if (ChangeDcb(p, &fields, [](SerialDcb *d) { SerialDcbForRts(d, SERIAL_RTS_TOGGLE_LINE); })) {
        p->rtsMode = SERIAL_RTS_TOGGLE_LINE;
        return;
    }
    ChangeDcb(p, &fields, [](SerialDcb *d) { SerialDcbForRts(d, SERIAL_RTS_TOGGLE_PORT); });
    p->rtsMode = SERIAL_RTS_TOGGLE_PORT;
    SerialRtsForWrite(p, false);
}

void SerialRtsForWrite(SerialPort *p, bool on) {
    if (p->rtsMode != SERIAL_RTS_TOGGLE_PORT)
        return;
    EscapeCommFunction(p->handle, on ? SETRTS : CLRRTS);
}

void SerialPortStop(SerialPort *p) {
    p->stopped = true;
    SetEvent(p->stopEvent);
}
