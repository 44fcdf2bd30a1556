// VELDAK's command line: switches, numbers, route and the usage text.
#include "regedit/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <string>
#include <vector>

namespace {

struct Parsed {
    RunSettings s;
    std::string out;
    int result;
};

Parsed Parse(std::vector<const char *> args) {
    Parsed p;
    SettingsDefaults(&p.s);
    args.insert(args.begin(), "VELDAK");
    p.result = ParseArguments((int)args.size(), args.data(), &p.s, &p.out);
    return p;
}

TEST(CommandLine, DefaultsWithoutSwitches) {
    Parsed p = Parse({"COM1:"});
    EXPECT_EQ(p.result, PARSE_OK);
    EXPECT_STREQ(p.s.target, "COM1:");
    EXPECT_STREQ(p.s.routeText, "");
    EXPECT_EQ(p.s.start, 1u);
    EXPECT_EQ(p.s.count, 20u);
    EXPECT_EQ(p.s.tcpPort, 502u);
    EXPECT_EQ(p.s.sylinkParameter, 100);
    EXPECT_EQ(SettingsView(&p.s), VIEW_4X);
    EXPECT_EQ(p.out, "");
}

TEST(CommandLine, LaterWordsJoinTheRouteWithOneBlank) {
    Parsed p = Parse({"-k", "COM2:9600,E,8,1", "1", "-X", "2,3", "4"});
    EXPECT_EQ(p.result, PARSE_OK);
    EXPECT_STREQ(p.s.target, "COM2:9600,E,8,1");
    EXPECT_STREQ(p.s.routeText, "1 2,3 4");
    EXPECT_TRUE(p.s.minMax);
    EXPECT_TRUE(p.s.hexNumbers);
}

TEST(CommandLine, AnEmptyFirstWordIsTheTarget) {
    Parsed p = Parse({"", "5"});
    EXPECT_TRUE(p.s.targetGiven);
    EXPECT_STREQ(p.s.target, "");
    EXPECT_STREQ(p.s.routeText, "5");
    EXPECT_FALSE(Parse({"-K"}).s.targetGiven);
}

TEST(CommandLine, FlagSwitchesEitherCaseEitherLeader) {
    struct Case {
        const char *arg;
        bool RunSettings::*flag;
    } cases[] = {
        {"-G", &RunSettings::gateway},         {"/n", &RunSettings::netToNet},
        {"-p", &RunSettings::priority},        {"/C", &RunSettings::crc},
        {"-w", &RunSettings::singleWrites},    {"-M", &RunSettings::blockWrites},
        {"/s", &RunSettings::suppressPolling}, {"-X", &RunSettings::hexNumbers},
        {"-t", &RunSettings::trapErrors},      {"-Kanything", &RunSettings::minMax},
        {"-0", &RunSettings::view0X},          {"-1", &RunSettings::view1X},
        {"-3", &RunSettings::view3X},          {"-e", &RunSettings::rtuOverTcp},
    };
    for (const Case &c : cases) {
        Parsed p = Parse({c.arg});
        EXPECT_EQ(p.result, PARSE_OK) << c.arg;
        EXPECT_TRUE(p.s.*c.flag) << c.arg;
        EXPECT_EQ(p.out, "") << c.arg;
    }
}

TEST(CommandLine, ModbusSerialModeLastOneWins) {
    EXPECT_EQ(Parse({"-A"}).s.modbusSerial, MODBUS_SERIAL_ASCII);
    EXPECT_EQ(Parse({"-b"}).s.modbusSerial, MODBUS_SERIAL_RTU);
    EXPECT_EQ(Parse({"-A", "-B"}).s.modbusSerial, MODBUS_SERIAL_RTU);
    EXPECT_EQ(Parse({"-B", "-a"}).s.modbusSerial, MODBUS_SERIAL_ASCII);
}

TEST(CommandLine, RtuOverTcpChangesTheDefaultPort) {
    EXPECT_EQ(Parse({"-E"}).s.tcpPort, 7801u);
    EXPECT_EQ(Parse({}).s.tcpPort, 502u);
}

TEST(CommandLine, NumbersOfStartCountAndFile) {
    struct Case {
        std::vector<const char *> args;
        unsigned start, count;
        int file;
    } cases[] = {
        {{"-R100"}, 100, 20, 0},
        {{"-X", "-R100"}, 0x100, 20, 0}, // hex once -X came first
        {{"-R100", "-X"}, 100, 20, 0},   // -R before -X is decimal
        {{"-L0"}, 1, 0, 0},              // below 1 becomes 1
        {{"-L500"}, 1, 125, 0},          // above 125 becomes 125
        {{"-L-3"}, 1, 125, 0},           // negative compares as a large unsigned
        {{"-L99999999999999999999"}, 1, 125, 0},
        {{"-L7"}, 1, 7, 0},
        {{"-R-1"}, 4294967295u, 20, 0}, // negative start wraps
        {{"-R99999999999999999999"}, 4294967295u, 20, 0},
        {{"-Rabc"}, 0, 20, 0},
        {{"-6"}, 0, 20, 0}, // 6X with start 1 moves to 0
        {{"-63"}, 0, 20, 3},
        {{"-R5", "-6"}, 5, 20, 0}, // a start of 5 stays
        {{"-6", "-R7"}, 7, 20, 0},
    };
    for (const Case &c : cases) {
        Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, PARSE_OK);
        EXPECT_EQ(p.s.start, c.start) << c.args[0];
        if (c.count) {
            EXPECT_EQ(p.s.count, c.count) << c.args[0];
        }
        EXPECT_EQ(p.s.file6X, c.file) << c.args[0];
    }
    EXPECT_EQ(Parse({"-D62"}).s.sylinkParameter, 62);
}

TEST(CommandLine, UnrecognizedSwitchesEndTheRun) {
    const char *bad[] = {"-Q", "/z", "-", "/", "-9", "--", "--helpme"};
    for (const char *arg : bad) {
        Parsed p = Parse({"COM1:", arg, "-K"});
        EXPECT_EQ(p.result, PARSE_EXIT) << arg;
        EXPECT_EQ(p.out, std::string("Unrecognized switch: \"") + arg + "\"\n");
        EXPECT_FALSE(p.s.minMax) << "switches after the bad one are not taken";
    }
    std::string longSwitch = "-Q" + std::string(500, 'x');
    Parsed p = Parse({longSwitch.c_str()});
    EXPECT_EQ(p.out, "Unrecognized switch: \"" + longSwitch + "\"\n");
}

TEST(CommandLine, HelpPrintsTheUsageAtOnce) {
    for (const char *arg : {"-?", "/h", "-H"}) {
        Parsed p = Parse({arg, "-Q"});
        EXPECT_EQ(p.result, PARSE_EXIT);
        ASSERT_EQ(p.out.rfind("\nUsage is:\n", 0), 0u) << arg;
        EXPECT_NE(p.out.find("\n-6[file]    Read 6X registers from specified file.\n"),
                  std::string::npos);
        // The last line has no line end.
        const std::string last =
            "update without moving.  F10 to acknowledge error.  Escape to exit.";
        EXPECT_EQ(p.out.substr(p.out.size() - last.size()), last);
        EXPECT_EQ(std::count(p.out.begin(), p.out.end(), '\n'), 30);
    }
}

TEST(CommandLine, OverlongWordsAreRefused) {
    std::string eighty(80, 'A');
    Parsed fits = Parse({eighty.c_str(), eighty.c_str()});
    EXPECT_EQ(fits.result, PARSE_OK);
    EXPECT_EQ(std::string(fits.s.target), eighty);
    EXPECT_EQ(std::string(fits.s.routeText), eighty);

    std::string huge(5000, '1');
    Parsed target = Parse({huge.c_str()});
    EXPECT_EQ(target.result, PARSE_EXIT);
    EXPECT_EQ(target.out.rfind("Target too long: \"", 0), 0u);
    Parsed route = Parse({"COM1:", "1", huge.c_str()});
    EXPECT_EQ(route.result, PARSE_EXIT);
    EXPECT_EQ(route.out.rfind("Route too long: \"", 0), 0u);
    // Many short words add up the same way.
    std::vector<const char *> many(400, "12");
    many.insert(many.begin(), "COM1:");
    EXPECT_EQ(Parse(many).result, PARSE_EXIT);
}

TEST(Route, DropsBlanksCommasAndErrors) {
    struct Case {
        const char *text;
        std::vector<uint16_t> route; // count then drops; empty when refused
        const char *message;
    } cases[] = {
        {"", {0}, ""},
        {"5", {1, 5}, ""},
        {"1 2,3", {3, 1, 2, 3}, ""},
        {" ,, 7 ,", {1, 7}, ""},
        {"1 2 3 4 5 6 7 8", {8, 1, 2, 3, 4, 5, 6, 7, 8}, ""},
        {"65537", {1, 1}, ""}, // kept in 16 bits
        {"1,2;3", {}, "Illegal character ';' in route field \"1,2;3\"\n"},
        {"-1", {}, "Illegal character '-' in route field \"-1\"\n"},
        {"1 2 3 4 5 6 7 8 9", {}, "Too many drops in route \"1 2 3 4 5 6 7 8 9\"\n"},
    };
    for (const Case &c : cases) {
        uint16_t route[9] = {};
        std::string out;
        int r = ParseRoute(c.text, route, &out);
        EXPECT_EQ(out, c.message) << c.text;
        if (c.route.empty()) {
            EXPECT_EQ(r, PARSE_EXIT) << c.text;
            continue;
        }
        EXPECT_EQ(r, PARSE_OK) << c.text;
        for (size_t i = 0; i < c.route.size(); i++)
            EXPECT_EQ(route[i], c.route[i]) << c.text;
    }
}

TEST(CommandLine, BannerAndPromptLine) {
    std::string out;
    AppendBanner(&out);
    EXPECT_EQ(out, "Corvane Sy/Max Register Editor VELDAK 05Oct2004\n"
                   "Type VELDAK -? for more information.\n");
    RunSettings s;
    SettingsDefaults(&s);
    TakeTargetLine("10.0.0.1:1502\r\n", &s);
    EXPECT_STREQ(s.target, "10.0.0.1:1502");
    std::string longLine(1000, 'x');
    TakeTargetLine(longLine.c_str(), &s);
    EXPECT_EQ(strlen(s.target), (size_t)SETTING_TEXT_SIZE - 1);
}

TEST(Settings, ViewChoiceWithSeveralSwitches) {
    struct Case {
        std::vector<const char *> args;
        RegisterView view;
        unsigned lowest;
    } cases[] = {
        {{"-6", "-3"}, VIEW_3X, 1}, {{"-3", "-1"}, VIEW_1X, 1}, {{"-1", "-0"}, VIEW_0X, 1},
        {{"-6"}, VIEW_6X, 0},       {{}, VIEW_4X, 1},
    };
    for (const Case &c : cases) {
        Parsed p = Parse(c.args);
        EXPECT_EQ(SettingsView(&p.s), c.view);
        EXPECT_EQ(LowestStart(&p.s), c.lowest);
    }
}

} // namespace
