// Our Modbus RTU and ASCII master against peers nobody here wrote: the
// pymodbus serial server (tests/interop_serial/pymodbus_server.py, RTU and
// ASCII) and libmodbus's RTU server (libmodbus_rtu_server.cpp), each on a pty.
// Their memory (zero-based point i): coil on when i % 3 == 0, input on when
// i % 2 == 1, input register 1000 + i, holding register 2i + 7.
#include "comm/comm.h"
#include "tests/harness/sim_process.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct Peer {
    const char *name;
    const char *framer; // "rtu", "ascii", or "libmodbus" (RTU)
    CommHandle *(*open)(const char *, int);
};

void PrintTo(const Peer &p, std::ostream *os) {
    *os << p.name;
}

const Peer peers[] = {
    {"Rtu", "rtu", OpenModbusRTU},
    {"Ascii", "ascii", OpenModbusAscii},
    {"Libmodbus", "libmodbus", OpenModbusRTU},
};

bool is_libmodbus(const Peer &p) {
    return std::string(p.framer) == "libmodbus";
}

struct PymodbusTest : ::testing::TestWithParam<Peer> {
    TempDir dir;
    SimProcess server;
    CommHandle *h = nullptr;
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        if (is_libmodbus(GetParam()))
            ASSERT_TRUE(server.start({LIBMODBUS_SERVER, "1", dir.path + "/COM1"}, nullptr));
        else
            ASSERT_TRUE(server.start(
                {"/usr/bin/python3", PYMODBUS_SERVER, GetParam().framer, "1", dir.path + "/COM1"},
                nullptr, 20000));
        h = GetParam().open("COM1:", 1);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 100, 8), 1);
    }
    void TearDown() override {
        if (h)
            CommClose(h);
        server.stop();
    }
    std::string text() { return CommErrorText(h); }
};

} // namespace

TEST_P(PymodbusTest, HoldingRegisters) {
    uint16_t v[125] = {0};
    ASSERT_EQ(Read4X(h, 1, 5, v), 5) << text();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(v[i], 2 * i + 7);
    ASSERT_EQ(Read4X(h, 101, 125, v), 125) << text();
    for (int i = 0; i < 125; i++)
        ASSERT_EQ(v[i], 2 * (100 + i) + 7) << i;
    uint16_t w[3] = {0xFFFF, 0, 0x1234};
    ASSERT_EQ(Write4X(h, 10, 3, w), 3) << text();
    uint16_t one[1] = {4321};
    ASSERT_EQ(Write4XOp6(h, 20, 1, one), 1) << text();
    ASSERT_EQ(Read4X(h, 10, 11, v), 11) << text();
    EXPECT_EQ(v[0], 0xFFFF);
    EXPECT_EQ(v[1], 0);
    EXPECT_EQ(v[2], 0x1234);
    EXPECT_EQ(v[3], 2 * 12 + 7); // untouched
    EXPECT_EQ(v[10], 4321);
}

TEST_P(PymodbusTest, InputRegisters) {
    uint16_t v[4] = {0};
    ASSERT_EQ(Read3X(h, 0, 1, 4, v), 4) << text();
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(v[i], 1000 + i);
}

TEST_P(PymodbusTest, CoilsAndInputs) {
    uint16_t v[10] = {0};
    ASSERT_EQ(Read0X(h, 0, 1, 10, v), 10) << text();
    EXPECT_EQ(v[0], 0x4902); // coils 1, 4, 7 (bits 0, 3, 6) and 10 (bit 1 of the low byte)
    ASSERT_EQ(Read1X(h, 0, 1, 10, v), 10) << text();
    EXPECT_EQ(v[0], 0xAA02);
    uint16_t on[1] = {0xFF00};
    ASSERT_EQ(Write0X(h, 2, 1, on), 1) << text();
    ASSERT_EQ(Read0X(h, 0, 2, 1, v), 1) << text();
    EXPECT_EQ(v[0], 0x0100);
    uint16_t coils[9] = {0, 1, 1, 0, 0, 0, 0, 0, 1};
    ASSERT_EQ(Write0XMulti(h, 101, 9, coils), 9) << text();
    ASSERT_EQ(Read0X(h, 0, 101, 9, v), 9) << text();
    EXPECT_EQ(v[0], 0x0601);
}

TEST_P(PymodbusTest, ExceptionReply) {
    uint16_t v[2] = {0};
    EXPECT_EQ(Read4X(h, 5000, 2, v), 0);
    EXPECT_EQ(text().rfind("Modbus error reply 2 ", 0), 0u) << text();
    EXPECT_EQ(Write4X(h, 5000, 2, v), 0);
    EXPECT_EQ(text().rfind("Modbus error reply 2 ", 0), 0u) << text();
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << text();
}

TEST_P(PymodbusTest, FileRecords) {
    if (is_libmodbus(GetParam())) {
        // libmodbus knows neither function 20 nor 21 and cannot even find
        // where such a request ends, so it stays silent; the handle goes on.
        ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 30, 8), 1);
        uint16_t v[3] = {0};
        EXPECT_EQ(Read6X(h, 1, 0, 3, v), 0);
        EXPECT_EQ(text(), "No reply to read command");
        EXPECT_EQ(Write6X(h, 1, 0, 3, v), 0);
        EXPECT_EQ(text(), "No reply to write command");
        EXPECT_EQ(Read4X(h, 1, 1, v), 1) << text();
        return;
    }
    // pymodbus answers a file read with no records at all, which our checks
    // report as a reply of the wrong size; its file write echoes the request.
    uint16_t v[3] = {0};
    EXPECT_EQ(Read6X(h, 1, 0, 3, v), 0);
    EXPECT_EQ(text(), "Read reply was wrong size (a)");
    uint16_t w[3] = {1, 2, 3};
    EXPECT_EQ(Write6X(h, 1, 0, 3, w), 3) << text();
    // The 3X write (reference type 3) is not one pymodbus knows: it echoes
    // only the records of type 6, so the reply is not the request's echo.
    EXPECT_EQ(Write3X(h, 1, 2, w), 0);
    EXPECT_EQ(text(), "Write reply was wrong size");
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << text();
}

INSTANTIATE_TEST_SUITE_P(Framings, PymodbusTest, ::testing::ValuesIn(peers),
                         [](const auto &info) { return std::string(info.param.name); });
