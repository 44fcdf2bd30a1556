// "Edit configuration in PC memory": the PC image file by file, with the
// register budgets shown again after every change.
#include "configurator/actions.h"
#include "configurator/config_model.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The file last edited, so that the editor reopens on it.
int current_file;

// The fields of the screen, in the order the arrows step through them.
enum EditorField {
    FIELD_FILE = 1,
    FIELD_COUNT,
    FIELD_LENGTH,
    FIELD_KEY,
    FIELD_MAXREC,
    FIELD_WINDOWS
};

struct FieldPlace {
    int row, column, width;
};
const FieldPlace field_places[] = {
    {0, 0, 0}, {8, 21, 3}, {8, 28, 3}, {10, 29, 4}, {11, 29, 4}, {12, 29, 5}, {13, 32, 2},
};

// Enter, ESC, F1, Down, Up, Page Down and Page Up end a field.
const char field_exits[] = {KEY_ENTER,    KEY_ESC,        (char)KEY_F1,   (char)KEY_DOWN,
                            (char)KEY_UP, (char)KEY_PGDN, (char)KEY_PGUP, 0};

const ScreenText editor_texts[] = {
    {8, 16, "File", 0},
    {8, 25, "of", 0},
    {10, 15, "Record length", 0},
    {10, 34, "registers", 0},
    {11, 18, "Key length", 0},
    {11, 34, "registers", 0},
    {12, 14, "Maximum record", 0},
    {13, 14, "Number of windows", 0},
    {14, 16, "Size of file", 0},
    {18, 20, "of 2048 rack interface registers available", 0},
    {20, 1, "Use arrows to select field, PgUp and PgDn to select file", 0},
    {21, 1, "Use F1 to exit, Esc to exit with invalid configuration", 0},
    {21, 5, "F1", AT_HIGH},
    {21, 17, "Esc", AT_HIGH},
    {0, 0, nullptr, 0},
};

// The files the selection may stand on: the configured ones, and the first
// record when there are none.
int selectable_files(void) {
    uint32_t count = g_config.fileCount > MAX_FILES ? MAX_FILES : g_config.fileCount;
    return count == 0 ? 1 : (int)count;
}

// Keeps the selection on a configured file (the last one when it fell off
// the end): after the file count changed.
void clamp_selection(void) {
    if (current_file < 0)
        current_file = 0;
    if (current_file >= selectable_files())
        current_file = selectable_files() - 1;
}

// Keeps the selection within the table of 292 records; a record beyond the
// count, chosen on field 1, stays selected.
void clamp_to_table(void) {
    if (current_file < 0)
        current_file = 0;
    if (current_file >= MAX_FILES)
        current_file = MAX_FILES - 1;
}

// Draws every value of the current file.
void draw_values(void) {
    const FileParams *f = &g_config.files[current_file];
    PutFieldF("%3u", 8, 21, 3, ' ', AT_HIGH, (unsigned)current_file + 1);
    PutFieldF("%3u", 8, 28, 3, ' ', AT_HIGH, (unsigned)g_config.fileCount);
    PutFieldF("%4u", 10, 29, 4, ' ', AT_HIGH, f->recordLength);
    PutFieldF("%4u", 11, 29, 4, ' ', AT_HIGH, f->keyLength);
    PutFieldF("%5u", 12, 29, 5, ' ', AT_HIGH, f->maxRecord);
    PutFieldF("%u", 13, 32, 2, ' ', AT_HIGH, f->windowCount);
    PutFieldF("%lu slots", 14, 29, 12, ' ', 0, (unsigned long)f->maxRecord + 1);
}

// The value a field edits.
unsigned long field_value(int field) {
    const FileParams *f = &g_config.files[current_file];
    switch (field) {
    case FIELD_FILE:
        return (unsigned long)current_file + 1;
    case FIELD_COUNT:
        return g_config.fileCount;
    case FIELD_LENGTH:
        return f->recordLength;
    case FIELD_KEY:
        return f->keyLength;
    case FIELD_MAXREC:
        return f->maxRecord;
    default:
        return f->windowCount;
    }
}

// Stores the typed text of a field; true when a stored value changed.
bool store_field(int field, const char *text) {
    unsigned long before = field_value(field);
    unsigned long typed = strtoul(text, nullptr, 10);
    FileParams *f = &g_config.files[current_file];
    switch (field) {
    case FIELD_FILE:
        // 0 or nothing leaves the selection alone, and so does a number past
        // the table. A number past the count selects a record beyond it, so
        // that it can be prepared before the count is raised.
        if (typed >= 1 && typed <= (unsigned long)MAX_FILES)
            current_file = (int)typed - 1;
        return false;
    case FIELD_COUNT:
        // A new count takes the selection with it; passing over the field
        // leaves a record chosen beyond the count where it is.
        g_config.fileCount = (uint32_t)typed;
        if (typed != before)
            clamp_selection();
        break;
    case FIELD_LENGTH:
        f->recordLength = (uint16_t)typed;
        break;
    case FIELD_KEY:
        f->keyLength = (uint16_t)typed;
        break;
    case FIELD_MAXREC:
        f->maxRecord = (uint16_t)typed;
        break;
    default:
        f->windowCount = (uint16_t)typed;
        break;
    }
    return field_value(field) != before;
}

// Edits one field; returns the key that ended it and sets *changed.
int edit_field(int field, bool *changed) {
    const FieldPlace &at = field_places[field];
    char text[8];
    snprintf(text, sizeof text, "%lu", field_value(field));
    int key = EditField(text, at.row, at.column, at.width, '_', "0-9", field_exits,
                        EF_INITIAL | EF_REPLACE | AT_HIGH);
    // ESC empties the field on its way out; leaving is no reason to store a zero.
    if (key != KEY_ESC && store_field(field, text))
        *changed = true;
    return key;
}

} // namespace

void EditConfig(void) {
    ScreenWindow *w = OpenWindow(7, 12, 15, 50, "EDIT CONFIGURATION");
    DrawTextTable(editor_texts);
    PutFieldF("of %ld data storage registers available", 17, 20, 0, ' ', 0, DATA_STORAGE_REGISTERS);
    // A file last edited that lies well past the count now held (another
    // configuration came in meanwhile) starts again at the first file.
    if (current_file < 0 || (uint32_t)current_file > g_config.fileCount)
        current_file = 0;
    clamp_to_table();
    int field = FIELD_LENGTH;
    bool changed = true;
    for (bool editing = true; editing;) {
        draw_values();
        if (changed) {
            changed = false;
            bool valid = ValidateConfig(true);
            clamp_to_table();
            if (!valid)
                draw_values();
        }
        switch (edit_field(field, &changed)) {
        case KEY_ENTER:
        case KEY_DOWN:
            if (field < FIELD_WINDOWS)
                field++;
            break;
        case KEY_UP:
            if (field > FIELD_FILE)
                field--;
            break;
        case KEY_PGDN:
            if (current_file + 1 < selectable_files())
                current_file++;
            break;
        case KEY_PGUP:
            if (current_file > 0)
                current_file--;
            break;
        case KEY_F1:
            // Validated here, so not once more (with the same messages) above.
            changed = false;
            editing = !ValidateConfig(true);
            clamp_to_table();
            break;
        case KEY_ESC:
            if (!ValidateConfig(true))
                ShowError("WARNING: Configuration invalid");
            editing = false;
            break;
        default:
            break;
        }
    }
    CloseWindow(&w);
    ClearToEndOfLine(17, 1);
    ClearToEndOfLine(18, 1);
    ClearToEndOfLine(20, 1);
    ClearToEndOfLine(21, 1);
}
