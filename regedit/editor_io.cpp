// The editor's reads and writes by view: 4X holding registers, 0X coils,
// 1X inputs, 3X input registers and 6X extended-memory records.
#include "comm/comm.h"
#include "regedit/editor.h"
#include "regedit/script_run.h"

#include <cstring>

int ViewRead(EditorState *e, long start, int count, uint16_t *values) {
    return ReadView(e->h, e->view, e->settings->file6X, start, count, values);
}

int ViewWrite(EditorState *e, long start, int count, const uint16_t *values) {
    // The coil writes pack their values in place, so they get a copy.
    uint16_t copy[SHOWN_ROWS_MAX];
    if (count < 1 || count > SHOWN_ROWS_MAX)
        return 0;
    memcpy(copy, values, (size_t)count * sizeof copy[0]);
    int s = (int)start;
    bool single = e->settings->singleWrites;
    switch (e->view) {
    case VIEW_0X:
        if (copy[0] != 0)
            copy[0] = 0xFF00;
        return single ? Write0X(e->h, s, count, copy) : Write0XMulti(e->h, s, count, copy);
    case VIEW_1X:
        return 0; // inputs cannot be written
    case VIEW_3X:
        return Write3X(e->h, s, count, copy);
    case VIEW_6X:
        return Write6X(e->h, e->settings->file6X, s, count, copy);
    default:
        return single ? Write4XOp6(e->h, s, count, copy) : Write4X(e->h, s, count, copy);
    }
}
