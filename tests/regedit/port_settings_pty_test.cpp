// VELDAK's port settings reach the port: a COMn: name in the current
// directory points at a pty slave, and rates without a speed code of their
// own run as asked. Opens a serial handle (a reader thread).
#include "regedit/target.h"

#include "comm/comm_internal.h"
#include "platform/serial.h"
#include "platform/serial_port.h"
#include "regedit/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// A pty whose slave is reachable as COM9 in a scratch directory, which is the
// current directory while the fixture lives.
struct Com9 {
    int master = -1;
    char oldDir[PATH_MAX] = {0};
    char dir[64] = "/tmp/veldak_com_XXXXXX";
    bool ready = false;
    Com9() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        const char *slave = ptsname(master);
        if (!slave || !getcwd(oldDir, sizeof oldDir) || !mkdtemp(dir) || chdir(dir) != 0)
            return;
        ready = symlink(slave, "COM9") == 0;
    }
    ~Com9() {
        if (oldDir[0]) {
            unlink("COM9");
            if (chdir(oldDir) == 0)
                rmdir(dir);
        }
        if (master >= 0)
            close(master);
    }
};

TEST(PortSettings, RatesWithoutASpeedCodeRunAsAsked) {
    Com9 com;
    ASSERT_TRUE(com.ready);
    struct Case {
        const char *target;
        const char *mode;
        int baud, stopTwo, charUs, interval;
    } cases[] = {
        // 8N2 is 11 bits a character, 8E1 11, 8O2 12.
        {"COM9:14400,N,8,2", "-B", 14400, 1, 11000000 / 14400, 14},
        {"COM9:7200,E,8,1", "-A", 7200, 0, 11000000 / 7200, 25},
        {"COM9:135,O,8,2", "-B", 135, 1, 12000000 / 135, 1144},
        {"COM9:9600,E,8,1", "-A", 9600, 0, 11000000 / 9600, 20},
    };
    for (const Case &c : cases) {
        RunSettings s;
        SettingsDefaults(&s);
        std::string out;
        std::vector<const char *> args = {"VELDAK", c.target, "1", c.mode};
        ASSERT_EQ(ParseArguments((int)args.size(), args.data(), &s, &out), PARSE_OK);
        CommHandle *h = nullptr;
        ASSERT_EQ(StartConnection(&s, &h, &out), 0) << out;
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(out, "");
        int fd = SerialPortFd(h->port);
        int input = 0;
        EXPECT_EQ(SerialBaudInForce(fd, &input), c.baud) << c.target;
        EXPECT_EQ(input, c.baud) << c.target;
        termios t;
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopTwo != 0) << c.target;
        EXPECT_EQ(SerialPortCharTime(h->port), c.charUs) << c.target;
        EXPECT_EQ(SerialPortInterval(h->port), c.interval) << c.target;
        EXPECT_EQ(h->replyTimeout, 500);
        CommClose(h);
    }
}

} // namespace
