// TCP sockets for the communications library and the simulators.
//
// Failures are reported as WinSock error numbers (10035 would block, 10054
// reset by peer and so on), because the library's texts and its reconnect rule
// are keyed on them; SockErrorFromErrno does the translation. Addresses are
// IPv4 in network byte order, ports in host order. Sockets are plain
// descriptors; -1 is "no socket".
#pragma once
#include <cstdint>

enum {
    SOCK_EINTR = 10004,
    SOCK_EFAULT = 10014,
    SOCK_EINVAL = 10022,
    SOCK_EWOULDBLOCK = 10035,
    SOCK_EINPROGRESS = 10036,
    SOCK_ENOTSOCK = 10038,
    SOCK_EMSGSIZE = 10040,
    SOCK_EADDRINUSE = 10048,
    SOCK_ENETDOWN = 10050,
    SOCK_ENETUNREACH = 10051,
    SOCK_ENETRESET = 10052,
    SOCK_ECONNABORTED = 10053,
    SOCK_ECONNRESET = 10054,
    SOCK_ENOBUFS = 10055,
    SOCK_ENOTCONN = 10057,
    SOCK_ESHUTDOWN = 10058,
    SOCK_ETIMEDOUT = 10060,
    SOCK_ECONNREFUSED = 10061,
    SOCK_EHOSTUNREACH = 10065,
    SOCK_NOTINITIALISED = 10093,
};

// The WinSock number for an errno value (unknown values: 10000 + errno).
int SockErrorFromErrno(int err);

// A new IPv4 TCP stream socket (blocking), or -1.
int SockOpenTcp(void);
// Looks a host name up; 1 with the first IPv4 address, 0 when it does not resolve.
int SockResolve(const char *host, uint32_t *address);
// Blocking connect; 0 on success, else the WinSock error number.
int SockConnect(int sock, uint32_t address, uint16_t port);
// Starts a connect without waiting for it (the socket becomes non-blocking):
// 0 when it is already made, SOCK_EWOULDBLOCK while it is under way (finish it
// with SockConnectWait), else the WinSock error number.
int SockConnectStart(int sock, uint32_t address, uint16_t port);
// Waits up to ms milliseconds for a started connect: 0 once it is made,
// SOCK_EWOULDBLOCK while it is still under way, else the WinSock error number.
int SockConnectWait(int sock, int ms);
// Switches the socket to non-blocking mode and sends small writes at once; 0 on success.
int SockSetNonBlocking(int sock);
// Sends; the number of bytes sent, or -1 with *error set. Never raises SIGPIPE.
int SockSend(int sock, const void *data, int length, int *error);
// Receives up to room bytes: the number received, 0 when the peer has closed
// the connection, or -1 with *error set (SOCK_EWOULDBLOCK: nothing there yet).
int SockRecv(int sock, void *data, int room, int *error);
// Waits up to ms milliseconds until the socket has data or a pending error or
// close; 1 when it has, 0 when the time ran out.
int SockWaitReadable(int sock, int ms);
// Shuts both directions down; closes.
void SockShutdown(int sock);
void SockClose(int sock);
// Closes so that the peer sees a reset instead of an orderly end.
void SockAbort(int sock);

// Server side: listens on 127.0.0.1 and the port (0: any free one); the socket
// or -1, with the port actually bound in *bound.
int SockListenLoopback(uint16_t port, uint16_t *bound);
// Accepts one connection; the new socket or -1.
int SockAccept(int listener);
// Waits up to ms milliseconds until one of count sockets has data (or a close
// or error); ready[i] becomes 1 for each such socket. Returns how many are ready.
int SockPollRead(const int *socks, int count, int ms, uint8_t *ready);
