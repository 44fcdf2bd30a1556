// VELDAK's target forms, port settings and the start of the connection.
#include "regedit/target.h"

#include "comm/comm.h"
#include "platform/sockets.h"
#include "regedit/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(Target, Classification) {
    struct Case {
        const char *target;
        TargetKind kind;
    } cases[] = {
        {"COM1:", TARGET_COM},
        {"COM1:9600,E,8,1", TARGET_COM},
        {"COMX:", TARGET_COM}, // the port digit is not examined
        {"COM10:", TARGET_UNKNOWN},
        {"COM1", TARGET_UNKNOWN},
        {"CA00", TARGET_BASE_ADDRESS},
        {"D300", TARGET_BASE_ADDRESS},
        {"D301", TARGET_UNKNOWN},
        {"C9FF", TARGET_UNKNOWN},
        {"CAFE.EXAMPLE.COM", TARGET_BASE_ADDRESS}, // leading hex digits win
        {"CAFEBABECAFEBABECAFEBABE", TARGET_UNKNOWN},
        {"", TARGET_SFI610},
        {"S", TARGET_SFI610},
        {"SFI610", TARGET_SFI610},
        {"SFI6100", TARGET_UNKNOWN},
        {"SA", TARGET_SA85_0},
        {"SA85", TARGET_SA85_0},
        {"SA85:0", TARGET_SA85_0},
        {"SA85:1", TARGET_SA85_1},
        {"SA85:2", TARGET_UNKNOWN},
        {"192.168.1.10", TARGET_TCP},
        {"192.168.1.10:1502", TARGET_TCP},
        {"LOCALHOST", TARGET_UNKNOWN},
        {"PLC.PLANT", TARGET_TCP},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyTarget(c.target), c.kind) << c.target;
}

TEST(Target, ComSettingsAndTcpPortAreCutOff) {
    RunSettings s;
    SettingsDefaults(&s);
    snprintf(s.target, sizeof s.target, "COM1:9600,E,8,1");
    SplitComTarget(&s);
    EXPECT_STREQ(s.target, "COM1:");
    EXPECT_STREQ(s.portSettings, "9600,E,8,1");

    struct Case {
        const char *target;
        unsigned defaultPort;
        const char *host;
        unsigned port;
        bool ok;
    } cases[] = {
        {"10.0.0.1", 502, "10.0.0.1", 502, true},
        {"10.0.0.1:1502", 502, "10.0.0.1", 1502, true},
        {"10.0.0.1:", 7801, "10.0.0.1", 7801, true},
        {"10.0.0.1:X", 502, "10.0.0.1", 502, true},
        {"10.0.0.1:0", 502, "10.0.0.1", 0, false},
        {"10.0.0.1:65536", 502, "10.0.0.1", 65536, false},
        {"10.0.0.1:99999999999999", 502, "10.0.0.1", 4294967295u, false},
    };
    for (const Case &c : cases) {
        SettingsDefaults(&s);
        s.tcpPort = c.defaultPort;
        snprintf(s.target, sizeof s.target, "%s", c.target);
        EXPECT_EQ(SplitTcpTarget(&s), c.ok) << c.target;
        EXPECT_STREQ(s.target, c.host);
        EXPECT_EQ(s.tcpPort, c.port) << c.target;
    }
}

TEST(Target, PortSettings) {
    struct Case {
        const char *text;
        const char *message; // "" when accepted
        int baud, parity, data, stop;
    } cases[] = {
        {"9600,E,8,1", "", 9600, 1, 8, 1},
        {"19200,n,7,2", "", 19200, 0, 7, 2},
        {"50,O,8,1", "", 50, 2, 8, 1},
        {"57600,S,8,1", "", 57600, 3, 8, 1},
        {"1200,m,5,1", "", 1200, 4, 5, 1},
        {"", "Bad port settings: \"\" (0)\n", 0, 0, 0, 0},
        {"9600", "Bad port settings: \"9600\" (1)\n", 0, 0, 0, 0},
        {"9600,", "Bad port settings: \"9600,\" (1)\n", 0, 0, 0, 0},
        {"9600,E", "Bad port settings: \"9600,E\" (2)\n", 0, 0, 0, 0},
        {"9600,E,8", "Bad port settings: \"9600,E,8\" (3)\n", 0, 0, 0, 0},
        {"9600;E,8,1", "Bad port settings: \"9600;E,8,1\" (1)\n", 0, 0, 0, 0},
        {"49,E,8,1", "Bad port settings: \"49,E,8,1\" Invalid baud rate\n", 0, 0, 0, 0},
        {"57601,E,8,1", "Bad port settings: \"57601,E,8,1\" Invalid baud rate\n", 0, 0, 0, 0},
        {"-9600,E,8,1", "Bad port settings: \"-9600,E,8,1\" Invalid baud rate\n", 0, 0, 0, 0},
        {"99999999999999,E,8,1", "Bad port settings: \"99999999999999,E,8,1\" Invalid baud rate\n",
         0, 0, 0, 0},
        {"9600,X,8,1", "Bad port settings: \"9600,X,8,1\" Invalid parity\n", 0, 0, 0, 0},
        {"9600,E,9,1", "Bad port settings: \"9600,E,9,1\" Invalid data bits\n", 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        PortSettings p{};
        std::string out;
        bool ok = ParsePortSettings(c.text, &p, &out);
        EXPECT_EQ(out, c.message) << c.text;
        EXPECT_EQ(ok, c.message[0] == '\0') << c.text;
        if (!ok)
            continue;
        EXPECT_EQ(p.baud, c.baud);
        EXPECT_EQ(p.parity, c.parity);
        EXPECT_EQ(p.dataBits, c.data);
        EXPECT_EQ(p.stopBits, c.stop);
    }
    std::string longText(300, '9');
    PortSettings p{};
    std::string out;
    EXPECT_FALSE(ParsePortSettings((longText + ",E,8,1").c_str(), &p, &out));
    EXPECT_EQ(out, "Bad port settings: \"" + longText + ",E,8,1\" Invalid baud rate\n");
}

// Parses a whole command line and starts the connection as the program does.
struct Started {
    std::string out;
    int result;
    CommHandle *h;
    RunSettings s;
};

Started Start(std::vector<const char *> args) {
    Started r;
    SettingsDefaults(&r.s);
    args.insert(args.begin(), "VELDAK");
    r.h = nullptr;
    r.result = ParseArguments((int)args.size(), args.data(), &r.s, &r.out);
    if (r.result == PARSE_OK)
        r.result = StartConnection(&r.s, &r.h, &r.out);
    return r;
}

TEST(Start, MessagesOfTargetsThatCannotOpen) {
    struct Case {
        std::vector<const char *> args;
        const char *message;
    } cases[] = {
        {{"xyz"}, "Illegal Port or Base Address \"XYZ\"\n"},
        {{""}, "Can't access SFI610.\n"},
        {{"sa85"}, "Can't access SA85.\n"},
        {{"SA85:1"}, "Can't access SA85.\n"},
        {{"cb00", "1"}, "Can't OpenSylink(CB00).\n"},
        {{"CAFE.EXAMPLE"}, "Can't OpenSylink(CAFE.EXAMPLE).\n"},
        {{"COM1:", "-B", "1", "2"},
         "Use MODE to set port parameters before running VELDAK.\n"
         "Modbus route must have exactly one drop.\n"},
        {{"COM1:9600,E,8,1", "-A"}, "Modbus route must have exactly one drop.\n"},
        {{"127.0.0.1", "1", "2"}, "Modbus TCP route can only have one drop.\n"},
        {{"COM1:", "1,2;3"}, "Illegal character ';' in route field \"1,2;3\"\n"},
        {{"COM1:", "1 2 3 4 5 6 7 8 9"}, "Too many drops in route \"1 2 3 4 5 6 7 8 9\"\n"},
        {{"127.0.0.1:70000"}, "Can't open TCP connection to 127.0.0.1:70000\n"},
    };
    for (const Case &c : cases) {
        Started r = Start(c.args);
        EXPECT_NE(r.result, 0) << c.args[0];
        EXPECT_EQ(r.h, nullptr);
        EXPECT_EQ(r.out, c.message) << c.args[0];
    }
}

// A loopback listener: connects complete in the backlog without an accept.
struct Listener {
    int fd = -1;
    unsigned port = 0;
    Listener() {
        uint16_t bound = 0;
        fd = SockListenLoopback(0, &bound);
        port = bound;
    }
    ~Listener() { SockClose(fd); }
};

TEST(Start, TcpTargetsAndTheStartCheck) {
    Listener l;
    ASSERT_GT(l.port, 0u);
    std::string target = "127.0.0.1:" + std::to_string(l.port);
    struct Case {
        std::vector<const char *> args;
        const char *message;
    } cases[] = {
        {{target.c_str()}, ""},
        {{target.c_str(), "5", "-R9000"}, ""}, // Modbus allows up to 65535
        {{target.c_str(), "-E", "-R65535"}, ""},
        {{target.c_str(), "-R65536"}, "Illegal start register 65536\n"},
        {{target.c_str(), "-R0"}, "Illegal start register 0\n"},
        {{target.c_str(), "-R-1"}, "Illegal start register 4294967295\n"},
        {{target.c_str(), "-6"}, ""}, // 6X starts at 0
    };
    for (const Case &c : cases) {
        Started r = Start(c.args);
        EXPECT_EQ(r.out, c.message) << c.args[1];
        EXPECT_EQ(r.result == 0, c.message[0] == '\0');
        EXPECT_EQ(r.h != nullptr, r.result == 0);
        if (r.h) {
            EXPECT_EQ(r.s.maxRegister, 65535u);
            EXPECT_STREQ(r.s.target, "127.0.0.1");
            EXPECT_EQ(r.s.tcpPort, l.port);
            CommClose(r.h);
        }
    }
}

TEST(Start, TcpRefusedNamesHostAndPort) {
    Listener l;
    unsigned port = l.port;
    SockClose(l.fd);
    l.fd = -1;
    std::string target = "127.0.0.1:" + std::to_string(port);
    Started r = Start({target.c_str(), "-E"});
    EXPECT_EQ(r.out, "Can't open TCP connection to 127.0.0.1:" + std::to_string(port) + "\n");
    EXPECT_EQ(r.h, nullptr);
}

} // namespace
