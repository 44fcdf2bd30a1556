// VELDAK's long options: values, the checks across them, and the classic
// command line left as it was.
#include "regedit/command_line.h"
#include "regedit/long_options.h"

#include <gtest/gtest.h>

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

TEST(LongOptions, DefaultsRunTheScreen) {
    Parsed p = Parse({"COM1:"});
    EXPECT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s.script.polls, 0u);
    EXPECT_EQ(p.s.script.intervalMs, 1000u);
    EXPECT_EQ(p.s.script.format, FORMAT_TEXT);
    EXPECT_EQ(p.s.script.type, TYPE_U16);
    EXPECT_EQ(p.s.script.order, ORDER_ABCD);
    EXPECT_FALSE(p.s.script.stats);
}

TEST(LongOptions, EveryOptionWithItsValue) {
    Parsed p =
        Parse({"10.0.0.1", "--count", "5", "3", "--interval=200", "--format", "CSV", "--type",
               "f32", "--order", "cdab", "--output", "log.csv", "--stats", "-L10"});
    ASSERT_EQ(p.result, PARSE_OK) << p.out;
    EXPECT_EQ(p.s.script.polls, 5u);
    EXPECT_STREQ(p.s.routeText, "3"); // the value of --count is not the route
    EXPECT_EQ(p.s.script.intervalMs, 200u);
    EXPECT_EQ(p.s.script.format, FORMAT_CSV);
    EXPECT_EQ(p.s.script.type, TYPE_F32);
    EXPECT_EQ(p.s.script.order, ORDER_CDAB);
    EXPECT_STREQ(p.s.script.output, "log.csv");
    EXPECT_TRUE(p.s.script.stats);
    EXPECT_EQ(p.s.count, 10u);
    EXPECT_EQ(Parse({"x", "--once", "--format=json", "--interval", "0"}).s.script.polls, 1u);
}

TEST(LongOptions, BadValuesAndNamesEndTheRun) {
    const struct {
        std::vector<const char *> args;
        const char *message;
    } cases[] = {
        {{"x", "--count", "0"}, "Bad number for --count: \"0\"\n"},
        {{"x", "--count", "-3"}, "Bad number for --count: \"-3\"\n"},
        {{"x", "--count=12a"}, "Bad number for --count=12a: \"12a\"\n"},
        {{"x", "--count", "1234567890"}, "Bad number for --count: \"1234567890\"\n"},
        {{"x", "--once", "--interval", "x"}, "Bad number for --interval: \"x\"\n"},
        {{"x", "--once", "--format", "xml"}, "Unknown format for --format: \"xml\"\n"},
        {{"x", "--once", "--type", "u8"}, "Unknown type for --type: \"u8\"\n"},
        {{"x", "--once", "--order", "ABDC"}, "Unknown order for --order: \"ABDC\"\n"},
        {{"x", "--once", "--output", ""}, "File name missing for --output: \"\"\n"},
        {{"x", "--count"}, "Value missing for --count: \"\"\n"},
        {{"x", "--once=1"}, "No value is taken for --once=1: \"1\"\n"},
        {{"x", "--onc"}, "Unrecognized switch: \"--onc\"\n"},
        {{"x", "--oncey"}, "Unrecognized switch: \"--oncey\"\n"},
        {{"x", "--format", "csv"}, "--format needs --once or --count\n"},
        {{"x", "--output", "f", "-S"}, "--output needs --once or --count\n"},
        {{"x", "--once", "--type", "f32", "-L5"},
         "Register count 5 is not a multiple of 2 for --type f32\n"},
        {{"x", "--once", "-L6", "--type", "f64"},
         "Register count 6 is not a multiple of 4 for --type f64\n"},
        {{"x", "--once", "--type", "u32", "-0"},
         "--type u32 needs registers, not the bits of -0 or -1\n"},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, PARSE_EXIT) << c.message;
        EXPECT_EQ(p.out, c.message);
    }
}

TEST(LongOptions, ClassicLineKeepsItsMeaning) {
    // "--" and "-" followed by anything else are still the switch letter "-".
    Parsed p = Parse({"COM1:", "--"});
    EXPECT_EQ(p.result, PARSE_EXIT);
    EXPECT_EQ(p.out, "Unrecognized switch: \"--\"\n");
    p = Parse({"COM1:", "-R5", "/L4", "-K", "--once", "-S"});
    EXPECT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s.start, 5u);
    EXPECT_EQ(p.s.count, 4u);
    EXPECT_TRUE(p.s.minMax);
    EXPECT_TRUE(p.s.suppressPolling);
    p = Parse({"COM1:", "/-once"});
    EXPECT_EQ(p.out, "Unrecognized switch: \"/-once\"\n");
    EXPECT_EQ(Parse({"COM1:", "-L6", "--once", "--type", "u16"}).result, PARSE_OK);
}

TEST(LongOptions, HelpAndVersion) {
    Parsed p = Parse({"--help"});
    EXPECT_EQ(p.result, PARSE_DONE);
    EXPECT_EQ(p.out.rfind("\nUsage is:\n", 0), 0u);
    size_t classic = p.out.find("Escape to exit.");
    size_t longs = p.out.find("--count N");
    EXPECT_NE(classic, std::string::npos);
    EXPECT_GT(longs, classic);
    p = Parse({"COM1:", "--version"});
    EXPECT_EQ(p.result, PARSE_DONE);
    EXPECT_TRUE(p.s.script.version);
    EXPECT_STRNE(VeldakVersion(), "");
}

TEST(LongOptions, DataOnStdoutForPollsAndVersion) {
    const char *polls[] = {"VELDAK", "x", "--count=3"};
    const char *version[] = {"VELDAK", "--version"};
    const char *screen[] = {"VELDAK", "x", "--stats", "-K"};
    const char *classic[] = {"VELDAK", "x", "-once"};
    EXPECT_TRUE(DataOnStdout(3, polls));
    EXPECT_TRUE(DataOnStdout(2, version));
    EXPECT_FALSE(DataOnStdout(4, screen));
    EXPECT_FALSE(DataOnStdout(3, classic));
}

} // namespace
