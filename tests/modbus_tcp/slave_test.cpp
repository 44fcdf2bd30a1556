// The Modbus slave model's PDU server and its text commands.
#include "sim/modbus_slave/modbus_slave.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Slave {
    ModbusSlave *s = SlaveCreate();
    ~Slave() { SlaveDestroy(s); }
    Bytes Serve(const Bytes &request) {
        uint8_t reply[SLAVE_PDU_MAX];
        int n = SlaveServe(s, request.data(), (int)request.size(), reply);
        return Bytes(reply, reply + n);
    }
    std::string Command(const char *line) {
        char out[512];
        SlaveCommand(s, line, out, sizeof out);
        return out;
    }
};

struct ServeCase {
    const char *name;
    Bytes request;
    Bytes reply;
};

class Serve : public ::testing::TestWithParam<ServeCase> {};

// Memory before each case: holding 1..3 = 0x0102 0x0304 0x0506, coils 1..10 =
// 1 0 0 0 0 0 0 0 1 1, input register 1 = 0x1111, file 1 record 0..1 = 0xA0 0xA1.
TEST_P(Serve, AnswersAsExpected) {
    Slave sl;
    const uint16_t holding[3] = {0x0102, 0x0304, 0x0506};
    const uint16_t coils[10] = {1, 0, 0, 0, 0, 0, 0, 0, 1, 1};
    const uint16_t input = 0x1111, file[2] = {0xA0, 0xA1};
    SlaveSet(sl.s, TABLE_HOLDING, 0, 0, 3, holding);
    SlaveSet(sl.s, TABLE_COILS, 0, 0, 10, coils);
    SlaveSet(sl.s, TABLE_INPUT_REGS, 0, 0, 1, &input);
    SlaveSet(sl.s, TABLE_FILES, 1, 0, 2, file);
    EXPECT_EQ(sl.Serve(GetParam().request), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Pdu, Serve,
    ::testing::Values(
        ServeCase{"ReadHolding", {3, 0, 0, 0, 3}, {3, 6, 1, 2, 3, 4, 5, 6}},
        ServeCase{"ReadInputRegs", {4, 0, 0, 0, 1}, {4, 2, 0x11, 0x11}},
        ServeCase{"ReadCoils", {1, 0, 0, 0, 10}, {1, 2, 0x01, 0x03}},
        ServeCase{"ReadInputs", {2, 0, 0, 0, 9}, {2, 2, 0, 0}},
        ServeCase{"WriteCoil", {5, 0, 4, 0xFF, 0}, {5, 0, 4, 0xFF, 0}},
        ServeCase{"WriteCoilBadValue", {5, 0, 4, 0x12, 0}, {0x85, 3}},
        ServeCase{"WriteRegister", {6, 0, 1, 0xAB, 0xCD}, {6, 0, 1, 0xAB, 0xCD}},
        ServeCase{"WriteCoils", {15, 0, 0, 0, 9, 2, 0xFF, 1}, {15, 0, 0, 0, 9}},
        ServeCase{"WriteCoilsBadByteCount", {15, 0, 0, 0, 9, 1, 0xFF}, {0x8F, 3}},
        ServeCase{"WriteRegisters", {16, 0, 0, 0, 1, 2, 9, 9}, {16, 0, 0, 0, 1}},
        ServeCase{"WriteRegistersShort", {16, 0, 0, 0, 2, 4, 9, 9}, {0x90, 3}},
        ServeCase{"ReadFile", {20, 7, 6, 0, 1, 0, 0, 0, 2}, {20, 6, 5, 6, 0, 0xA0, 0, 0xA1}},
        ServeCase{"ReadFileInputRegs", {20, 7, 3, 0, 0, 0, 0, 0, 1}, {20, 4, 3, 3, 0x11, 0x11}},
        ServeCase{"ReadFileNoSuchFile", {20, 7, 6, 0, 16, 0, 0, 0, 1}, {0x94, 2}},
        ServeCase{"ReadFileBadType", {20, 7, 5, 0, 1, 0, 0, 0, 1}, {0x94, 2}},
        ServeCase{"ReadFilePastEnd", {20, 7, 6, 0, 1, 0x27, 0x0F, 0, 2}, {0x94, 2}},
        ServeCase{"WriteFile",
                  {21, 9, 6, 0, 2, 0, 5, 0, 1, 0xBE, 0xEF},
                  {21, 9, 6, 0, 2, 0, 5, 0, 1, 0xBE, 0xEF}},
        ServeCase{"WriteFileLengthPastData", {21, 9, 6, 0, 2, 0, 5, 0, 2, 0xBE, 0xEF}, {0x95, 3}},
        ServeCase{"ReadPastEnd", {3, 0x27, 0x0F, 0, 2}, {0x83, 2}},
        ServeCase{"ReadTooMany", {3, 0, 0, 0, 126}, {0x83, 3}},
        ServeCase{"ReadNone", {3, 0, 0, 0, 0}, {0x83, 3}},
        ServeCase{"ReadShortRequest", {3, 0, 0, 0}, {0x83, 3}},
        ServeCase{"UnknownFunction", {0x2B, 14, 1, 0}, {0xAB, 1}}, ServeCase{"Empty", {}, {}}),
    [](const ::testing::TestParamInfo<ServeCase> &i) { return std::string(i.param.name); });

TEST(SlaveServe, WritesReachMemory) {
    Slave sl;
    sl.Serve({16, 0, 9, 0, 2, 4, 0x12, 0x34, 0x56, 0x78});
    sl.Serve({15, 0, 20, 0, 10, 2, 0x81, 0x02});
    // Input-register write by file record reference type 3: file 0, record = register - 1.
    sl.Serve({21, 9, 3, 0, 0, 0, 4, 0, 1, 0xCA, 0xFE});
    uint16_t v[10];
    ASSERT_EQ(SlaveGet(sl.s, TABLE_HOLDING, 0, 9, 2, v), 2);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], 0x5678);
    ASSERT_EQ(SlaveGet(sl.s, TABLE_COILS, 0, 20, 10, v), 10);
    EXPECT_EQ(std::vector<uint16_t>(v, v + 10),
              (std::vector<uint16_t>{1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));
    ASSERT_EQ(SlaveGet(sl.s, TABLE_INPUT_REGS, 0, 4, 1, v), 1);
    EXPECT_EQ(v[0], 0xCAFE);
    EXPECT_EQ(SlaveRequests(sl.s), 3u);
}

TEST(SlaveServe, RefusedFileWriteChangesNothing) {
    Slave sl;
    // The second sub-request names a file that does not exist.
    Bytes rq = {21, 18, 6, 0, 1, 0, 0, 0, 1, 0x11, 0x11, 6, 0, 99, 0, 0, 0, 1, 0x22, 0x22};
    EXPECT_EQ(sl.Serve(rq), (Bytes{0x95, 2}));
    uint16_t v = 0xFFFF;
    SlaveGet(sl.s, TABLE_FILES, 1, 0, 1, &v);
    EXPECT_EQ(v, 0);
}

TEST(SlaveServe, RandomRequestsNeverOverrunTheReply) {
    Slave sl;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; i++) {
        Bytes rq((size_t)(1 + (x = x * 1664525u + 1013904223u) % SLAVE_PDU_MAX));
        for (uint8_t &b : rq)
            b = (uint8_t)((x = x * 1664525u + 1013904223u) >> 24);
        // Keep to the served functions most of the time.
        static const uint8_t functions[] = {1, 2, 3, 4, 5, 6, 15, 16, 20, 21};
        rq[0] = functions[(x >> 8) % 10];
        Bytes reply = sl.Serve(rq);
        ASSERT_GE(reply.size(), 2u);
        ASSERT_LE(reply.size(), (size_t)SLAVE_PDU_MAX);
    }
}

struct CommandCase {
    const char *line;
    const char *answer;
};

class Command : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Command, Answers) {
    Slave sl;
    sl.Command("set 4x 1 1 2 0x10");
    sl.Command("set 6x 2 5 7");
    sl.Command("set 0x 3 1");
    EXPECT_EQ(sl.Command(GetParam().line), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Command,
    ::testing::Values(
        CommandCase{"get 4x 1 3", "OK 1 2 16"}, CommandCase{"get 6x 2 5 2", "OK 7 0"},
        CommandCase{"get 0x 1 3", "OK 0 0 1"}, CommandCase{"get 3x 1 1", "OK 0"},
        CommandCase{"set 1x 2 5", "OK"}, CommandCase{"get 4x 0 1", "ERR bad address"},
        CommandCase{"get 4x 10000 2", "ERR out of range"},
        CommandCase{"get 4x 1 0", "ERR bad count"}, CommandCase{"set 4x 1 65536", "ERR bad value"},
        CommandCase{"set 4x 1", "ERR bad count"}, CommandCase{"get 6x 16 0 1", "ERR bad file"},
        CommandCase{"get 5x 1 1", "ERR unknown table"}, CommandCase{"get", "ERR unknown table"},
        CommandCase{"", "ERR unknown command"}, CommandCase{"poke 4x 1", "ERR unknown command"},
        CommandCase{"count", "OK 0"}));

} // namespace
