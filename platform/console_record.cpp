// The recording console for tests.
#include "platform/console_record.h"

#include "platform/console.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ROWS = 25;
constexpr int COLUMNS = 80;
// A test that waits this often on empty input is stuck in a loop.
constexpr int STARVED_LIMIT = 10000;

struct Record {
    std::vector<ConsoleEvent> events;
    unsigned char chars[ROWS][COLUMNS];
    unsigned char colours[ROWS][COLUMNS];
    int row, column, colour;
    bool open, cursor;
    std::string input;
    size_t input_pos;
    int starved;
};

Record rec;

void log(ConsoleEventKind kind, int value, const std::string &text = std::string()) {
    rec.events.push_back(ConsoleEvent{kind, rec.row, rec.column, value, text});
}

void put_cell(int row, int column, unsigned char c) {
    if (row >= 0 && row < ROWS && column >= 0 && column < COLUMNS) {
        rec.chars[row][column] = c;
        rec.colours[row][column] = (unsigned char)rec.colour;
    }
}

int rec_open() {
    rec.open = true;
    log(CE_OPEN, 0);
    return 0;
}

void rec_close() {
    rec.open = false;
    rec.cursor = true;
    log(CE_CLOSE, 0);
}

void rec_move(int row, int column) {
    rec.row = row;
    rec.column = column;
    log(CE_MOVE, 0);
}

void rec_colour(int attr) {
    log(CE_COLOUR, attr);
    rec.colour = attr;
}

void rec_write(const char *chars, int count) {
    log(CE_WRITE, rec.colour, std::string(chars, (size_t)count));
    for (int i = 0; i < count; i++)
        put_cell(rec.row, rec.column + i, (unsigned char)chars[i]);
    rec.column += count;
}

void rec_clear(int count) {
    log(CE_CLEAR, count);
    int cell = rec.row * COLUMNS + rec.column;
    for (int i = 0; i < count && cell + i < ROWS * COLUMNS; i++)
        put_cell((cell + i) / COLUMNS, (cell + i) % COLUMNS, ' ');
}

void rec_cursor(int visible) {
    log(CE_CURSOR, visible);
    rec.cursor = visible != 0;
}

void rec_bell() {
    log(CE_BELL, 0);
}
void rec_flush() {}

int rec_read_raw(unsigned char *buf, int size, int timeout_ms) {
    if (rec.input_pos >= rec.input.size()) {
        if (timeout_ms >= 0)
            return 0;
        // a wait on empty input answers ESC, so a test cannot hang on a missing key
        if (++rec.starved > STARVED_LIMIT) {
            std::fprintf(stderr, "recording console: endless wait for keys\n");
            std::abort();
        }
        buf[0] = 0x1B;
        return 1;
    }
    int n = 0;
    while (n < size && rec.input_pos < rec.input.size())
        buf[n++] = (unsigned char)rec.input[rec.input_pos++];
    return n;
}

const ConsoleOps record_ops = {
    rec_open,   rec_close, rec_move,  rec_colour,   rec_write, rec_clear,
    rec_cursor, rec_bell,  rec_flush, rec_read_raw, 0,
};

} // namespace

void ConsoleRecordStart(void) {
    rec.events.clear();
    for (int r = 0; r < ROWS; r++)
        for (int c = 0; c < COLUMNS; c++) {
            rec.chars[r][c] = ' ';
            rec.colours[r][c] = 0x07;
        }
    rec.row = rec.column = 0;
    rec.colour = 0x07;
    rec.open = false;
    rec.cursor = true;
    rec.input.clear();
    rec.input_pos = 0;
    rec.starved = 0;
    ConsoleSelect(&record_ops);
}

void ConsoleRecordStop(void) {
    ConsoleSelect(nullptr);
}

void ConsoleRecordInput(const std::string &bytes) {
    rec.input += bytes;
}

const std::vector<ConsoleEvent> &ConsoleRecordEvents(void) {
    return rec.events;
}

void ConsoleRecordForget(void) {
    rec.events.clear();
}

int ConsoleRecordCount(ConsoleEventKind kind) {
    int n = 0;
    for (const ConsoleEvent &e : rec.events)
        n += e.kind == kind;
    return n;
}

int ConsoleRecordChar(int row, int column) {
    return rec.chars[row][column];
}
int ConsoleRecordColour(int row, int column) {
    return rec.colours[row][column];
}

std::string ConsoleRecordRow(int row) {
    return std::string((const char *)rec.chars[row], COLUMNS);
}

bool ConsoleRecordOpen(void) {
    return rec.open;
}
bool ConsoleRecordCursorShown(void) {
    return rec.cursor;
}
int ConsoleRecordStarved(void) {
    return rec.starved;
}
