// Placeholder until the small dialogues are built.
#include "configurator/dialogs.h"

#include "platform/files.h"
#include "screen/screen.h"

#include <cstdarg>
#include <cstdio>

char g_fileName[16];

const char *DataFileExtension(int type) {
    static const char *const names[] = {"", ".HEX", ".BIN", ".DEC"};
    return type >= 1 && type <= 3 ? names[type] : "";
}
void ShowSuccess(const char *text) { PutField(text, 10, 20, 40, ' ', PF_CENTER | AT_REVERSE); }
void ShowSuccessF(const char *format, ...) {
    char text[136];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    ShowSuccess(text);
}
bool FileExists(const char *name) {
    FILE *f = OpenFile(name, "rb");
    if (!f)
        return false;
    fclose(f);
    return true;
}
int FileTypeMenu(const char *) { return 0; }
void DeleteFileDialog(const char *, const char *) {}
bool FrontPanelGuard(void) { return true; }
