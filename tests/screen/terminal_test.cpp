// The terminal console on a pty: take-over and give-back, ANSI colours,
// code page 437 as UTF-8, keys with real escape timing.
#include "platform/console.h"
#include "platform/console_term.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace {

class Terminal : public ::testing::Test {
  protected:
    int master = -1, slave = -1;
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        Resize(25, 80);
        ConsoleSelect(nullptr);
        ConsoleSetTerminalFds(slave, slave);
    }
    void TearDown() override {
        ScreenExit();
        ConsoleSetTerminalFds(-1, -1);
        close(slave);
        close(master);
    }
    void Resize(int rows, int columns) {
        struct winsize ws = {(unsigned short)rows, (unsigned short)columns, 0, 0};
        ioctl(master, TIOCSWINSZ, &ws);
    }
    // Everything the program has sent so far.
    std::string Drain() {
        std::string out;
        char buf[4096];
        struct pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, 20) > 0) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, (size_t)n);
        }
        return out;
    }
    void Send(const std::string &bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    struct termios Modes() {
        struct termios t;
        tcgetattr(slave, &t);
        return t;
    }
};

TEST_F(Terminal, TakeOverAndGiveBack) {
    struct termios before = Modes();
    ScreenInit();
    struct termios during = Modes();
    EXPECT_FALSE(during.c_lflag & ICANON);
    EXPECT_FALSE(during.c_lflag & ECHO);
    EXPECT_TRUE(during.c_lflag & ISIG) << "Ctrl-C and Ctrl-Z still reach the program";
    EXPECT_FALSE(during.c_iflag & ICRNL);
    std::string taken = Drain();
    EXPECT_NE(taken.find("\x1b[?1049h"), std::string::npos);
    EXPECT_NE(taken.find("\x1b[?25l"), std::string::npos);
    EXPECT_NE(taken.find("\x1b[37;44m"), std::string::npos);
    ScreenExit();
    struct termios after = Modes();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    std::string given = Drain();
    EXPECT_NE(given.find("\x1b[?25h"), std::string::npos);
    EXPECT_NE(given.find("\x1b[?7h"), std::string::npos);
    EXPECT_EQ(given.rfind("\x1b[?1049l"), given.size() - 8) << "the main screen comes back last";
}

TEST_F(Terminal, ColoursOfTheAttributeCodes) {
    ScreenInit();
    Drain();
    const char *sgr[8] = {"37;44", "34;47", "93;44", "93;47", "91;44", "91;47", "91;44", "91;43"};
    for (int code = 1; code < 8; code++) {
        PutField("x", 2 + code, 1, 0, ' ', code);
        std::string out = Drain();
        EXPECT_NE(out.find(std::string("\x1b[") + sgr[code] + "m"), std::string::npos)
            << code << ": " << out;
        EXPECT_NE(out.find("\x1b[" + std::to_string(2 + code) + ";1H"), std::string::npos);
    }
}

TEST_F(Terminal, BoxCharactersAsUtf8AndNothingBeyondColumn80) {
    ScreenInit();
    Drain();
    ScreenWindow *w = OpenWindow(2, 2, 4, 10, "");
    std::string out = Drain();
    EXPECT_NE(out.find("\xe2\x95\x94"), std::string::npos); // top-left double corner
    EXPECT_NE(out.find("\xe2\x95\x90"), std::string::npos); // double horizontal
    EXPECT_NE(out.find("\xe2\x95\x9d"), std::string::npos); // bottom-right double corner
    CloseWindow(&w);
    Drain();
    PutField("HIDDEN", 5, 90, 0, ' ', 0);
    EXPECT_EQ(Drain().find("HIDDEN"), std::string::npos);
    PutField("ABCDEFGH", 6, 77, 0, ' ', 0);
    std::string edge = Drain();
    EXPECT_NE(edge.find("ABCD"), std::string::npos);
    EXPECT_EQ(edge.find("ABCDE"), std::string::npos);
}

TEST_F(Terminal, UnchangedRedrawSendsNothing) {
    ScreenInit();
    PutField("VALUE 1234", 10, 10, 20, ' ', AT_HIGH);
    Drain();
    size_t sent = ConsoleBytesSent();
    PutField("VALUE 1234", 10, 10, 20, ' ', AT_HIGH);
    EXPECT_EQ(ConsoleBytesSent(), sent);
    EXPECT_EQ(Drain(), "");
}

TEST_F(Terminal, KeysWithRealTiming) {
    ScreenInit();
    Send("\x1b[A");
    EXPECT_EQ(WaitKey(), KEY_UP);
    Send("\x1b"); // a lone ESC: told apart by the time-out
    EXPECT_EQ(WaitKey(), KEY_ESC);
    Send("\x1bOR\x1b[20~\x7f\r");
    EXPECT_EQ(WaitKey(), KEY_F3);
    EXPECT_EQ(WaitKey(), KEY_F9);
    EXPECT_EQ(WaitKey(), KEY_BKSP);
    EXPECT_EQ(WaitKey(), KEY_ENTER);
    EXPECT_EQ(GetKey(0), 0);
    Send("\x1b["); // the rest of the sequence is late but within the escape time
    usleep(5000);
    Send("B");
    EXPECT_EQ(WaitKey(), KEY_DOWN);
}

TEST_F(Terminal, ShrinkingShowsAMessageGrowingRepaints) {
    ScreenInit();
    PutField("KEEP ME", 12, 30, 0, ' ', AT_HIGH);
    Drain();
    Resize(20, 70);
    raise(SIGWINCH); // the pty is not this process's terminal: the signal is sent by hand
    Send("a");
    EXPECT_EQ(WaitKey(), 'a');
    std::string small = Drain();
    EXPECT_NE(small.find("at least 80 columns by 25 rows"), std::string::npos) << small;
    PutField("NOTNOW", 13, 30, 0, ' ', 0); // kept in the shadow, not drawn
    EXPECT_EQ(Drain().find("NOTNOW"), std::string::npos);
    Resize(25, 80);
    raise(SIGWINCH);
    Send("b");
    EXPECT_EQ(WaitKey(), 'b');
    std::string again = Drain();
    EXPECT_NE(again.find("KEEP ME"), std::string::npos);
    EXPECT_NE(again.find("NOTNOW"), std::string::npos);
    EXPECT_NE(again.find("\x1b[93;44m"), std::string::npos);
}

TEST_F(Terminal, TooSmallTerminalIsRefused) {
    Resize(20, 70);
    struct termios before = Modes();
    EXPECT_EQ(ConsoleOpen(), -1);
    struct termios after = Modes();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(Drain(), "");
}

TEST(CodePage437, ShownAsUnicode) {
    struct Case {
        unsigned char c;
        const char *utf8;
    } cases[] = {
        {'A', "A"},       {' ', " "},       {0x00, " "},      {0x07, "\u2022"}, {0x1B, "\u2190"},
        {0x10, "\u25BA"}, {0x7F, "\u2302"}, {0xB3, "\u2502"}, {0xC4, "\u2500"}, {0xC9, "\u2554"},
        {0xCD, "\u2550"}, {0xBC, "\u255D"}, {0xB0, "\u2591"}, {0xDB, "\u2588"}, {0x9B, "\u00A2"},
        {0xE1, "\u00DF"}, {0xF8, "\u00B0"}, {0xFF, "\u00A0"},
    };
    for (const Case &c : cases) {
        char out[4];
        int n = Cp437ToUtf8(c.c, out);
        EXPECT_EQ(std::string(out, (size_t)n), c.utf8) << (int)c.c;
    }
    // no byte ever comes out as a control character that would move the cursor
    for (int c = 0; c < 256; c++) {
        char out[4];
        int n = Cp437ToUtf8((unsigned char)c, out);
        ASSERT_GE(n, 1);
        for (int i = 0; i < n; i++)
            ASSERT_TRUE((unsigned char)out[i] >= 0x20 && out[i] != 0x7F) << c;
    }
}

} // namespace
