// The simulated device's end of the Sy/Max link: a byte machine without I/O.
//
//   DLE SOH seq route DLE STX data DLE ETX check
//
// SlaveRxBytes takes the bytes read from the line; SlaveTick runs the timers
// (the reply delay and the wait for the master's acknowledgement). Both put
// what is to be sent into *out: control sequences, which may go out between
// any two units of a frame, and the frame being sent. The slave acknowledges each good frame with
// DLE and the frame's own sequence character, answers a bad one with DLE NAK, repeats its last
// response on DLE ENQ, sends each reply with its own DC1/DC2 sequence character (toggled on every
// acknowledgement), sends it again on DLE NAK and asks with DLE ENQ when the master stays quiet.
#pragma once
#include "sim/symax/symax_device.h"
#include "sim/symax/symax_wire.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace symaxsim {

// Faults for tests; each count is used up one frame at a time.
struct SlaveFaults {
    int drop = 0;        // good request frames ignored without a word
    int nak = 0;         // good request frames answered with DLE NAK
    int noAck = 0;       // good request frames answered but not acknowledged
    int noReply = 0;     // good request frames acknowledged but not answered
    int badCheck = 0;    // replies sent first with a wrong check
    int delayOnce = 0;   // ms added to the next reply only
    bool silent = false; // ignore everything, send nothing
};

struct SlaveStats {
    long framesIn;    // good frames received
    long repeatsIn;   // ... of them the same as the good frame before, sequence character and all
    long badFramesIn; // frames answered with DLE NAK for a fault of theirs
    long enqIn;       // DLE ENQ received
    long enqCrossed;  // ... of them crossed our response: not answered again
    long nakIn;       // DLE NAK (or wrong acknowledgement) received for our replies
    long repliesSent; // replies acknowledged by the master
    long repliesLost; // replies given up after the retries
    long retransmits; // replies sent again
    long enqOut;      // DLE ENQ sent
};

struct PendingReply {
    Bytes route;
    Bytes data;
    uint64_t due; // ms
};

struct SlaveOutput {
    Bytes control;           // DLE pairs to send first, in order
    Bytes frame;             // a frame to send, when frameStart
    bool frameStart = false; // frame replaces whatever is left of an earlier one
};

struct Slave {
    Device dev;
    bool crc;
    int delayMs;
    int ackTimeoutMs; // wait for the acknowledgement of a reply before DLE ENQ
    int charMicros;   // line time of one character, added to that wait
    SlaveFaults faults;
    SlaveStats stats;
    // Receiver.
    int rxState;
    bool afterDle;
    bool rawNext;
    unsigned rxCheck;
    uint8_t frameSeq;
    Bytes rxRoute, rxData;
    Bytes lastFrameIn;       // sequence character, route and data of the last good frame
    uint8_t lastResponse;    // repeated on DLE ENQ; NAK until a frame was acknowledged
    bool respondedInBatch;   // a response went out for a frame read in this batch
    uint64_t lastResponseAt; // ms
    int enqQuietMs;          // an enquiry this soon after a response crossed it
    // Transmitter.
    std::deque<PendingReply> replies;
    uint8_t txSeq;
    bool awaitingAck;
    bool frameOnLine; // the frame is still being written: no enquiry yet
    Bytes sentFrame;
    int nakRetries;
    int enqRetries;
    uint64_t ackDeadline;
};

// A quiet link, BCC mode, no delay, no faults, zeroed device memory.
void SlaveInit(Slave *s);
// The bytes of one read from the line at time now (ms).
void SlaveRxBytes(Slave *s, const uint8_t *bytes, size_t n, uint64_t now, SlaveOutput *out);
// One byte from the line, as part of the current read.
void SlaveRxByte(Slave *s, uint8_t byte, uint64_t now, SlaveOutput *out);
// Sends replies that are due and asks after replies not acknowledged in time.
void SlaveTick(Slave *s, uint64_t now, SlaveOutput *out);
// The owner wrote the last byte of the frame handed out: the wait for its
// acknowledgement starts now.
void SlaveFrameSent(Slave *s, uint64_t now);
// The next time SlaveTick has something to do, or UINT64_MAX.
uint64_t SlaveNextDeadline(const Slave *s);

} // namespace symaxsim
