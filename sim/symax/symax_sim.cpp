// The simulator's serving thread (see symax_sim.h).
//
// The thread reads whatever the line holds without waiting for more (a
// device reacts to each byte, not to a full buffer), and writes in small
// paced chunks so that it keeps reading while a long reply goes out; control
// sequences (acknowledgements, answers to enquiries) go out before the next
// chunk of a frame, never between the two bytes of a DLE pair.
#include "sim/symax/symax_sim.h"

#include "platform/pty.h"
#include "platform/serial.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace symaxsim {

struct Sim {
    PtyPair pty;
    SerialPort *port = nullptr;
    std::mutex lock;
    Slave slave;
    std::atomic<bool> stopping{false};
    std::thread thread;
    bool trace = false;
    uint64_t traceStart = 0;
    // Serving thread only: what is still to be written.
    Bytes control;
    Bytes frame;
    size_t framePos = 0;
    bool framePending = false; // a frame is being written: report its end
    size_t frameBody = 0;      // bytes before the raw check bytes, where DLE opens a pair
};

static uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum { READ_SIZE = 256, CHUNK = 4, IDLE_POLL_MS = 20 };

static void sim_trace(Sim *sim, const char *what, const uint8_t *b, size_t n) {
    if (!sim->trace)
        return;
    std::string line = std::to_string(now_ms() - sim->traceStart) + " " + what;
    char hex[4];
    for (size_t i = 0; i < n; i++) {
        snprintf(hex, sizeof hex, " %02X", b[i]);
        line += hex;
    }
    fprintf(stderr, "%s\n", line.c_str());
}

static void sim_take(Sim *sim, SlaveOutput *o, bool crc) {
    sim->control.insert(sim->control.end(), o->control.begin(), o->control.end());
    if (o->frameStart) {
        sim->framePending = true;
        sim->frame = o->frame;
        sim->framePos = 0;
        sim->frameBody = o->frame.size() - (crc ? 2 : 1);
    }
    *o = SlaveOutput{};
}

// The next chunk to write: every control pair, then up to CHUNK frame bytes.
static Bytes sim_chunk(Sim *sim) {
    Bytes c;
    c.swap(sim->control);
    size_t taken = 0;
    while (taken < CHUNK && sim->framePos < sim->frame.size()) {
        uint8_t b = sim->frame[sim->framePos++];
        c.push_back(b);
        taken++;
        if (b == DLE && sim->framePos <= sim->frameBody && sim->framePos < sim->frame.size())
            c.push_back(sim->frame[sim->framePos++]); // the DLE's partner follows at once
    }
    if (sim->framePos >= sim->frame.size()) {
        sim->frame.clear();
        sim->framePos = 0;
    }
    return c;
}

// Reads what the line holds now (waiting up to waitMs for the first byte) and
// feeds it to the slave.
static void sim_read(Sim *sim, int waitMs) {
    int fd = SerialPortFd(sim->port);
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0)
        return;
    uint8_t buf[READ_SIZE];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0)
        return; // nothing after all
    sim_trace(sim, "in ", buf, size_t(n));
    uint64_t now = now_ms();
    std::lock_guard<std::mutex> g(sim->lock);
    SlaveOutput o;
    SlaveRxBytes(&sim->slave, buf, size_t(n), now, &o);
    sim_take(sim, &o, sim->slave.crc);
}

static void sim_serve(Sim *sim) {
    while (!sim->stopping.load()) {
        uint64_t now = now_ms(), due;
        {
            std::lock_guard<std::mutex> g(sim->lock);
            SlaveOutput o;
            SlaveTick(&sim->slave, now, &o);
            sim_take(sim, &o, sim->slave.crc);
            due = SlaveNextDeadline(&sim->slave);
        }
        if (!sim->control.empty() || !sim->frame.empty()) {
            Bytes c = sim_chunk(sim);
            sim_trace(sim, "out", c.data(), c.size());
            bool frameDone = sim->frame.empty() && sim->framePending;
            if (SerialPortWrite(sim->port, c.data(), int(c.size())) == SERIAL_STOPPED)
                return;
            if (frameDone) {
                sim->framePending = false;
                std::lock_guard<std::mutex> g(sim->lock);
                SlaveFrameSent(&sim->slave, now_ms());
            }
            sim_read(sim, 0);
            continue;
        }
        // Wake at the next timer, and now and then to take up new faults.
        int wait = IDLE_POLL_MS;
        if (due != UINT64_MAX)
            wait = due <= now ? 0 : int(std::min<uint64_t>(due - now, IDLE_POLL_MS));
        sim_read(sim, wait);
    }
}

Sim *SimStart(const SimOptions &o, std::string *error) {
    Sim *sim = new Sim;
    SlaveInit(&sim->slave);
    sim->slave.crc = o.crc;
    sim->slave.delayMs = o.delayMs;
    sim->slave.dev.drop = o.drop;
    sim->slave.dev.hook = o.hook;
    sim->trace = o.trace;
    sim->traceStart = now_ms();
    if (!PtyOpen(&sim->pty)) {
        *error = "cannot open a pseudo-terminal";
        delete sim;
        return nullptr;
    }
    if (!o.link.empty() && !PtyLink(&sim->pty, o.link.c_str())) {
        *error = "cannot create the link " + o.link + " (a file that is no symlink is in the way?)";
        PtyClose(&sim->pty);
        delete sim;
        return nullptr;
    }
    sim->port = SerialPortAttach(sim->pty.master, o.baud);
    if (sim->port == nullptr) {
        *error = "cannot attach the pseudo-terminal";
        PtyClose(&sim->pty);
        delete sim;
        return nullptr;
    }
    sim->pty.master = -1; // the port owns it now
    SerialPortSetPacing(sim->port, o.baud, o.bitsPerChar);
    sim->slave.charMicros = SerialPortCharTime(sim->port);
    // The master reads 8 characters at a time, a short read ending after the
    // line's inter-character interval: until then it has not seen our response
    // and its enquiries cross it.
    int interval = (4 * o.baud + 153996) / o.baud;
    sim->slave.enqQuietMs = int((8 * int64_t(sim->slave.charMicros) + 999) / 1000) + interval + 5;
    sim->thread = std::thread(sim_serve, sim);
    return sim;
}

const char *SimSlavePath(const Sim *sim) {
    return sim->pty.slavePath;
}

void SimWith(Sim *sim, const std::function<void(Slave *)> &f) {
    std::lock_guard<std::mutex> g(sim->lock);
    f(&sim->slave);
}

void SimStop(Sim *sim) {
    if (sim == nullptr)
        return;
    sim->stopping.store(true);
    SerialPortStop(sim->port);
    sim->thread.join();
    SerialPortClose(sim->port);
    PtyClose(&sim->pty);
    delete sim;
}

} // namespace symaxsim
