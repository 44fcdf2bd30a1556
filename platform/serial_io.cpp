// Serial port transfers: paced writes, reads ended by a quiet line, and the
// reader thread's wait for whichever of read, write, hang-up or stop comes first.
#include "platform/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int64_t kForever = INT64_MAX;
const short kTrouble = POLLHUP | POLLERR | POLLNVAL;
const short kReadable = POLLIN | kTrouble;

const timespec *SpanToTimespec(int64_t ns, timespec *ts) {
    if (ns == kForever)
        return nullptr;
    if (ns < 0)
        ns = 0;
    ts->tv_sec = ns / 1000000000;
    ts->tv_nsec = ns % 1000000000;
    return ts;
}

void DrainEventFd(int fd) {
    uint64_t v;
    ssize_t r = read(fd, &v, sizeof v);
    (void)r;
}

bool OutputQueued(SerialPort *p) {
    if (p->pty)
        return false;
    int queued = 0;
    if (ioctl(p->fd, TIOCOUTQ, &queued) != 0)
        return false;
    return queued > 0;
}

// Whether bytes are waiting to be read (or the line reports trouble).
bool InputWaiting(SerialPort *p) {
    pollfd fd = {p->fd, POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & kReadable);
}

// Reads what is there into buf; false when the line has hung up.
bool ReadAvailable(SerialPort *p, uint8_t *buf, int room, int *got) {
    *got = 0;
    if (room <= 0)
        return true;
    ssize_t n = read(p->fd, buf, (size_t)room);
    if (n > 0) {
        *got = (int)n;
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    return false; // 0 (end of file) or EIO: the peer is gone
}

// Hands more of the started write to the system; false when the line is gone.
bool PushWrite(SerialPort *p) {
    SerialWaitState &w = p->wait;
    while (w.writeHanded < w.writeLength) {
        ssize_t n =
            write(p->fd, p->writeBuf + w.writeHanded, (size_t)(w.writeLength - w.writeHanded));
        if (n > 0) {
            w.writeHanded += (int)n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        return false;
    }
    return true;
}

} // namespace

int SerialPortRead(SerialPort *p, uint8_t *buf, int size, int timeoutMs) {
    int64_t start = SerialNowNs();
    int64_t deadline = timeoutMs < 0 ? kForever : start + (int64_t)timeoutMs * 1000000;
    int count = 0;
    int64_t lastAt = 0;
    bool down = false;
    for (;;) {
        if (p->stopped)
            return count > 0 ? count : SERIAL_STOPPED;
        if (count >= size)
            return count;
        int64_t now = SerialNowNs();
        int64_t until = count > 0 ? lastAt + (int64_t)p->intervalMs * 1000000 : deadline;
        if (until != kForever && now >= until)
            return count > 0 ? count : (down ? SERIAL_HUNGUP : SERIAL_TIMEOUT);
        int64_t span = until == kForever ? kForever : until - now;
        // A hung-up line is looked at again every 10 ms rather than polled.
        if (down && (span == kForever || span > 10000000))
            span = 10000000;
        pollfd fds[2] = {{p->stopFd, POLLIN, 0}, {p->fd, (short)(down ? 0 : POLLIN), 0}};
        timespec ts;
        int r = ppoll(fds, down ? 1 : 2, SpanToTimespec(span, &ts), nullptr);
        if (r < 0 && errno != EINTR)
            return count > 0 ? count : SERIAL_HUNGUP;
        if (down) {
            down = false; // look at the line again
            continue;
        }
        if (r <= 0 || !(fds[1].revents & kReadable))
            continue;
        int got;
        if (!ReadAvailable(p, buf + count, size - count, &got) ||
            (got == 0 && (fds[1].revents & kTrouble))) {
            down = true;
            continue;
        }
        if (got > 0) {
            count += got;
            lastAt = SerialNowNs();
        }
    }
}

int SerialPortWrite(SerialPort *p, const uint8_t *buf, int n) {
    if (n <= 0)
        return 0;
    int64_t due;
    {
        std::lock_guard<std::mutex> guard(p->lock);
        due = SerialBookLine(p, n);
    }
    SerialRtsForWrite(p, true);
    int handed = 0;
    while (handed < n) {
        if (p->stopped)
            return SERIAL_STOPPED;
        ssize_t w = write(p->fd, buf + handed, (size_t)(n - handed));
        if (w > 0) {
            handed += (int)w;
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return SERIAL_HUNGUP;
        pollfd fds[2] = {{p->stopFd, POLLIN, 0}, {p->fd, POLLOUT, 0}};
        timespec ts;
        ppoll(fds, 2, SpanToTimespec(10000000, &ts), nullptr);
    }
    for (;;) {
        if (p->stopped)
            return SERIAL_STOPPED;
        int64_t now = SerialNowNs();
        if (now >= due)
            break;
        pollfd fds[1] = {{p->stopFd, POLLIN, 0}};
        timespec ts;
        ppoll(fds, 1, SpanToTimespec(due - now, &ts), nullptr);
    }
    if (!p->pty)
        tcdrain(p->fd);
    SerialRtsForWrite(p, false);
    return n;
}

int SerialPortWriteStart(SerialPort *p, const uint8_t *buf, int n) {
    if (n <= 0 || n > SERIAL_MAX_TRANSFER)
        return 0;
    {
        std::lock_guard<std::mutex> guard(p->lock);
        SerialWaitState &w = p->wait;
        if (p->hungUp || p->stopped || w.writing)
            return 0;
        memcpy(p->writeBuf, buf, (size_t)n);
        w.writeLength = n;
        w.writeHanded = 0;
        w.writing = true;
        w.writeDueAt = SerialBookLine(p, n);
        SerialRtsForWrite(p, true);
        if (!PushWrite(p)) {
            w.writing = false;
            p->hungUp = true;
        }
    }
    uint64_t one = 1;
    ssize_t r = write(p->nudgeFd, &one, sizeof one);
    (void)r;
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
        f.inputWaiting = SerialWaitNeedsInput(p->wait, f) && InputWaiting(p);
        SerialWaitStep step;
        {
            std::lock_guard<std::mutex> guard(p->lock);
            f.outputQueued = SerialWaitNeedsOutput(p->wait, f) && OutputQueued(p);
            step = SerialWaitDecide(&p->wait, f);
            if (step.event == SERIAL_EV_WRITTEN)
                SerialRtsForWrite(p, false);
        }
        if (step.event) {
            *count = step.count;
            return step.event;
        }
        pollfd fds[3] = {{p->stopFd, POLLIN, 0},
                         {p->nudgeFd, POLLIN, 0},
                         {p->fd, (short)(POLLIN | (step.wantOutput ? POLLOUT : 0)), 0}};
        timespec ts;
        int64_t span = step.until == SERIAL_FOREVER ? kForever : step.until - f.now;
        int r = ppoll(fds, step.watchLine ? 3 : 2, SpanToTimespec(span, &ts), nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            p->hungUp = true;
            continue;
        }
        if (fds[1].revents & POLLIN)
            DrainEventFd(p->nudgeFd);
        if (!step.watchLine || r == 0)
            continue;
        if (fds[2].revents & kReadable) {
            int got;
            int &readCount = p->wait.readCount;
            // An error or hang-up that yields no bytes would wake every poll.
            if (!ReadAvailable(p, buf + readCount, size - readCount, &got) ||
                (got == 0 && (fds[2].revents & kTrouble))) {
                p->hungUp = true;
                continue;
            }
            if (got > 0) {
                readCount += got;
                p->wait.lastByteAt = SerialNowNs();
            }
        }
        if (fds[2].revents & POLLOUT) {
            std::lock_guard<std::mutex> guard(p->lock);
            if (!PushWrite(p))
                p->hungUp = true;
        }
    }
}
