// The serial driver: opens the port, runs one reader thread per port that
// feeds the receive framer and completes writes, and keeps the writer filled
// from the transmit framer.
#include "comm/serial_driver.h"
#include "platform/files.h"
#include "platform/serial.h"

#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

namespace {

int64_t SteadyMs(void) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The reader thread: every received byte goes to the receive framer in
// order as soon as it is in, so a frame with an end mark (or an RTU reply
// whose length is known) completes with its last byte; the quiet interval
// after the bytes ends any RTU frame still open. Every finished write lets the
// writer take more bytes. A hung-up line ends the write in flight and the
// wait of the caller; the thread then only waits for its stop, and the
// caller's next transaction opens the port again.
void ReaderThread(CommHandle *h) {
    const SerialOps *ops = h->driver->ops;
    for (;;) {
        int count = 0;
        int event = ops->wait(h->port, h->readBuffer, h->readSize, &count);
        switch (event) {
        case SERIAL_EV_READ:
            for (int i = 0; i < count; i++)
                RxFramer(h, h->readBuffer[i]);
            break;
        case SERIAL_EV_QUIET: {
            std::lock_guard<std::recursive_mutex> guard(h->lock);
            if (h->framing == FRAMING_RTU)
                CloseRtuFrame(h);
            break;
        }
        case SERIAL_EV_WRITTEN:
            RefillWriter(h, count);
            break;
        case SERIAL_EV_HUNGUP: {
            // The write in flight will never finish: the writer starts over
            // and, finding the line gone, lets the framer run dry.
            std::lock_guard<std::recursive_mutex> guard(h->lock);
            h->buffered = 0;
            h->txFlags &= (uint16_t)~TXF_WRITING;
            RefillWriter(h, 0);
            h->driver->hungUp = true;
            h->replyArrived.notify_all();
            break;
        }
        case SERIAL_EV_STOP:
        default:
            return;
        }
    }
}

int StoreRoute(CommHandle *h, int netToNet, const uint16_t *route) {
    int count = route ? route[0] : 0;
    // The route area holds eight drops; a longer route would run past it.
    if (count > 8 || (netToNet && count > 7))
        return 0;
    if (netToNet && count > 0) {
        uint16_t first = route[1];
        h->route.drops[0] = (uint16_t)(first < 100 ? first + 100 : first - 100);
        for (int i = 0; i < count; i++)
            h->route.drops[i + 1] = route[i + 1];
        h->route.count = (uint16_t)(count + 1);
    } else {
        for (int i = 0; i < count; i++)
            h->route.drops[i] = route[i + 1];
        h->route.count = (uint16_t)count;
    }
    return 1;
}

} // namespace

const SerialOps PlatformSerialOps = {
    SerialPortOpen,      SerialPortClose,
    SerialPortConfigure, SerialPortSetInterval,
    SerialPortSetEager,  SerialPortSetRtsToggle,
    SerialPortStop,      SerialPortWriteStart,
    SerialPortWait,      SteadyMs,
};

SerialPort *SerialPortBringUp(CommHandle *h) {
    SerialDriver *d = h->driver;
    SerialPort *p = d->ops->open(d->path.c_str());
    if (!p)
        return nullptr;
    d->ops->setInterval(p, 20);
    d->ops->setEager(p, true);
    // Gateway and Modbus lines may be half duplex: RTS keys the transmitter.
    d->ops->setRtsToggle(p, d->halfDuplex);
    if (d->configured) {
        d->ops->configure(p, d->baud, d->parity, d->stopBits, d->dataBits);
        d->ops->setInterval(p, (int)((4LL * d->baud + 153996) / d->baud));
    }
    return p;
}

int SerialStartReader(CommHandle *h) {
    try {
        h->driver->reader = std::thread(ReaderThread, h);
    } catch (const std::system_error &) {
        return 0;
    }
    return 1;
}

void SerialStopPort(CommHandle *h) {
    SerialDriver *d = h->driver;
    if (!h->port)
        return;
    // The stop wakes the reader thread from any wait, hung-up line or not.
    d->ops->stop(h->port);
    if (d->reader.joinable())
        d->reader.join();
    d->ops->close(h->port);
    h->port = nullptr;
}

CommHandle *SerialOpenWith(const SerialOps *ops, const char *port, int netToNet,
                           const uint16_t *route, SerialLine line) {
    if (!port)
        return nullptr;
    CommHandle *h = HandleAllocate(LINK_SYMAX);
    if (!h)
        return nullptr;
    h->framing = FRAMING_SYMAX;
    h->netToNet = netToNet ? 1 : 0;
    bool halfDuplex = line == SERIAL_LINE_HALF_DUPLEX;
    h->readSize = halfDuplex ? SERIAL_BUFFER_SIZE : 8;
    h->writeChunk = halfDuplex ? SERIAL_BUFFER_SIZE : 8;
    if (!StoreRoute(h, netToNet, route)) {
        HandleFree(h);
        return nullptr;
    }
    h->driver = new (std::nothrow) SerialDriver();
    if (!h->driver) {
        HandleFree(h);
        return nullptr;
    }
    SerialDriver *d = h->driver;
    d->ops = ops;
    d->halfDuplex = halfDuplex;
    try {
        // "COMn:" is looked for in the directory the program is in now, and
        // every later open goes to what was found there, whatever directory
        // the program has gone to since: a link that has gone (an adapter
        // pulled) is then no port, never another device of the same number.
        char path[512];
        std::string base = CurrentDirectory();
        d->path = SerialPortPathIn(port, base.c_str(), path, sizeof path) ? path : port;
    } catch (const std::bad_alloc &) {
        delete d;
        HandleFree(h);
        return nullptr;
    }
    h->port = SerialPortBringUp(h);
    if (!h->port || !SerialStartReader(h)) {
        if (h->port)
            ops->close(h->port);
        delete d;
        HandleFree(h);
        return nullptr;
    }
    pool_add_new(3);
    return h;
}

CommHandle *SerialOpen(const char *port, int netToNet, const uint16_t *route, SerialLine line) {
    return SerialOpenWith(&PlatformSerialOps, port, netToNet, route, line);
}

void SerialClose(CommHandle *h) {
    if (!h->driver)
        return;
    SerialStopPort(h);
    delete h->driver;
    h->driver = nullptr;
    // Buffers still queued or held by the framers go back to the pool rather
    // than being lost with the handle.
    FlushQueues(h);
    pool_give(h->rxBuffer);
    pool_give(h->txBuffer);
    h->rxBuffer = nullptr;
    h->txBuffer = nullptr;
}

int SerialLineDown(CommHandle *h) {
    return h->driver && (!h->port || h->driver->hungUp.load());
}

int SerialSetParams(CommHandle *h, int baud, int parity, int stopBits, int dataBits) {
    if (baud <= 0) {
        SetCommError(h, "Invalid baud rate");
        return 0;
    }
    // Kept for the port's next open after a hang-up.
    if (SerialDriver *d = h->driver) {
        d->configured = true;
        d->baud = baud;
        d->parity = parity;
        d->stopBits = stopBits;
        d->dataBits = dataBits;
    }
    if (!h->port)
        return 1;
    // Parity, bits, pacing and the interval follow what was asked for even
    // when the device cannot run at the rate (or refuses the framing), which
    // is then reported.
    const SerialOps *ops = h->driver ? h->driver->ops : &PlatformSerialOps;
    int took = ops->configure(h->port, baud, parity, stopBits, dataBits);
    // The quiet time that ends a read: 20 ms at 9600 baud, 517 ms at 300.
    ops->setInterval(h->port, (int)((4LL * baud + 153996) / baud));
    if (!took)
        SetCommErrorF(h, "Port refused the settings at %d baud", baud);
    return took;
}

int SendMessage(CommHandle *h, MsgBuffer *b) {
    {
        std::lock_guard<std::recursive_mutex> guard(h->lock);
        queue_append(&h->txQueue, b);
        h->stats.requestsSent++;
    }
    KickWriter(h);
    return 1;
}

void KickWriter(CommHandle *h) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    if (!(h->txFlags & TXF_WRITING))
        RefillWriter(h, 0);
}

// Moves what is left of the last write to the front, tops the buffer up
// from the transmit framer and starts the next write. Without a port (a
// handle made for tests) the framer is left for the caller to drive.
void RefillWriter(CommHandle *h, int written) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    if (!h->port)
        return;
    if (written < h->buffered) {
        if (written > 0)
            memmove(h->writeBuffer, h->writeBuffer + written, (size_t)(h->buffered - written));
        h->buffered = (uint16_t)(h->buffered - written);
    } else {
        h->buffered = 0;
    }
    uint16_t chunk =
        h->writeChunk > (int)SERIAL_BUFFER_SIZE ? (uint16_t)SERIAL_BUFFER_SIZE : h->writeChunk;
    while (h->buffered < chunk) {
        unsigned byte = TxFramer(h);
        if (byte > 0xFF)
            break;
        h->writeBuffer[h->buffered++] = (uint8_t)byte;
    }
    const SerialOps *ops = h->driver ? h->driver->ops : &PlatformSerialOps;
    if (h->buffered && ops->writeStart(h->port, h->writeBuffer, h->buffered)) {
        h->txFlags |= TXF_WRITING;
        return;
    }
    if (h->buffered) {
        // The line is gone: everything the framer still has is dropped, so
        // its buffers go back to the pool and the caller's wait times out.
        for (int i = 0; i < 65536 && TxFramer(h) <= 0xFF; i++) {
        }
    }
    h->buffered = 0;
    h->txFlags &= (uint16_t)~TXF_WRITING;
}

// The receive framers run under the handle's lock, so the caller may change
// the framing or flush the queues between bytes.
void RxFramer(CommHandle *h, uint8_t byte) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    int32_t waiting = ReplyWaitCounter.load();
    switch (h->framing) {
    case FRAMING_SYMAX:
        SymaxRxByte(h, byte);
        break;
    case FRAMING_GATEWAY:
        GatewayRxByte(h, byte);
        break;
    case FRAMING_RTU:
        RtuRxByte(h, byte);
        break;
    case FRAMING_ASCII:
        AsciiRxByte(h, byte);
        break;
    default:
        break;
    }
    // A framer that gave up on an overlong frame clears the wait counter; the
    // waiting caller is woken so that it fails at once.
    if (waiting > 0 && ReplyWaitCounter.load() == 0)
        h->replyArrived.notify_all();
}

unsigned TxFramer(CommHandle *h) {
    switch (h->framing) {
    case FRAMING_SYMAX:
        return SymaxTxByte(h);
    case FRAMING_GATEWAY:
        return GatewayTxByte(h);
    case FRAMING_RTU:
        return RtuTxByte(h);
    case FRAMING_ASCII:
        return AsciiTxByte(h);
    default:
        return TX_NOTHING;
    }
}
