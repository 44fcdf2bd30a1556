// errno values, the C runtime's on either system, as WinSock error numbers.
#include "platform/sockets.h"

#include <cerrno>

int SockErrorFromErrno(int err) {
    switch (err) {
    case EINTR:
        return SOCK_EINTR;
    case EFAULT:
        return SOCK_EFAULT;
    case EINVAL:
        return SOCK_EINVAL;
    case EAGAIN:
        return SOCK_EWOULDBLOCK;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
        return SOCK_EWOULDBLOCK;
#endif
    case EINPROGRESS:
        return SOCK_EINPROGRESS;
    case EBADF:
    case ENOTSOCK:
        return SOCK_ENOTSOCK;
    case EMSGSIZE:
        return SOCK_EMSGSIZE;
    case EADDRINUSE:
        return SOCK_EADDRINUSE;
    case ENETDOWN:
        return SOCK_ENETDOWN;
    case ENETUNREACH:
        return SOCK_ENETUNREACH;
    case ENETRESET:
        return SOCK_ENETRESET;
    case ECONNABORTED:
        return SOCK_ECONNABORTED;
    case ECONNRESET:
        return SOCK_ECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return SOCK_ENOBUFS;
    // Writing to a connection that has already ended, or that never came up.
    case EPIPE:
    case ENOTCONN:
        return SOCK_ENOTCONN;
#ifdef ESHUTDOWN
    case ESHUTDOWN:
        return SOCK_ESHUTDOWN;
#endif
    case ETIMEDOUT:
        return SOCK_ETIMEDOUT;
    case ECONNREFUSED:
        return SOCK_ECONNREFUSED;
    case EHOSTUNREACH:
        return SOCK_EHOSTUNREACH;
    default:
        return 10000 + err;
    }
}
