// The Sy/Max message layer on a handle without a port: the idle hook plays
// the device, taking the request frame from the transmit framer and feeding
// the reply frame to the receive framer.
#include "comm/symax_message.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Peer {
    CommHandle *h = nullptr;
    bool crc = false;
    std::string replyRoute = "01";
    // The reply's data for a request's data; empty: no reply.
    std::function<Bytes(const Bytes &)> answer;
    bool bypassFramer = false;  // queue the reply as it is, without the framer's checks
    bool abort = false;         // the hook gives up at once
    std::vector<Bytes> earlier; // replies to earlier requests, fed before the answer
    // What the device saw.
    Bytes request;
    Bytes route;
    uint8_t sequence = 0;
    int calls = 0;
};

// Splits a frame into sequence, route and data (DLE doubling undone).
bool ParseFrame(const Bytes &f, uint8_t *seq, Bytes *route, Bytes *data) {
    size_t i = 0;
    if (f.size() < 7 || f[0] != DLE || f[1] != SOH)
        return false;
    *seq = f[2];
    for (i = 3; i + 1 < f.size() && !(f[i] == DLE && f[i + 1] == STX); i++)
        route->push_back(f[i]);
    for (i += 2; i + 1 < f.size(); i++) {
        if (f[i] == DLE && f[i + 1] == ETX)
            return true;
        if (f[i] == DLE)
            i++;
        data->push_back(f[i]);
    }
    return false;
}

int PeerHook(void *arg) {
    Peer *p = static_cast<Peer *>(arg);
    if (p->abort)
        return 0;
    if (p->calls++ > 0)
        return 1;
    Bytes frame = DrainFrame(p->h);
    p->request.clear();
    p->route.clear();
    if (!ParseFrame(frame, &p->sequence, &p->route, &p->request))
        return 1;
    Feed(p->h, {DLE, p->sequence}); // acknowledge the request
    for (const Bytes &old : p->earlier) {
        Feed(p->h, RefFrame(DC1, p->replyRoute, old, p->crc));
        Drain(p->h);
    }
    Bytes reply = p->answer ? p->answer(p->request) : Bytes{};
    if (reply.empty())
        return 1;
    if (p->bypassFramer) {
        MsgBuffer *b = RequestBuffer(p->replyRoute, reply);
        if (b)
            reply_push(p->h, b);
    } else {
        Feed(p->h, RefFrame(DC1, p->replyRoute, reply, p->crc));
        Drain(p->h); // our acknowledgement
    }
    return 1;
}

class Message : public ::testing::Test {
  protected:
    void SetUp() override {
        pool_add_new(3);
        baseline = pool_count();
        h = LinkHandle(false);
        h->route.count = 1;
        h->route.drops[0] = 1;
        h->replyTimeout = 3;
        peer.h = h;
        SetIdleHook(h, PeerHook, &peer);
    }
    void TearDown() override {
        LinkRelease(h);
        EXPECT_EQ(pool_count(), baseline) << "a buffer was lost";
    }
    // Answers every request with fixed data, the transaction byte copied in.
    void AnswerWith(Bytes reply) {
        peer.answer = [reply](const Bytes &req) {
            Bytes r = reply;
            if (r.size() > 1 && req.size() > 1)
                r[1] = req[1];
            return r;
        };
    }
    int baseline = 0;
    CommHandle *h = nullptr;
    Peer peer;
};

TEST_F(Message, ReadRequestNormalAndPriority) {
    AnswerWith({0x86, 0, 0, 0, 0x12, 0x34, 0xAB, 0xCD, 0x00, 0x01});
    uint16_t v[3] = {};
    h->transactionCounter = 0x147;
    ASSERT_EQ(SymaxRead(h, 3, 3, v), 3) << CommErrorText(h);
    EXPECT_EQ(peer.request, (Bytes{0x00, 0x47, 0x00, 0x04, 0x00, 0x02}));
    EXPECT_EQ(peer.route, (Bytes{'0', '1'}));
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], 0xABCD);
    EXPECT_EQ(v[2], 0x0001);
    EXPECT_EQ(h->transactionCounter, 0x148);

    // Priority: registers 1 to 3, transaction byte masked to six bits.
    h->priority = 1;
    peer.calls = 0;
    AnswerWith({0x90, 0, 0, 0, 0, 0, 0, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09});
    ASSERT_EQ(SymaxRead(h, 1, 3, v), 3) << CommErrorText(h);
    EXPECT_EQ(peer.request, (Bytes{0x20, 0x08, 0, 0, 0, 0x00, 0x00, 0x00, 0x02}));
    EXPECT_EQ(v[0], 7);
    EXPECT_EQ(v[2], 9);
}

TEST_F(Message, WriteRequestNormalAndPriority) {
    AnswerWith({0x80, 0});
    uint16_t value = 4660;
    h->transactionCounter = 9;
    ASSERT_EQ(SymaxWrite(h, 2, 1, &value), 1) << CommErrorText(h);
    EXPECT_EQ(peer.request, (Bytes{0x02, 9, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xFF}));

    h->priority = 1;
    peer.calls = 0;
    AnswerWith({0x92, 0, 0, 0, 0});
    uint16_t values[2] = {0x1010, 0xFFFF};
    ASSERT_EQ(SymaxWrite(h, 0x81, 2, values), 2) << CommErrorText(h);
    EXPECT_EQ(peer.request, (Bytes{0x1E, 10, 0x00, 0x01, 0x00, 0x10, 0x10, 0xFF, 0xFF}));
}

TEST_F(Message, CarriedRequests) {
    uint16_t v[4] = {};
    AnswerWith({0x92, 0xBA, 0, 0, 0x04, 0x04, 0x00, 0x05, 0x00, 0x06});
    ASSERT_EQ(SymaxRead3X(h, 0, 0x101, 2, v), 2) << CommErrorText(h);
    EXPECT_EQ(peer.request, (Bytes{0x22, 0xBA, 0xD5, 0x00, 0x04, 0x01, 0x00, 0x00, 0x02}));
    EXPECT_EQ(v[0], 5);
    EXPECT_EQ(v[1], 6);

    peer.calls = 0;
    AnswerWith({0x92, 0xBA, 0, 0, 0x14, 0x06, 0x05, 0x06, 0x00, 0x0B, 0x00, 0x0C});
    ASSERT_EQ(SymaxRead6X(h, 3, 0x1234, 2, v), 2) << CommErrorText(h);
    EXPECT_EQ(peer.request,
              (Bytes{0x22, 0xBA, 0xD5, 0x00, 0x14, 0x07, 0x06, 0, 3, 0x12, 0x34, 0, 2}));
    EXPECT_EQ(v[0], 11);
    EXPECT_EQ(v[1], 12);

    peer.calls = 0;
    AnswerWith({0x92, 0xBA, 0, 0, 0x15, 0x09, 0x06, 0, 3});
    uint16_t w[1] = {0xBEEF};
    EXPECT_EQ(SymaxWrite6X(h, 3, 7, 1, w), 9) << CommErrorText(h);
    EXPECT_EQ(peer.request,
              (Bytes{0x22, 0xBA, 0xD5, 0x00, 0x15, 9, 0x06, 0, 3, 0, 7, 0, 1, 0xBE, 0xEF}));
}

struct ReplyCase {
    const char *name;
    int op; // 0 read, 1 write, 2 read 3X, 3 read 6X, 4 write 6X
    Bytes reply;
    std::string route;
    bool bypass;
    int result;
    const char *text; // null: not looked at
};

class ReplyChecks : public Message, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyChecks, ResultAndText) {
    const ReplyCase &c = GetParam();
    peer.replyRoute = c.route;
    peer.bypassFramer = c.bypass;
    Bytes reply = c.reply;
    peer.answer = [reply](const Bytes &req) {
        Bytes r = reply;
        if (r.size() > 1 && req.size() > 1 && r[1] == 0xEE)
            r[1] = req[1];
        return r;
    };
    SetCommError(h, "untouched");
    uint16_t v[3] = {1, 2, 3};
    int result = 0;
    switch (c.op) {
    case 0:
        result = SymaxRead(h, 1, 2, v);
        break;
    case 1:
        result = SymaxWrite(h, 1, 2, v);
        break;
    case 2:
        result = SymaxRead3X(h, 0, 1, 2, v);
        break;
    case 3:
        result = SymaxRead6X(h, 1, 1, 2, v);
        break;
    default:
        result = SymaxWrite6X(h, 1, 1, 2, v);
        break;
    }
    EXPECT_EQ(result, c.result);
    if (c.text) {
        EXPECT_STREQ(CommErrorText(h), c.text);
    }
    EXPECT_EQ(v[2], 3) << "a value was stored past the count";
}

// 0xEE in byte 1 stands for the request's own transaction byte.
const ReplyCase kReplyCases[] = {
    {"ReadValues", 0, {0x86, 0xEE, 0, 0, 0, 1, 0, 2}, "01", false, 2, nullptr},
    {"ReadMoreThanAsked", 0, {0x86, 0xEE, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4}, "01", false, 2, nullptr},
    {"ReadFewerThanAsked", 0, {0x86, 0xEE, 0, 0, 0, 1}, "01", false, 1, nullptr},
    {"ReadErrorReply", 0, {0xA2, 0xEE, 4}, "01", false, 0, "(4) Illegal Rack Address"},
    {"ReadErrorReplyNoError", 0, {0xA2, 0xEE, 0}, "01", false, 0, "(0) No Error"},
    {"ReadErrorUnknownCode", 0, {0xA2, 0xEE, 200}, "01", false, 0, "(200) Unknown Status Code"},
    {"ReadPriorityStatus",
     0,
     {0x90, 0xEE, 0, 0, 135},
     "01",
     false,
     0,
     "(135) Error Noted During A Transfer"},
    {"ReadOtherOpcode",
     0,
     {0x84, 0xEE, 0, 0},
     "01",
     false,
     0,
     "Can't deal with Reply Opcode 0x84."},
    {"ReadBadRoute", 0, {0x86, 0xEE, 0, 0, 0, 1}, "0G", true, 0, "Bad Reply Route"},
    {"ReadBadTransaction", 0, {0x86, 0x77, 0, 0, 0, 1}, "01", true, 0, "Bad transnum on reply"},
    {"ReadMarkedRouteIsValid",
     0,
     {0x86, 0xEE, 0, 0, 0, 1},
     "\xB0"
     "5",
     true,
     1,
     nullptr},
    {"ReadNoReply", 0, {}, "01", false, 0, "Read reply timeout"},
    {"WriteGood", 1, {0x80, 0xEE}, "01", false, 2, nullptr},
    {"WritePriorityGood", 1, {0x92, 0xEE, 0, 0, 0}, "01", false, 2, nullptr},
    {"WritePriorityStatus", 1, {0x92, 0xEE, 0, 0, 7}, "01", false, 0, "(7) Protected Register"},
    {"WriteErrorReply", 1, {0xA2, 0xEE, 34}, "01", false, 0, "(34) Write Protected"},
    {"WriteOtherOpcode", 1, {0x86, 0xEE}, "01", false, 0, "Write reply invalid"},
    {"WriteBadRoute", 1, {0x80, 0xEE}, "1", true, 0, "Write reply invalid"},
    {"WriteBadTransaction", 1, {0x80, 0x55}, "01", true, 0, "Write reply invalid"},
    {"WriteNoReply", 1, {}, "01", false, 0, "Write reply timeout"},
    {"Read3XException",
     2,
     {0x92, 0xBA, 0, 0, 0x84, 2},
     "01",
     false,
     0,
     "Modbus error reply 2 ILLEGAL DATA ADDRESS"},
    {"Read3XShortStatus", 2, {0x92, 0xBA, 0, 0, 0x00, 4}, "01", false, 0, nullptr},
    {"Read3XWrongOpcode",
     2,
     {0x86, 0xBA, 0, 0, 0, 4, 0, 1, 0, 2},
     "01",
     false,
     0,
     "Read reply invalid"},
    {"Read3XNoReply", 2, {}, "01", false, 0, "Read reply timeout"},
    {"Read6XException13",
     3,
     {0x92, 0xBA, 0, 0, 0x94, 13},
     "01",
     false,
     0,
     "Modbus error reply 13 "},
    {"Read6XStatus", 3, {0x92, 0xBA, 0, 0, 0x00, 4}, "01", false, 0, "(4) Illegal Rack Address"},
    // The frame goes on past the two values it announces.
    {"Read6XTooMany",
     3,
     {0x92, 0xBA, 0, 0, 0x14, 6, 5, 6, 0, 1, 0, 2, 0, 3, 0, 4},
     "01",
     false,
     2,
     nullptr},
    {"Write6XException",
     4,
     {0x92, 0xBA, 0, 0, 0x95, 3},
     "01",
     false,
     0,
     "Modbus error reply 3 ILLEGAL DATA VALUE"},
    {"Write6XStatus", 4, {0x92, 0xBA, 0, 0, 0x00, 43}, "01", false, 0, "(43) File Not Found"},
    {"Write6XGood", 4, {0x92, 0xBA, 0, 0, 0x15, 0x0B, 6}, "01", false, 7, nullptr},
    {"Write6XWrongTransaction",
     4,
     {0x92, 0xBB, 0, 0, 0x15, 0x0B, 6},
     "01",
     true,
     0,
     "Write reply invalid"},
    {"Write6XNoReply", 4, {}, "01", false, 0, "Write reply timeout"},
};

INSTANTIATE_TEST_SUITE_P(Replies, ReplyChecks, ::testing::ValuesIn(kReplyCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Every carried request has the transaction byte 0xBA, so a repeated answer to
// an earlier carried request reaches the queue like the answer to this one. It
// is told apart by its Modbus part and dropped; the wait goes on and the
// request takes its own answer, or times out when none comes.
TEST_F(Message, CarriedRequestSkipsAnswersToEarlierRequests) {
    const Bytes read3x2 = {0x92, 0xBA, 0, 0, 0x04, 4, 0x11, 0x11, 0x22, 0x22};
    const Bytes read3x3 = {0x92, 0xBA, 0, 0, 0x04, 6, 0, 7, 0, 8, 0, 9};
    const Bytes read6x2 = {0x92, 0xBA, 0, 0, 0x14, 6, 5, 6, 0x33, 0x33, 0x44, 0x44};
    const Bytes read6x3 = {0x92, 0xBA, 0, 0, 0x14, 8, 7, 6, 0, 1, 0, 2, 0, 3};
    const Bytes read6xException = {0x92, 0xBA, 0, 0, 0x94, 2};
    const Bytes read3xException = {0x92, 0xBA, 0, 0, 0x84, 3};
    // The echo of Write6X(file 1, record 1, count 2, values 0x5555 0x6666).
    const Bytes write6x = {0x92, 0xBA, 0, 0, 0x15, 11, 6, 0, 1, 0, 1, 0, 2, 0x55, 0x55, 0x66, 0x66};
    // The echo of a write of other values, or to another record.
    const Bytes write6xOther = {0x92, 0xBA, 0, 0, 0x15, 11, 6, 0, 1, 0, 1, 0, 2, 0, 1, 0, 2};
    const Bytes write6xRecord9 = {0x92, 0xBA, 0, 0, 0x15, 11,   6,    0,   1,
                                  0,    9,    0, 2, 0x55, 0x55, 0x66, 0x66};
    struct Case {
        const char *name;
        int op;                     // 2 Read3X, 3 Read6X, 4 Write6X; all of two values
        std::vector<Bytes> earlier; // at most two: with the answer they fill the pool
        Bytes answer;               // empty: none
        int result;
        const char *text;
    } cases[] = {
        {"Read6X after Read3X", 3, {read3x2}, read6x2, 2, nullptr},
        {"Read6X after Read6X of three", 3, {read6x3}, read6x2, 2, nullptr},
        {"Read6X after a Read3X exception", 3, {read3xException}, read6x2, 2, nullptr},
        {"Read6X after a write", 3, {write6x}, read6x2, 2, nullptr},
        {"Read3X after Read3X of three", 2, {read3x3}, read3x2, 2, nullptr},
        {"Read3X after Read6X", 2, {read6x2, read6xException}, read3x2, 2, nullptr},
        {"Read3X after a write", 2, {write6x}, read3x2, 2, nullptr},
        {"Write6X after reads", 4, {read3x2, read6xException}, write6x, 17, nullptr},
        {"Write6X after a Read6X", 4, {read6x2}, write6x, 17, nullptr},
        {"Write6X after another write", 4, {write6xOther, write6xRecord9}, write6x, 17, nullptr},
        {"Write6X exception after a read",
         4,
         {read6x2},
         {0x92, 0xBA, 0, 0, 0x95, 2},
         0,
         "Modbus error reply 2 ILLEGAL DATA ADDRESS"},
        {"Read3X answered by none of its own", 2, {read6x2, read3x3}, {}, 0, "Read reply timeout"},
        {"Write6X answered by none of its own", 4, {write6xOther}, {}, 0, "Write reply timeout"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        peer.calls = 0;
        peer.earlier = c.earlier;
        Bytes answer = c.answer;
        peer.answer = [answer](const Bytes &) { return answer; };
        uint16_t v[3] = {0x5555, 0x6666, 0x7777};
        int result = c.op == 2   ? SymaxRead3X(h, 0, 1, 2, v)
                     : c.op == 3 ? SymaxRead6X(h, 1, 1, 2, v)
                                 : SymaxWrite6X(h, 1, 1, 2, v);
        EXPECT_EQ(result, c.result) << CommErrorText(h);
        if (c.text) {
            EXPECT_STREQ(CommErrorText(h), c.text);
        } else if (c.op == 2) {
            EXPECT_EQ(v[0], 0x1111);
            EXPECT_EQ(v[1], 0x2222);
        } else if (c.op == 3) {
            EXPECT_EQ(v[0], 0x3333);
            EXPECT_EQ(v[1], 0x4444);
        }
        EXPECT_EQ(v[2], 0x7777) << "a value was stored past the count";
        EXPECT_EQ(h->replyQueue.head, nullptr) << "a reply was left queued";
    }
}

TEST_F(Message, StaleReplyIsDrainedBeforeTheRequest) {
    MsgBuffer *stale = RequestBuffer("01", {0x86, 0, 0, 0, 0x66, 0x66});
    reply_push(h, stale);
    AnswerWith({0x86, 0, 0, 0, 0x00, 0x05});
    uint16_t v = 0;
    ASSERT_EQ(SymaxRead(h, 1, 1, &v), 1);
    EXPECT_EQ(v, 5);
}

TEST_F(Message, IdleAbortKeepsItsText) {
    peer.abort = true;
    uint16_t v = 0;
    EXPECT_EQ(SymaxRead(h, 1, 1, &v), 0);
    EXPECT_STREQ(CommErrorText(h), "Application idle abort");
    EXPECT_EQ(SymaxWrite(h, 1, 1, &v), 0);
    EXPECT_STREQ(CommErrorText(h), "Application idle abort");
    EXPECT_EQ(h->replyWanted.load(), 0);
}

TEST_F(Message, EmptyPoolIsABufferShortage) {
    std::vector<MsgBuffer *> held;
    while (MsgBuffer *b = pool_take())
        held.push_back(b);
    uint16_t v = 0;
    for (int op = 0; op < 5; op++) {
        SetCommError(h, "");
        int r = op == 0   ? SymaxRead(h, 1, 1, &v)
                : op == 1 ? SymaxWrite(h, 1, 1, &v)
                : op == 2 ? SymaxRead3X(h, 0, 1, 1, &v)
                : op == 3 ? SymaxRead6X(h, 1, 1, 1, &v)
                          : SymaxWrite6X(h, 1, 1, 1, &v);
        EXPECT_EQ(r, 0);
        EXPECT_STREQ(CommErrorText(h), "Buffer shortage, try again");
    }
    for (MsgBuffer *b : held)
        pool_give(b);
}

TEST_F(Message, Write6XCountIsLimitedToWhatFits) {
    // The answer echoes the head of the request (its length byte included).
    peer.answer = [](const Bytes &req) {
        return Bytes{0x92, 0xBA, 0, 0, req.at(4), req.at(5), req.at(6)};
    };
    std::vector<uint16_t> values(128, 0x1111);
    EXPECT_EQ(SymaxWrite6X(h, 1, 1, SYMAX_WRITE6X_MOST + 1, values.data()), 0);
    EXPECT_STREQ(CommErrorText(h), "Illegal write count");
    EXPECT_EQ(SymaxWrite6X(h, 1, 1, SYMAX_WRITE6X_MOST, values.data()), 7) << CommErrorText(h);
    EXPECT_EQ(peer.request.size(), 13u + 2 * SYMAX_WRITE6X_MOST);
    EXPECT_EQ(peer.request[5], 2 * SYMAX_WRITE6X_MOST + 7);
}

TEST_F(Message, NetToNetMarksTheCallersFirstDrop) {
    // Route 5, 3 opened Net-to-Net is stored as 105, 5, 3.
    h->netToNet = 1;
    h->route.count = 3;
    h->route.drops[0] = 105;
    h->route.drops[1] = 5;
    h->route.drops[2] = 3;
    AnswerWith({0x86, 0, 0, 0, 0, 1});
    uint16_t v = 0;
    ASSERT_EQ(SymaxRead(h, 1, 1, &v), 1) << CommErrorText(h);
    EXPECT_EQ(peer.route, (Bytes{'6', '9', 0xB0, '5', '0', '3'}));
}

TEST(Route, EncodeAndDecode) {
    MsgBuffer b;
    memset(&b, 0x55, sizeof b);
    Route r = {8, {0, 1, 0x0A, 0xFF, 105, 0x8005, 200, 17}};
    EncodeRoute(&b, &r);
    const char *text = "00010AFF69\xB0"
                       "5C811";
    EXPECT_EQ(memcmp(b.route, text, 16), 0);
    EXPECT_EQ(b.route[16], 0xFF);
    EXPECT_EQ(b.route[17], 0xFF);
    EXPECT_TRUE(DecodeRoute(&b));
    Route empty = {0, {}};
    EncodeRoute(&b, &empty);
    EXPECT_EQ(b.route[0], 0xFF);
    EXPECT_TRUE(DecodeRoute(&b));

    struct {
        Bytes route;
        bool valid;
    } cases[] = {
        {{'a', 'f', 0xFF}, true},  {{'0', 'G', 0xFF}, false},  {{'0', 0xFF}, false},
        {{'0', '1', 0x00}, false}, {{0xB0, 0xB5, 0xFF}, true}, {Bytes(18, '1'), false},
    };
    for (const auto &c : cases) {
        memset(b.route, 0xFF, sizeof b.route);
        memcpy(b.route, c.route.data(), c.route.size());
        EXPECT_EQ(DecodeRoute(&b) != 0, c.valid) << c.route.size();
    }
}

} // namespace
