// The Modbus TCP and RTU-over-TCP clients against the simulator on loopback:
// every public read and write, and each fault the simulator can inject.
#include "comm/comm.h"
#include "platform/sockets.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Loopback {
    ModbusSlave *slave = nullptr;
    TcpSim *sim = nullptr;
    CommHandle *h = nullptr;

    void Start(int rtu, int simUnit = -1, int clientUnit = 1) {
        slave = SlaveCreate();
        ASSERT_NE(slave, nullptr);
        TcpSimOptions o = {rtu, simUnit, 50, 0};
        sim = TcpSimStart(slave, &o);
        ASSERT_NE(sim, nullptr);
        h = rtu ? OpenRTUoverTCP("127.0.0.1", TcpSimPort(sim), clientUnit)
                : OpenModbusTCP("127.0.0.1", TcpSimPort(sim), clientUnit);
        ASSERT_NE(h, nullptr);
    }
    ~Loopback() {
        if (h)
            CommClose(h);
        TcpSimStop(sim);
        SlaveDestroy(slave);
    }
    std::vector<uint16_t> Get(int table, int file, int first, int count) {
        std::vector<uint16_t> v((size_t)count);
        EXPECT_EQ(SlaveGet(slave, table, file, first, count, v.data()), count);
        return v;
    }
    void Set(int table, int file, int first, std::vector<uint16_t> v) {
        ASSERT_EQ(SlaveSet(slave, table, file, first, (int)v.size(), v.data()), (int)v.size());
    }
};

class BothKinds : public ::testing::TestWithParam<int> {};

TEST_P(BothKinds, ReadsEveryTable) {
    Loopback lb;
    lb.Start(GetParam());
    lb.Set(TABLE_HOLDING, 0, 99, {0x1234, 0xBEEF, 7});
    lb.Set(TABLE_INPUT_REGS, 0, 0, {1, 2});
    lb.Set(TABLE_FILES, 3, 0, {0xAAAA, 0x5555, 9});
    // Coils 1..10: 1 and 9, 10 on.
    lb.Set(TABLE_COILS, 0, 0, {1, 0, 0, 0, 0, 0, 0, 0, 1, 1});
    lb.Set(TABLE_INPUTS, 0, 4, {1});
    uint16_t v[128] = {0};
    ASSERT_EQ(Read4X(lb.h, 100, 3, v), 3) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], 0xBEEF);
    EXPECT_EQ(v[2], 7);
    ASSERT_EQ(Read3X(lb.h, 0, 1, 2, v), 2) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    ASSERT_EQ(Read6X(lb.h, 3, 0, 3, v), 3) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 0xAAAA);
    EXPECT_EQ(v[2], 9);
    // Ten coils come back as one word: coils 1-8 in the high byte, 9 and 10 in bits 0, 1.
    ASSERT_EQ(Read0X(lb.h, 0, 1, 10, v), 10) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 0x0103);
    ASSERT_EQ(Read1X(lb.h, 0, 5, 1, v), 1) << CommErrorText(lb.h);
    EXPECT_EQ(v[0] >> 8, 1);
    // The largest block a Modbus read can carry.
    ASSERT_EQ(Read4X(lb.h, 1, 125, v), 125) << CommErrorText(lb.h);
}

TEST_P(BothKinds, WritesEveryTable) {
    Loopback lb;
    lb.Start(GetParam());
    uint16_t regs[3] = {10, 20, 30};
    ASSERT_EQ(Write4X(lb.h, 50, 3, regs), 3) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_HOLDING, 0, 49, 3), (std::vector<uint16_t>{10, 20, 30}));
    uint16_t one[1] = {0x4321};
    ASSERT_EQ(Write4XOp6(lb.h, 7, 1, one), 1) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_HOLDING, 0, 6, 1)[0], 0x4321);
    uint16_t input[2] = {5, 6};
    ASSERT_EQ(Write3X(lb.h, 1, 2, input), 2) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_INPUT_REGS, 0, 0, 2), (std::vector<uint16_t>{5, 6}));
    uint16_t recs[4] = {1, 2, 3, 4};
    ASSERT_EQ(Write6X(lb.h, 2, 100, 4, recs), 4) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_FILES, 2, 100, 4), (std::vector<uint16_t>{1, 2, 3, 4}));
    uint16_t coil[1] = {0xFF00};
    ASSERT_EQ(Write0X(lb.h, 3, 1, coil), 1) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_COILS, 0, 2, 1)[0], 1);
    uint16_t coils[9] = {1, 0, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_EQ(Write0X(lb.h, 11, 9, coils), 9) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_COILS, 0, 10, 9), (std::vector<uint16_t>{1, 0, 0, 0, 0, 0, 0, 0, 1}));
    uint16_t multi[1] = {1};
    ASSERT_EQ(Write0XMulti(lb.h, 30, 1, multi), 1) << CommErrorText(lb.h);
    EXPECT_EQ(lb.Get(TABLE_COILS, 0, 29, 1)[0], 1);
}

TEST_P(BothKinds, ExceptionRepliesGiveTheirText) {
    Loopback lb;
    lb.Start(GetParam());
    uint16_t v[4];
    EXPECT_EQ(Read4X(lb.h, 10000, 2, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "ILLEGAL DATA ADDRESS");
    EXPECT_EQ(Read6X(lb.h, 99, 0, 2, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "ILLEGAL DATA ADDRESS");
    // 126 registers is more than a Modbus read carries.
    uint16_t many[128];
    EXPECT_EQ(Read4X(lb.h, 1, 126, many), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "ILLEGAL DATA VALUE");
    // The handle goes on working after an exception.
    EXPECT_EQ(Read4X(lb.h, 1, 2, v), 2) << CommErrorText(lb.h);
}

TEST_P(BothKinds, BlockTooLargeToFrameIsRefused) {
    Loopback lb;
    lb.Start(GetParam());
    uint16_t v[128] = {0};
    EXPECT_EQ(Write4X(lb.h, 1, 128, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Illegal write count");
    EXPECT_EQ(TcpSimRequests(lb.sim), 0u);
}

struct FaultCase {
    int rtu;
    int fault;
    const char *text; // the failed read's text
    int reconnects;   // the connection is rebuilt after it
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, FailCleanlyAndRecover) {
    const FaultCase &c = GetParam();
    Loopback lb;
    lb.Start(c.rtu);
    SetPortParams(lb.h, 0, 0, 0, 20, 8); // 20 polls: about 0.2 s
    lb.Set(TABLE_HOLDING, 0, 0, {77, 78});
    TcpSimSetFault(lb.sim, c.fault, 1);
    uint16_t v[2] = {0, 0};
    EXPECT_EQ(Read4X(lb.h, 1, 2, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), c.text);
    // The next request goes through, on a new connection where the fault ended the old one.
    SetPortParams(lb.h, 0, 0, 0, 500, 8);
    ASSERT_EQ(Read4X(lb.h, 1, 2, v), 2) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 77);
    EXPECT_EQ(v[1], 78);
    EXPECT_EQ(TcpSimConnections(lb.sim), c.reconnects ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Tcp, Faults,
    ::testing::Values(FaultCase{0, TCPSIM_RESET, "Recv Circuit reset by peer", 1},
                      FaultCase{0, TCPSIM_CLOSE, "Recv Circuit reset by peer", 1},
                      FaultCase{0, TCPSIM_SILENT, "Reply timeout", 0},
                      FaultCase{0, TCPSIM_UNIT, "Reply drop doesn't match query", 0},
                      FaultCase{0, TCPSIM_OVERLENGTH, "Recv Reply message too large", 0},
                      FaultCase{0, TCPSIM_BADCRC, "Reply timeout", 0},
                      FaultCase{0, TCPSIM_GARBAGE, "Recv Reply message too large", 0},
                      FaultCase{0, TCPSIM_LATE, "Reply timeout", 0}));

INSTANTIATE_TEST_SUITE_P(
    Rtu, Faults,
    ::testing::Values(FaultCase{1, TCPSIM_RESET, "Recv Circuit reset by peer", 1},
                      FaultCase{1, TCPSIM_CLOSE, "Recv Circuit reset by peer", 1},
                      FaultCase{1, TCPSIM_SILENT, "Reply timeout", 0},
                      FaultCase{1, TCPSIM_UNIT, "Reply drop doesn't match query", 0},
                      FaultCase{1, TCPSIM_OVERLENGTH, "Reply timeout", 0},
                      FaultCase{1, TCPSIM_BADCRC, "Reply CRC error", 0},
                      FaultCase{1, TCPSIM_GARBAGE, "Reply CRC error", 0}));

TEST_P(BothKinds, ReplyInTwoSegmentsIsPutTogether) {
    Loopback lb;
    lb.Start(GetParam());
    lb.Set(TABLE_HOLDING, 0, 0, {1, 2, 3, 4});
    TcpSimSetFault(lb.sim, TCPSIM_SPLIT, 0);
    uint16_t v[4];
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(Read4X(lb.h, 1, 4, v), 4) << CommErrorText(lb.h);
        EXPECT_EQ(v[3], 4);
    }
}

TEST(ModbusTcpLoopback, LateReplyToEarlierRequestIsSkipped) {
    Loopback lb;
    lb.Start(0);
    SetPortParams(lb.h, 0, 0, 0, 10, 8);
    lb.Set(TABLE_HOLDING, 0, 0, {111});
    lb.Set(TABLE_HOLDING, 0, 9, {222});
    TcpSimSetFault(lb.sim, TCPSIM_LATE, 1);
    uint16_t v[1];
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Reply timeout");
    // The held reply (111) arrives just in front of this one's and is skipped.
    SetPortParams(lb.h, 0, 0, 0, 500, 8);
    ASSERT_EQ(Read4X(lb.h, 10, 1, v), 1) << CommErrorText(lb.h);
    EXPECT_EQ(v[0], 222);
}

TEST(ModbusTcpLoopback, AnswerFromAnotherUnitIsNotTaken) {
    Loopback lb;
    lb.Start(1, 5, 5);
    uint16_t v[1];
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 1) << CommErrorText(lb.h);
    CommClose(lb.h);
    // An RTU slave does not answer a request for another unit.
    lb.h = OpenRTUoverTCP("127.0.0.1", TcpSimPort(lb.sim), 6);
    ASSERT_NE(lb.h, nullptr);
    SetPortParams(lb.h, 0, 0, 0, 5, 8);
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Reply timeout");
}

struct HookCount {
    int calls;
    int abortAt;
};

static int CountingHook(void *arg) {
    HookCount *c = static_cast<HookCount *>(arg);
    return ++c->calls != c->abortAt;
}

TEST_P(BothKinds, IdleHookRunsWhileWaitingAndCanAbort) {
    Loopback lb;
    lb.Start(GetParam());
    TcpSimSetFault(lb.sim, TCPSIM_SILENT, 0);
    SetPortParams(lb.h, 0, 0, 0, 15, 8);
    HookCount count = {0, 0};
    SetIdleHook(lb.h, CountingHook, &count);
    uint16_t v[1];
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Reply timeout");
    // One call per empty poll: the poll count bounds the wait.
    EXPECT_EQ(count.calls, 15);
    HookCount abort = {0, 3};
    SetIdleHook(lb.h, CountingHook, &abort);
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Application idle abort");
    EXPECT_EQ(abort.calls, 3);
}

TEST_P(BothKinds, ConnectionClosedWhileIdleIsRebuiltBeforeTheRequest) {
    Loopback lb;
    lb.Start(GetParam());
    uint16_t v[1];
    ASSERT_EQ(Read4X(lb.h, 1, 1, v), 1);
    // The peer drops every connection: stop the server and start one on the same port.
    uint16_t port = TcpSimPort(lb.sim);
    TcpSimStop(lb.sim);
    TcpSimOptions o = {GetParam(), -1, 0, port};
    lb.sim = TcpSimStart(lb.slave, &o);
    ASSERT_NE(lb.sim, nullptr);
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 1) << CommErrorText(lb.h);
}

TEST_P(BothKinds, ServerGoneLeavesClearTextsAndRecoversWhenBack) {
    Loopback lb;
    lb.Start(GetParam());
    uint16_t port = TcpSimPort(lb.sim);
    TcpSimSetFault(lb.sim, TCPSIM_RESET, 1);
    TcpSimStop(lb.sim);
    lb.sim = nullptr;
    uint16_t v[1];
    // Nobody listens: the connection cannot be rebuilt, nothing is sent, and
    // each later operation tries again and says why it could not.
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Connect  WINSOCK error 10061");
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(lb.h), "Connect  WINSOCK error 10061");
    TcpSimOptions o = {GetParam(), -1, 0, port};
    lb.sim = TcpSimStart(lb.slave, &o);
    ASSERT_NE(lb.sim, nullptr);
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 1) << CommErrorText(lb.h);
}

TEST_P(BothKinds, SimulatorSurvivesNoiseFromPeers) {
    Loopback lb;
    lb.Start(GetParam());
    const uint8_t loopback[4] = {127, 0, 0, 1};
    uint32_t address;
    memcpy(&address, loopback, 4);
    uint32_t x = 99;
    for (int round = 0; round < 40; round++) {
        int sock = SockOpenTcp();
        ASSERT_GE(sock, 0);
        ASSERT_EQ(SockConnect(sock, address, TcpSimPort(lb.sim)), 0);
        uint8_t noise[700];
        int length = 1 + (int)((x = x * 1664525u + 1013904223u) >> 8) % (int)sizeof noise;
        for (int i = 0; i < length; i++)
            noise[i] = (uint8_t)((x = x * 1664525u + 1013904223u) >> 24);
        int error;
        SockSend(sock, noise, length, &error);
        SockClose(sock);
    }
    uint16_t v[1];
    EXPECT_EQ(Read4X(lb.h, 1, 1, v), 1) << CommErrorText(lb.h);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BothKinds, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::string(i.param ? "RtuOverTcp" : "ModbusTcp");
                         });

TEST(ModbusTcpOpen, FailsCleanlyWithoutAPeer) {
    // A port that was just free: nothing listens there.
    uint16_t port = 0;
    {
        ModbusSlave *slave = SlaveCreate();
        TcpSimOptions o = {0, -1, 0, 0};
        TcpSim *sim = TcpSimStart(slave, &o);
        ASSERT_NE(sim, nullptr);
        port = TcpSimPort(sim);
        TcpSimStop(sim);
        SlaveDestroy(slave);
    }
    EXPECT_EQ(OpenModbusTCP("127.0.0.1", port, 1), nullptr);
    EXPECT_EQ(OpenRTUoverTCP("127.0.0.1", port, 1), nullptr);
    EXPECT_EQ(OpenModbusTCP("no-such-host.invalid", 502, 1), nullptr);
    EXPECT_EQ(OpenModbusTCP("127.0.0.1", 0, 1), nullptr);
    EXPECT_EQ(OpenModbusTCP("127.0.0.1", 70000, 1), nullptr);
    EXPECT_EQ(OpenModbusTCP(nullptr, 502, 1), nullptr);
}

TEST(ModbusTcpOpen, ByHostName) {
    Loopback lb;
    lb.Start(0);
    CommHandle *h = OpenModbusTCP("localhost", TcpSimPort(lb.sim), 1);
    ASSERT_NE(h, nullptr);
    uint16_t v[1];
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
    CommClose(h);
}

} // namespace
