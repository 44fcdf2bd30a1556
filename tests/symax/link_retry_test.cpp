// When the transmit framer takes a refusal: only while its frame waits for the
// acknowledgement, and the wrong sequence character only once the frame has
// enquired. A refusal that comes while a frame is going out (a late answer to
// an enquiry, or to the frame being repeated) leaves the frame alone and spends
// no retry. Driven byte by byte on a handle without a port.
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

namespace {

class LinkRetry : public ::testing::TestWithParam<bool> {
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
    int baseline = 0;
    CommHandle *h = nullptr;
};

INSTANTIATE_TEST_SUITE_P(CheckModes, LinkRetry, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Crc" : "Bcc"; });

// What the peer may say while our frame is on its way out.
const Bytes kAnswers[] = {{DLE, NAK}, {DLE, DC2}, {DLE, DC1}, {DLE, SYN}};

// A first frame: an answer in the middle of it neither restarts it nor frees
// it; the frame goes out whole, once, and still waits for its acknowledgement.
TEST_P(LinkRetry, AnswersWhileTheFrameGoesOutAreIgnored) {
    const Bytes data = {0x02, 0x07, 0x00, 0x10, 0x12, 0x34, 0xFF, 0xFF};
    const Bytes frame = RefFrame(DC1, "01", data, GetParam());
    for (const Bytes &answer : kAnswers) {
        SCOPED_TRACE(answer[1]);
        for (size_t cut : {1u, 3u, 8u, 12u}) {
            SCOPED_TRACE(cut);
            SendMessage(h, RequestBuffer("01", data));
            Bytes sent = Drain(h, cut);
            Feed(h, answer);
            Bytes rest = DrainFrame(h);
            sent.insert(sent.end(), rest.begin(), rest.end());
            EXPECT_EQ(sent, frame);
            ASSERT_EQ(h->txState, 10) << "not waiting for the acknowledgement";
            Feed(h, {DLE, DC1}); // the real acknowledgement
            ASSERT_EQ(h->txBuffer, nullptr);
            h->sequenceChar = DC1;
        }
    }
}

// A resend under way is not restarted by a second refusal (the answer to an
// enquiry that crossed the first), and that refusal costs no retry: after it
// the frame still has seven resends, as after a single NAK.
TEST_P(LinkRetry, RefusalDuringAResendNeitherRestartsItNorSpendsARetry) {
    const Bytes data = {0, 1, 0, 0, 0, 0};
    SendMessage(h, RequestBuffer("01", data));
    const Bytes frame = DrainFrame(h);
    for (const Bytes &late : {Bytes{DLE, NAK}, Bytes{DLE, DC2}}) {
        SCOPED_TRACE(late[1]);
        Feed(h, {DLE, NAK}); // a refusal in the wait: one resend
        Bytes sent = Drain(h, 4);
        Feed(h, late);
        Bytes rest = DrainFrame(h);
        sent.insert(sent.end(), rest.begin(), rest.end());
        EXPECT_EQ(sent, frame) << "the resend was restarted";
    }
    // Two resends so far: six more, and the next refusal drops the frame.
    for (int i = 0; i < 6; i++) {
        Feed(h, {DLE, NAK});
        ASSERT_EQ(DrainFrame(h), frame) << "retry " << i;
    }
    Feed(h, {DLE, NAK});
    EXPECT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(TxFramer(h), (unsigned)TX_NOTHING);
}

// Refusals in the wait still work as before: each resends the same frame. The
// wrong sequence character refuses once the frame has enquired.
TEST_P(LinkRetry, RefusalInTheWaitResends) {
    SendMessage(h, RequestBuffer("01", {0, 1, 0, 0, 0, 0}));
    const Bytes frame = DrainFrame(h);
    for (const Bytes &refusal : {Bytes{DLE, NAK}, Bytes{DLE, DC2}, Bytes{DLE, SYN}}) {
        SCOPED_TRACE(refusal[1]);
        Bytes wait = Drain(h, 12);
        ASSERT_EQ(wait.size(), 12u);
        EXPECT_EQ(Bytes(wait.end() - 2, wait.end()), (Bytes{DLE, ENQ}));
        Feed(h, refusal);
        EXPECT_EQ(DrainFrame(h), frame);
    }
    Feed(h, {DLE, DC1});
    EXPECT_EQ(h->txBuffer, nullptr);
}

// The peer acknowledges a good frame with its own sequence character: the
// other one before this frame has enquired is a late answer to an enquiry about
// the frame before, and must not send this one (a request) a second time. NAK
// and SYN still refuse at once.
TEST_P(LinkRetry, LateAnswerToAnEarlierEnquiryIsNoRefusal) {
    // The first frame: enquired once, then acknowledged; the peer answers the
    // enquiry too, but only after the next frame has gone out.
    SendMessage(h, RequestBuffer("01", {0, 1, 0, 0, 0, 0}));
    DrainFrame(h);
    Drain(h, 12); // fill bytes and DLE ENQ
    Feed(h, {DLE, DC1});
    ASSERT_EQ(h->txBuffer, nullptr);
    SendMessage(h, RequestBuffer("01", {0, 2, 0, 0, 0, 0}));
    const Bytes second = DrainFrame(h);
    EXPECT_EQ(second[2], DC2);
    Drain(h, 4);
    Feed(h, {DLE, DC1}); // the late answer
    EXPECT_EQ(h->txState, 10);
    // The rest of the wait goes on: six more fill bytes, not the frame again.
    EXPECT_EQ(Drain(h, 6), Bytes(6, FILL)) << "the frame was sent again";
    // Its own acknowledgement frees it.
    Feed(h, {DLE, DC2});
    EXPECT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(h->sequenceChar, DC1);
    // A NAK straight after a frame still refuses it.
    SendMessage(h, RequestBuffer("01", {0, 3, 0, 0, 0, 0}));
    const Bytes third = DrainFrame(h);
    Feed(h, {DLE, NAK});
    EXPECT_EQ(DrainFrame(h), third);
    Feed(h, {DLE, DC1});
    EXPECT_EQ(h->txBuffer, nullptr);
}

// After the next frame has enquired too, the answers still owed to the
// enquiries the frame before made are passed over, one for each of them; only
// a wrong sequence character beyond those refuses the frame.
TEST_P(LinkRetry, AnswersOwedToEarlierEnquiriesArePassedOver) {
    SendMessage(h, RequestBuffer("01", {0, 1, 0, 0, 0, 0}));
    DrainFrame(h);
    Drain(h, 12); // fill bytes and DLE ENQ
    Drain(h, 12); // and a second enquiry
    Feed(h, {DLE, DC1});
    ASSERT_EQ(h->txBuffer, nullptr);
    EXPECT_EQ(h->staleAnswers, 2);
    SendMessage(h, RequestBuffer("01", {0, 2, 0, 0, 0, 0}));
    const Bytes second = DrainFrame(h);
    EXPECT_EQ(Drain(h, 12),
              Bytes({FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, DLE, ENQ}));
    // The two late answers come only now: the frame is not sent again.
    Feed(h, {DLE, DC1});
    Feed(h, {DLE, DC1});
    EXPECT_EQ(h->txState, 10);
    EXPECT_EQ(Drain(h, 4), Bytes(4, FILL)) << "the frame was sent again";
    // The peer answers this frame's enquiry with the old character: it never
    // had the frame, which goes again.
    Feed(h, {DLE, DC1});
    EXPECT_EQ(DrainFrame(h), second);
    Feed(h, {DLE, DC2});
    EXPECT_EQ(h->txBuffer, nullptr);
    // Its enquiry had its answer (the refusal), and the resend was
    // acknowledged before it enquired: nothing is owed.
    EXPECT_EQ(h->staleAnswers, 0);
}

// With no enquiry owed an answer, a frame the peer lost goes again on the
// first answer to its own enquiry, as before.
TEST_P(LinkRetry, LostFrameGoesAgainOnTheFirstAnswerToItsEnquiry) {
    SendMessage(h, RequestBuffer("01", {0, 1, 0, 0, 0, 0}));
    DrainFrame(h);
    Feed(h, {DLE, DC1}); // acknowledged before any enquiry
    EXPECT_EQ(h->staleAnswers, 0);
    SendMessage(h, RequestBuffer("01", {0, 2, 0, 0, 0, 0}));
    const Bytes second = DrainFrame(h);
    Drain(h, 12);
    Feed(h, {DLE, DC1});
    EXPECT_EQ(DrainFrame(h), second);
    Feed(h, {DLE, DC2});
    EXPECT_EQ(h->txBuffer, nullptr);
}

// The wait for the acknowledgement starts when the write that carries the
// frame's last byte is done: while the writer still holds bytes of it, no
// fill byte (and so no enquiry) comes, though responses to the peer still go.
TEST_P(LinkRetry, EnquiryWaitStartsWhenTheLastByteHasLeft) {
    SendMessage(h, RequestBuffer("01", {0, 1, 0, 0, 0, 0}));
    DrainFrame(h);
    ASSERT_EQ(h->txState, 10);
    h->buffered = 6; // the write with the check byte is still going out
    EXPECT_GT(TxFramer(h), 0xFFu);
    Feed(h, {DLE, ENQ}); // the peer asks for our last response
    EXPECT_EQ(Drain(h), (Bytes{DLE, NAK}));
    EXPECT_GT(TxFramer(h), 0xFFu);
    h->buffered = 0; // that write is done
    Bytes wait = Drain(h, 12);
    EXPECT_EQ(wait, Bytes({FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, DLE, ENQ}));
    Feed(h, {DLE, DC1});
    EXPECT_EQ(h->txBuffer, nullptr);
}

} // namespace
