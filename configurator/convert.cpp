// Record length conversion: rewrites a hex, binary or decimal data file so
// that every record has a new length, cut short or padded with zeros. Disk
// files only; the module is never touched.
#include "configurator/actions.h"
#include "configurator/config_model.h"
#include "configurator/data_codec.h"
#include "configurator/dialogs.h"
#include "configurator/module_access.h"
#include "platform/files.h"
#include "screen/picker.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

const char LENGTH_TERMINATORS[] = {(char)KEY_DOWN,  (char)KEY_UP,  (char)KEY_F1,
                                   (char)KEY_ENTER, (char)KEY_ESC, '\0'};
const int VALUE_COLUMN = 42;

// What the dialogue collects.
struct ConvertChoice {
    char input[16];
    char output[16];
    int inputLength;
    int outputLength;
};

// True when both names lead to the same file on disk (names are matched
// without regard to case, links followed).
bool SameFile(const char *a, const char *b) {
    std::string ra, rb;
    MapFileName(a, ra);
    MapFileName(b, rb);
    std::error_code ec;
    return std::filesystem::equivalent(ra, rb, ec) && !ec;
}

// Picks a name of the format into name; 0 when the picker was left without one.
int PickName(int row, int type, char *base, char *name) {
    char pattern[8];
    snprintf(pattern, sizeof pattern, "*%s", DataFileExtension(type));
    if (!PickFile(row, VALUE_COLUMN, pattern, base, 1))
        return 0;
    snprintf(name, 16, "%.9s%s", base, DataFileExtension(type));
    PutField(name, row, VALUE_COLUMN, 13, ' ', 0);
    return 1;
}

// Edits a record length at row; returns the exit key, or 0 to ask again
// when the length is outside 1 to 2039.
int EditLength(int *value, int row) {
    char text[24];
    snprintf(text, sizeof text, "%d", *value);
    int key = EditField(text, row, VALUE_COLUMN, 4, '_', "0-9", LENGTH_TERMINATORS,
                        EF_INITIAL | EF_REPLACE | AT_HIGH);
    if (key == KEY_ESC)
        return key;
    int n = atoi(text);
    if (n >= 1 && n <= MAX_RECORD_LENGTH)
        *value = n;
    else
        key = 0;
    PutFieldF("%d", row, VALUE_COLUMN, 4, ' ', 0, *value);
    if (key == 0)
        ShowErrorF("Record length must be 1 to %d.", MAX_RECORD_LENGTH);
    return key;
}

// Runs one field of the dialogue; the key it ended with (0: ask again).
int RunField(int field, int type, ConvertChoice *c) {
    static char inputBase[16], outputBase[16];
    switch (field) {
    case 1:
        if (!PickName(7, type, inputBase, c->input))
            return KEY_ESC;
        if (!FileExists(c->input))
            ShowErrorF("Can't open file \"%s\" for read.", c->input);
        return KEY_ENTER;
    case 2:
        if (!PickName(8, type, outputBase, c->output))
            return KEY_ESC;
        if (c->input[0] && SameFile(c->input, c->output)) {
            ShowErrorF("\"%s\" is the input file.", c->output);
            return 0;
        }
        if (FileExists(c->output) && !Confirm("File exists, overwrite it?"))
            return 0;
        return KEY_ENTER;
    case 3:
        return EditLength(&c->inputLength, 9);
    default:
        if (c->outputLength == 0)
            c->outputLength = c->inputLength;
        return EditLength(&c->outputLength, 10);
    }
}

// Runs the dialogue; true when the conversion is to start.
bool RunConvertDialogue(int type, ConvertChoice *c) {
    int field = 1;
    while (field < 5) {
        switch (RunField(field, type, c)) {
        case KEY_ENTER:
        case KEY_DOWN:
            field++;
            break;
        case KEY_UP:
            if (field > 1)
                field--;
            break;
        case KEY_F1:
            return true;
        case KEY_ESC:
            return false;
        default:
            break;
        }
    }
    return true;
}

// Converts every whole record; false with the reason shown when a file
// cannot be opened or written. *records gets the count converted.
bool ConvertRecords(int type, const ConvertChoice &c, long *records) {
    *records = 0;
    FILE *in = OpenFile(c.input, "rb");
    if (!in) {
        ShowErrorF("Can't open file \"%s\" for read.", c.input);
        return false;
    }
    // Opening the output truncates it, so it must not be the input itself.
    if (SameFile(c.input, c.output)) {
        fclose(in);
        ShowErrorF("\"%s\" is the input file.", c.output);
        return false;
    }
    FILE *out = OpenFile(c.output, "wb");
    if (!out) {
        fclose(in);
        ShowErrorF("Can't open file \"%s\" for write.", c.output);
        return false;
    }
    memset(RecordBuffer, 0, sizeof RecordBuffer[0] * MAX_RECORD_LENGTH);
    DataReader reader = FileReader(in);
    bool written = true;
    for (;;) {
        PutFieldF("%ld records converted.", 12, 20, 0, ' ', 0, *records);
        if (!ReadDataRecord(&reader, type, c.inputLength, RecordBuffer))
            break;
        if (!WriteDataRecord(out, type, c.outputLength, RecordBuffer)) {
            written = false;
            break;
        }
        ++*records;
    }
    fclose(in);
    if (fclose(out) != 0)
        written = false;
    if (!written)
        ShowErrorF("Can't write file \"%s\".", c.output);
    // A read error is not the end of the input: the output is not whole.
    if (reader.failed)
        ShowErrorF("Can't read file \"%s\".", c.input);
    return written && !reader.failed;
}

} // namespace

// Runs the conversion dialogue and the conversion for a type (1 hex, 2 binary, 3 decimal).
void ConvertDataFile(int type) {
    static const char *const titles[] = {"HEX FILE REFORMAT", "BINARY FILE REFORMAT",
                                         "DECIMAL FILE REFORMAT"};
    if (type < TYPE_HEX || type > TYPE_DEC)
        return;
    ScreenWindow *window = OpenWindow(6, 18, 13, 63, titles[type - 1]);
    PutField("MS/DOS Input file?", 7, 23, 0, ' ', 0);
    PutField("MS/DOS Output file?", 8, 22, 0, ' ', 0);
    PutField("Input record length?", 9, 21, 0, ' ', 0);
    PutField("Output record length?", 10, 20, 0, ' ', 0);
    ConvertChoice c = {};
    c.inputLength = 1;
    bool go = RunConvertDialogue(type, &c);
    long records = 0;
    if (go && (c.input[0] == '\0' || c.output[0] == '\0')) {
        ShowError("Both the input and the output file must be chosen.");
        go = false;
    }
    if (go && c.outputLength == 0)
        c.outputLength = c.inputLength;
    if (go)
        go = ConvertRecords(type, c, &records);
    CloseWindow(&window);
    if (!go) {
        ShowError("CONVERSION ABORTED");
        return;
    }
    ShowSuccessF("%ld RECORDS CONVERTED", records);
}
