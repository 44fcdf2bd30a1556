// Serial port transfers on Win32: paced overlapped writes, reads of what has
// arrived, and the reader thread's wait for whichever of read, write, hang-up
// or stop comes first. The port's reads return at once (serial_dcb.h); the
// reader learns of new bytes from WaitCommEvent(EV_RXCHAR), and the shared
// decision (serial_wait.h) times the quiet line and the write's due time.
#include "platform/serial_dcb.h"
#include "platform/serial_port.h"

#include <cstring>

namespace {

bool Pending(DWORD error) {
    return SerialWinErrorKind(error) == SERIAL_WIN_PENDING;
}

// Hands the bytes of the started write the system has not taken yet. Under
// the lock; false when the port is gone.
bool StartWrite(SerialPort *p) {
    SerialWaitState &w = p->wait;
    // Done at once or not, the write's event says so and the completion is
    // taken there.
    if (!WriteFile(p->handle, p->writeBuf + w.writeHanded, (DWORD)(w.writeLength - w.writeHanded),
                   nullptr, &p->writeOverlapped) &&
        !Pending(GetLastError()))
        return false;
    p->writeInFlight = true;
    return true;
}

// Takes the completion of the write; under the lock. A write that ended
// early (the port's write time-out) goes on with the rest.
bool FinishWrite(SerialPort *p) {
    DWORD n = 0;
    if (!GetOverlappedResult(p->handle, &p->writeOverlapped, &n, FALSE)) {
        if (Pending(GetLastError()))
            return true;
        p->writeInFlight = false;
        return false;
    }
    p->writeInFlight = false;
    SerialWaitState &w = p->wait;
    w.writeHanded += (int)n;
    if (w.writeHanded > w.writeLength)
        w.writeHanded = w.writeLength;
    return w.writeHanded == w.writeLength || StartWrite(p);
}

// Reads what has arrived into buf (the port's time-outs end the read at
// once); false when the port is gone.
bool ReadArrived(SerialPort *p, uint8_t *buf, int room, int *got) {
    *got = 0;
    if (room <= 0)
        return true;
    DWORD n = 0;
    if (!ReadFile(p->handle, buf, (DWORD)room, nullptr, &p->readOverlapped) &&
        !Pending(GetLastError()))
        return false;
    if (!GetOverlappedResult(p->handle, &p->readOverlapped, &n, TRUE))
        return false;
    *got = (int)n;
    return true;
}

// Starts the wait for received characters; false when the port is gone.
bool StartCommWait(SerialPort *p) {
    p->commMask = 0;
    if (!WaitCommEvent(p->handle, &p->commMask, &p->commOverlapped) && !Pending(GetLastError()))
        return false;
    p->commInFlight = true;
    return true;
}

bool FinishCommWait(SerialPort *p) {
    DWORD n = 0;
    if (!GetOverlappedResult(p->handle, &p->commOverlapped, &n, FALSE)) {
        if (Pending(GetLastError()))
            return true;
        p->commInFlight = false;
        return false;
    }
    p->commInFlight = false;
    return true;
}

// Bytes waiting in the port's input (in) or output (out) queue.
DWORD Queued(SerialPort *p, bool in) {
    DWORD errors = 0;
    COMSTAT stat;
    memset(&stat, 0, sizeof stat);
    if (!ClearCommError(p->handle, &errors, &stat))
        return 0;
    return in ? stat.cbInQue : stat.cbOutQue;
}

DWORD Milliseconds(int64_t until) {
    if (until == SERIAL_FOREVER)
        return INFINITE;
    int64_t span = until - SerialNowNs();
    if (span <= 0)
        return 0;
    return (DWORD)((span + 999999) / 1000000);
}

} // namespace

int SerialPortWriteStart(SerialPort *p, const uint8_t *buf, int n) {
    if (n <= 0 || n > SERIAL_MAX_TRANSFER)
        return 0;
    {
        std::lock_guard<std::mutex> guard(p->lock);
        SerialWaitState &w = p->wait;
        if (p->hungUp || p->stopped || w.writing || p->writeInFlight)
            return 0;
        memcpy(p->writeBuf, buf, (size_t)n);
        w.writeLength = n;
        w.writeHanded = 0;
        w.writing = true;
        w.writeDueAt = SerialBookLine(p, n);
        SerialRtsForWrite(p, true);
        if (!StartWrite(p)) {
            w.writing = false;
            p->hungUp = true;
        }
    }
    SetEvent(p->nudgeEvent);
    return p->hungUp ? 0 : 1;
}

int SerialPortWait(SerialPort *p, uint8_t *buf, int size, int *count) {
    *count = 0;
    for (;;) {
        SerialWaitFacts f;
        f.now = SerialNowNs();
        f.intervalNs = (int64_t)p->intervalMs * 1000000;
        f.size = size;
        f.stopped = p->stopped;
        f.hungUp = p->hungUp;
        f.inputWaiting = SerialWaitNeedsInput(p->wait, f) && Queued(p, true) > 0;
        SerialWaitStep step;
        bool writeInFlight;
        {
            std::lock_guard<std::mutex> guard(p->lock);
            f.outputQueued = SerialWaitNeedsOutput(p->wait, f) && Queued(p, false) > 0;
            step = SerialWaitDecide(&p->wait, f);
            if (step.event == SERIAL_EV_WRITTEN)
                SerialRtsForWrite(p, false);
            writeInFlight = p->writeInFlight;
        }
        if (step.event) {
            *count = step.count;
            return step.event;
        }
        SerialWaitState &w = p->wait;
        if (step.watchLine) {
            int got = 0;
            if (!ReadArrived(p, buf + w.readCount, size - w.readCount, &got)) {
                p->hungUp = true;
                continue;
            }
            if (got > 0) {
                w.readCount += got;
                w.lastByteAt = SerialNowNs();
                continue;
            }
            if (!p->commInFlight && !StartCommWait(p)) {
                p->hungUp = true;
                continue;
            }
        }
        HANDLE events[4] = {p->stopEvent, p->nudgeEvent};
        DWORD n = 2;
        DWORD comm = MAXDWORD, write = MAXDWORD;
        if (step.watchLine && p->commInFlight) {
            comm = n;
            events[n++] = p->commEvent;
        }
        if (writeInFlight) {
            write = n;
            events[n++] = p->writeEvent;
        }
        DWORD r = WaitForMultipleObjects(n, events, FALSE, Milliseconds(step.until));
        if (r == WAIT_FAILED) {
            p->hungUp = true;
            continue;
        }
        if (r == WAIT_OBJECT_0 + comm && !FinishCommWait(p))
            p->hungUp = true;
        if (r == WAIT_OBJECT_0 + write) {
            std::lock_guard<std::mutex> guard(p->lock);
            if (!FinishWrite(p))
                p->hungUp = true;
        }
    }
}
