// The poll loop of a run without the screen.
#include "regedit/script_run.h"

#include "comm/comm.h"
#include "platform/stop_signal.h"
#include "regedit/editor.h"
#include "regedit/record_format.h"
#include "regedit/value_decode.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

enum { STOP_CHECK_MS = 20 }; // how soon a stop request ends the wait between polls

int ReadView(CommHandle *h, RegisterView view, int file6X, long start, int count,
             uint16_t *values) {
    int s = (int)start;
    switch (view) {
    case VIEW_0X:
        return Read0X(h, 0, s, count, values);
    case VIEW_1X:
        return Read1X(h, 0, s, count, values);
    case VIEW_3X:
        return Read3X(h, 0, s, count, values);
    case VIEW_6X:
        return Read6X(h, file6X, s, count, values);
    default:
        return Read4X(h, s, count, values);
    }
}

FILE *ScriptOpenOutput(const RunSettings *s, bool *header, std::string *out) {
    *header = true;
    if (!s->script.output[0])
        return stdout;
    FILE *f = fopen(s->script.output, "ab");
    if (!f) {
        out->append("Can't open output file \"");
        out->append(s->script.output);
        out->append("\"\n");
        return nullptr;
    }
    *header = fseek(f, 0, SEEK_END) != 0 || ftell(f) == 0;
    return f;
}

// The idle hook of these runs: a stop request ends the wait.
static int ScriptIdle(void *) {
    return StopRequested() ? 0 : 1;
}

// The read count cut at the highest register, as the screen does, and to
// whole values of the type.
static int CountInRange(const RunSettings *s) {
    long room = (long)s->maxRegister - (long)s->start + 1;
    long count = (long)s->count < room ? (long)s->count : room;
    int words = ValueTypeWords(s->script.type);
    count -= count % words;
    return count < words ? words : (int)count;
}

struct PollBuffers {
    uint16_t words[READ_BUFFER_SIZE];
    uint16_t values[READ_BUFFER_SIZE];
    uint16_t status[SHOWN_ROWS_MAX];
    std::string error;
};

// One poll into p; false when a stop request cut it short.
static bool Poll(const RunSettings *s, CommHandle *h, PollBuffers *b, PollRecord *p) {
    RegisterView view = SettingsView(s);
    p->timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
    p->valuesOk = ReadView(h, view, s->file6X, p->start, p->count, b->words) != 0;
    p->statusOk = false;
    p->error = nullptr;
    if (!p->valuesOk) {
        if (StopRequested())
            return false;
        b->error = CommErrorText(h);
        p->error = b->error.c_str();
        return true;
    }
    if (view == VIEW_0X || view == VIEW_1X)
        SpreadPackedBits(b->words, p->count, b->values);
    else
        std::copy(b->words, b->words + p->count, b->values);
    if (p->statusCount > 0) {
        p->statusOk = Read4X(h, (int)(p->start + STATUS_OFFSET), p->statusCount, b->status) != 0;
        if (!p->statusOk) {
            if (StopRequested())
                return false;
            b->error = CommErrorText(h);
            p->error = b->error.c_str();
        }
    }
    return true;
}

static std::string Format(const RunSettings *s, const PollRecord &p) {
    switch (s->script.format) {
    case FORMAT_CSV:
        return CsvRow(s, p);
    case FORMAT_JSON:
        return JsonLine(s, p);
    default:
        return TextLines(s, p);
    }
}

static bool WriteWhole(FILE *out, const std::string &text) {
    return fwrite(text.data(), 1, text.size(), out) == text.size() && fflush(out) == 0;
}

// Waits until the time, or a stop request.
static void WaitUntil(std::chrono::steady_clock::time_point until) {
    for (;;) {
        auto left = until - std::chrono::steady_clock::now();
        if (left <= left.zero() || StopRequested())
            return;
        auto step = std::chrono::milliseconds(STOP_CHECK_MS);
        std::this_thread::sleep_for(left < step ? left : step);
    }
}

int RunScript(const RunSettings *s, CommHandle *h, FILE *out, bool header) {
    SetIdleHook(h, ScriptIdle, nullptr);
    PollBuffers b;
    PollRecord p = {};
    p.start = (long)s->start;
    p.count = CountInRange(s);
    p.values = b.values;
    p.status = b.status;
    bool statusPolled = SettingsView(s) == VIEW_4X && !s->suppressPolling;
    p.statusCount = statusPolled ? (p.count < SHOWN_ROWS_MAX ? p.count : SHOWN_ROWS_MAX) : 0;
    if (header && s->script.format == FORMAT_CSV && !WriteWhole(out, CsvHeader(s, p)))
        return 2;
    int status = 0;
    auto interval = std::chrono::milliseconds(s->script.intervalMs);
    auto next = std::chrono::steady_clock::now();
    for (unsigned n = 0; n < s->script.polls && !StopRequested(); n++) {
        if (n > 0) {
            WaitUntil(next);
            if (StopRequested())
                break;
        }
        next = std::chrono::steady_clock::now() + interval;
        if (!Poll(s, h, &b, &p))
            break;
        if (p.error)
            status = 2;
        if (!WriteWhole(out, Format(s, p))) {
            fputs("Can't write the output\n", stderr);
            return 2;
        }
    }
    return status;
}
