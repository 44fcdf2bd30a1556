// The simulated device's end of the Sy/Max link (see symax_slave.h).
//
// Receive states:  idle -SOH-> seq -DC1/DC2-> route -STX-> data -ETX-> [crc high] -> check
#include "sim/symax/symax_slave.h"

#include <cstring>

namespace symaxsim {

enum { R_IDLE, R_SEQ, R_ROUTE, R_DATA, R_CRC_HIGH, R_CHECK };
enum { NAK_RETRIES = 8, ENQ_RETRIES = 10 };

void SlaveInit(Slave *s) {
    DeviceInit(&s->dev);
    s->crc = false;
    s->delayMs = 0;
    s->ackTimeoutMs = 100;
    s->charMicros = 0;
    s->faults = SlaveFaults{};
    memset(&s->stats, 0, sizeof s->stats);
    s->rxState = R_IDLE;
    s->afterDle = false;
    s->rawNext = false;
    s->rxCheck = 0;
    s->frameSeq = NAK;
    s->rxRoute.clear();
    s->rxData.clear();
    s->lastFrameIn.clear();
    s->lastResponse = NAK;
    s->respondedInBatch = false;
    s->lastResponseAt = 0;
    s->enqQuietMs = 0;
    s->replies.clear();
    s->txSeq = DC1;
    s->awaitingAck = false;
    s->frameOnLine = false;
    s->sentFrame.clear();
    s->nakRetries = 0;
    s->enqRetries = 0;
    s->ackDeadline = 0;
}

static void send_control(SlaveOutput *out, uint8_t c) {
    out->control.push_back(DLE);
    out->control.push_back(c);
}

// The line time of n characters, in whole ms rounded up.
static uint64_t wire_ms(const Slave *s, size_t n) {
    return (uint64_t(s->charMicros) * n + 999) / 1000;
}

// ---- transmitter ----

static void tx_frame(Slave *s, uint64_t now, SlaveOutput *out) {
    // A new sending replaces what is left of an earlier one. The wait for the
    // acknowledgement starts when the last byte is on the line (SlaveFrameSent).
    out->frame = s->sentFrame;
    out->frameStart = true;
    s->frameOnLine = true;
    s->ackDeadline = UINT64_MAX;
    (void)now;
}

void SlaveFrameSent(Slave *s, uint64_t now) {
    if (!s->awaitingAck || !s->frameOnLine)
        return;
    s->frameOnLine = false;
    s->ackDeadline = now + uint64_t(s->ackTimeoutMs);
}

static void tx_finish(Slave *s, bool acknowledged) {
    s->replies.pop_front();
    s->awaitingAck = false;
    s->frameOnLine = false;
    s->sentFrame.clear();
    if (acknowledged) {
        s->txSeq = s->txSeq == DC1 ? DC2 : DC1;
        s->stats.repliesSent++;
    } else {
        s->stats.repliesLost++;
    }
}

// DLE NAK, or an acknowledgement that is not our sequence character.
static void tx_refused(Slave *s, uint64_t now, SlaveOutput *out) {
    if (!s->awaitingAck)
        return;
    s->stats.nakIn++;
    if (s->nakRetries == 0) {
        tx_finish(s, false);
        SlaveTick(s, now, out);
        return;
    }
    s->nakRetries--;
    s->stats.retransmits++;
    // The repeat carries the right check even when the first one was spoiled.
    s->sentFrame = WireFrame(s->txSeq, s->replies.front().route, s->replies.front().data, s->crc);
    tx_frame(s, now, out);
}

static void tx_acknowledged(Slave *s, uint8_t c, uint64_t now, SlaveOutput *out) {
    if (!s->awaitingAck)
        return;
    if (c != s->txSeq) {
        tx_refused(s, now, out);
        return;
    }
    tx_finish(s, true);
    SlaveTick(s, now, out);
}

void SlaveTick(Slave *s, uint64_t now, SlaveOutput *out) {
    if (s->faults.silent)
        return;
    if (s->awaitingAck && !s->frameOnLine && now >= s->ackDeadline) {
        if (s->enqRetries > 0) {
            s->enqRetries--;
            s->stats.enqOut++;
            send_control(out, ENQ);
            s->ackDeadline = now + wire_ms(s, 2) + uint64_t(s->ackTimeoutMs);
        } else {
            tx_finish(s, false);
        }
    }
    if (!s->awaitingAck && !s->replies.empty() && s->replies.front().due <= now) {
        s->awaitingAck = true;
        s->nakRetries = NAK_RETRIES;
        s->enqRetries = ENQ_RETRIES;
        s->sentFrame =
            WireFrame(s->txSeq, s->replies.front().route, s->replies.front().data, s->crc);
        if (s->faults.badCheck > 0) {
            s->faults.badCheck--;
            s->sentFrame.back() ^= 0x5A;
        }
        tx_frame(s, now, out);
    }
}

uint64_t SlaveNextDeadline(const Slave *s) {
    if (s->faults.silent)
        return UINT64_MAX;
    if (s->awaitingAck)
        return s->ackDeadline;
    if (!s->replies.empty())
        return s->replies.front().due;
    return UINT64_MAX;
}

// ---- receiver ----

static void rx_reject(Slave *s, uint64_t now, SlaveOutput *out) {
    s->stats.badFramesIn++;
    s->respondedInBatch = true;
    s->lastResponseAt = now;
    s->rxState = R_IDLE;
    s->rawNext = false;
    s->lastResponse = NAK;
    send_control(out, NAK);
}

static void rx_frame_done(Slave *s, uint64_t now, SlaveOutput *out) {
    s->rxState = R_IDLE;
    s->stats.framesIn++;
    // The master sends each frame with the other sequence character than the
    // one before, so the same frame again is the same request sent twice.
    Bytes frame(1, s->frameSeq);
    frame.insert(frame.end(), s->rxRoute.begin(), s->rxRoute.end());
    frame.push_back(0xFF);
    frame.insert(frame.end(), s->rxData.begin(), s->rxData.end());
    if (frame == s->lastFrameIn)
        s->stats.repeatsIn++;
    s->lastFrameIn.swap(frame);
    SlaveFaults *f = &s->faults;
    if (f->drop > 0) {
        f->drop--;
        return;
    }
    if (f->nak > 0) {
        f->nak--;
        s->respondedInBatch = true;
        s->lastResponseAt = now;
        s->lastResponse = NAK;
        send_control(out, NAK);
        return;
    }
    if (f->noAck > 0) {
        f->noAck--;
    } else {
        s->respondedInBatch = true;
        s->lastResponseAt = now;
        s->lastResponse = s->frameSeq;
        send_control(out, s->frameSeq);
    }
    if (f->noReply > 0) {
        f->noReply--;
        return;
    }
    PendingReply p;
    if (!DeviceAnswer(&s->dev, s->rxRoute, s->rxData, &p.route, &p.data))
        return;
    p.due = now + uint64_t(s->delayMs) + uint64_t(f->delayOnce);
    f->delayOnce = 0;
    s->replies.push_back(p);
    SlaveTick(s, now, out);
}

static void rx_step(Slave *s, uint8_t b) {
    s->rxCheck = WireCheckStep(s->rxCheck, b, s->crc);
}

// A byte of the frame that is no link control sequence.
static void rx_plain(Slave *s, uint8_t b, uint64_t now, SlaveOutput *out) {
    switch (s->rxState) {
    case R_IDLE: // fill bytes and noise between frames
        return;
    case R_SEQ:
        if (b != DC1 && b != DC2)
            return rx_reject(s, now, out);
        s->frameSeq = b;
        rx_step(s, b);
        s->rxState = R_ROUTE;
        return;
    case R_ROUTE:
    case R_DATA: {
        Bytes *into = s->rxState == R_ROUTE ? &s->rxRoute : &s->rxData;
        if (into->size() >= size_t(s->rxState == R_ROUTE ? ROUTE_MAX : DATA_MAX))
            return rx_reject(s, now, out);
        into->push_back(b);
        rx_step(s, b);
        return;
    }
    case R_CRC_HIGH:
        if (b != ((s->rxCheck >> 8) & 0xFF))
            return rx_reject(s, now, out);
        s->rawNext = true;
        s->rxState = R_CHECK;
        return;
    case R_CHECK:
        if (b != (s->rxCheck & 0xFF))
            return rx_reject(s, now, out);
        return rx_frame_done(s, now, out);
    }
}

// The byte after a DLE.
static void rx_escaped(Slave *s, uint8_t b, uint64_t now, SlaveOutput *out) {
    switch (b) {
    case SOH: // a new frame, also in the middle of a broken one
        s->rxState = R_SEQ;
        s->rxCheck = WireCheckStart(s->crc);
        s->rxRoute.clear();
        s->rxData.clear();
        return;
    case ENQ:
        s->stats.enqIn++;
        // An enquiry read together with the frame it asks about, or sooner
        // after our response than the master can have read it, crossed that
        // response on the line: the response is its answer.
        if (s->respondedInBatch || now < s->lastResponseAt + uint64_t(s->enqQuietMs)) {
            s->stats.enqCrossed++;
            return;
        }
        s->lastResponseAt = now;
        send_control(out, s->lastResponse);
        return;
    case DC1:
    case DC2:
        return tx_acknowledged(s, b, now, out);
    case SYN:
        if (s->awaitingAck)
            s->nakRetries = NAK_RETRIES;
        return tx_refused(s, now, out);
    case NAK:
        return tx_refused(s, now, out);
    case STX:
        if (s->rxState == R_ROUTE) {
            rx_step(s, DLE);
            rx_step(s, STX);
            s->rxState = R_DATA;
        } else if (s->rxState != R_IDLE) {
            rx_reject(s, now, out);
        }
        return;
    case ETX:
        if (s->rxState == R_DATA) {
            rx_step(s, DLE);
            rx_step(s, ETX);
            s->rawNext = true;
            s->rxState = s->crc ? R_CRC_HIGH : R_CHECK;
        } else if (s->rxState != R_IDLE) {
            rx_reject(s, now, out);
        }
        return;
    case DLE:
        if (s->rxState == R_DATA) {
            rx_step(s, DLE); // the stuffed DLE counts in the check too
            rx_plain(s, DLE, now, out);
        } else if (s->rxState != R_IDLE) {
            rx_reject(s, now, out);
        }
        return;
    default:
        if (s->rxState != R_IDLE)
            rx_reject(s, now, out);
    }
}

void SlaveRxBytes(Slave *s, const uint8_t *bytes, size_t n, uint64_t now, SlaveOutput *out) {
    s->respondedInBatch = false;
    for (size_t i = 0; i < n; i++)
        SlaveRxByte(s, bytes[i], now, out);
}

void SlaveRxByte(Slave *s, uint8_t b, uint64_t now, SlaveOutput *out) {
    if (s->faults.silent)
        return;
    if (s->afterDle) {
        s->afterDle = false;
        return rx_escaped(s, b, now, out);
    }
    if (s->rawNext) {
        s->rawNext = false;
        return rx_plain(s, b, now, out);
    }
    if (b == DLE) {
        s->afterDle = true;
        return;
    }
    rx_plain(s, b, now, out);
}

} // namespace symaxsim
