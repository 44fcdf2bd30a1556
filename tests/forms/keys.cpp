#include "keys.h"

Snapshot snapshot;

namespace {

void snapshot_take(int, int) {
    for (int r = 1; r <= SCREEN_ROWS; r++) {
        snapshot.rows[r].clear();
        snapshot.attrs[r].clear();
        snapshot.console[r] = ConsoleRecordRow(r - 1);
        for (int c = 1; c <= CONSOLE_COLUMNS; c++) {
            snapshot.rows[r] += (char)ScreenCharAt(r, c);
            snapshot.attrs[r] += (char)('0' + ScreenAttrAt(r, c));
        }
    }
    snapshot.taken++;
}

} // namespace

void SnapshotOnF2(void) {
    snapshot.taken = 0;
    AddHotKey(KEY_F2, snapshot_take);
}

std::string KeyBytes(std::initializer_list<int> codes) {
    std::string s;
    for (int k : codes) {
        switch (k) {
        case KEY_UP:
            s += "\x1b[A";
            break;
        case KEY_DOWN:
            s += "\x1b[B";
            break;
        case KEY_RIGHT:
            s += "\x1b[C";
            break;
        case KEY_LEFT:
            s += "\x1b[D";
            break;
        case KEY_HOME:
            s += "\x1b[H";
            break;
        case KEY_END:
            s += "\x1b[F";
            break;
        case KEY_PGUP:
            s += "\x1b[5~";
            break;
        case KEY_PGDN:
            s += "\x1b[6~";
            break;
        case KEY_DEL:
            s += "\x1b[3~";
            break;
        case KEY_F1:
            s += "\x1bOP";
            break;
        case KEY_F2:
            s += "\x1bOQ";
            break;
        case KEY_F10:
            s += "\x1b[21~";
            break;
        case KEY_BKSP:
            s += "\x7f";
            break;
        default:
            s += (char)k;
            break;
        }
    }
    return s;
}
