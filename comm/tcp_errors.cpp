// WinSock error texts of the TCP links and the reconnect that some of them call for.
#include "comm/tcp_link.h"

#include "platform/sockets.h"

struct TcpErrorEntry {
    int error;
    const char *text;
    int reconnect;
};

static const TcpErrorEntry TcpErrors[] = {
    {10014, "Buffer overflow or protection fault", 0},
    {10038, "Handle corruption S", 0},
    {10040, "Reply message too large", 0},
    {10050, "The network subsystem has failed", 0},
    {10052, "Connection broken by keep-alive failure", 1},
    {10053, "Circuit terminated by time-out or failure", 1},
    {10054, "Circuit reset by peer", 1},
    {10057, "The socket is not connected", 1},
    {10060, "Connection dropped by network or peer failure", 1},
    {10093, "WSAStartup not initialized", 0},
};

static const TcpErrorEntry *TcpErrorFind(int error) {
    for (const TcpErrorEntry &e : TcpErrors)
        if (e.error == error)
            return &e;
    return nullptr;
}

const char *TcpErrorText(int error) {
    const TcpErrorEntry *e = TcpErrorFind(error);
    return e ? e->text : nullptr;
}

int TcpErrorReconnects(int error) {
    const TcpErrorEntry *e = TcpErrorFind(error);
    return e ? e->reconnect : 0;
}

void TcpErrorSet(CommHandle *h, const char *prefix, int error) {
    const char *text = TcpErrorText(error);
    if (text)
        SetCommErrorF(h, "%s%s", prefix, text);
    else
        SetCommErrorF(h, "%s WINSOCK error %d", prefix, error);
}

void TcpFail(CommHandle *h, const char *prefix, int error) {
    // The operation's own failure is what it reports, whatever the new
    // connection's fate (the next operation tries again when it failed).
    if (TcpErrorReconnects(error))
        TcpReconnect(h);
    TcpErrorSet(h, prefix, error);
}

int TcpReconnect(CommHandle *h) {
    StatsCount(h, &CommStats::reconnections);
    if (h->sock >= 0) {
        SockShutdown(h->sock);
        SockClose(h->sock);
        h->sock = -1;
    }
    return TcpConnect(h);
}
