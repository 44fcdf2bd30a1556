// The Windows port settings as plain values: the DCB fields for the open and
// for each setting, the read time-outs and the errors taken as a hang-up.
#include "platform/serial.h"
#include "platform/serial_dcb.h"

#include <gtest/gtest.h>

namespace {

TEST(SerialDcb, OpenSettings) {
    SerialDcb d;
    d.outX = d.inX = d.nulStrip = d.abortOnError = d.outxDsrFlow = d.dsrSensitivity = true;
    d.rtsControl = SERIAL_DCB_RTS_TOGGLE;
    SerialDcbForOpen(&d);
    EXPECT_EQ(d.baudRate, 9600u);
    EXPECT_EQ(d.byteSize, 8);
    EXPECT_EQ(d.parity, SERIAL_DCB_EVENPARITY);
    EXPECT_TRUE(d.parityCheck);
    EXPECT_EQ(d.stopBits, SERIAL_DCB_ONESTOPBIT);
    EXPECT_TRUE(d.binary);
    EXPECT_TRUE(d.outxCtsFlow);
    EXPECT_FALSE(d.outxDsrFlow);
    EXPECT_EQ(d.dtrControl, SERIAL_DCB_DTR_ENABLE);
    EXPECT_FALSE(d.dsrSensitivity);
    EXPECT_TRUE(d.txContinueOnXoff);
    EXPECT_FALSE(d.outX);
    EXPECT_FALSE(d.inX);
    EXPECT_FALSE(d.nulStrip);
    EXPECT_FALSE(d.abortOnError);
    EXPECT_EQ(d.rtsControl, SERIAL_DCB_RTS_ENABLE);
    EXPECT_EQ(SerialDcbBitsPerChar(d), 11);
}

TEST(SerialDcb, SettingsTable) {
    struct {
        int baud, parity, stopBits, dataBits;
        uint32_t dcbBaud;
        uint8_t dcbParity;
        bool check;
        uint8_t stop, size;
        int bits;
    } cases[] = {
        {9600, PARITY_NONE, 1, 8, 9600, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_ONESTOPBIT, 8, 10},
        {19200, PARITY_EVEN, 1, 8, 19200, SERIAL_DCB_EVENPARITY, true, SERIAL_DCB_ONESTOPBIT, 8,
         11},
        {300, PARITY_ODD, 2, 7, 300, SERIAL_DCB_ODDPARITY, true, SERIAL_DCB_TWOSTOPBITS, 7, 11},
        {1200, PARITY_SPACE, 1, 7, 1200, SERIAL_DCB_SPACEPARITY, true, SERIAL_DCB_ONESTOPBIT, 7,
         10},
        {4800, PARITY_MARK, 1, 8, 4800, SERIAL_DCB_MARKPARITY, true, SERIAL_DCB_ONESTOPBIT, 8, 11},
        // Rates without a standard code go by number.
        {135, PARITY_NONE, 1, 8, 135, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_ONESTOPBIT, 8, 10},
        {7200, PARITY_NONE, 1, 8, 7200, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_ONESTOPBIT, 8, 10},
        {14400, PARITY_NONE, 2, 5, 14400, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_TWOSTOPBITS, 5, 8},
        {115200, PARITY_NONE, 1, 6, 115200, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_ONESTOPBIT, 6,
         8},
        // Other parity codes and data bits keep what the port had (even, 8
        // bits); a stop-bit count other than 2 is one.
        {9600, 5, 3, 9, 9600, SERIAL_DCB_EVENPARITY, true, SERIAL_DCB_ONESTOPBIT, 8, 11},
        {9600, -1, 0, 4, 9600, SERIAL_DCB_EVENPARITY, true, SERIAL_DCB_ONESTOPBIT, 8, 11},
        // A rate of 0 leaves the rate alone.
        {0, PARITY_NONE, 1, 8, 9600, SERIAL_DCB_NOPARITY, false, SERIAL_DCB_ONESTOPBIT, 8, 10},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.baud << " " << c.parity << " " << c.stopBits << " " << c.dataBits);
        SerialDcb d;
        SerialDcbForOpen(&d);
        SerialDcbForSettings(&d, c.baud, c.parity, c.stopBits, c.dataBits);
        EXPECT_EQ(d.baudRate, c.dcbBaud);
        EXPECT_EQ(d.parity, c.dcbParity);
        EXPECT_EQ(d.parityCheck, c.check);
        EXPECT_EQ(d.stopBits, c.stop);
        EXPECT_EQ(d.byteSize, c.size);
        EXPECT_EQ(SerialDcbBitsPerChar(d), c.bits);
        // The flow control of the open stays.
        EXPECT_TRUE(d.outxCtsFlow);
        EXPECT_EQ(d.dtrControl, SERIAL_DCB_DTR_ENABLE);
    }
}

TEST(SerialDcb, RtsModes) {
    struct {
        int mode;
        uint8_t control;
    } cases[] = {
        {SERIAL_RTS_HELD, SERIAL_DCB_RTS_ENABLE},
        {SERIAL_RTS_TOGGLE_LINE, SERIAL_DCB_RTS_TOGGLE},
        {SERIAL_RTS_TOGGLE_PORT, SERIAL_DCB_RTS_DISABLE},
    };
    for (auto &c : cases) {
        SerialDcb d;
        SerialDcbForOpen(&d);
        SerialDcbForRts(&d, c.mode);
        EXPECT_EQ(d.rtsControl, c.control);
    }
}

TEST(SerialDcb, ReadsReturnAtOnce) {
    SerialReadTimeouts t = SerialReadTimeoutsAtOnce();
    EXPECT_EQ(t.interval, 0xFFFFFFFFu);
    EXPECT_EQ(t.multiplier, 0u);
    EXPECT_EQ(t.constant, 0u);
}

TEST(SerialDcb, ErrorsOfOverlappedOperations) {
    struct {
        uint32_t error;
        int kind;
    } cases[] = {
        {997, SERIAL_WIN_PENDING}, // ERROR_IO_PENDING
        {996, SERIAL_WIN_PENDING}, // ERROR_IO_INCOMPLETE
        {5, SERIAL_WIN_HUNGUP},    // ERROR_ACCESS_DENIED
        {22, SERIAL_WIN_HUNGUP},   // ERROR_BAD_COMMAND
        {1617, SERIAL_WIN_HUNGUP}, // ERROR_DEVICE_REMOVED
        {995, SERIAL_WIN_HUNGUP},  // ERROR_OPERATION_ABORTED
        {6, SERIAL_WIN_HUNGUP},    // ERROR_INVALID_HANDLE
        {31, SERIAL_WIN_HUNGUP},   // ERROR_GEN_FAILURE
    };
    for (auto &c : cases)
        EXPECT_EQ(SerialWinErrorKind(c.error), c.kind) << c.error;
}

} // namespace
