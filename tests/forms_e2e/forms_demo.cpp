// A small program driven by a menu bar: a file picker, a typed form and a
// pop-up list, for the end-to-end test in a real terminal. On Quit it prints
// one line with every value it holds.
#include "platform/files.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

namespace {

const char *MENU[] = {"File",  "Pick a file", "Edit the form", "choose data Type",
                      nullptr, "Quit",        nullptr,         nullptr};
const char *TYPES[] = {"Hex file", "Binary file", "Decimal file", nullptr};
const char *PARITY[] = {"NONE", "ODD", "EVEN", nullptr};

const ScreenText TITLE[] = {
    {1, 20, "MENUS, PICKER AND FORMS DEMONSTRATION", AT_HIGH},
    {24, 1, "Use initial capital letter or arrows and ENTER to select.", 0},
    {0, 0, nullptr, 0},
};

const ScreenText LABELS[] = {
    {10, 10, "Parity", 0}, {11, 10, "Rack address", 0}, {12, 10, "Price", 0},
    {13, 10, "Date", 0},   {14, 10, "Route", 0},        {0, 0, nullptr, 0},
};

int16_t parity = 0;
uint16_t rack = 0;
uint32_t price = 0;
uint32_t date = 631152000;
uint16_t route[1 + NUMLIST_MAX] = {0};

FormField FIELDS[] = {
    {10, 30, 4, DT_CHOICE, &parity, PARITY, AT_HIGH},
    {11, 30, 4, DT_USHORT, &rack, nullptr, AT_HIGH | EF_INITIAL | EF_REPLACE},
    {12, 30, 8, DT_MONEY, &price, nullptr, AT_HIGH | EF_INITIAL | EF_REPLACE},
    {13, 30, 8, DT_DATE, &date, nullptr, AT_HIGH | EF_INITIAL | EF_REPLACE},
    {14, 30, 31, DT_NUMLIST, route, nullptr, AT_HIGH | EF_INITIAL | EF_REPLACE},
};

char picked[10] = "";

// Picks a .VRX file and shows its first line, read from the file on disk.
void pick(void) {
    int ok = PickFile(11, 38, "*.VRX", picked, 1);
    ClearToEndOfLine(11, 1);
    if (!ok) {
        PutField("Picked: nothing", 8, 2, 70, ' ', 0);
        return;
    }
    char name[16], line[64] = "";
    snprintf(name, sizeof name, "%s.VRX", picked);
    FILE *f = OpenFile(name, "r");
    if (f != nullptr) {
        if (fgets(line, sizeof line, f) == nullptr)
            line[0] = '\0';
        fclose(f);
        line[strcspn(line, "\r\n")] = '\0';
    } else {
        snprintf(line, sizeof line, "(new file)");
    }
    PutFieldF("Picked: %s  Content: %s", 8, 2, 70, ' ', 0, picked, line);
}

void form(void) {
    DrawTextTable(LABELS);
    ShowFields(FIELDS, 0, 4, 0);
    const char terms[] = {13, 27, (char)KEY_F1, 0};
    int key = EditForm(FIELDS, 0, 4, 0, terms, 0);
    PutFieldF("Form left with key %d", 8, 2, 70, ' ', 0, key);
}

} // namespace

int main(void) {
    ScreenInit();
    DrawScreen(TITLE);
    int code = 0;
    for (;;) {
        code = MenuBar(MENU, 4, code);
        if (code == 0 || code == 200)
            break;
        if (code == 101)
            pick();
        else if (code == 102)
            form();
        else if (code == 103)
            PutFieldF("Type: %d", 8, 2, 70, ' ', 0, PopupMenu(TYPES, 6, 18, 1, 0));
    }
    ScreenExit();
    printf("RESULT picked=%s parity=%d rack=%u price=%u date=%u route=%u", picked, parity, rack,
           price, date, route[0]);
    for (int i = 0; i < route[0] && i < NUMLIST_MAX; i++)
        printf("%c%u", i ? ',' : ':', route[1 + i]);
    printf(" code=%d\n", code);
    return 0;
}
