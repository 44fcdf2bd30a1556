// The file picker: a name field over a paged listing of the current directory.
#include "platform/files.h"
#include "screen/menu.h"
#include "screen/screen.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The listing and, beside each entry, where choosing it leads (the real
// name of a directory, the path of a drive; unused for files).
struct PickList {
    std::vector<FileEntry> entries;
    std::vector<std::string> targets;
};

// Exit keys of the name field: ENTER, ESC, the arrows, the page keys, Home, End.
const char PICK_TERMINATORS[] = {
    (char)KEY_ENTER, (char)KEY_ESC,  (char)KEY_RIGHT, (char)KEY_LEFT, (char)KEY_UP, (char)KEY_DOWN,
    (char)KEY_PGDN,  (char)KEY_PGUP, (char)KEY_HOME,  (char)KEY_END,  '\0'};

std::string upper(const std::string &s) {
    std::string u = s;
    for (char &ch : u)
        ch = (char)toupper((unsigned char)ch);
    return u;
}

FileEntry entry_make(const std::string &name, int kind) {
    FileEntry e;
    memset(e.name, 0, sizeof e.name);
    memcpy(e.name, name.data(), std::min(name.size(), sizeof e.name));
    e.kind = (uint8_t)kind;
    return e;
}

// Lists the current directory: matching files (without extension) and, with
// dirs, the subdirectories sorted among them, then the drives.
void list_build(PickList &list, const std::string &pattern, int dirs) {
    list.entries.clear();
    list.targets.clear();
    std::vector<DirItem> items;
    ListDirectory(".", items); // an unreadable directory lists nothing of its own
    struct Named {
        FileEntry entry;
        std::string target;
    };
    std::vector<Named> named;
    for (const DirItem &item : items) {
        std::string name = upper(item.name);
        if (item.directory) {
            if (dirs)
                named.push_back({entry_make(name, FE_DIRECTORY), item.name});
        } else if (MatchPattern(pattern.c_str(), name.c_str())) {
            size_t dot = name.rfind('.');
            named.push_back({entry_make(name.substr(0, dot), FE_FILE), item.name});
        }
    }
    std::sort(named.begin(), named.end(), [](const Named &a, const Named &b) {
        int c = memcmp(a.entry.name, b.entry.name, sizeof a.entry.name);
        return c != 0 ? c < 0 : a.target < b.target;
    });
    for (const Named &n : named) {
        list.entries.push_back(n.entry);
        list.targets.push_back(n.target);
    }
    if (!dirs)
        return;
    std::vector<DriveItem> drives = ListDrives();
    for (size_t i = 0; i < drives.size() && i < 26; i++) {
        list.entries.push_back(entry_make(drives[i].name, FE_DRIVE + 'A' + (int)i));
        list.targets.push_back(drives[i].path);
    }
}

// Screen place of entry e on page p.
void entry_place(int e, int p, int *row, int *column) {
    int k = e - PICK_PAGE * p;
    *column = 2 + 10 * (k / PICK_ROWS);
    *row = PICK_FIRST_ROW + k % PICK_ROWS;
}

void entry_draw(const PickList &list, int e, int p, int code) {
    int row, column;
    entry_place(e, p, &row, &column);
    DrawFileEntry(row, column, &list.entries[(size_t)e], code);
}

void page_draw(const PickList &list, int p) {
    ClearToEndOfScreen(PICK_FIRST_ROW, 1);
    int count = (int)list.entries.size();
    for (int e = PICK_PAGE * p; e < count && e < PICK_PAGE * (p + 1); e++)
        entry_draw(list, e, p, 0);
}

// The zero-ended name of an entry (up to 9 characters).
std::string entry_name(const FileEntry &e) {
    return std::string(e.name, strnlen(e.name, 9));
}

// The offered name: the caller's result, as far as it is letters and digits.
void offered_name(const char *result, char *text) {
    size_t n = 0;
    while (n < 8 && result[n] != '\0' && isalnum((unsigned char)result[n])) {
        text[n] = (char)toupper((unsigned char)result[n]);
        n++;
    }
    text[n] = '\0';
}

} // namespace

void DrawFileEntry(int row, int column, const FileEntry *entry, int code) {
    char name[10];
    memcpy(name, entry->name, 9);
    name[9] = '\0';
    if (entry->kind == FE_FILE) {
        PutField(name, row, column, 8, ' ', code);
        return;
    }
    PutField("[", row, column - 1, 1, ' ', code);
    PutField(strcmp(name, "..") == 0 ? " parent " : name, row, column, 8, ' ', code | AT_HIGH);
    PutField("]", row, column + 8, 1, ' ', code);
}

int PickFile(int row, int column, const char *pattern, char *result, int dirs) {
    if (result == nullptr)
        return 0;
    std::string pat = upper(pattern == nullptr ? "*" : pattern);
    PickList list;
    list_build(list, pat, dirs);
    page_draw(list, 0);
    PickCursor at = {0, 0, 0};
    char text[16];
    offered_name(result, text);
    bool first = true;
    for (;;) {
        int count = (int)list.entries.size();
        int cur = -1;
        if (count > 0) {
            at = PickCursorSettle(at, count);
            cur = PickCursorEntry(at);
            entry_draw(list, cur, at.page, AT_REVERSE | AT_HIGH);
        }
        bool onFile = cur >= 0 && list.entries[(size_t)cur].kind == FE_FILE;
        if (onFile)
            snprintf(text, sizeof text, "%.8s", list.entries[(size_t)cur].name);
        else if (!first)
            text[0] = '\0';
        first = false;
        int key = EditField(text, row, column, 8, '.', "A-Z0-9", PICK_TERMINATORS,
                            EF_UPPER | EF_REPLACE | EF_INITIAL);
        bool redrawn = false;
        switch (key) {
        case KEY_DOWN:
        case KEY_UP:
        case KEY_RIGHT:
        case KEY_LEFT:
        case KEY_HOME:
        case KEY_END:
        case KEY_PGDN:
        case KEY_PGUP: {
            PickCursor next = PickCursorMove(at, key, count);
            if (next.page != at.page) {
                page_draw(list, next.page);
                redrawn = true;
            }
            at = next;
            break;
        }
        case KEY_ENTER: {
            std::string answer;
            if (text[0] != '\0') {
                answer = text;
                // The field shows 8 characters: an untouched 9-character name
                // is still the entry's whole name.
                if (onFile && strncmp(text, list.entries[(size_t)cur].name, 8) == 0)
                    answer = entry_name(list.entries[(size_t)cur]);
            } else if (onFile) {
                answer = entry_name(list.entries[(size_t)cur]);
            }
            if (!answer.empty()) {
                snprintf(result, 10, "%.9s", answer.c_str());
                ClearToEndOfScreen(PICK_FIRST_ROW, 1);
                return 1;
            }
            if (cur < 0) {
                Bell(); // nothing typed and nothing listed
                break;
            }
            if (!ChangeDirectory(list.targets[(size_t)cur].c_str()))
                Bell(); // unreachable: list this directory again
            list_build(list, pat, dirs);
            page_draw(list, 0);
            at = {0, 0, 0};
            redrawn = true;
            break;
        }
        default: // ESC, or the end of input
            ClearToEndOfScreen(PICK_FIRST_ROW, 1);
            return 0;
        }
        if (!redrawn && cur >= 0)
            entry_draw(list, cur, at.page, 0);
    }
}
