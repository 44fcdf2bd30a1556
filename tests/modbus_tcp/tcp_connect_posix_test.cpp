// The TCP connect against a peer that never answers it: a POSIX listener
// with a full one-place queue, which drops the SYN.
#include "comm/tcp_link.h"
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int idleTicks = 0;
int CountTicks(void *) {
    idleTicks++;
    return 1;
}

// A peer that never answers the connect (a listener whose one-place queue is
// full drops the SYN): the connect gives up after the reply timeout's polls,
// each of which ran the idle hook, and the handle is left without a socket.
TEST(TcpConnect, AConnectThatHangsIsBoundedByTheReplyTimeout) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t atSize = sizeof at;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&at), &atSize), 0);
    int first = SockOpenTcp();
    ASSERT_EQ(SockConnect(first, at.sin_addr.s_addr, ntohs(at.sin_port)), 0);
    CommHandle *h = HandleAllocate(LINK_MODBUS_TCP);
    ASSERT_NE(h, nullptr);
    h->peerAddress = at.sin_addr.s_addr;
    h->peerPort = ntohs(at.sin_port);
    h->replyTimeout = 5;
    h->idleHook = CountTicks;
    idleTicks = 0;
    EXPECT_EQ(TcpConnect(h), 0);
    EXPECT_EQ(h->sock, -1);
    EXPECT_STREQ(h->errorText, "Connect Connection dropped by network or peer failure");
    EXPECT_EQ(idleTicks, 5 + 1) << "five polls, then the tick after a failure";
    HandleFree(h);
    close(first);
    close(listener);
}

} // namespace
