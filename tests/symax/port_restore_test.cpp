// SerialPortClose leaves the port as SerialPortOpen found it: the line
// settings of a pty slave the test set up in cooked mode come back, whatever
// the port changed in between.
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct CookedPty {
    int master = -1;
    int slave = -1; // the test's own descriptor, opened before the port's
    char path[64] = {0};
    CookedPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, path, sizeof path) != 0)
            return;
        slave = open(path, O_RDWR | O_NOCTTY);
        termios t;
        if (slave < 0 || tcgetattr(slave, &t) != 0)
            return;
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_iflag |= ICRNL;
        t.c_oflag |= OPOST;
        t.c_cflag &= ~(tcflag_t)(CSIZE | PARENB);
        t.c_cflag |= CS7;
        cfsetispeed(&t, B1200);
        cfsetospeed(&t, B1200);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~CookedPty() {
        if (slave >= 0)
            close(slave);
        if (master >= 0)
            close(master);
    }
    termios Now() const {
        termios t{};
        tcgetattr(slave, &t);
        return t;
    }
};

TEST(SerialPortClose, PutsBackTheLineSettingsTheOpenFound) {
    CookedPty pty;
    ASSERT_GE(pty.slave, 0);
    termios before = pty.Now();
    ASSERT_TRUE(before.c_lflag & ICANON);

    SerialPort *p = SerialPortOpen(pty.path);
    ASSERT_NE(p, nullptr);
    // Open makes the line raw, 8 data bits; the settings then change it again.
    termios open = pty.Now();
    EXPECT_FALSE(open.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(open.c_cflag & CSIZE, (tcflag_t)CS8);
    EXPECT_EQ(SerialPortConfigure(p, 19200, PARITY_NONE, 2, 8), 1);
    SerialPortSetRtsToggle(p, true); // a pty has no RS-485 mode: only the mode is kept
    SerialPortClose(p);

    termios after = pty.Now();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag & (CSIZE | CSTOPB | PARENB),
              before.c_cflag & (CSIZE | CSTOPB | PARENB));
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(cfgetospeed(&after), (speed_t)B1200);

    // The next open takes the port over again from there.
    SerialPort *again = SerialPortOpen(pty.path);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(pty.Now().c_lflag & ICANON);
    SerialPortClose(again);
    EXPECT_TRUE(pty.Now().c_lflag & ICANON);
}

} // namespace
