// The poll cycle, the idle routine and the module-ID line.
#include "comm/comm.h"
#include "regedit/editor.h"
#include "screen/screen.h"

#include <chrono>
#include <cstdio>

long RowRegister(const EditorState *e, int row) {
    return e->start + (row - FIRST_ROW);
}

void MinMaxReset(EditorState *e) {
    for (int i = 0; i < 65536; i++) {
        e->minimum[i] = 32767;
        e->maximum[i] = -32768;
    }
}

void MinMaxUpdate(EditorState *e, unsigned reg, uint16_t v) {
    uint16_t i = (uint16_t)reg;
    int16_t s = (int16_t)v;
    if (s < e->minimum[i])
        e->minimum[i] = s;
    if (s > e->maximum[i])
        e->maximum[i] = s;
}

void SpreadBits(const uint16_t *words, uint16_t *entries) {
    // Each word carries two packed bytes, the first in its high half.
    for (int i = 0; i < BIT_ENTRIES; i++) {
        uint16_t w = words[i / 16];
        int bit = (i % 16) < 8 ? 8 + (i % 8) : (i % 8);
        entries[i] = (uint16_t)((w >> bit) & 1);
    }
}

// A key is waiting: one the idle routine put back, or one still in the
// type-ahead or the console.
static bool KeyPending(const EditorState *e) {
    return e->abortFlag || KeyWaiting();
}

void SpinnerTurn(EditorState *e, int64_t nowMs) {
    if (nowMs < 0)
        nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
    // The idle routine runs every 10 ms: turning on each call would send the
    // terminal a character and a cursor move a hundred times a second.
    if (e->spinnerShownMs != 0 && nowMs - e->spinnerShownMs < SPINNER_STEP_MS)
        return;
    e->spinnerShownMs = nowMs != 0 ? nowMs : 1;
    ShowSpinner(e);
}

int EditorIdle(void *arg) {
    EditorState *e = static_cast<EditorState *>(arg);
    e->idleRan = true;
    int key = GetKey(0);
    if (key != KEY_NONE) {
        e->abortFlag = true;
        char text[2] = {(char)key, '\0'};
        PushKeys(text);
        if (key == KEY_ESC) {
            PutField("Exiting...", 10, 20, 40, ' ', AT_REVERSE | AT_ALERT);
            return 0;
        }
    }
    SpinnerTurn(e);
    return 1;
}

void ModuleIdRefresh(EditorState *e) {
    if (e->settings->suppressPolling)
        return;
    uint16_t id = 0;
    if (!Read4X(e->h, MODULE_ID_REGISTER, 1, &id) || id == 0) {
        ShowModuleId("");
        return;
    }
    char text[24];
    if ((id & 0xFFF0) == 0x9990) {
        uint16_t name[11];
        if (!Read4X(e->h, MODULE_NAME_REGISTER, 11, name)) {
            ShowModuleId("");
            return;
        }
        for (int i = 0; i < 10; i++) {
            text[2 * i] = (char)(name[i] >> 8);
            text[2 * i + 1] = (char)(name[i] & 0xFF);
        }
        text[20] = '\0';
        // A name is text; anything else in those registers shows as blanks.
        for (int i = 0; i < 20; i++)
            if ((unsigned char)text[i] < 0x20 || (unsigned char)text[i] > 0x7E)
                text[i] = ' ';
    } else {
        snprintf(text, sizeof text, "Model %d", id);
    }
    ShowModuleId(text);
}

// The read count, cut at the highest register: a long read near the top of
// the register range would otherwise ask for registers that are not there
// and fail every cycle, shown rows included.
static int CountInRange(const EditorState *e) {
    long room = (long)e->maxRegister - e->start + 1;
    if (room < 1)
        room = 1;
    return e->readCount < room ? e->readCount : (int)room;
}

static void UpdateAndOverlay(EditorState *e, int count) {
    if (e->view == VIEW_0X || e->view == VIEW_1X) {
        uint16_t words[2] = {e->values[0], e->values[1]};
        SpreadBits(words, e->values);
        int n = count < BIT_ENTRIES ? count : BIT_ENTRIES;
        for (int i = 0; i < n; i++)
            MinMaxUpdate(e, (unsigned)(e->start + i), e->values[i]);
    } else {
        for (int i = 0; i < count; i++)
            MinMaxUpdate(e, (unsigned)(e->start + i), e->values[i]);
    }
    if (!e->blockFlag)
        return;
    for (int row = e->blockStartRow; row <= e->blockEndRow; row++)
        e->values[row - FIRST_ROW] = e->blockBuffer[row - e->blockStartRow];
}

static void StatusPoll(EditorState *e) {
    if (e->view != VIEW_4X || e->settings->suppressPolling)
        return;
    uint16_t status[SHOWN_ROWS_MAX];
    int lastRow = FIRST_ROW + e->shownRows - 1;
    if (Read4X(e->h, (int)(e->start + STATUS_OFFSET), e->shownRows, status)) {
        for (int row = FIRST_ROW; row <= lastRow; row++)
            DrawStatus(e, row, status);
        return;
    }
    if (e->abortFlag)
        return;
    for (int row = FIRST_ROW; row <= lastRow; row++)
        DrawStatus(e, row, nullptr);
    if (e->settings->trapErrors)
        ShowErrorText(e, CommErrorText(e->h));
    ModuleIdRefresh(e);
}

void PollCycle(EditorState *e) {
    e->idleRan = false;
    int lastRow = FIRST_ROW + e->shownRows - 1;
    int count = CountInRange(e);
    if (ViewRead(e, e->start, count, e->values)) {
        UpdateAndOverlay(e, count);
        for (int row = FIRST_ROW; row <= lastRow && !KeyPending(e); row++)
            DrawRow(e, row);
    } else if (!e->abortFlag) {
        for (int row = FIRST_ROW; row <= lastRow; row++)
            DrawErrorRow(e, row);
        ShowErrorText(e, CommErrorText(e->h));
        ModuleIdRefresh(e);
    }
    if (!e->abortFlag)
        StatusPoll(e);
    // A link that answers at once may never wait long enough for the idle
    // routine to run: the spinner still turns (when its time has come), and a
    // key typed meanwhile still ends the poll run.
    if (!e->idleRan)
        SpinnerTurn(e);
    if (!e->abortFlag && KeyWaiting())
        e->abortFlag = true;
}
