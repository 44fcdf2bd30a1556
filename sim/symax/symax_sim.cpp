// The simulator's serving thread (see symax_sim.h).
#include "sim/symax/symax_sim.h"

#include "platform/pty.h"
#include "platform/serial.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace symaxsim {

struct Sim {
    PtyPair pty;
    SerialPort *port = nullptr;
    std::mutex lock;
    Slave slave;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

static uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum { READ_SIZE = 32, IDLE_POLL_MS = 20 };

// Reads, feeds the slave, writes what it answers; wakes for its timers.
static void sim_serve(Sim *sim) {
    Bytes out;
    uint8_t buf[READ_SIZE];
    while (!sim->stopping.load()) {
        uint64_t now = now_ms(), due;
        out.clear();
        {
            std::lock_guard<std::mutex> g(sim->lock);
            SlaveTick(&sim->slave, now, &out);
            due = SlaveNextDeadline(&sim->slave);
        }
        if (!out.empty()) {
            if (SerialPortWrite(sim->port, out.data(), int(out.size())) == SERIAL_STOPPED)
                break;
            continue;
        }
        // Wake at the next timer, and now and then to take up new faults.
        int wait = IDLE_POLL_MS;
        if (due != UINT64_MAX)
            wait = due <= now ? 0 : int(std::min<uint64_t>(due - now, IDLE_POLL_MS));
        int n = SerialPortRead(sim->port, buf, READ_SIZE, wait);
        if (n == SERIAL_STOPPED)
            break;
        if (n <= 0)
            continue; // quiet line, or no peer on the slave side yet
        now = now_ms();
        {
            std::lock_guard<std::mutex> g(sim->lock);
            for (int i = 0; i < n; i++)
                SlaveRxByte(&sim->slave, buf[i], now, &out);
        }
        if (!out.empty() && SerialPortWrite(sim->port, out.data(), int(out.size())) == SERIAL_STOPPED)
            break;
    }
}

Sim *SimStart(const SimOptions &o, std::string *error) {
    Sim *sim = new Sim;
    SlaveInit(&sim->slave);
    sim->slave.crc = o.crc;
    sim->slave.delayMs = o.delayMs;
    sim->slave.dev.drop = o.drop;
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
    SerialPortSetInterval(sim->port, 1);
    sim->slave.charMicros = SerialPortCharTime(sim->port);
    sim->thread = std::thread(sim_serve, sim);
    return sim;
}

const char *SimSlavePath(const Sim *sim) { return sim->pty.slavePath; }

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
