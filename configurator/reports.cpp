// The printed configuration and rack interface map, and their print dialogue.
#include "configurator/reports.h"

#include "configurator/actions.h"
#include "configurator/setup.h"
#include "platform/files.h"
#include "screen/screen.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Appends a printf-style line to the text.
__attribute__((format(printf, 2, 3))) void add(std::string &text, const char *format, ...) {
    char line[160];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    text += line;
}

// The files a table can hold of the count.
uint32_t files_held(const ModuleConfig *c) {
    return c->fileCount > MAX_FILES ? MAX_FILES : c->fileCount;
}

// One map line of a single register of file f at module address a, which
// then moves on past it.
__attribute__((format(printf, 2, 0))) void map_line(std::string &text, const char *format,
                                                    unsigned f, long rack, long &a) {
    add(text, format, f, rack + a - 1, a);
    a++;
}

} // namespace

std::string ConfigReportText(const ModuleConfig *c) {
    std::string text;
    add(text, "                             VRX740 Configuration\n");
    add(text, "                         ============================\n");
    add(text, "Number of Files %d\n", (int)c->fileCount);
    for (uint32_t i = 0; i < files_held(c); i++) {
        const FileParams *f = &c->files[i];
        add(text, "------------------------------ FILE %d ------------------------------\n",
            (int)i + 1);
        add(text, "Record Length %d registers.     Key Length %d registers.\n", f->recordLength,
            f->keyLength);
        // The values as held: a report one higher would misstate the module.
        add(text, "%2d Rack Interface Windows.     Maximum Record Number %lu\n", f->windowCount,
            (unsigned long)f->maxRecord);
    }
    add(text, "---------------------------------------------------------------------\n");
    return text;
}

std::string MapReportText(const ModuleConfig *c, int rackAddress) {
    std::string text;
    long rack = rackAddress;
    add(text, "                          VRX740 Rack Interface Map\n");
    add(text, "                         ===========================\n");
    add(text, "Function                       PLC Address   VRX740 Address\n");
    add(text, "-----------------------------  -----------   --------------\n");
    add(text, "Number of Files                     %4ld         %4d\n", rack, 1);
    add(text, "Baud Rate                           %4ld         %4d\n", rack + 1, 2);
    long a = 3;
    for (uint32_t i = 0; i < files_held(c); i++) {
        const FileParams *f = &c->files[i];
        unsigned n = i + 1;
        map_line(text, "File %-3u Record Length              %4ld         %4ld\n", n, rack, a);
        map_line(text, "File %-3u Number of Windows          %4ld         %4ld\n", n, rack, a);
        map_line(text, "File %-3u Maximum Record Number      %4ld         %4ld\n", n, rack, a);
        map_line(text, "File %-3u Length of Key              %4ld         %4ld\n", n, rack, a);
        // No file has more than 16 windows in the rack interface; validation
        // has cut any larger count before a report can be asked for.
        int windows = f->windowCount > MAX_WINDOWS ? MAX_WINDOWS : f->windowCount;
        long length = f->recordLength;
        for (int w = 1; w <= windows; w++) {
            add(text, "File %-3u Window %d Status Register   %4ld         %4ld\n", n, w,
                rack + a - 1, a);
            a++;
            add(text, "File %-3u Window %d Record Number     %4ld         %4ld\n", n, w,
                rack + a - 1, a);
            a++;
            add(text, "File %-3u Window %d Record Image      %4ld..%-4ld   %4ld..%-4ld\n", n, w,
                rack + a - 1, rack + a + length - 2, a, a + length - 1);
            a += length;
            add(text, "File %-3u Window %d Command Register  %4ld         %4ld\n", n, w,
                rack + a - 1, a);
            a++;
        }
    }
    return text;
}

std::string PrinterText(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40 + 1);
    for (char ch : text) {
        if (ch == '\n')
            out += '\r';
        out += ch;
    }
    out += '\f';
    return out;
}

namespace {

// Asks for the output name and writes the report there; ESC writes nothing.
void print_dialogue(const char *title, const std::string &text) {
    ScreenWindow *w = OpenWindow(10, 20, 13, 58, title);
    PutField("Output file:", 11, 22, 0, ' ', 0);
    char name[40] = "SYS$PRINT";
    for (;;) {
        int key = EditField(name, 12, 22, 34, '_', "A-Z0-9$.\\_~:", "\r\x1b",
                            EF_INITIAL | EF_REPLACE | EF_UPPER | AT_HIGH);
        if (key == KEY_ESC)
            break;
        FILE *f = OpenFile(name, "wb");
        if (!f) {
            ShowErrorF("Can't open file \"%s\" for write.", name);
            continue;
        }
        std::string out = PrinterText(text);
        bool whole = fwrite(out.data(), 1, out.size(), f) == out.size();
        if (fclose(f) != 0)
            whole = false;
        if (!whole)
            ShowError("Can't write to disk file.");
        break;
    }
    CloseWindow(&w);
}

} // namespace

void PrintConfigReport(void) {
    print_dialogue("PRINT CONFIGURATION", ConfigReportText(&g_config));
}

void PrintMapReport(void) {
    print_dialogue("PRINT INTERFACE MAP", MapReportText(&g_config, g_setup.rackAddress));
}
