// Replies too short for their opcode, each a well-framed frame a device could
// send, through the receive framer. Before every request the pool's buffers
// are filled with zeros, as a good earlier reply leaves them (status 0, error
// code 0), so a check that reads past a reply's end would take that for a
// status of its own: a short priority write reply would pass as written.
#include "comm/symax_message.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

namespace {

struct Device {
    CommHandle *h = nullptr;
    Bytes reply; // byte 1 0xEE stands for the request's transaction byte
    int calls = 0;
    int answered = 0;
};

// The transaction byte of the request frame being sent: the second data
// byte after DLE STX (a 0x10 comes doubled).
int RequestTransaction(const Bytes &frame) {
    size_t i = 0;
    while (i + 1 < frame.size() && !(frame[i] == DLE && frame[i + 1] == STX))
        i++;
    i += 3; // DLE STX opcode
    if (i < frame.size() && frame[i] == DLE)
        i++;
    return i < frame.size() ? frame[i] : -1;
}

// Plays the device on the first idle call: acknowledges the request and feeds
// the reply frame; later calls only count (a wait that goes on).
int DeviceHook(void *arg) {
    Device *d = static_cast<Device *>(arg);
    if (d->calls++ > 0)
        return 1;
    Bytes frame = DrainFrame(d->h);
    int t = RequestTransaction(frame);
    if (t < 0)
        return 1;
    Feed(d->h, {DLE, frame[2]});
    Bytes reply = d->reply;
    if (reply.size() > 1 && reply[1] == 0xEE)
        reply[1] = (uint8_t)t;
    Feed(d->h, RefFrame(DC1, "01", reply, false));
    Drain(d->h);
    d->answered = 1;
    return 1;
}

// Fills the data of every buffer in the pool with zeros.
void ZeroPool() {
    MsgBuffer *taken[64];
    int n = 0;
    while (n < 64 && (taken[n] = pool_take()) != nullptr)
        n++;
    for (int i = 0; i < n; i++) {
        memset(taken[i]->data, 0, sizeof taken[i]->data);
        pool_give(taken[i]);
    }
}

enum Op { READ, PRIORITY_READ, WRITE, PRIORITY_WRITE, READ_3X, READ_6X, WRITE_6X };

struct ShortCase {
    const char *name;
    Op op;
    Bytes reply;
    int result;
    const char *text; // null: not looked at
};

void PrintTo(const ShortCase &c, std::ostream *os) {
    *os << c.name;
}

class ShortReply : public ::testing::TestWithParam<ShortCase> {
  protected:
    void SetUp() override {
        pool_add_new(3);
        baseline = pool_count();
        h = LinkHandle(false);
        h->route.count = 1;
        h->route.drops[0] = 1;
        h->replyTimeout = 3;
        h->transactionCounter = 0x21;
        device.h = h;
        SetIdleHook(h, DeviceHook, &device);
    }
    void TearDown() override {
        LinkRelease(h);
        EXPECT_EQ(pool_count(), baseline) << "a buffer was lost";
    }
    int baseline = 0;
    CommHandle *h = nullptr;
    Device device;
};

TEST_P(ShortReply, FailsWithItsText) {
    const ShortCase &c = GetParam();
    device.reply = c.reply;
    h->priority = (c.op == PRIORITY_READ || c.op == PRIORITY_WRITE) ? 1 : 0;
    ZeroPool();
    uint16_t v[3] = {0x1111, 0x2222, 0x3333};
    int result = -1;
    switch (c.op) {
    case READ:
    case PRIORITY_READ:
        result = SymaxRead(h, 1, 2, v);
        break;
    case WRITE:
    case PRIORITY_WRITE:
        result = SymaxWrite(h, 1, 2, v);
        break;
    case READ_3X:
        result = SymaxRead3X(h, 0, 1, 2, v);
        break;
    case READ_6X:
        result = SymaxRead6X(h, 1, 1, 2, v);
        break;
    case WRITE_6X:
        result = SymaxWrite6X(h, 1, 1, 2, v);
        break;
    }
    ASSERT_TRUE(device.answered) << "the request frame was not sent";
    EXPECT_EQ(result, c.result);
    if (c.text) {
        EXPECT_STREQ(CommErrorText(h), c.text);
    }
    if (c.result == 0 &&
        (c.op == READ || c.op == PRIORITY_READ || c.op == READ_3X || c.op == READ_6X)) {
        EXPECT_EQ(v[0], 0x1111) << "a failed read stored a value";
    }
    EXPECT_EQ(v[2], 0x3333);
}

// Every reply is what a device can put in a good frame; the ones that pass
// mark where too short ends.
const ShortCase kShortCases[] = {
    // The status byte of a priority write reply.
    {"PriorityWriteNoStatus", PRIORITY_WRITE, {0x92, 0xEE}, 0, "Write reply invalid"},
    {"PriorityWriteStatusMissing", PRIORITY_WRITE, {0x92, 0xEE, 0, 0}, 0, "Write reply invalid"},
    {"PriorityWriteWithStatus", PRIORITY_WRITE, {0x92, 0xEE, 0, 0, 0}, 2, nullptr},
    // The error byte of an error reply to a write.
    {"WriteErrorNoCode", WRITE, {0xA2, 0xEE}, 0, "Write reply invalid"},
    {"WriteErrorWithCode", WRITE, {0xA2, 0xEE, 0}, 0, "(0) No Error"},
    // The status byte of a priority read reply.
    {"PriorityReadNoStatus", PRIORITY_READ, {0x90, 0xEE}, 0, "Read reply invalid"},
    {"PriorityReadStatusMissing", PRIORITY_READ, {0x90, 0xEE, 0, 0}, 0, "Read reply invalid"},
    {"PriorityReadStatusNoValues",
     PRIORITY_READ,
     {0x90, 0xEE, 0, 0, 0, 0, 0},
     0,
     "Read reply invalid"},
    {"PriorityReadOneValue", PRIORITY_READ, {0x90, 0xEE, 0, 0, 0, 0, 0, 0, 5}, 1, nullptr},
    {"ReadNoValues", READ, {0x86, 0xEE}, 0, "Read reply invalid"},
    // The error byte of an error reply to a read.
    {"ReadErrorNoCode", READ, {0xA2, 0xEE}, 0, "Read reply invalid"},
    {"ReadErrorWithCode", READ, {0xA2, 0xEE, 0}, 0, "(0) No Error"},
    // The function byte of a carried read reply.
    {"Read3XNoFunction", READ_3X, {0x92, 0xBA, 0, 0}, 0, "Read reply invalid"},
    {"Read6XNoFunction", READ_6X, {0x92, 0xBA}, 0, "Read reply invalid"},
    // The code of a carried error report.
    {"Read3XExceptionNoCode", READ_3X, {0x92, 0xBA, 0, 0, 0x84}, 0, "Read reply invalid"},
    {"Read6XStatusNoCode", READ_6X, {0x92, 0xBA, 0, 0, 0}, 0, "Read reply invalid"},
    {"Read3XExceptionWithCode", READ_3X, {0x92, 0xBA, 0, 0, 0x84, 0}, 0, "Modbus error reply 0 "},
    // The function byte and code of a carried write reply.
    {"Write6XNoFunction", WRITE_6X, {0x92, 0xBA, 0, 0}, 0, "Write reply invalid"},
    {"Write6XExceptionNoCode", WRITE_6X, {0x92, 0xBA, 0, 0, 0x95}, 0, "Write reply invalid"},
    {"Write6XStatusWithCode", WRITE_6X, {0x92, 0xBA, 0, 0, 0, 0}, 0, "(0) No Error"},
};

INSTANTIATE_TEST_SUITE_P(Replies, ShortReply, ::testing::ValuesIn(kShortCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
