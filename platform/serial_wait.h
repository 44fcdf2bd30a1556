// The reader thread's decision of what is due now on a serial port, shared by
// every system: the port's timing state is plain data and the clock a value,
// so each system only waits (ppoll, WaitForMultipleObjects) for the time or
// the line event the decision names.
#pragma once
#include <chrono>
#include <cstdint>

const int64_t SERIAL_FOREVER = INT64_MAX;

// The timing state of a port. The read part belongs to the reader thread; the
// write part is changed under the port's lock.
struct SerialWaitState {
    int readCount = 0;         // bytes of the read in progress
    int64_t lastByteAt = 0;    // when the last of them arrived
    bool eager = false;        // bytes are reported as they arrive, the quiet after them too
    bool quietPending = false; // bytes were reported and the line has not been quiet since
    bool hangReported = false;
    bool writing = false; // a started write has not been reported
    int writeLength = 0;
    int writeHanded = 0;    // bytes of it the system has taken
    int64_t writeDueAt = 0; // when its last byte would have left the wire
};

// What the system says about the port just now.
struct SerialWaitFacts {
    int64_t now = 0;        // clock, nanoseconds
    int64_t intervalNs = 0; // the quiet interval that ends a read
    int size = 0;           // the read size
    bool stopped = false;
    bool hungUp = false;
    bool inputWaiting = false; // bytes wait to be read (asked when SerialWaitNeedsInput)
    bool outputQueued = false; // the system still holds bytes to send (SerialWaitNeedsOutput)
};

// The outcome: an event due now, or what to wait for.
struct SerialWaitStep {
    int event = 0;                  // SERIAL_EV_* due now; 0: wait
    int count = 0;                  // bytes read or written (SERIAL_EV_READ, SERIAL_EV_WRITTEN)
    int64_t until = SERIAL_FOREVER; // event 0: wake no later than this
    bool watchLine = false;         // event 0: wait for bytes from the line (not once hung up)
    bool wantOutput = false;        // event 0: the system has not taken all of the write yet
};

// Decides what is due, first of: stop; after a hang-up the bytes before it,
// the quiet after them (eager) and the hang-up itself, once; a finished read
// (eager: any bytes; else a full read or a quiet interval after bytes); the
// quiet after reported bytes (eager, no input waiting); a write whose bytes
// have left the wire and the system's queue. Updates the state for the
// event it returns; for no event, says until when to wait.
SerialWaitStep SerialWaitDecide(SerialWaitState *s, const SerialWaitFacts &f);
// Whether the decision looks at inputWaiting / outputQueued now, so a system
// asks the device only then.
bool SerialWaitNeedsInput(const SerialWaitState &s, const SerialWaitFacts &f);
bool SerialWaitNeedsOutput(const SerialWaitState &s, const SerialWaitFacts &f);

// Monotonic time in nanoseconds.
inline int64_t SerialNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
