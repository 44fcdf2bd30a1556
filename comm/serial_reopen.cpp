// Opening a hung-up serial port again. A pulled cable or USB adapter, or a
// device that closed its end, hangs the line up; the reader thread notes it
// and ends the wait in progress. The caller's next transaction then closes
// the port and opens it again by the same name, in the directory it was
// found in, with the same settings and the link state of a new open, so the
// handle stays the one the program holds. While the port cannot be opened,
// every transaction fails at once with the port's text, and a new open is
// tried at most once in REOPEN_SPACING_MS.
#include "comm/serial_driver.h"

#include <chrono>
#include <thread>

namespace {

const char kPortGone[] = "Port not available";

// The link state a new open gives: nothing queued or held by the framers,
// the framers idle, the Sy/Max sequence and response characters as at the
// start. The options (check mode, priority, route, timeout, idle hook) stay.
void ResetLinkState(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    FlushQueues(h);
    pool_give(h->rxBuffer);
    pool_give(h->txBuffer);
    h->rxBuffer = nullptr;
    h->txBuffer = nullptr;
    h->buffered = 0;
    h->rxState = 0;
    h->rxFlags = 0;
    h->rxCursor = h->rxRoom = h->rxCheck = 0;
    h->txState = 0;
    h->txFlags &= (uint16_t)TXF_CRC;
    h->txCursor = h->txRoom = h->txCheck = 0;
    h->sequenceChar = 0x11;
    h->responseChar = 0x15;
    h->frameSequenceChar = 0x15;
    h->enquiryCounter = 0;
    h->nakRetryCounter = 0;
    h->staleAnswers = 0;
    if (h->kind == LINK_GATEWAY)
        h->gatewayRoute.count = 0xFFFF; // no route selected on the gateway yet
}

// A transaction against a port that is gone: the text at once, after one
// tick with the idle hook, so that a program polling in a loop neither spins
// nor misses a key.
int PortGone(CommHandle *h) {
    int goOn = h->idleHook ? h->idleHook(h->idleArg) : 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SetCommError(h, goOn ? kPortGone : "Application idle abort");
    return 0;
}

} // namespace

int ReopenDue(int64_t nowMs, int64_t lastAttemptMs) {
    return nowMs - lastAttemptMs >= REOPEN_SPACING_MS || nowMs < lastAttemptMs;
}

int SerialLinkReady(CommHandle *h) {
    SerialDriver *d = h->driver;
    if (!d || (h->port && !d->hungUp.load()))
        return 1;
    int64_t now = d->ops->nowMs();
    if (h->port) {
        // The first transaction since the hang-up: the old port goes, and
        // the first open of the new one is tried at once.
        SerialStopPort(h);
        ResetLinkState(h);
    } else if (!ReopenDue(now, d->lastAttemptMs)) {
        return PortGone(h);
    }
    d->hungUp = false;
    // The reconnection: the port by its name, set up as it was.
    StatsCount(h, &CommStats::reconnections);
    h->port = SerialPortBringUp(h);
    if (h->port && !SerialStartReader(h)) {
        d->ops->close(h->port);
        h->port = nullptr;
    }
    if (!h->port) {
        d->lastAttemptMs = now;
        return PortGone(h);
    }
    return 1;
}

int SerialTransactionEnd(CommHandle *h, int result) {
    // A transaction the hang-up cut short says why.
    if (result == 0 && SerialLineDown(h))
        SetCommError(h, kPortGone);
    return result;
}
