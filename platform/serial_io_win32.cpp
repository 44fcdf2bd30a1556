// Serial port transfers on Win32: paced overlapped writes, overlapped reads,
// and the reader thread's wait for whichever of read, write, hang-up or stop
// comes first. The port's read time-outs ask for the bytes already in
// (serial_dcb.h): a read that finds none ends empty, and WaitCommEvent
// (EV_RXCHAR) then says when to read again; a system that keeps such a read
// pending until bytes come (wine on a pty) is served by the same wait. The
// shared decision (serial_wait.h) times the quiet line and the write's due
// time; a failed overlapped operation is the hang-up.
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

// Starts a read of room bytes into the port's own buffer; false when the
// port is gone.
bool StartRead(SerialPort *p, int room) {
    if (!ReadFile(p->handle, p->readBuf, (DWORD)room, nullptr, &p->readOverlapped) &&
        !Pending(GetLastError()))
        return false;
    p->readInFlight = true;
    return true;
}

// Takes the read's bytes, if it has ended, into buf after the bytes of the
// read in progress; false when the port is gone. The room asked for when the
// read started is never more than what is left, as the count only drops (to
// 0, when the bytes are handed over) while a read is out.
bool FinishRead(SerialPort *p, uint8_t *buf) {
    DWORD n = 0;
    if (!GetOverlappedResult(p->handle, &p->readOverlapped, &n, FALSE)) {
        if (Pending(GetLastError()))
            return true;
        p->readInFlight = false;
        return false;
    }
    p->readInFlight = false;
    SerialWaitState &w = p->wait;
    if (n > 0) {
        memcpy(buf + w.readCount, p->readBuf, n);
        w.readCount += (int)n;
        w.lastByteAt = SerialNowNs();
    }
    p->inputEmpty = n == 0;
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

// Whether the port's input (in) or output (out) queue holds bytes; the
// device is asked whether it is still there too.
bool Queued(SerialPort *p, bool in, bool *present) {
    DWORD errors = 0;
    COMSTAT stat;
    memset(&stat, 0, sizeof stat);
    *present = ClearCommError(p->handle, &errors, &stat) != 0;
    return *present && (in ? stat.cbInQue : stat.cbOutQue) > 0;
}

bool AnyQueued(SerialPort *p, bool in) {
    bool present;
    return Queued(p, in, &present);
}

// Takes the end of the wait for received characters: the next read looks.
// A wait that the system ended early while the port is still there (wine
// does so after each write) only means looking again; the read that follows
// finds out whether the line is gone.
bool FinishCommWait(SerialPort *p) {
    DWORD n = 0;
    bool ended = GetOverlappedResult(p->handle, &p->commOverlapped, &n, FALSE) != 0;
    DWORD error = ended ? 0 : GetLastError();
    if (!ended && Pending(error))
        return true;
    p->commInFlight = false;
    p->inputEmpty = false;
    bool present = true;
    if (!ended)
        Queued(p, true, &present);
    return ended || (error == ERROR_OPERATION_ABORTED && present);
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
    if (size > SERIAL_MAX_TRANSFER)
        size = SERIAL_MAX_TRANSFER;
    for (;;) {
        SerialWaitFacts f;
        f.now = SerialNowNs();
        f.intervalNs = (int64_t)p->intervalMs * 1000000;
        f.size = size;
        f.stopped = p->stopped;
        f.hungUp = p->hungUp;
        f.inputWaiting = SerialWaitNeedsInput(p->wait, f) && AnyQueued(p, true);
        SerialWaitStep step;
        bool writeInFlight;
        {
            std::lock_guard<std::mutex> guard(p->lock);
            f.outputQueued = SerialWaitNeedsOutput(p->wait, f) && AnyQueued(p, false);
            step = SerialWaitDecide(&p->wait, f);
            if (step.event == SERIAL_EV_WRITTEN)
                SerialRtsForWrite(p, false);
            writeInFlight = p->writeInFlight;
        }
        if (step.event) {
            *count = step.count;
            return step.event;
        }
        int room = size - p->wait.readCount;
        if (step.watchLine && !p->readInFlight && !p->inputEmpty && room > 0) {
            if (!StartRead(p, room) || !FinishRead(p, buf))
                p->hungUp = true;
            continue; // done at once or not, the decision looks again
        }
        if (step.watchLine && p->inputEmpty && !p->commInFlight && !StartCommWait(p)) {
            p->hungUp = true;
            continue;
        }
        HANDLE events[5] = {p->stopEvent, p->nudgeEvent};
        DWORD n = 2, read = MAXDWORD - 1, comm = MAXDWORD - 1, write = MAXDWORD - 1;
        if (step.watchLine && p->readInFlight) {
            read = n;
            events[n++] = p->readEvent;
        }
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
        } else if (r == WAIT_OBJECT_0 + read) {
            if (!FinishRead(p, buf))
                p->hungUp = true;
        } else if (r == WAIT_OBJECT_0 + comm) {
            if (!FinishCommWait(p))
                p->hungUp = true;
        } else if (r == WAIT_OBJECT_0 + write) {
            std::lock_guard<std::mutex> guard(p->lock);
            if (!FinishWrite(p))
                p->hungUp = true;
        }
    }
}
