// The TCP simulator's server thread: accepts connections, cuts requests out of
// the byte stream, serves them from the slave model and answers, or injects
// the armed fault instead.
#include "sim/modbus_tcp/tcp_sim.h"

#include "platform/sockets.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/sim_frames.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

enum {
    SIM_CONNECTIONS = 16,
    SIM_RECEIVE_ROOM = 2 * SIM_FRAME_MAX,
    SIM_POLL_MS = 20, // how often the thread looks at its stop flag
    SIM_SPLIT_PAUSE_MS = 20,
};

struct SimConnection {
    int sock;
    int have;
    uint8_t bytes[SIM_RECEIVE_ROOM];
    int heldLength; // a reply held back by the "late" fault
    uint8_t held[SIM_FRAME_MAX];
};

struct TcpSim {
    ModbusSlave *slave;
    TcpSimOptions options;
    int listener;
    uint16_t port;
    std::thread thread;
    std::atomic<int> stop;
    std::atomic<unsigned long> requests;
    std::atomic<unsigned long> connections;
    std::atomic<int> delayMs;
    std::mutex faultLock;
    int fault;
    int faultLeft; // 0: every request
    SimConnection conn[SIM_CONNECTIONS];
};

static const char *const FaultNames[TCPSIM_FAULT_COUNT] = {
    "none", "reset",  "close",      "late",   "delay",  "split",
    "unit", "silent", "overlength", "badcrc", "garbage"};

int TcpSimFaultParse(const char *name) {
    for (int i = 0; i < TCPSIM_FAULT_COUNT; i++)
        if (strcmp(name, FaultNames[i]) == 0)
            return i;
    return -1;
}

const char *TcpSimFaultName(int fault) {
    return fault >= 0 && fault < TCPSIM_FAULT_COUNT ? FaultNames[fault] : "?";
}

void TcpSimSetFault(TcpSim *sim, int fault, int count) {
    std::lock_guard<std::mutex> guard(sim->faultLock);
    sim->fault = fault;
    sim->faultLeft = count;
}

void TcpSimSetDelay(TcpSim *sim, int ms) {
    sim->delayMs = ms;
}

// The fault for this request; an armed count runs down to none.
static int FaultTake(TcpSim *sim) {
    std::lock_guard<std::mutex> guard(sim->faultLock);
    int fault = sim->fault;
    if (fault != TCPSIM_NONE && sim->faultLeft > 0 && --sim->faultLeft == 0)
        sim->fault = TCPSIM_NONE;
    return fault;
}

static void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

static void SendAll(int sock, const uint8_t *data, int length) {
    int error;
    while (length > 0) {
        int n = SockSend(sock, data, length, &error);
        if (n <= 0)
            return;
        data += n;
        length -= n;
    }
}

static void ConnectionEnd(SimConnection *c, int abort) {
    if (abort)
        SockAbort(c->sock);
    else
        SockClose(c->sock);
    c->sock = -1;
    c->have = 0;
    c->heldLength = 0;
}

// Sends the reply frame as the fault says. Returns 0 when the connection has ended.
static int Answer(TcpSim *sim, SimConnection *c, uint8_t *frame, int length, int fault) {
    int rtu = sim->options.rtu;
    switch (fault) {
    case TCPSIM_RESET:
        ConnectionEnd(c, 1);
        return 0;
    case TCPSIM_CLOSE:
        SendAll(c->sock, frame, length / 2);
        ConnectionEnd(c, 0);
        return 0;
    case TCPSIM_LATE:
        memcpy(c->held, frame, (size_t)length);
        c->heldLength = length;
        return 1;
    case TCPSIM_SILENT:
        return 1;
    case TCPSIM_GARBAGE: {
        uint8_t noise[16];
        uint32_t x = 0x2545F491u;
        for (uint8_t &b : noise)
            b = (uint8_t)((x = x * 1103515245u + 12345u) >> 16);
        SendAll(c->sock, noise, sizeof noise);
        return 1;
    }
    default:
        break;
    }
    if (c->heldLength) {
        SendAll(c->sock, c->held, c->heldLength);
        c->heldLength = 0;
    }
    if (fault == TCPSIM_DELAY)
        Pause(sim->delayMs);
    if (fault == TCPSIM_SPLIT) {
        int head = rtu ? 3 : 7;
        SendAll(c->sock, frame, head);
        Pause(SIM_SPLIT_PAUSE_MS);
        SendAll(c->sock, frame + head, length - head);
        return 1;
    }
    SendAll(c->sock, frame, length);
    return 1;
}

// Serves one complete request frame. Returns 0 when the connection has ended.
static int ServeFrame(TcpSim *sim, SimConnection *c, const uint8_t *frame, int size) {
    int rtu = sim->options.rtu;
    if (rtu && SimCrc16(frame, size) != 0)
        return 1; // a bad frame is not answered
    int unit = rtu ? frame[0] : frame[6];
    const uint8_t *pdu = rtu ? frame + 1 : frame + 7;
    int pduLength = rtu ? size - 3 : size - 7;
    if (sim->options.unit >= 0 && unit != sim->options.unit)
        return 1;
    uint8_t reply[SLAVE_PDU_MAX];
    int replyLength = SlaveServe(sim->slave, pdu, pduLength, reply);
    sim->requests++;
    if (replyLength <= 0)
        return 1;
    int fault = FaultTake(sim);
    int answerUnit = fault == TCPSIM_UNIT ? (unit + 1) & 0xFF : unit;
    unsigned transaction = (unsigned)(frame[0] << 8 | frame[1]);
    if (fault == TCPSIM_BADCRC && !rtu)
        transaction ^= 0x8000;
    uint8_t out[SIM_FRAME_MAX];
    int length = rtu ? SimRtuReply(out, answerUnit, reply, replyLength)
                     : SimMbapReply(out, transaction, answerUnit, reply, replyLength);
    if (fault == TCPSIM_BADCRC && rtu)
        out[length - 1] ^= 0x5A;
    if (fault == TCPSIM_OVERLENGTH) {
        if (rtu) {
            out[2] = 0xFF; // a byte count that runs past what is sent
        } else {
            out[4] = 0xFF;
            out[5] = 0xFF;
        }
    }
    return Answer(sim, c, out, length, fault);
}

// Takes in what the peer sent and serves every complete request in it.
static void ConnectionRead(TcpSim *sim, SimConnection *c) {
    int error;
    int n = SockRecv(c->sock, c->bytes + c->have, SIM_RECEIVE_ROOM - c->have, &error);
    if (n <= 0) {
        if (n == 0 || error != SOCK_EWOULDBLOCK)
            ConnectionEnd(c, 0);
        return;
    }
    c->have += n;
    for (;;) {
        int size = sim->options.rtu ? SimRtuRequestSize(c->bytes, c->have)
                                    : SimMbapRequestSize(c->bytes, c->have);
        if (size < 0 || (size == 0 && c->have == SIM_RECEIVE_ROOM)) {
            ConnectionEnd(c, 0); // not a request stream
            return;
        }
        if (size == 0)
            return;
        if (!ServeFrame(sim, c, c->bytes, size))
            return;
        c->have -= size;
        memmove(c->bytes, c->bytes + size, (size_t)c->have);
    }
}

static void Accept(TcpSim *sim) {
    int sock = SockAccept(sim->listener);
    if (sock < 0)
        return;
    for (SimConnection &c : sim->conn)
        if (c.sock < 0) {
            c.sock = sock;
            c.have = 0;
            c.heldLength = 0;
            sim->connections++;
            return;
        }
    SockClose(sock); // no room for another connection
}

static void ServerThread(TcpSim *sim) {
    while (!sim->stop) {
        int socks[1 + SIM_CONNECTIONS];
        SimConnection *owner[1 + SIM_CONNECTIONS];
        int n = 0;
        socks[n] = sim->listener;
        owner[n++] = nullptr;
        for (SimConnection &c : sim->conn)
            if (c.sock >= 0) {
                socks[n] = c.sock;
                owner[n++] = &c;
            }
        uint8_t ready[1 + SIM_CONNECTIONS];
        if (SockPollRead(socks, n, SIM_POLL_MS, ready) <= 0)
            continue;
        if (ready[0])
            Accept(sim);
        for (int i = 1; i < n; i++)
            if (ready[i])
                ConnectionRead(sim, owner[i]);
    }
}

TcpSim *TcpSimStart(ModbusSlave *slave, const TcpSimOptions *options) {
    TcpSim *sim = new (std::nothrow) TcpSim();
    if (!sim)
        return nullptr;
    sim->slave = slave;
    sim->options = *options;
    sim->delayMs = options->delayMs;
    for (SimConnection &c : sim->conn)
        c.sock = -1;
    sim->listener = SockListenLoopback(options->port, &sim->port);
    if (sim->listener < 0) {
        delete sim;
        return nullptr;
    }
    sim->thread = std::thread(ServerThread, sim);
    return sim;
}

uint16_t TcpSimPort(const TcpSim *sim) {
    return sim->port;
}

unsigned long TcpSimRequests(const TcpSim *sim) {
    return sim->requests;
}

unsigned long TcpSimConnections(const TcpSim *sim) {
    return sim->connections;
}

void TcpSimStop(TcpSim *sim) {
    if (!sim)
        return;
    sim->stop = 1;
    sim->thread.join();
    for (SimConnection &c : sim->conn)
        if (c.sock >= 0)
            ConnectionEnd(&c, 0);
    SockClose(sim->listener);
    delete sim;
}
