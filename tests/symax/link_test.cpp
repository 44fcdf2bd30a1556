// The Sy/Max link layer driven byte by byte on a handle without a port:
// checks, the transmit framer's bytes, the receive framer, acknowledgements,
// NAK, ENQ, SYN and retries.
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

namespace {

class Link : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        pool_add_new(4);
        baseline = pool_count();
        h = LinkHandle(GetParam());
    }
    void TearDown() override {
        LinkRelease(h);
        EXPECT_EQ(pool_count(), baseline) << "a buffer was lost";
    }
    // Sends one request frame and returns its bytes.
    Bytes SendRequest(const Bytes &data) {
        SendMessage(h, RequestBuffer("01", data));
        return DrainFrame(h);
    }
    bool crc() const { return GetParam(); }
    int baseline = 0;
    CommHandle *h = nullptr;
};

INSTANTIATE_TEST_SUITE_P(CheckModes, Link, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Crc" : "Bcc"; });

TEST(CheckStep, BccIsTheTwosComplementOfTheSum) {
    // The read request of route "01", DC1, data 00 05 00 00 00 00.
    const Bytes covered = {0x11, '0', '1', 0x10, 0x02, 0, 5, 0, 0, 0, 0, 0x10, 0x03};
    unsigned check = 0;
    for (uint8_t b : covered)
        check = CheckStep(check, b, 0);
    EXPECT_EQ(check & 0xFF, 0x64u);
}

TEST(CheckStep, CrcIsTheModbusCrc) {
    const Bytes covered = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    unsigned check = 0xFFFF;
    for (uint8_t b : covered)
        check = CheckStep(check, b, 1);
    EXPECT_EQ(check, 0xCDC5u);
    for (int seed = 0; seed < 50; seed++) {
        Bytes data;
        for (int i = 0; i < seed * 3; i++)
            data.push_back((uint8_t)(seed * 31 + i * 7));
        unsigned c = 0xFFFF;
        for (uint8_t b : data)
            c = CheckStep(c, b, 1);
        EXPECT_EQ(c, RefCrc(data));
    }
}

TEST(TransmitFramer, ReadRequestBytesInBccMode) {
    pool_add_new(1);
    CommHandle *h = LinkHandle(false);
    SendMessage(h, RequestBuffer("01", {0, 5, 0, 0, 0, 0}));
    const Bytes expected = {0x10, 0x01, 0x11, '0', '1', 0x10, 0x02, 0,
                            5,    0,    0,    0,   0,   0x10, 0x03, 0x64};
    EXPECT_EQ(DrainFrame(h), expected);
    LinkRelease(h);
}

TEST_P(Link, TransmitFrameMatchesTheReferenceEncoder) {
    const Bytes data = {0x02, 0x10, 0x00, 0x10, 0x10, 0xFF, 0x03, 0xFE};
    EXPECT_EQ(SendRequest(data), RefFrame(DC1, "01", data, crc()));
}

TEST_P(Link, FillBytesThenEnquiriesThenTheFrameIsDropped) {
    SendRequest({0, 1, 0, 0, 0, 0});
    Bytes rest = Drain(h);
    // 32 rounds of ten fill bytes and DLE ENQ (the first fill byte went with
    // the frame), then ten more fill bytes.
    Bytes expected;
    for (int round = 0; round < 32; round++) {
        expected.insert(expected.end(), 10, FILL);
        expected.insert(expected.end(), {DLE, ENQ});
    }
    expected.insert(expected.end(), 10, FILL);
    ASSERT_EQ(rest.size(), expected.size());
    EXPECT_EQ(rest, expected);
    EXPECT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(TxFramer(h), (unsigned)TX_NOTHING);
}

TEST_P(Link, AcknowledgementFreesTheFrameAndTogglesTheSequence) {
    const Bytes data = {0, 1, 0, 0, 0, 0};
    EXPECT_EQ(SendRequest(data)[2], DC1);
    Drain(h, 5);
    Feed(h, {DLE, DC1});
    EXPECT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(h->sequenceChar, DC2);
    EXPECT_EQ(TxFramer(h), (unsigned)TX_NOTHING);
    EXPECT_EQ(SendRequest(data), RefFrame(DC2, "01", data, crc()));
    Feed(h, {DLE, DC2});
    EXPECT_EQ(h->sequenceChar, DC1);
}

TEST_P(Link, AcknowledgementOutsideTheWaitIsIgnored) {
    SendMessage(h, RequestBuffer("01", {0, 1}));
    Drain(h, 4); // mid-frame
    Feed(h, {DLE, DC1});
    EXPECT_NE(h->txBuffer, nullptr);
    EXPECT_EQ(h->sequenceChar, DC1);
}

TEST_P(Link, WrongAcknowledgementAndNakResendTheSameFrame) {
    const Bytes data = {0, 1, 0, 0x10, 0, 0};
    const Bytes frame = SendRequest(data);
    EXPECT_EQ(Drain(h, 12),
              Bytes({FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, DLE, ENQ}));
    Feed(h, {DLE, DC2}); // wrong sequence, answering the enquiry: as a NAK
    EXPECT_EQ(DrainFrame(h), frame);
    Feed(h, {DLE, NAK});
    EXPECT_EQ(DrainFrame(h), frame);
}

TEST_P(Link, NakRetriesRunOutAfterEight) {
    const Bytes frame = SendRequest({0, 1, 0, 0, 0, 0});
    for (int i = 0; i < 8; i++) {
        Feed(h, {DLE, NAK});
        ASSERT_EQ(DrainFrame(h), frame) << "retry " << i;
    }
    Feed(h, {DLE, NAK});
    EXPECT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(TxFramer(h), (unsigned)TX_NOTHING);
}

TEST_P(Link, SynRestartsTheRetryCount) {
    const Bytes frame = SendRequest({0, 1, 0, 0, 0, 0});
    for (int i = 0; i < 5; i++) {
        Feed(h, {DLE, NAK});
        DrainFrame(h);
    }
    // Busy: the count starts over at eight and the frame goes again (one of them).
    Feed(h, {DLE, SYN});
    EXPECT_EQ(DrainFrame(h), frame);
    for (int i = 0; i < 7; i++) {
        Feed(h, {DLE, NAK});
        ASSERT_EQ(DrainFrame(h), frame);
    }
    Feed(h, {DLE, NAK});
    EXPECT_EQ(h->txBuffer, nullptr);
}

TEST_P(Link, NakWhileIdleIsIgnored) {
    Feed(h, {DLE, NAK, DLE, DC1});
    EXPECT_EQ(Drain(h), Bytes{});
}

TEST_P(Link, EnquiryBeforeAnyFrameIsAnsweredWithNak) {
    Feed(h, {DLE, ENQ});
    EXPECT_EQ(Drain(h), (Bytes{DLE, NAK}));
}

TEST_P(Link, GoodFrameIsQueuedAndAcknowledgedWithItsSequence) {
    h->expectedTransaction = 7;
    const Bytes data = {0x86, 7, 0, 0, 0x12, 0x10, 0x10, 0x00};
    Feed(h, RefFrame(DC2, "05", data, crc()));
    EXPECT_EQ(Drain(h), (Bytes{DLE, DC2}));
    ASSERT_EQ(QueueLength(h->replyQueue), 1);
    MsgBuffer *b = h->replyQueue.head;
    ASSERT_EQ(b->length, data.size());
    EXPECT_EQ(Bytes(b->data, b->data + b->length), data);
    EXPECT_EQ(Bytes(b->route, b->route + 4), (Bytes{'0', '5', 0xFF, 0xFF}));
    // The peer missed the acknowledgement: it is sent again.
    Feed(h, {DLE, ENQ});
    EXPECT_EQ(Drain(h), (Bytes{DLE, DC2}));
}

TEST_P(Link, FrameForAnotherTransactionIsAcknowledgedAndDropped) {
    h->expectedTransaction = 7;
    Feed(h, RefFrame(DC1, "", {0x86, 8, 0, 0}, crc()));
    EXPECT_EQ(Drain(h), (Bytes{DLE, DC1}));
    EXPECT_EQ(QueueLength(h->replyQueue), 0);
}

TEST_P(Link, BadFramesAreAnsweredWithNakAndNotQueued) {
    h->expectedTransaction = 1;
    Bytes badCheck = RefFrame(DC1, "01", {0x86, 1, 0, 0, 0, 5}, crc());
    badCheck.back() ^= 0x01;
    Bytes badSequence = RefFrame(0x13, "01", {0x86, 1}, crc());
    Bytes escapeInRoute = {DLE, SOH, DC1, '0', DLE, 0x04};
    Bytes escapeInData = {DLE, SOH, DC1, DLE, STX, 0x86, DLE, 0x07};
    Bytes longRoute = RefFrame(DC1, std::string(17, '1'), {0x86, 1}, crc());
    for (const Bytes &frame : {badCheck, badSequence, escapeInRoute, escapeInData, longRoute}) {
        Feed(h, frame);
        EXPECT_EQ(Drain(h), (Bytes{DLE, NAK}));
        EXPECT_EQ(QueueLength(h->replyQueue), 0);
        EXPECT_EQ(h->rxBuffer, nullptr);
    }
}

TEST_P(Link, OverlongDataIsRejected) {
    h->expectedTransaction = 1;
    Bytes data(264, 0x55);
    data[1] = 1;
    Feed(h, RefFrame(DC1, "01", data, crc()));
    Bytes out = Drain(h);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 2), (Bytes{DLE, NAK}));
    EXPECT_EQ(QueueLength(h->replyQueue), 0);
    // The full 263 bytes still fit.
    data.resize(263);
    Feed(h, RefFrame(DC1, "01", data, crc()));
    EXPECT_EQ(QueueLength(h->replyQueue), 1);
}

TEST_P(Link, NewFrameStartAbandonsTheOneInProgress) {
    h->expectedTransaction = 3;
    Bytes partial = {DLE, SOH, DC1, '0', '1', DLE, STX, 0x86, 3, 0};
    Feed(h, partial);
    Feed(h, RefFrame(DC2, "01", {0x86, 3, 0, 0, 0, 9}, crc()));
    EXPECT_EQ(Drain(h), (Bytes{DLE, DC2}));
    EXPECT_EQ(QueueLength(h->replyQueue), 1);
}

TEST_P(Link, FrameStartWithoutABufferIsAnsweredBusy) {
    // Empty the pool for the length of the frame.
    std::vector<MsgBuffer *> held;
    while (MsgBuffer *b = pool_take())
        held.push_back(b);
    h->expectedTransaction = 1;
    Feed(h, RefFrame(DC1, "01", {0x86, 1, 0, 0}, crc()));
    EXPECT_EQ(Drain(h), (Bytes{DLE, SYN}));
    EXPECT_EQ(QueueLength(h->replyQueue), 0);
    for (MsgBuffer *b : held)
        pool_give(b);
}

TEST_P(Link, AcknowledgementWaitsBehindAStuffedDle) {
    // The doubled DLE of the data is never split by a control sequence.
    SendMessage(h, RequestBuffer("01", {0x10, 0x01}));
    Bytes head;
    for (int i = 0; i < 8; i++)
        head.push_back((uint8_t)TxFramer(h));
    ASSERT_EQ(head.back(), DLE); // the first DLE of the pair
    h->expectedTransaction = 1;
    Feed(h, RefFrame(DC1, "", {0x86, 1}, crc()));
    Bytes rest = DrainFrame(h);
    ASSERT_GE(rest.size(), 3u);
    EXPECT_EQ(rest[0], DLE); // the stuffed DLE
    EXPECT_EQ(rest[1], DLE); // then DLE DC1, the acknowledgement
    EXPECT_EQ(rest[2], DC1);
}

TEST(RxFramer, ReceiveAndTransmitMeetInTheMiddle) {
    // Our own transmit framer's frame, fed to a second handle, is accepted.
    pool_add_new(3);
    int baseline = pool_count();
    for (bool crc : {false, true}) {
        CommHandle *a = LinkHandle(crc), *b = LinkHandle(crc);
        Bytes data;
        for (int i = 0; i < 263; i++)
            data.push_back((uint8_t)(i * 13));
        data[1] = 0x42;
        b->expectedTransaction = 0x42;
        SendMessage(a, RequestBuffer("0A69", data));
        Feed(b, DrainFrame(a));
        ASSERT_EQ(QueueLength(b->replyQueue), 1);
        EXPECT_EQ(Bytes(b->replyQueue.head->data, b->replyQueue.head->data + 263), data);
        Feed(a, Drain(b)); // b's acknowledgement
        EXPECT_EQ(a->txBuffer, nullptr);
        LinkRelease(a);
        LinkRelease(b);
    }
    EXPECT_EQ(pool_count(), baseline);
}

} // namespace
