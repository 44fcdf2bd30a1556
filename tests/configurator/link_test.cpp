// The link as the setup record describes it, and the idle routine that runs
// while it waits.
#include "fixture.h"

#include "comm/comm.h"
#include "platform/files.h"
#include "platform/pty.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

using ConfiguratorLink = ConfiguratorTest;

TEST_F(ConfiguratorLink, TypesWithoutATransportOpenNothing) {
    for (int type : {CONN_NONE, CONN_SYLINK_DIRECT, CONN_SYLINK_NET_TO_NET}) {
        SCOPED_TRACE(type);
        g_setup.connectionType = (uint16_t)type;
        shown_errors.clear();
        AnswerErrors(2);
        EXPECT_FALSE(EstablishLink());
        DrainKeys();
        EXPECT_EQ(g_handle, nullptr);
        EXPECT_EQ(shown_errors, std::vector<std::string>{"Unable to establish link."});
    }
}

TEST_F(ConfiguratorLink, Com1IsLookedUpInTheStartDirectory) {
    PtyPair pty;
    ASSERT_EQ(PtyOpen(&pty), 1);
    ASSERT_EQ(PtyLink(&pty, Path("COM1").c_str()), 1);
    // the picker has moved on to a directory whose COM1 is no port at all
    std::filesystem::create_directory(Path("elsewhere"));
    FILE *f = fopen(Path("elsewhere/COM1").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    ASSERT_EQ(ChangeDirectory(Path("elsewhere").c_str()), 1);

    for (int type : {CONN_SYMAX, CONN_NET_TO_NET, CONN_GATEWAY}) {
        SCOPED_TRACE(type);
        g_setup.connectionType = (uint16_t)type;
        g_setup.baud = 15;
        g_setup.route[0] = 1;
        g_setup.route[1] = 7;
        shown_errors.clear();
        AnswerErrors(1);
        EXPECT_TRUE(EstablishLink());
        DrainKeys();
        EXPECT_TRUE(shown_errors.empty()) << shown_errors[0];
        ASSERT_NE(g_handle, nullptr);
        // an open link only takes new port settings
        CommHandle *open = g_handle;
        g_setup.baud = 13;
        EXPECT_TRUE(EstablishLink());
        EXPECT_EQ(g_handle, open);
        CommClose(g_handle);
        g_handle = nullptr;
    }

    // COM2 is in neither directory
    g_setup.connectionType = CONN_SYMAX;
    g_setup.port = 1;
    AnswerErrors(1);
    if (!std::filesystem::exists("/dev/ttyS1")) {
        EXPECT_FALSE(EstablishLink());
        EXPECT_EQ(g_handle, nullptr);
    }
    DrainKeys();
    if (g_handle) {
        CommClose(g_handle);
        g_handle = nullptr;
    }
    PtyClose(&pty);
}

// Every key the routine gave back, read off the type-ahead.
std::string Pending() {
    std::string keys;
    for (int k; (k = GetKey(0)) != 0;)
        keys += (char)k;
    return keys;
}

TEST_F(ConfiguratorLink, IdleLeavesScriptedKeysAndPutsTypedOnesBehind) {
    PushKeys("ab\x1b"
             "c");                     // a script, ESC included, meant for later screens
    EXPECT_EQ(ConfigIdle(nullptr), 1); // nothing typed: the script is not touched
    Type("x");
    int result = ConfigIdle(nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(ActionEscaped());
    EXPECT_EQ(Pending(), "ab\x1b"
                         "cx");

    Type("\x1b[B"); // Down
    EXPECT_EQ(ConfigIdle(nullptr), 1);
    EXPECT_EQ(Pending(), std::string(1, (char)KEY_DOWN));
}

// Presses ESC at the console and runs the idle routine until it has seen it
// (a lone ESC stands as a key once its escape time is over).
int IdleUntilEscape(void) {
    ConsoleRecordInput("\x1b");
    int result = 1;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (result == 1 && std::chrono::steady_clock::now() < until)
        result = ConfigIdle(nullptr);
    return result;
}

TEST_F(ConfiguratorLink, IdleAbortsTheWaitOnATypedEsc) {
    EXPECT_EQ(IdleUntilEscape(), 0);
    EXPECT_TRUE(ActionEscaped());
    // and the screen after the wait still reads it
    EXPECT_EQ(Pending(), "\x1b");
}

TEST_F(ConfiguratorLink, WhileRecordsMoveOnlyTheConsoleEndsTheTransfer) {
    // A script's ESC waits for its prompt: the transfer does not take it.
    ActionBegin();
    PassBegin(ModuleWindow{6, 10});
    PushKeys("ab\x1b");
    EXPECT_EQ(ConfigIdle(nullptr), 1);
    EXPECT_FALSE(ActionEscaped());
    // An ESC typed at the console ends it, and is not left for the next screen.
    EXPECT_EQ(IdleUntilEscape(), 0);
    EXPECT_TRUE(ActionEscaped());
    EXPECT_EQ(Pending(), "ab\x1b");
    // Between waits a typed ESC is seen too; other typed keys go behind.
    ActionBegin();
    PassBegin(ModuleWindow{6, 10});
    PushKeys("s");
    Type("x\x1b");
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ActionEscaped() && std::chrono::steady_clock::now() < until) {
    }
    EXPECT_TRUE(ActionEscaped());
    EXPECT_EQ(Pending(), "sx");
    ActionBegin();
}

TEST_F(ConfiguratorLink, SpinnerTurnsAtMostTenTimesASecond) {
    const std::string turns = "\xC4\x5C\xB3\x2F";
    auto start = std::chrono::steady_clock::now();
    int turned = 0;
    int last = -1;
    std::string seen;
    for (int i = 0; i < 3000; i++) {
        ConfigIdle(nullptr);
        int c = ScreenCharAt(1, 80);
        // blank until the first turn that falls on this screen
        if (c != last && c != ' ') {
            turned++;
            seen += (char)c;
            last = c;
        }
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_LE(turned, ms / 100 + 1);
    // in the order of its four characters
    for (size_t i = 0; i < seen.size(); i++) {
        size_t at = turns.find(seen[i]);
        ASSERT_NE(at, std::string::npos);
        if (i > 0) {
            EXPECT_EQ(at, (turns.find(seen[i - 1]) + 1) % 4);
        }
    }
}

} // namespace
