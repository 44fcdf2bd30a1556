// The TCP link: open, connect and close, the drain before each request, the
// send, and the receive loop that waits on the socket in 10 ms polls.
#include "comm/tcp_link.h"

#include "platform/sockets.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

enum {
    DRAIN_ROOM = 256,
    DRAIN_MOST = 256, // receives per drain: a peer that never stops sending cannot hold us
    POLL_MS = 10,
};

// "%u.%u.%u.%u", each number cut to 8 bits, as the address in network order.
static int DottedAddress(const char *host, uint32_t *address) {
    unsigned a, b, c, d;
    if (sscanf(host, "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return 0;
    uint8_t *bytes = reinterpret_cast<uint8_t *>(address);
    bytes[0] = (uint8_t)a;
    bytes[1] = (uint8_t)b;
    bytes[2] = (uint8_t)c;
    bytes[3] = (uint8_t)d;
    return 1;
}

CommHandle *TcpOpen(const char *host, unsigned port, int unit, int kind) {
    if (!host || port == 0 || port > 0xFFFF)
        return nullptr;
    uint32_t address = 0;
    if (!DottedAddress(host, &address) && !SockResolve(host, &address))
        return nullptr;
    CommHandle *h = HandleAllocate(kind);
    if (!h)
        return nullptr;
    h->route.count = (uint16_t)unit;
    h->transactionCounter = (uint16_t)time(nullptr);
    h->peerAddress = address;
    h->peerPort = (uint16_t)port;
    if (!TcpConnect(h)) {
        HandleFree(h);
        return nullptr;
    }
    return h;
}

int TcpConnect(CommHandle *h) {
    h->sock = SockOpenTcp();
    int error = h->sock < 0 ? SOCK_ENOBUFS : SockConnectStart(h->sock, h->peerAddress, h->peerPort);
    bool aborted = false;
    for (int polls = 0; error == SOCK_EWOULDBLOCK; polls++) {
        if (polls >= h->replyTimeout) {
            error = SOCK_ETIMEDOUT;
            break;
        }
        if (!h->idleHook(h->idleArg)) {
            aborted = true;
            break;
        }
        error = SockConnectWait(h->sock, POLL_MS);
    }
    if (!aborted && error == 0)
        error = SockSetNonBlocking(h->sock);
    if (!aborted && error == 0)
        return 1;
    SockClose(h->sock);
    h->sock = -1;
    if (aborted) {
        SetCommError(h, "Application idle abort");
        return 0;
    }
    TcpErrorSet(h, "Connect ", error);
    // A refused connect comes back at once: one tick before the caller's next try.
    int goOn = h->idleHook(h->idleArg);
    std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    if (!goOn)
        SetCommError(h, "Application idle abort");
    return 0;
}

CommHandle *OpenModbusTCP(const char *host, unsigned port, int unit) {
    return TcpOpen(host, port, unit, LINK_MODBUS_TCP);
}

CommHandle *OpenRTUoverTCP(const char *host, unsigned port, int unit) {
    return TcpOpen(host, port, unit, LINK_RTU_OVER_TCP);
}

void TcpClose(CommHandle *h) {
    if (h->sock < 0)
        return;
    SockShutdown(h->sock);
    SockClose(h->sock);
    h->sock = -1;
}

int TcpDrain(CommHandle *h) {
    // No connection since a reconnect failed: each operation tries again.
    if (h->sock < 0)
        return TcpReconnect(h);
    uint8_t junk[DRAIN_ROOM];
    for (int i = 0; i < DRAIN_MOST; i++) {
        int error = 0;
        int n = SockRecv(h->sock, junk, sizeof junk, &error);
        if (n > 0)
            continue;
        // The peer closed or reset the connection while we were idle: the
        // request goes out on a new one rather than into a dead socket.
        if (n == 0 || TcpErrorReconnects(error))
            return TcpReconnect(h);
        return 1;
    }
    return 1;
}

int TcpSend(CommHandle *h, const uint8_t *data, int length) {
    int sent = 0;
    while (sent < length) {
        int error = 0;
        int n = SockSend(h->sock, data + sent, length - sent, &error);
        if (n < 0) {
            TcpFail(h, "Send ", error);
            return 0;
        }
        sent += n;
    }
    StatsCount(h, &CommStats::requestsSent);
    return 1;
}

int TcpReceive(CommHandle *h, uint8_t *reply, ReplySize size, int *polls) {
    int have = 0;
    int want = size(h, reply, 0);
    for (;;) {
        int error = 0;
        int n = SockRecv(h->sock, reply + have, want - have, &error);
        if (n == 0) {
            // An orderly close in the middle of a transaction ends the circuit
            // just as a reset does, and is handled the same way.
            TcpFail(h, "Recv ", SOCK_ECONNRESET);
            return 0;
        }
        if (n < 0 && error != SOCK_EWOULDBLOCK) {
            TcpFail(h, "Recv ", error);
            return 0;
        }
        if (n > 0) {
            have += n;
            want = size(h, reply, have);
            if (want < 0)
                return 0;
            if (want <= have)
                return have;
            continue;
        }
        if (*polls >= h->replyTimeout) {
            SetCommError(h, "Reply timeout");
            StatsCount(h, &CommStats::timeouts);
            return 0;
        }
        ++*polls;
        if (!h->idleHook(h->idleArg)) {
            SetCommError(h, "Application idle abort");
            return 0;
        }
        // Wait for the reply rather than sleep: the loop goes on the moment it arrives.
        SockWaitReadable(h->sock, POLL_MS);
    }
}
