// The paced cable's carrying thread (see paced_cable.h).
//
//   end a --read--> [bytes, each with the time it leaves the line] --write--> end b
//   end b --read--> [ same, own clock                              ] --write--> end a
#include "sim/paced_cable/paced_cable.h"
#include "platform/pty.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

enum { WAY_SIZE = 65536 };

// One direction: the bytes read and not yet written, with their due times.
struct Way {
    uint8_t bytes[WAY_SIZE];
    int64_t dueNs[WAY_SIZE];
    int head = 0; // next byte to write
    int count = 0;
    int64_t lineFreeNs = 0; // when the line has sent the last byte taken
    std::atomic<long> carried{0};
};

struct End {
    PtyPair pty{-1, -1, "", ""};
    int fd = -1;        // the descriptor the cable reads and writes
    bool owned = false; // fd is the opened terminal, not pty.master
    bool gone = false;  // read error or hang-up: no longer polled
    std::string path;
};

} // namespace

struct PacedCable {
    End ends[2];
    Way ways[2]; // ways[0]: a to b
    int64_t charNs = 0;
    int stopFd = -1;
    std::thread thread;
};

static int64_t now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

long long CableCharNs(int baud, int bitsPerChar) {
    if (baud <= 0 || bitsPerChar <= 0)
        return 0;
    return 1000000000LL * bitsPerChar / baud;
}

// Opens an existing terminal raw and non-blocking; -1 on failure.
static int end_open_path(const std::string &path, std::string *error) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + strerror(errno);
        return -1;
    }
    termios t;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// Makes one end as the options ask; false with *error set on failure.
static bool end_make(End *e, const CableEnd &want, const char *name, std::string *error) {
    if (want.link.empty() == want.open.empty()) {
        *error = std::string("end ") + name + " needs either a link or a path to open";
        return false;
    }
    if (!want.open.empty()) {
        e->fd = end_open_path(want.open, error);
        e->owned = true;
        e->path = want.open;
        return e->fd >= 0;
    }
    if (!PtyOpen(&e->pty)) {
        *error = std::string("cannot make a pty: ") + strerror(errno);
        return false;
    }
    if (!PtyLink(&e->pty, want.link.c_str())) {
        *error = "cannot link " + want.link + " (an existing file that is not a link?)";
        PtyClose(&e->pty);
        return false;
    }
    e->fd = e->pty.master;
    fcntl(e->fd, F_SETFL, fcntl(e->fd, F_GETFL) | O_NONBLOCK);
    e->path = e->pty.slavePath;
    return true;
}

static void end_close(End *e) {
    if (e->owned && e->fd >= 0)
        close(e->fd);
    PtyClose(&e->pty);
    e->fd = -1;
}

// Reads what the end has into the way, each byte timed by the line's clock.
static void way_take(Way *w, End *from, int64_t charNs) {
    int room = WAY_SIZE - w->count;
    while (room > 0) {
        uint8_t chunk[4096];
        int want = room < (int)sizeof chunk ? room : (int)sizeof chunk;
        ssize_t n = read(from->fd, chunk, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            from->gone = true; // EIO once the last opener of the far side closed it
            return;
        }
        int64_t t = now_ns();
        for (ssize_t i = 0; i < n; i++) {
            int64_t start = w->lineFreeNs > t ? w->lineFreeNs : t;
            w->lineFreeNs = start + charNs;
            int slot = (w->head + w->count) % WAY_SIZE;
            w->bytes[slot] = chunk[i];
            w->dueNs[slot] = w->lineFreeNs;
            w->count++;
        }
        room -= (int)n;
    }
}

// Writes the bytes that are due to the other end; false when it cannot take them yet.
static bool way_give(Way *w, End *to, int64_t now) {
    while (w->count > 0 && w->dueNs[w->head] <= now) {
        int run = 0;
        while (run < w->count && w->head + run < WAY_SIZE && w->dueNs[w->head + run] <= now)
            run++;
        ssize_t n = to->gone ? run : write(to->fd, w->bytes + w->head, run);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return false;
        if (n < 0) {
            to->gone = true; // nobody to deliver to: the bytes are lost as on a cut line
            n = run;
        }
        w->head = (w->head + (int)n) % WAY_SIZE;
        w->count -= (int)n;
        w->carried += (long)n;
        if (n < run)
            return false;
    }
    return true;
}

// The carrying loop: until the stop descriptor turns readable.
static void cable_run(PacedCable *c) {
    bool blocked[2] = {false, false}; // the way's far end would not take more
    for (;;) {
        int64_t now = now_ns();
        int64_t next = -1;
        for (int w = 0; w < 2; w++) {
            blocked[w] = !way_give(&c->ways[w], &c->ends[1 - w], now);
            Way &way = c->ways[w];
            if (way.count > 0 && !blocked[w] && (next < 0 || way.dueNs[way.head] < next))
                next = way.dueNs[way.head];
        }
        pollfd fds[3];
        int which[3];
        int n = 0;
        fds[n] = {c->stopFd, POLLIN, 0};
        which[n++] = -1;
        for (int e = 0; e < 2; e++) {
            End &end = c->ends[e];
            if (end.gone)
                continue;
            short ev = 0;
            if (c->ways[e].count < WAY_SIZE)
                ev |= POLLIN;
            if (blocked[1 - e])
                ev |= POLLOUT;
            fds[n] = {end.fd, ev, 0};
            which[n++] = e;
        }
        timespec wait{}, *waitp = nullptr;
        if (next >= 0) {
            int64_t d = next - now_ns();
            if (d < 0)
                d = 0;
            wait.tv_sec = d / 1000000000;
            wait.tv_nsec = d % 1000000000;
            waitp = &wait;
        }
        int r = ppoll(fds, n, waitp, nullptr);
        if (r < 0 && errno != EINTR)
            return;
        if (r <= 0)
            continue;
        if (fds[0].revents != 0)
            return;
        for (int i = 1; i < n; i++) {
            int e = which[i];
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                way_take(&c->ways[e], &c->ends[e], c->charNs);
        }
    }
}

PacedCable *CableStart(const CableOptions &o, std::string *error) {
    if (o.baud <= 0 || o.bitsPerChar <= 0) {
        *error = "bad baud rate or character size";
        return nullptr;
    }
    PacedCable *c = new PacedCable;
    c->charNs = CableCharNs(o.baud, o.bitsPerChar);
    c->stopFd = eventfd(0, EFD_CLOEXEC);
    if (c->stopFd < 0 || !end_make(&c->ends[0], o.a, "a", error) ||
        !end_make(&c->ends[1], o.b, "b", error)) {
        if (c->stopFd < 0)
            *error = std::string("eventfd: ") + strerror(errno);
        end_close(&c->ends[0]);
        end_close(&c->ends[1]);
        if (c->stopFd >= 0)
            close(c->stopFd);
        delete c;
        return nullptr;
    }
    c->thread = std::thread(cable_run, c);
    return c;
}

const char *CableEndPath(const PacedCable *c, int end) {
    return c->ends[end & 1].path.c_str();
}

long CableCarried(const PacedCable *c, int way) {
    return c->ways[way & 1].carried.load();
}

void CableStop(PacedCable *c) {
    if (c == nullptr)
        return;
    uint64_t one = 1;
    if (write(c->stopFd, &one, sizeof one) < 0) {
        // the descriptor is ours and open: an eventfd write cannot fail here
    }
    c->thread.join();
    end_close(&c->ends[0]);
    end_close(&c->ends[1]);
    close(c->stopFd);
    delete c;
}
