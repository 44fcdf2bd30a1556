// Console dispatch and key reading over the current console.
#include "platform/console.h"

#include "platform/console_term.h"
#include "platform/keydecode.h"

namespace {

// Time that tells a lone ESC key from the start of an escape sequence.
constexpr int ESCAPE_TIME_MS = 40;
// Raw bytes read at a time: little enough that the decoder's ring never fills.
constexpr int RAW_CHUNK = 16;

const ConsoleOps *current = nullptr;
KeyDecoder decoder;
void (*repaint_hook)(void) = nullptr;

const ConsoleOps *ops() {
    return current ? current : ConsoleTerminal();
}

// Runs the repaint hook when the terminal console asks for it (after a resume
// or a change of size); signal handlers only raise the flag.
void check_repaint() {
    if (ops() != ConsoleTerminal() || !TerminalTakeRepaintRequest())
        return;
    if (repaint_hook)
        repaint_hook();
    ConsoleFlush();
}

// Reads one chunk of raw bytes and feeds the decoder; the escape time-out is
// applied when a sequence was pending and nothing came. Returns the count read.
int pull(int timeout_ms) {
    unsigned char buf[RAW_CHUNK];
    bool pending = KeyDecoderPending(&decoder);
    int n = ops()->read_raw(buf, RAW_CHUNK, pending ? ESCAPE_TIME_MS : timeout_ms);
    if (n < 0)
        TerminalInputGone();
    if (n <= 0) {
        if (pending)
            KeyDecoderTimeout(&decoder);
        return 0;
    }
    for (int i = 0; i < n; i++) {
        if (ops()->key_bytes)
            KeyDecoderPut(&decoder, buf[i]);
        else
            KeyDecoderFeed(&decoder, buf[i]);
    }
    return n;
}

} // namespace

void ConsoleSelect(const ConsoleOps *selected) {
    current = selected;
    KeyDecoderReset(&decoder);
}

int ConsoleOpen(void) {
    KeyDecoderReset(&decoder);
    return ops()->open();
}

void ConsoleClose(void) {
    ops()->close();
}
void ConsoleMove(int row, int column) {
    ops()->move(row, column);
}
void ConsoleColour(int attr) {
    ops()->colour(attr);
}
void ConsoleWriteChars(const char *chars, int count) {
    if (count > 0)
        ops()->write(chars, count);
}
void ConsoleClearCells(int count) {
    if (count > 0)
        ops()->clear(count);
}
void ConsoleCursor(int visible) {
    ops()->cursor(visible);
}
void ConsoleBell(void) {
    ops()->bell();
}
void ConsoleFlush(void) {
    ops()->flush();
}

int ConsoleKeyWaiting(void) {
    check_repaint();
    if (decoder.out_count > 0)
        return 1;
    ConsoleFlush();
    pull(0);
    // a sequence cut between two reads gets its escape time to complete
    for (int tries = 0; decoder.out_count == 0 && KeyDecoderPending(&decoder) && tries < 8; tries++)
        pull(0);
    return decoder.out_count > 0;
}

int ConsoleGetch(void) {
    for (;;) {
        check_repaint();
        int b = KeyDecoderTake(&decoder);
        if (b >= 0)
            return b;
        ConsoleFlush();
        pull(-1);
    }
}

void ConsoleDiscardKeys(void) {
    KeyDecoderReset(&decoder);
}

void ConsoleSetRepaintHook(void (*hook)(void)) {
    repaint_hook = hook;
}
