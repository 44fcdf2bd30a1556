// Command-line arguments as keystrokes for the menus.
#include "configurator/menu_loop.h"
#include "fixture.h"

namespace {

using ConfiguratorCommandLine = ConfiguratorTest;

TEST_F(ConfiguratorCommandLine, SlashLettersBecomeKeys) {
    struct Case {
        const char *argument;
        std::string keys;
    } cases[] = {
        {"/e", "\x1b"},      {"/E", "\x1b"}, {"x/Ry", "x\ry"}, {"/r/d/D", "\r\x7f\x7f"},
        {"/QR", "\r"},                   // Q goes, the slash then meets R
        {"/Q/R", "/\r"},                 // Q goes; a slash before a slash is no key and stays
        {"a/xyzE", "a\x1b"},             // every other letter after the slash goes
        {"08/12", "08/12"},              // a slash before a digit stays as typed
        {"ab/", "ab"},                   // a slash at the end goes
        {"/", ""},           {"/Q", ""}, // Q goes, then the slash is at the end
        {"/q/", "/"},        {"abc", "abc"}, {"", ""},         {"c1/r", "c1\r"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CommandLineKeys(c.argument), c.keys) << c.argument;
}

TEST_F(ConfiguratorCommandLine, ArgumentsAreQueuedInOrderHoweverLong) {
    std::string long_argument;
    for (int i = 0; i < 600; i++)
        long_argument += (i % 3 == 0) ? "/r" : std::string(1, (char)('a' + i % 26));
    char program[] = "VRX740SW", first[] = "q/", second[] = "/E1";
    std::vector<char> third(long_argument.begin(), long_argument.end());
    third.push_back(0);
    char *argv[] = {program, first, second, third.data(), nullptr};
    QueueCommandLineKeys(4, argv);
    std::string expected = "q\x1b"
                           "1" +
                           CommandLineKeys(long_argument.c_str());
    ASSERT_GT(expected.size(), 600u);
    std::string got;
    for (int k; (k = GetKey(0)) != 0;)
        got += (char)k;
    EXPECT_EQ(got, expected);
}

} // namespace
