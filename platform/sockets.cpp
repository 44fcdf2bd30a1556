// TCP sockets on POSIX calls, with errors in WinSock numbering.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int SockOpenTcp(void) {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

int SockResolve(const char *host, uint32_t *address) {
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (!host || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return 0;
    *address = reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 1;
}

static sockaddr_in AddressOf(uint32_t address, uint16_t port) {
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    return to;
}

int SockConnect(int sock, uint32_t address, uint16_t port) {
    sockaddr_in to = AddressOf(address, port);
    if (connect(sock, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0)
        return 0;
    if (errno != EINTR)
        return SockErrorFromErrno(errno);
    // A signal (a terminal resize) cut the wait short, but the connection goes
    // on being made. A second connect may only say it is under way (EALREADY;
    // Linux happens to wait again), so wait for it here as the blocking
    // connect would have, and take its outcome.
    pollfd p;
    p.fd = sock;
    p.events = POLLOUT;
    for (;;) {
        p.revents = 0;
        int rc = poll(&p, 1, -1);
        if (rc > 0)
            break;
        if (rc < 0 && errno != EINTR)
            return SockErrorFromErrno(errno);
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return SockErrorFromErrno(errno);
    return error == 0 ? 0 : SockErrorFromErrno(error);
}

int SockConnectStart(int sock, uint32_t address, uint16_t port) {
    int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0)
        return SockErrorFromErrno(errno);
    sockaddr_in to = AddressOf(address, port);
    if (connect(sock, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0)
        return 0;
    // Interrupted, a non-blocking connect goes on being made all the same.
    if (errno == EINPROGRESS || errno == EINTR)
        return SOCK_EWOULDBLOCK;
    return SockErrorFromErrno(errno);
}

int SockConnectWait(int sock, int ms) {
    pollfd p;
    p.fd = sock;
    p.events = POLLOUT;
    p.revents = 0;
    int rc = poll(&p, 1, ms < 0 ? 0 : ms);
    if (rc < 0)
        return errno == EINTR ? SOCK_EWOULDBLOCK : SockErrorFromErrno(errno);
    if (rc == 0)
        return SOCK_EWOULDBLOCK;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return SockErrorFromErrno(errno);
    return error == 0 ? 0 : SockErrorFromErrno(error);
}

int SockSetNonBlocking(int sock) {
    int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0)
        return SockErrorFromErrno(errno);
    // Requests and replies are single small writes: send each at once.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return 0;
}

int SockSend(int sock, const void *data, int length, int *error) {
    ssize_t n;
    do {
        n = send(sock, data, (size_t)length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = SockErrorFromErrno(errno);
        return -1;
    }
    return (int)n;
}

int SockRecv(int sock, void *data, int room, int *error) {
    ssize_t n;
    do {
        n = recv(sock, data, (size_t)room, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = SockErrorFromErrno(errno);
        return -1;
    }
    return (int)n;
}

int SockWaitReadable(int sock, int ms) {
    pollfd p;
    p.fd = sock;
    p.events = POLLIN;
    p.revents = 0;
    int rc = poll(&p, 1, ms);
    return rc > 0 ? 1 : 0;
}

void SockShutdown(int sock) {
    if (sock >= 0)
        shutdown(sock, SHUT_RDWR);
}

void SockClose(int sock) {
    if (sock >= 0)
        close(sock);
}

void SockAbort(int sock) {
    if (sock < 0)
        return;
    linger hard;
    hard.l_onoff = 1;
    hard.l_linger = 0;
    setsockopt(sock, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(sock);
}

int SockListenLoopback(uint16_t port, uint16_t *bound) {
    int sock = SockOpenTcp();
    if (sock < 0)
        return -1;
    int one = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at = AddressOf(htonl(INADDR_LOOPBACK), port);
    socklen_t size = sizeof at;
    if (bind(sock, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 || listen(sock, 16) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr *>(&at), &size) != 0) {
        close(sock);
        return -1;
    }
    if (bound)
        *bound = ntohs(at.sin_port);
    return sock;
}

int SockAccept(int listener) {
    int sock;
    do {
        sock = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (sock < 0 && errno == EINTR);
    if (sock >= 0) {
        int one = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return sock;
}

int SockPollRead(const int *socks, int count, int ms, uint8_t *ready) {
    enum { POLL_MOST = 64 };
    pollfd p[POLL_MOST];
    if (count > POLL_MOST)
        count = POLL_MOST;
    for (int i = 0; i < count; i++) {
        p[i].fd = socks[i];
        p[i].events = POLLIN;
        p[i].revents = 0;
    }
    int rc = poll(p, (nfds_t)count, ms);
    int n = 0;
    for (int i = 0; i < count; i++) {
        ready[i] = rc > 0 && p[i].revents != 0;
        n += ready[i];
    }
    return n;
}
