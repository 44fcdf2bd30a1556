// The simulated device's answers to each request, and its text commands.
#include "sim/symax/sim_commands.h"
#include "sim_test_util.h"

#include <random>

using namespace symaxsim;

namespace {

struct MessageTest : ::testing::Test {
    Slave s;
    void SetUp() override {
        SlaveInit(&s);
        for (int i = 0; i < DEV_REGISTERS; i++)
            s.dev.mem.reg[i] = uint16_t(i * 3);
        for (int i = 0; i < DEV_INPUTS; i++)
            s.dev.mem.input[i] = uint16_t(0x3000 + i);
        s.dev.mem.ext[1][20] = 0xAAAA;
        s.dev.mem.ext[1][21] = 0xBBBB;
    }
    Bytes Answer(const Bytes &request, const Bytes &route = {'0', '1'}) {
        Bytes replyRoute, reply;
        if (!DeviceAnswer(&s.dev, route, request, &replyRoute, &reply))
            return {};
        return reply;
    }
};

TEST_F(MessageTest, RequestsAndTheirReplies) {
    struct Case {
        const char *name;
        Bytes request, reply;
    } cases[] = {
        // register 2 = byte address 2, count 2: values 3 and 6
        {"read", {0x00, 7, 0x00, 0x02, 0x00, 0x01}, {0x86, 7, 0x00, 0x02, 0, 3, 0, 6}},
        {"read status word of register 1",
         {0x00, 7, 0x40, 0x00, 0x00, 0x00},
         {0x86, 7, 0x40, 0x00, 0x60, 0x00}},
        {"read past the end", {0x00, 7, 0x7F, 0xFE, 0x00, 0x01}, {0xA2, 7, ST_ILLEGAL_ADDRESS}},
        {"read odd address", {0x00, 7, 0x00, 0x03, 0x00, 0x00}, {0xA2, 7, ST_ILLEGAL_ADDRESS}},
        {"read 129", {0x00, 7, 0x00, 0x00, 0x00, 0x80}, {0xA2, 7, ST_COUNT_TOO_LARGE}},
        {"priority read",
         {0x20, 7, 0, 0, 0, 0x00, 0x00, 0x00, 0x02},
         {0x90, 7, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 3, 0, 6}},
        {"priority read past the end",
         {0x20, 7, 0, 0, 0, 0x80, 0x00, 0x00, 0x00},
         {0x90, 7, 0, 0, ST_ILLEGAL_ADDRESS, 0x80, 0x00}},
        {"write", {0x02, 9, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xFF}, {0x80, 9, 0x00, 0x02}},
        {"write without end mark", {0x02, 9, 0x00, 0x02, 0x12, 0x34}, {0xA2, 9, 122}},
        {"priority write", {0x1E, 9, 0x00, 0x00, 0x02, 0x12, 0x34}, {0x92, 9, 0, 0, 0, 0x00, 0x02}},
        {"unknown opcode", {0x44, 9}, {0xA2, 9, ST_ILLEGAL_OPCODE}},
        {"3X read",
         {0x22, 0xBA, 0xD5, 0x00, 0x04, 0x00, 0x01, 0x00, 0x02},
         {0x92, 0xBA, 0xD5, 0x00, 0x04, 4, 0x30, 0x01, 0x30, 0x02}},
        {"3X read past the end",
         {0x22, 0xBA, 0xD5, 0x00, 0x04, 0x1F, 0xFF, 0x00, 0x02},
         {0x92, 0xBA, 0xD5, 0x00, 0x84, 2}},
        {"6X read",
         {0x22, 0xBA, 0xD5, 0x00, 0x14, 0x07, 0x06, 0x00, 0x02, 0x00, 20, 0x00, 0x02},
         {0x92, 0xBA, 0xD5, 0x00, 0x14, 6, 5, 6, 0xAA, 0xAA, 0xBB, 0xBB}},
        {"6X read of file 11",
         {0x22, 0xBA, 0xD5, 0x00, 0x14, 0x07, 0x06, 0x00, 11, 0x00, 0, 0x00, 0x01},
         {0x92, 0xBA, 0xD5, 0x00, 0x94, 2}},
        {"6X write",
         {0x22, 0xBA, 0xD5, 0x00, 0x15, 9, 0x06, 0x00, 0x03, 0x00, 5, 0x00, 1, 0xCA, 0xFE},
         {0x92, 0xBA, 0xD5, 0x00, 0x15, 9, 0x06, 0x00, 0x03, 0x00, 5, 0x00, 1, 0xCA, 0xFE}},
        {"6X write short of data",
         {0x22, 0xBA, 0xD5, 0x00, 0x15, 9, 0x06, 0x00, 0x03, 0x00, 5, 0x00, 2, 0xCA, 0xFE},
         {0x92, 0xBA, 0xD5, 0x00, 0x95, 3}},
        {"other Modbus function",
         {0x22, 0xBA, 0xD5, 0x00, 0x03, 0, 0, 0, 1},
         {0x92, 0xBA, 0xD5, 0x00, 0x83, 1}},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(Answer(c.request), c.reply) << c.name;
    }
    SetUp();
    Answer({0x02, 9, 0x00, 0x02, 0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF});
    EXPECT_EQ(s.dev.mem.reg[1], 0x1234);
    EXPECT_EQ(s.dev.mem.reg[2], 0x5678);
    Answer({0x1E, 9, 0x00, 0x00, 0x08, 0xAB, 0xCD});
    EXPECT_EQ(s.dev.mem.reg[4], 0xABCD);
    Answer({0x22, 0xBA, 0xD5, 0x00, 0x15, 9, 0x06, 0x00, 0x03, 0x00, 5, 0x00, 1, 0xCA, 0xFE});
    EXPECT_EQ(s.dev.mem.ext[2][5], 0xCAFE);
}

TEST_F(MessageTest, StatusFaultTakesEachOpcodesErrorForm) {
    struct Case {
        Bytes request, reply;
    } cases[] = {
        {{0x00, 7, 0, 0, 0, 0}, {0xA2, 7, 4}},
        {{0x02, 7, 0, 0, 0, 0, 0xFF, 0xFF}, {0xA2, 7, 4}},
        {{0x20, 7, 0, 0, 0, 0, 0, 0, 0}, {0x90, 7, 0, 0, 4, 0, 0}},
        {{0x1E, 7, 0, 0, 0, 0, 0}, {0x92, 7, 0, 0, 4, 0, 0}},
        {{0x22, 0xBA, 0xD5, 0x00, 0x04, 0, 0, 0, 1}, {0x92, 0xBA, 0xD5, 0x00, 0x84, 4}},
    };
    for (const Case &c : cases) {
        s.dev.faultStatus = 1;
        s.dev.faultCode = 4;
        EXPECT_EQ(Answer(c.request), c.reply);
        EXPECT_NE(Answer(c.request), c.reply); // used up
    }
}

TEST_F(MessageTest, RoutesAreReversedAndChecked) {
    Bytes replyRoute, reply;
    Bytes route = {'6', '9', 0xB0, '5', '0', '3'};
    ASSERT_TRUE(DeviceAnswer(&s.dev, route, {0x00, 1, 0, 0, 0, 0}, &replyRoute, &reply));
    EXPECT_EQ(replyRoute, (Bytes{'0', '3', 0xB0, '5', '6', '9'}));
    EXPECT_EQ(reply[0], 0x86);
    EXPECT_EQ(s.dev.lastRoute, route);
    s.dev.drop = 4;
    ASSERT_TRUE(DeviceAnswer(&s.dev, route, {0x00, 1, 0, 0, 0, 0}, &replyRoute, &reply));
    EXPECT_EQ(reply, (Bytes{0xA2, 1, ST_ILLEGAL_ROUTE}));
    ASSERT_TRUE(DeviceAnswer(&s.dev, {'0', 'G'}, {0x00, 1, 0, 0, 0, 0}, &replyRoute, &reply));
    EXPECT_EQ(reply, (Bytes{0xA2, 1, ST_ILLEGAL_ROUTE}));
    s.dev.drop = 3;
    ASSERT_TRUE(DeviceAnswer(&s.dev, route, {0x00, 1, 0, 0, 0, 0}, &replyRoute, &reply));
    EXPECT_EQ(reply[0], 0x86);
    EXPECT_FALSE(DeviceAnswer(&s.dev, route, {0x00}, &replyRoute, &reply));
}

TEST_F(MessageTest, TextCommands) {
    struct Case {
        const char *line, *answer;
    } cases[] = {
        {"set 10 1 0x10 -1", "OK 3"},
        {"get 10 3", "OK 1 16 65535"},
        {"get 16384", "OK 49149"},
        {"get 16384 2", "ERR out of range"},
        {"get 0", "ERR register number 1 to 16384 expected"},
        {"set 5 70000", "ERR bad value '70000'"},
        {"set 5", "ERR usage: values missing"},
        {"set3 1 7", "OK 1"},
        {"get3 1", "OK 7"},
        {"set6 10 9999 42", "OK 1"},
        {"get6 10 9999", "OK 42"},
        {"get6 11 0", "ERR file 1 to 10 and record 0 to 9999 expected"},
        {"fault nak 2", "OK"},
        {"fault status 300", "ERR usage: fault status CODE(0-255) [N]"},
        {"fault bogus", "ERR usage: fault drop|nak|noack|noreply|badcheck [N] | status CODE [N] | "
                        "delay MS | silent on|off | clear"},
        {"route", "OK"},
        {"", "ERR empty command"},
        {"frobnicate",
         "ERR unknown command 'frobnicate' (get set get3 set3 get6 set6 fault delay stats route)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SlaveCommand(&s, c.line), c.answer) << c.line;
    EXPECT_EQ(s.faults.nak, 2);
    EXPECT_EQ(SlaveCommand(&s, "fault clear"), "OK");
    EXPECT_EQ(s.faults.nak, 0);
    EXPECT_EQ(SlaveCommand(&s, "stats").rfind("OK frames=0 ", 0), 0u);
}

// Random command lines, made of the commands' own words and numbers of every
// size, never crash the parser and are always answered OK or ERR.
TEST_F(MessageTest, RandomCommandLines) {
    const char *words[] = {"get",    "set",    "get3",  "set3",  "get6",  "set6",
                           "fault",  "delay",  "stats", "route", "drop",  "nak",
                           "status", "silent", "on",    "clear", "0",     "1",
                           "-1",     "0x10",   "65535", "65536", "16384", "99999999999999",
                           "x",      ""};
    std::mt19937 rng(99);
    for (int i = 0; i < 5000; i++) {
        std::string line;
        for (unsigned n = rng() % 6; n > 0; n--)
            line += std::string(words[rng() % (sizeof words / sizeof *words)]) + " ";
        std::string a = SlaveCommand(&s, line);
        EXPECT_TRUE(a.rfind("OK", 0) == 0 || a.rfind("ERR ", 0) == 0) << line << " -> " << a;
    }
}

} // namespace
