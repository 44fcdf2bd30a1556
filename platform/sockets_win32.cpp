// TCP sockets on WinSock 2: the error numbers are the system's own.
//
// The socket library is started on first use and cleaned up at exit. A
// SOCKET handle fits the int of sockets.h (the system hands out small values);
// INVALID_SOCKET is -1 there. A socket whose connect failed is kept in a list:
// sending on it is "not connected" (10057), as the POSIX layer reports it,
// whatever the stack below would make of a send on a socket left in an
// undefined state.
#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

std::mutex unconnected_lock;
std::set<int> unconnected; // sockets whose connect failed

void mark_unconnected(int sock, bool failed) {
    std::lock_guard<std::mutex> hold(unconnected_lock);
    if (failed)
        unconnected.insert(sock);
    else
        unconnected.erase(sock);
}

bool is_unconnected(int sock) {
    std::lock_guard<std::mutex> hold(unconnected_lock);
    return unconnected.count(sock) != 0;
}

void cleanup() {
    WSACleanup();
}

// Starts WinSock once for the process; false when it cannot be started.
bool started() {
    static const bool ok = [] {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return false;
        std::atexit(cleanup);
        return true;
    }();
    return ok;
}

SOCKET as_socket(int sock) {
    return sock < 0 ? INVALID_SOCKET : (SOCKET)(unsigned)sock;
}

int as_int(SOCKET s) {
    return s == INVALID_SOCKET ? -1 : (int)s;
}

sockaddr_in address_of(uint32_t address, uint16_t port) {
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    return to;
}

void no_delay(SOCKET s) {
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
}

timeval time_of(int ms) {
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

} // namespace

int SockOpenTcp(void) {
    if (!started())
        return -1;
    SOCKET s =
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return as_int(s);
}

int SockResolve(const char *host, uint32_t *address) {
    if (!host || !started())
        return 0;
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return 0;
    *address = reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 1;
}

int SockConnect(int sock, uint32_t address, uint16_t port) {
    sockaddr_in to = address_of(address, port);
    int error = 0;
    if (connect(as_socket(sock), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        error = WSAGetLastError();
    mark_unconnected(sock, error != 0);
    return error;
}

int SockConnectStart(int sock, uint32_t address, uint16_t port) {
    u_long on = 1;
    if (ioctlsocket(as_socket(sock), FIONBIO, &on) != 0)
        return WSAGetLastError();
    sockaddr_in to = address_of(address, port);
    int error = 0;
    if (connect(as_socket(sock), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        error = WSAGetLastError();
    // WinSock says "would block" where POSIX says "in progress"
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS)
        return SOCK_EWOULDBLOCK;
    mark_unconnected(sock, error != 0);
    return error;
}

int SockConnectWait(int sock, int ms) {
    SOCKET s = as_socket(sock);
    fd_set made, failed;
    FD_ZERO(&made);
    FD_ZERO(&failed);
    FD_SET(s, &made);
    FD_SET(s, &failed);
    timeval tv = time_of(ms < 0 ? 0 : ms);
    // a connect that is made shows as writable, one that failed as an exception
    int rc = select(0, nullptr, &made, &failed, &tv);
    if (rc == SOCKET_ERROR)
        return WSAGetLastError();
    if (rc == 0)
        return SOCK_EWOULDBLOCK;
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
        error = WSAGetLastError();
    else if (error == 0 && FD_ISSET(s, &failed))
        error = SOCK_ECONNREFUSED;
    mark_unconnected(sock, error != 0);
    return error;
}

int SockSetNonBlocking(int sock) {
    u_long on = 1;
    if (ioctlsocket(as_socket(sock), FIONBIO, &on) != 0)
        return WSAGetLastError();
    // Requests and replies are single small writes: send each at once.
    no_delay(as_socket(sock));
    return 0;
}

int SockSend(int sock, const void *data, int length, int *error) {
    if (is_unconnected(sock)) {
        *error = SOCK_ENOTCONN;
        return -1;
    }
    int n = send(as_socket(sock), static_cast<const char *>(data), length, 0);
    if (n == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return -1;
    }
    return n;
}

int SockRecv(int sock, void *data, int room, int *error) {
    int n = recv(as_socket(sock), static_cast<char *>(data), room, 0);
    if (n == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return -1;
    }
    return n;
}

int SockWaitReadable(int sock, int ms) {
    uint8_t ready = 0;
    return SockPollRead(&sock, 1, ms, &ready) > 0 ? 1 : 0;
}

void SockShutdown(int sock) {
    if (sock >= 0)
        shutdown(as_socket(sock), SD_BOTH);
}

void SockClose(int sock) {
    if (sock < 0)
        return;
    mark_unconnected(sock, false);
    closesocket(as_socket(sock));
}

void SockAbort(int sock) {
    if (sock < 0)
        return;
    linger hard;
    hard.l_onoff = 1;
    hard.l_linger = 0;
    setsockopt(as_socket(sock), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&hard),
               sizeof hard);
    mark_unconnected(sock, false);
    closesocket(as_socket(sock));
}

int SockListenLoopback(uint16_t port, uint16_t *bound) {
    int sock = SockOpenTcp();
    if (sock < 0)
        return -1;
    SOCKET s = as_socket(sock);
    // the port is ours alone while we listen (Windows' SO_REUSEADDR would share it)
    BOOL one = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&one),
               sizeof one);
    sockaddr_in at = address_of(htonl(INADDR_LOOPBACK), port);
    int size = sizeof at;
    if (bind(s, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&at), &size) != 0) {
        closesocket(s);
        return -1;
    }
    if (bound)
        *bound = ntohs(at.sin_port);
    return sock;
}

int SockAccept(int listener) {
    SOCKET s = accept(as_socket(listener), nullptr, nullptr);
    if (s != INVALID_SOCKET)
        no_delay(s);
    return as_int(s);
}

int SockPollRead(const int *socks, int count, int ms, uint8_t *ready) {
    if (count > FD_SETSIZE)
        count = FD_SETSIZE;
    fd_set readable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    for (int i = 0; i < count; i++) {
        FD_SET(as_socket(socks[i]), &readable);
        FD_SET(as_socket(socks[i]), &failed);
    }
    timeval tv = time_of(ms < 0 ? 0 : ms);
    int rc = count > 0 ? select(0, &readable, nullptr, &failed, ms < 0 ? nullptr : &tv) : 0;
    if (count == 0 && ms > 0)
        Sleep((DWORD)ms); // select wants at least one socket
    int n = 0;
    for (int i = 0; i < count; i++) {
        SOCKET s = as_socket(socks[i]);
        ready[i] = rc > 0 && (FD_ISSET(s, &readable) || FD_ISSET(s, &failed));
        n += ready[i];
    }
    return n;
}
