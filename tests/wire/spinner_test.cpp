// VELDAK's spinner moves at most ten times a second: the next of its four
// characters at row 1, column 80, once a tenth of a second has passed since
// the last one shown, however often the idle routine runs.
#include "regedit/editor.h"

#include "platform/console.h"
#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Spinner : ::testing::Test {
    std::unique_ptr<EditorState> e{new EditorState};
    void SetUp() override {
        ConsoleRecordStart();
        ScreenInit();
        e->spinner = 0;
    }
    void TearDown() override {
        ScreenExit();
        ConsoleRecordStop();
    }
    std::string Shown() {
        ConsoleFlush();
        return ConsoleRecordRow(0).substr(79, 1);
    }
};

TEST_F(Spinner, MovesOnlyWhenATenthOfASecondHasPassed) {
    const struct {
        int64_t ms;
        const char *shown;
    } steps[] = {
        {5000, "\\"}, // the first call shows at once
        {5001, "\\"}, {5050, "\\"}, {5099, "\\"},
        {5100, "|"}, // a tenth of a second after the last one shown
        {5150, "|"},  {5199, "|"},  {5200, "/"},
        {5450, "-"}, // a late call moves one step, no more
        {5500, "-"},  {5549, "-"},  {5550, "\\"},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.ms);
        SpinnerTurn(e.get(), step.ms);
        EXPECT_EQ(Shown(), step.shown);
    }
}

// A call every 10 ms, as the idle routine gets, for two seconds: twenty
// moves, and nothing sent to the terminal in between.
TEST_F(Spinner, IdleCallsEveryTenMillisecondsMoveItTenTimesASecond) {
    SpinnerTurn(e.get(), 10000);
    Shown();
    ConsoleRecordForget();
    int moves = 0;
    std::string last = Shown();
    for (int64_t ms = 10010; ms <= 12000; ms += 10) {
        SpinnerTurn(e.get(), ms);
        std::string now = Shown();
        moves += now != last;
        last = now;
    }
    EXPECT_EQ(moves, 20);
    EXPECT_EQ(ConsoleRecordCount(CE_WRITE), 20);
}

} // namespace
