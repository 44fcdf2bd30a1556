// The gateway dialogue: "A" selects a route, "R" reads registers, "W" writes
// them. Each command is one line ended by CR and is answered by one line; the
// route last selected is cached in the handle so that "A" goes out only when
// the route changes.
#include "comm/gateway.h"

#include "comm/comm_internal.h"

#include <cstdio>
#include <cstring>

static int route_drops(const Route *r) {
    return r->count > 8 ? 8 : r->count;
}

static int route_cached(const CommHandle *h) {
    if (h->gatewayRoute.count != h->route.count)
        return 0;
    int n = route_drops(&h->route);
    return memcmp(h->gatewayRoute.drops, h->route.drops, sizeof(uint16_t) * (size_t)n) == 0;
}

static void route_forget(CommHandle *h) {
    h->gatewayRoute.count = 0xFFFF;
}

// Queues the command line in b with a reply wanted; the buffer now belongs to
// the driver. Lines left from an earlier exchange (a CR LF ending gives two)
// are thrown away first.
static void command_send(CommHandle *h, MsgBuffer *b, int length, const char *timeoutText) {
    b->length = (uint16_t)length;
    if (h->framing != FRAMING_GATEWAY)
        h->framing = FRAMING_GATEWAY;
    h->replyWanted = 1;
    reply_drain(h);
    SendMessage(h, b);
    SetCommError(h, timeoutText);
}

// Waits for a line of CR alone, waiting afresh after each other line (up to a
// bound, so that a chattering device cannot hold the caller for ever).
static int wait_cr_line(CommHandle *h, int forgetOnBad) {
    for (int bad = 0; bad < GATEWAY_BAD_REPLIES_MAX; bad++) {
        MsgBuffer *r = WaitReply(h, h->replyTimeout);
        if (!r)
            return 0;
        int ok = r->length == 1 && r->data[0] == 0x0D;
        pool_give(r);
        if (ok)
            return 1;
        if (forgetOnBad)
            route_forget(h);
    }
    return 0;
}

int GatewayFormatRoute(char *line, int dropCount, const uint16_t *drops) {
    int n = snprintf(line, GATEWAY_LINE_MAX, "A");
    for (int i = 0; i < dropCount && i < 8; i++)
        n += snprintf(line + n, (size_t)(GATEWAY_LINE_MAX - n), " %d", drops[i]);
    line[n++] = '\r';
    return n;
}

int GatewaySelectRoute(CommHandle *h) {
    // Written only when it differs: the reader thread reads it for every byte.
    if (h->framing != FRAMING_GATEWAY)
        h->framing = FRAMING_GATEWAY;
    if (route_cached(h))
        return 1;
    MsgBuffer *b = RequestBuffer(h);
    if (!b)
        return 0;
    h->gatewayRoute = h->route;
    int length = GatewayFormatRoute((char *)b->data, route_drops(&h->route), h->route.drops);
    command_send(h, b, length, "No valid reply to A command");
    int ok = wait_cr_line(h, 0);
    h->replyWanted = 0;
    // A selection the gateway did not confirm is not known to be in force.
    if (!ok)
        route_forget(h);
    return ok;
}

int GatewayParseValues(const uint8_t *line, int length, int count, uint16_t *values) {
    int i = 0, n = 0;
    // Leading characters up to the first digit (a sign, blanks) are passed over.
    while (i < length && line[i] != '\r' && (line[i] < '0' || line[i] > '9'))
        i++;
    while (n < count) {
        if (i >= length || line[i] < '0' || line[i] > '9')
            break;
        uint32_t value = 0;
        while (i < length && line[i] >= '0' && line[i] <= '9')
            value = value * 10u + (uint32_t)(line[i++] - '0');
        values[n++] = (uint16_t)value;
        while (i < length && line[i] != '\r' && (line[i] < '0' || line[i] > '9'))
            i++;
    }
    return n;
}

// The start of a read or write: a valid handle and count, registers the
// gateway serves (else rangeText), a request buffer and the route selected.
// None when any of them fails.
static MsgBuffer *command_start(CommHandle *h, int start, int count, const char *rangeText) {
    if (!HandleValid(h) || count <= 0)
        return nullptr;
    if (start + count - 1 > GATEWAY_LAST_REGISTER) {
        SetCommError(h, rangeText);
        return nullptr;
    }
    MsgBuffer *b = RequestBuffer(h);
    if (b && !GatewaySelectRoute(h)) {
        pool_give(b);
        return nullptr;
    }
    return b;
}

int GatewayRead(CommHandle *h, int start, int count, uint16_t *values) {
    MsgBuffer *b = command_start(h, start, count, "Gateway can't read status portion");
    if (!b)
        return 0;
    int length = snprintf((char *)b->data, GATEWAY_LINE_MAX, "R %d %d\r", start, count);
    command_send(h, b, length, "No reply to R command");
    MsgBuffer *r = WaitReply(h, h->replyTimeout);
    h->replyWanted = 0;
    if (!r) {
        route_forget(h);
        return 0;
    }
    int n = GatewayParseValues(r->data, r->length, count, values);
    pool_give(r);
    if (n < count) {
        SetCommError(h, "Read reply too short");
        return 0;
    }
    return count;
}

int GatewayFormatWrite(char *line, int start, int count, const uint16_t *values, int *used) {
    int n = snprintf(line, GATEWAY_LINE_MAX, "W %d", start);
    int i = 0;
    for (; i < count; i++) {
        // Each value is widened with its sign, then printed unsigned.
        char item[16];
        int len = snprintf(item, sizeof item, " %u", (unsigned)(int32_t)(int16_t)values[i]);
        if (n + len + 1 > GATEWAY_LINE_MAX)
            break;
        memcpy(line + n, item, (size_t)len);
        n += len;
    }
    line[n++] = '\r';
    *used = i;
    return n;
}

int GatewayWrite(CommHandle *h, int start, int count, uint16_t *values) {
    MsgBuffer *b = command_start(h, start, count, "Gateway can't write status portion");
    if (!b)
        return 0;
    // A block too long for one line goes out as several "W" commands.
    for (int done = 0; done < count;) {
        if (!b && !(b = RequestBuffer(h)))
            return 0;
        int used = 0;
        int length =
            GatewayFormatWrite((char *)b->data, start + done, count - done, values + done, &used);
        command_send(h, b, length, "No valid reply to W command");
        b = nullptr;
        int ok = wait_cr_line(h, 1);
        h->replyWanted = 0;
        if (!ok) {
            route_forget(h);
            return 0;
        }
        done += used;
    }
    return count;
}
