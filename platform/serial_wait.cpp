// The reader thread's decision of what is due now on a serial port.
#include "platform/serial_wait.h"

#include "platform/serial.h"

#include <algorithm>

namespace {

SerialWaitStep Event(int event, int count) {
    SerialWaitStep step;
    step.event = event;
    step.count = count;
    return step;
}

// Hands over the bytes read so far; an eager port owes the quiet after them.
SerialWaitStep ReadDone(SerialWaitState *s) {
    SerialWaitStep step = Event(SERIAL_EV_READ, s->readCount);
    s->readCount = 0;
    s->quietPending = s->eager;
    return step;
}

bool QuietSince(const SerialWaitState &s, const SerialWaitFacts &f) {
    return f.now - s.lastByteAt >= f.intervalNs;
}

} // namespace

bool SerialWaitNeedsInput(const SerialWaitState &s, const SerialWaitFacts &f) {
    return !f.stopped && !f.hungUp && s.readCount == 0 && s.quietPending && QuietSince(s, f);
}

bool SerialWaitNeedsOutput(const SerialWaitState &s, const SerialWaitFacts &f) {
    return !f.stopped && !f.hungUp && s.writing && s.writeHanded == s.writeLength &&
           f.now >= s.writeDueAt;
}

SerialWaitStep SerialWaitDecide(SerialWaitState *s, const SerialWaitFacts &f) {
    if (f.stopped)
        return Event(SERIAL_EV_STOP, 0);
    if (f.hungUp) {
        // The bytes that came before the hang-up are delivered first, and on
        // an eager port the end of their frame after them.
        if (s->readCount > 0)
            return ReadDone(s);
        if (s->quietPending) {
            s->quietPending = false;
            return Event(SERIAL_EV_QUIET, 0);
        }
        if (!s->hangReported) {
            s->hangReported = true;
            s->writing = false;
            return Event(SERIAL_EV_HUNGUP, 0);
        }
        return SerialWaitStep(); // only the stop is left to wait for
    }
    if (s->readCount > 0 && (s->eager || s->readCount >= f.size || QuietSince(*s, f)))
        return ReadDone(s);
    // Bytes already waiting are no quiet line, only a reader that came late
    // (the framers took their time, or the thread was not scheduled): they
    // are read first.
    if (s->quietPending && QuietSince(*s, f) && !f.inputWaiting) {
        s->quietPending = false;
        return Event(SERIAL_EV_QUIET, 0);
    }
    SerialWaitStep step;
    step.watchLine = true;
    if (s->readCount > 0 || s->quietPending)
        step.until = s->lastByteAt + f.intervalNs;
    if (s->writing && s->writeHanded == s->writeLength) {
        if (f.now >= s->writeDueAt) {
            if (!f.outputQueued) {
                s->writing = false;
                return Event(SERIAL_EV_WRITTEN, s->writeLength);
            }
            step.until = std::min(step.until, f.now + 1000000); // look again in a millisecond
        } else {
            step.until = std::min(step.until, s->writeDueAt);
        }
    }
    step.wantOutput = s->writing && s->writeHanded < s->writeLength;
    return step;
}
