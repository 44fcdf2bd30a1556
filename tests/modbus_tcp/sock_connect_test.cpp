// A blocking connect cut short by a signal: the console's resize and stop
// handlers are installed without SA_RESTART, so a reconnect may be
// interrupted while the peer has not answered yet.
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Shared with the signal handler, which uses only async-signal-safe calls.
volatile sig_atomic_t gTicks = 0;
volatile sig_atomic_t gInterrupted = 0; // a tick came while the connect was under way
volatile int gListener = -1;
volatile int gConnecting = -1;
volatile int gRefuse = 0; // close the listener instead of making room

void OnTick(int) {
    int saved = errno;
    gTicks = gTicks + 1;
    tcp_info info;
    socklen_t size = sizeof info;
    if (!gInterrupted && getsockopt(gConnecting, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
        info.tcpi_state == TCP_SYN_SENT) {
        gInterrupted = 1;
        if (gRefuse) {
            // The connect's next SYN finds nobody listening.
            close(gListener);
            gListener = -1;
        } else {
            // Make room in the listener's queue: the connect's next SYN is taken.
            int first = accept(gListener, nullptr, nullptr);
            if (first >= 0)
                close(first);
        }
    }
    // Bound the test: with no room made, close the listener so the connect
    // is refused instead of retrying for minutes.
    if (gTicks == 200 && gListener >= 0) {
        close(gListener);
        gListener = -1;
    }
    errno = saved;
}

struct ConnectCase {
    const char *name;
    int refuse;
    int result; // of SockConnect
};

class SockConnectSignal : public ::testing::TestWithParam<ConnectCase> {};

// The connect is under way when the signal comes; it ends as the connection
// does, made or refused.
TEST_P(SockConnectSignal, WaitsForTheOutcome) {
    const ConnectCase &c = GetParam();
    // A listener whose queue one connection fills: the next connect's SYN is
    // dropped until that connection is accepted, so it stays under way.
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
    uint16_t port = ntohs(at.sin_port);
    int first = SockOpenTcp();
    ASSERT_EQ(SockConnect(first, at.sin_addr.s_addr, port), 0);

    int sock = SockOpenTcp();
    ASSERT_GE(sock, 0);
    gTicks = 0;
    gInterrupted = 0;
    gListener = listener;
    gConnecting = sock;
    gRefuse = c.refuse;
    struct sigaction action, old;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnTick; // no SA_RESTART, as the console's handlers
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &old), 0);
    // Ticks every 50 ms, to this thread only.
    sigevent ev;
    memset(&ev, 0, sizeof ev);
    ev.sigev_notify = SIGEV_THREAD_ID;
    ev.sigev_signo = SIGALRM;
    ev._sigev_un._tid = gettid();
    timer_t timer;
    ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &ev, &timer), 0);
    itimerspec every;
    every.it_value = {0, 50 * 1000 * 1000};
    every.it_interval = every.it_value;
    ASSERT_EQ(timer_settime(timer, 0, &every, nullptr), 0);

    int rc = SockConnect(sock, at.sin_addr.s_addr, port);

    timer_delete(timer);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(gInterrupted, 1);
    EXPECT_EQ(rc, c.result);
    if (rc == 0) {
        // Connected, and still blocking as the caller made it.
        sockaddr_in peer;
        socklen_t peerSize = sizeof peer;
        EXPECT_EQ(getpeername(sock, reinterpret_cast<sockaddr *>(&peer), &peerSize), 0);
        EXPECT_EQ(fcntl(sock, F_GETFL) & O_NONBLOCK, 0);
        int error = 0;
        EXPECT_EQ(SockSend(sock, "x", 1, &error), 1);
    }
    SockClose(first);
    SockClose(sock);
    if (gListener >= 0)
        close(gListener);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, SockConnectSignal,
                         ::testing::Values(ConnectCase{"Accepted", 0, 0},
                                           ConnectCase{"Refused", 1, SOCK_ECONNREFUSED}),
                         [](const ::testing::TestParamInfo<ConnectCase> &i) {
                             return std::string(i.param.name);
                         });

} // namespace
