// The small dialogues of the main menu (file type, delete file, front-panel
// guard) and the result line and file helpers every action shares.
#include "configurator/dialogs.h"

#include "configurator/setup.h"
#include "platform/files.h"
#include "screen/screen.h"

#include <cstdarg>
#include <cstdio>
#include <string>

char g_fileName[16];

// The extension of a data-file type code, "" for any other code.
const char *DataFileExtension(int type) {
    static const char *const names[] = {"", ".HEX", ".BIN", ".DEC"};
    return type >= 1 && type <= 3 ? names[type] : "";
}

// Shows a result on the status line.
void ShowSuccess(const char *text) {
    PutField(text, 10, 20, 40, ' ', PF_CENTER | AT_REVERSE);
}

// ShowSuccess of a printf-style text.
void ShowSuccessF(const char *format, ...) {
    char text[136];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    ShowSuccess(text);
}

// True when the file (any case on disk) can be opened for reading.
bool FileExists(const char *name) {
    FILE *f = OpenFile(name, "rb");
    if (!f)
        return false;
    fclose(f);
    return true;
}

// Asks for a data-file type under a caption; 1 hex, 2 binary, 3 decimal, 0 none.
int FileTypeMenu(const char *caption) {
    static const char *items[] = {"Hex file", "Binary file", "Decimal file", nullptr};
    PutField(caption, 5, 18, 0, ' ', AT_HIGH);
    int type = PopupMenu(items, 6, 18, 1, 0);
    ClearToEndOfLine(5, 18);
    return type;
}

// Picks files of the extension and deletes each, until the picker is left.
void DeleteFileDialog(const char *extension, const char *title) {
    std::string pattern = std::string("*") + extension;
    ScreenWindow *window = OpenWindow(10, 20, 12, 60, title);
    PutField("File to delete:", 11, 22, 0, ' ', 0);
    while (PickFile(11, 38, pattern.c_str(), g_fileName, 1)) {
        std::string name = std::string(g_fileName) + extension;
        if (!FileExists(name.c_str()))
            ShowErrorF("Can't find file \"%s\"", name.c_str());
        else if (!DeleteFile(name.c_str()))
            // a file that stays must not pass for deleted
            ShowErrorF("Can't delete file \"%s\"", name.c_str());
    }
    CloseWindow(&window);
}

// True when connected via the front panel; otherwise says so.
bool FrontPanelGuard(void) {
    if (g_setup.connectedVia != VIA_PLC_PORT)
        return true;
    ShowError("Must be connected to front module port");
    return false;
}

// The backup and restore dialogue's window with its caption.
ScreenWindow *OpenBackupDialog(const char *title, const char *caption) {
    ClearToEndOfLine(10, 1);
    ScreenWindow *win = OpenWindow(10, 20, 13, 58, title);
    PutField(caption, 11, 22, 0, ' ', 0);
    return win;
}
