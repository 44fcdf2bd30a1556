// The Modbus TCP and RTU-over-TCP reply path: our client's socket is one end
// of a socket pair, the input plays the device at the other. Each time the
// client finds nothing to receive, the device sends its next segment; when
// the segments run out the wait is given up at once.
//
// Input: mode (bit 0: RTU over TCP), operations (two operation numbers in the
// low and high nibble), count, then the segments (a length byte and that many
// bytes).
#include "comm/comm_internal.h"
#include "comm/tcp_link.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_link.h"

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Device {
    int sock; // our end of the pair
    const uint8_t *data;
    size_t size;
    size_t at;
};

// Takes whatever the client sent and sends the next segment that has bytes.
int DeviceHook(void *arg) {
    Device *d = static_cast<Device *>(arg);
    uint8_t junk[512];
    while (recv(d->sock, junk, sizeof junk, MSG_DONTWAIT) > 0) {
    }
    while (d->at < d->size) {
        size_t n = d->data[d->at++];
        if (n > d->size - d->at)
            n = d->size - d->at;
        const uint8_t *segment = d->data + d->at;
        d->at += n;
        if (n > 0) {
            FUZZ_CHECK(send(d->sock, segment, n, MSG_NOSIGNAL) == (ssize_t)n);
            return 1;
        }
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return 0;
    fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    CommHandle *h = HandleAllocate((data[0] & 1) ? LINK_RTU_OVER_TCP : LINK_MODBUS_TCP);
    FUZZ_CHECK(h != nullptr);
    h->sock = pair[0];
    h->route.count = 1;
    h->replyTimeout = 1000; // the device's segments end the wait, not the count of polls
    Device device = {pair[1], data + 3, size - 3, 0};
    SetIdleHook(h, DeviceHook, &device);
    int count = data[2] % FUZZ_MOST + 1;
    FuzzRunOperations(h, data[1], count, nullptr);
    TcpClose(h);
    HandleFree(h);
    close(pair[1]);
    return 0;
}
