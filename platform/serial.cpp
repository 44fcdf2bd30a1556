// Serial ports on termios: names, line settings, paced writes and reads ended
// by a quiet line, for the reader thread and for pty simulators.
#include "platform/serial.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int64_t kForever = INT64_MAX;
const short kTrouble = POLLHUP | POLLERR | POLLNVAL;
const short kReadable = POLLIN | kTrouble;

int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

} // namespace

struct SerialPort {
    int fd = -1;
    int stopFd = -1;  // eventfd, stays readable once stopped
    int nudgeFd = -1; // eventfd, a write was started: the wait recomputes its deadline
    bool pty = false; // no output queue to drain
    std::atomic<bool> stopped{false};
    std::atomic<bool> hungUp{false};
    bool hangReported = false;
    std::atomic<int> intervalMs{20};

    std::mutex lock; // pacing and the started write
    int64_t charNs = 0;
    int64_t lineFreeAt = 0;
    uint8_t writeBuf[SERIAL_MAX_TRANSFER];
    int writeLength = 0;
    int writeHanded = 0; // bytes the system has taken
    bool writing = false;
    int64_t writeDueAt = 0;

    // The reader thread's read in progress (SerialPortWait only).
    int readCount = 0;
    int64_t lastByteAt = 0;
};

namespace {

struct BaudCode {
    int baud;
    speed_t code;
};

const BaudCode kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

int BaudToCode(int baud, speed_t *code) {
    for (const BaudCode &b : kBauds)
        if (b.baud == baud) {
            *code = b.code;
            return 1;
        }
    return 0;
}

// Unix98 pty slaves (majors 136-143) and the pty multiplexer (5, 2).
bool IsPty(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    unsigned ma = major(st.st_rdev), mi = minor(st.st_rdev);
    return (ma >= 136 && ma <= 143) || (ma == 5 && mi == 2);
}

void SetPacingLocked(SerialPort *p, int baud, int bitsPerChar) {
    if (baud <= 0) baud = 9600;
    if (bitsPerChar <= 0) bitsPerChar = 10;
    p->charNs = (int64_t)bitsPerChar * 1000000000 / baud;
}

SerialPort *PortNew(int fd) {
    SerialPort *p = new (std::nothrow) SerialPort();
    if (!p) return nullptr;
    p->fd = fd;
    p->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    p->nudgeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (p->stopFd < 0 || p->nudgeFd < 0) {
        if (p->stopFd >= 0) close(p->stopFd);
        if (p->nudgeFd >= 0) close(p->nudgeFd);
        delete p;
        return nullptr;
    }
    p->pty = IsPty(fd);
    SetPacingLocked(p, 9600, 11);
    return p;
}

void MakeRaw(termios *t) {
    t->c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                              IXOFF | IXANY);
    t->c_oflag &= ~(tcflag_t)OPOST;
    t->c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag |= CREAD | CLOCAL;
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

// Converts a nanosecond span into a ppoll timeout; none for "forever".
const timespec *SpanToTimespec(int64_t ns, timespec *ts) {
    if (ns == kForever) return nullptr;
    if (ns < 0) ns = 0;
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
    if (p->pty) return false;
    int queued = 0;
    if (ioctl(p->fd, TIOCOUTQ, &queued) != 0) return false;
    return queued > 0;
}

// Reads what is there into buf; false when the line has hung up.
bool ReadAvailable(SerialPort *p, uint8_t *buf, int room, int *got) {
    *got = 0;
    if (room <= 0) return true;
    ssize_t n = read(p->fd, buf, (size_t)room);
    if (n > 0) {
        *got = (int)n;
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    return false; // 0 (end of file) or EIO: the peer is gone
}

// Hands more of the started write to the system; false when the line is gone.
bool PushWrite(SerialPort *p) {
    while (p->writeHanded < p->writeLength) {
        ssize_t n = write(p->fd, p->writeBuf + p->writeHanded,
                          (size_t)(p->writeLength - p->writeHanded));
        if (n > 0) {
            p->writeHanded += (int)n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        return false;
    }
    return true;
}

} // namespace

int SerialPortPath(const char *name, char *path, int size) {
    if (!name || !path || size < 2) return 0;
    if (name[0] == '/') return snprintf(path, (size_t)size, "%s", name) < size;
    char dev[8] = {0};
    for (int i = 0; i < 7 && name[i]; i++) dev[i] = (char)toupper((unsigned char)name[i]);
    // The device name ends at the colon ("COM1:" is COM1).
    if (char *colon = strchr(dev, ':')) *colon = 0;
    size_t len = strlen(dev);
    if (len < 4 || strncmp(dev, "COM", 3) != 0) return 0;
    int number = 0;
    for (size_t i = 3; i < len; i++) {
        if (!isdigit((unsigned char)dev[i])) return 0;
        number = number * 10 + (dev[i] - '0');
    }
    if (number < 1) return 0;
    struct stat st;
    if (lstat(dev, &st) == 0) return snprintf(path, (size_t)size, "%s", dev) < size;
    return snprintf(path, (size_t)size, "/dev/ttyS%d", number - 1) < size;
}

SerialPort *SerialPortOpen(const char *name) {
    char path[256];
    if (!SerialPortPath(name, path, sizeof path)) return nullptr;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    termios t;
    // Not shared: a second open of the same device, in this process or any
    // other, fails here.
    if (tcgetattr(fd, &t) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    MakeRaw(&t);
    t.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARODD | CMSPAR);
    t.c_cflag |= CS8 | PARENB | CRTSCTS;
    t.c_iflag |= INPCK;
    t.c_iflag &= ~(tcflag_t)(IGNPAR);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t); // a pty may refuse some of it; it still works
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    SerialPort *p = PortNew(fd);
    if (!p) close(fd);
    return p;
}

SerialPort *SerialPortAttach(int fd, int baud) {
    if (fd < 0) return nullptr;
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    termios t;
    if (tcgetattr(fd, &t) == 0) {
        MakeRaw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    SerialPort *p = PortNew(fd);
    if (!p) return nullptr;
    SetPacingLocked(p, baud, 10);
    return p;
}

void SerialPortClose(SerialPort *p) {
    if (!p) return;
    // The exclusive mark outlives our descriptor while another holds the
    // device (a simulator's own slave descriptor): clear it for the next open.
    ioctl(p->fd, TIOCNXCL);
    close(p->fd);
    close(p->stopFd);
    close(p->nudgeFd);
    delete p;
}

int SerialPortConfigure(SerialPort *p, int baud, int parity, int stopBits, int dataBits) {
    speed_t code;
    if (!p || !BaudToCode(baud, &code)) return 0;
    termios t;
    bool haveTerm = tcgetattr(p->fd, &t) == 0;
    if (!haveTerm) memset(&t, 0, sizeof t);
    switch (parity) {
    case PARITY_NONE:
        t.c_cflag &= ~(tcflag_t)(PARENB | PARODD | CMSPAR);
        t.c_iflag &= ~(tcflag_t)INPCK;
        break;
    case PARITY_EVEN:
    case PARITY_ODD:
    case PARITY_SPACE:
    case PARITY_MARK:
        t.c_cflag &= ~(tcflag_t)(PARODD | CMSPAR);
        t.c_cflag |= PARENB;
        if (parity == PARITY_ODD || parity == PARITY_MARK) t.c_cflag |= PARODD;
        if (parity >= PARITY_SPACE) t.c_cflag |= CMSPAR;
        t.c_iflag |= INPCK;
        break;
    default:
        break;
    }
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits >= 5 && dataBits <= 8) {
        t.c_cflag &= ~(tcflag_t)CSIZE;
        t.c_cflag |= sizes[dataBits - 5];
    }
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~(tcflag_t)CSTOPB;
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
    if (haveTerm) tcsetattr(p->fd, TCSANOW, &t);

    int bits = 1 + (stopBits == 2 ? 2 : 1) + ((t.c_cflag & PARENB) ? 1 : 0);
    switch (t.c_cflag & CSIZE) {
    case CS5: bits += 5; break;
    case CS6: bits += 6; break;
    case CS7: bits += 7; break;
    default: bits += 8; break;
    }
    std::lock_guard<std::mutex> guard(p->lock);
    SetPacingLocked(p, baud, bits);
    return 1;
}

void SerialPortSetPacing(SerialPort *p, int baud, int bitsPerChar) {
    std::lock_guard<std::mutex> guard(p->lock);
    SetPacingLocked(p, baud, bitsPerChar);
}

void SerialPortSetInterval(SerialPort *p, int ms) { p->intervalMs = ms < 1 ? 1 : ms; }

int SerialPortInterval(const SerialPort *p) { return p->intervalMs; }

int SerialPortCharTime(const SerialPort *p) { return (int)(p->charNs / 1000); }

int SerialPortFd(const SerialPort *p) { return p->fd; }

void SerialPortStop(SerialPort *p) {
    p->stopped = true;
    uint64_t one = 1;
    ssize_t r = write(p->stopFd, &one, sizeof one);
    (void)r;
}

int SerialPortRead(SerialPort *p, uint8_t *buf, int size, int timeoutMs) {
    int64_t start = NowNs();
    int64_t deadline = timeoutMs < 0 ? kForever : start + (int64_t)timeoutMs * 1000000;
    int count = 0;
    int64_t lastAt = 0;
    bool down = false;
    for (;;) {
        if (p->stopped) return count > 0 ? count : SERIAL_STOPPED;
        if (count >= size) return count;
        int64_t now = NowNs();
        int64_t until = count > 0 ? lastAt + (int64_t)p->intervalMs * 1000000 : deadline;
        if (until != kForever && now >= until)
            return count > 0 ? count : (down ? SERIAL_HUNGUP : SERIAL_TIMEOUT);
        int64_t span = until == kForever ? kForever : until - now;
        // A hung-up line is looked at again every 10 ms rather than polled.
        if (down && (span == kForever || span > 10000000)) span = 10000000;
        pollfd fds[2] = {{p->stopFd, POLLIN, 0}, {p->fd, (short)(down ? 0 : POLLIN), 0}};
        timespec ts;
        int r = ppoll(fds, down ? 1 : 2, SpanToTimespec(span, &ts), nullptr);
        if (r < 0 && errno != EINTR) return count > 0 ? count : SERIAL_HUNGUP;
        if (down) {
            down = false; // look at the line again
            continue;
        }
        if (r <= 0 || !(fds[1].revents & kReadable)) continue;
        int got;
        if (!ReadAvailable(p, buf + count, size - count, &got) ||
            (got == 0 && (fds[1].revents & kTrouble))) {
            down = true;
            continue;
        }
        if (got > 0) {
            count += got;
            lastAt = NowNs();
        }
    }
}

int SerialPortWrite(SerialPort *p, const uint8_t *buf, int n) {
    if (n <= 0) return 0;
    int64_t due;
    {
        std::lock_guard<std::mutex> guard(p->lock);
        int64_t begin = std::max(NowNs(), p->lineFreeAt);
        p->lineFreeAt = begin + n * p->charNs;
        due = p->lineFreeAt;
    }
    int handed = 0;
    while (handed < n) {
        if (p->stopped) return SERIAL_STOPPED;
        ssize_t w = write(p->fd, buf + handed, (size_t)(n - handed));
        if (w > 0) {
            handed += (int)w;
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return SERIAL_HUNGUP;
        pollfd fds[2] = {{p->stopFd, POLLIN, 0}, {p->fd, POLLOUT, 0}};
        timespec ts;
        ppoll(fds, 2, SpanToTimespec(10000000, &ts), nullptr);
    }
    for (;;) {
        if (p->stopped) return SERIAL_STOPPED;
        int64_t now = NowNs();
        if (now >= due) break;
        pollfd fds[1] = {{p->stopFd, POLLIN, 0}};
        timespec ts;
        ppoll(fds, 1, SpanToTimespec(due - now, &ts), nullptr);
    }
    if (!p->pty) tcdrain(p->fd);
    return n;
}

int SerialPortWriteStart(SerialPort *p, const uint8_t *buf, int n) {
    if (n <= 0 || n > SERIAL_MAX_TRANSFER) return 0;
    {
        std::lock_guard<std::mutex> guard(p->lock);
        if (p->hungUp || p->stopped || p->writing) return 0;
        memcpy(p->writeBuf, buf, (size_t)n);
        p->writeLength = n;
        p->writeHanded = 0;
        p->writing = true;
        int64_t begin = std::max(NowNs(), p->lineFreeAt);
        p->lineFreeAt = begin + n * p->charNs;
        p->writeDueAt = p->lineFreeAt;
        if (!PushWrite(p)) {
            p->writing = false;
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
        if (p->stopped) return SERIAL_EV_STOP;
        if (p->hungUp && !p->hangReported) {
            p->hangReported = true;
            std::lock_guard<std::mutex> guard(p->lock);
            p->writing = false;
            return SERIAL_EV_HUNGUP;
        }
        int64_t now = NowNs();
        int64_t interval = (int64_t)p->intervalMs * 1000000;
        bool down = p->hungUp;
        if (!down && p->readCount > 0 &&
            (p->readCount >= size || now - p->lastByteAt >= interval)) {
            *count = p->readCount;
            p->readCount = 0;
            return SERIAL_EV_READ;
        }
        int64_t until = kForever;
        if (!down && p->readCount > 0) until = p->lastByteAt + interval;
        bool wantOut = false;
        {
            std::lock_guard<std::mutex> guard(p->lock);
            if (p->writing && p->writeHanded == p->writeLength) {
                if (now >= p->writeDueAt) {
                    if (!OutputQueued(p)) {
                        p->writing = false;
                        *count = p->writeLength;
                        return SERIAL_EV_WRITTEN;
                    }
                    until = std::min(until, now + 1000000); // look again in a millisecond
                } else {
                    until = std::min(until, p->writeDueAt);
                }
            }
            wantOut = p->writing && p->writeHanded < p->writeLength;
        }
        pollfd fds[3] = {{p->stopFd, POLLIN, 0},
                         {p->nudgeFd, POLLIN, 0},
                         {p->fd, (short)(POLLIN | (wantOut ? POLLOUT : 0)), 0}};
        timespec ts;
        int r = ppoll(fds, down ? 2 : 3, SpanToTimespec(until == kForever ? kForever : until - now, &ts),
                      nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            p->hungUp = true;
            continue;
        }
        if (fds[1].revents & POLLIN) DrainEventFd(p->nudgeFd);
        if (down || r == 0) continue;
        if (fds[2].revents & kReadable) {
            int got;
            // An error or hang-up that yields no bytes would wake every poll.
            if (!ReadAvailable(p, buf + p->readCount, size - p->readCount, &got) ||
                (got == 0 && (fds[2].revents & kTrouble))) {
                p->hungUp = true;
                continue;
            }
            if (got > 0) {
                p->readCount += got;
                p->lastByteAt = NowNs();
            }
        }
        if (fds[2].revents & POLLOUT) {
            std::lock_guard<std::mutex> guard(p->lock);
            if (!PushWrite(p)) p->hungUp = true;
        }
    }
}
