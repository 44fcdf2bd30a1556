// The file picker's cursor over the paged listing: where each movement key
// takes it, and where it settles when it stands past the last entry.
#include "screen/picker.h"

#include "screen/screen.h"

int PickCursorEntry(PickCursor cursor) {
    return PICK_PAGE * cursor.page + PICK_ROWS * cursor.column + cursor.row;
}

PickCursor PickCursorSettle(PickCursor cursor, int count) {
    if (count <= 0 || PickCursorEntry(cursor) < count)
        return cursor;
    int onPage = count - 1 - PICK_PAGE * cursor.page;
    cursor.column = onPage / PICK_ROWS;
    cursor.row = onPage % PICK_ROWS;
    return cursor;
}

PickCursor PickCursorMove(PickCursor cursor, int key, int count) {
    PickCursor c = cursor;
    bool nextPage = PICK_PAGE * (c.page + 1) < count;
    switch (key) {
    case KEY_DOWN:
        if (c.row < PICK_ROWS - 1)
            c.row++;
        break;
    case KEY_UP:
        if (c.row > 0)
            c.row--;
        break;
    case KEY_RIGHT:
        // Right goes no further than the page's last filled column; from the
        // last column it opens the next page at the same cell.
        if (c.column < (count - PICK_PAGE * c.page) / PICK_ROWS) {
            if (c.column < PICK_COLUMNS - 1)
                c.column++;
            else if (nextPage)
                c.page++;
        }
        break;
    case KEY_LEFT:
        // From the first column, the page before opens at the same cell.
        if (c.column > 0)
            c.column--;
        else if (c.page > 0)
            c.page--;
        break;
    case KEY_HOME:
        c.row = 0, c.column = 0;
        break;
    case KEY_END:
        c.row = PICK_ROWS - 1, c.column = PICK_COLUMNS - 1;
        break;
    case KEY_PGDN:
        if (nextPage)
            c.page++, c.row = 0, c.column = 0;
        else
            c.row = PICK_ROWS - 1, c.column = PICK_COLUMNS - 1;
        break;
    case KEY_PGUP:
        if (c.page == 0)
            c.row = 0, c.column = 0;
        else
            c.page--, c.row = PICK_ROWS - 1, c.column = PICK_COLUMNS - 1;
        break;
    default:
        break;
    }
    return c;
}
