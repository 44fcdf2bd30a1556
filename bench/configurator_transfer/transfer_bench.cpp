// A sequential load and an unload of 200 records of length 10, run as the
// user runs them (the transfer form filled in from the type-ahead, on the
// recording console), through the configurator's window handshakes, over a
// pty cable paced at 19200 baud to the simulated module. Prints records per
// second, the transactions made against the ones the window protocol needs,
// and the pass's time against the line's limit for both.
#include "bench/module_line.h"
#include "configurator/actions.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "platform/console_record.h"
#include "screen/screen.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

enum { BAUD = 19200, RECORDS = 200, LENGTH = 10, HIGHEST = 299 };

// The data file loaded: one hex line a record.
std::string HexData(void) {
    std::string text;
    char word[8];
    for (int r = 0; r < RECORDS; r++) {
        for (int i = 0; i < LENGTH; i++) {
            snprintf(word, sizeof word, "%s%04X", i ? "," : "", BenchWord(r, i));
            text += word;
        }
        text += "\r\n";
    }
    return text;
}

bool WriteFile(const char *name, const std::string &text) {
    FILE *f = fopen(name, "wb");
    if (!f)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

std::string ReadFile(const char *name) {
    std::string text;
    FILE *f = fopen(name, "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

} // namespace

int main() {
    ModuleLine *line = new ModuleLine;
    std::string error;
    if (!ModuleLineStart(line, BAUD, true, &error)) {
        fprintf(stderr, "transfer_bench: %s\n", error.c_str());
        return 1;
    }
    unsigned status = 0;
    ModuleLineWith(line, [&](ModuleLine *l) {
        if (!vrx740::ModuleConfigure(&l->module, {{LENGTH, 1, HIGHEST, 0}}, &error))
            return;
        status = unsigned(l->module.windows[0].start);
    });
    if (status == 0 || chdir(line->dir.c_str()) != 0 || !WriteFile("BENCHIN.HEX", HexData())) {
        fprintf(stderr, "transfer_bench: cannot prepare the module or the data file %s\n",
                error.c_str());
        ModuleLineStop(line);
        return 1;
    }
    SetupDefaults(&g_setup);
    ConsoleRecordStart();
    ScreenInit();

    printf("%d records of length %d through one window, over a pty cable at %d baud\n", RECORDS,
           LENGTH, BAUD);
    PrintPassHeader();
    // Load: file 1, the data file, window 1, starting record 0, 200 records.
    ModuleLineTake(line);
    LinkCounts before = ModuleLineCounts(line);
    ConsoleRecordInput("\rBENCHIN\r\r0\r200\ry");
    ActionBegin();
    LoadDataFile(false, 1);
    std::vector<Transaction> needed;
    for (int r = 0; r < RECORDS; r++)
        NeedWrite(&needed, status, LENGTH, true, false);
    NeedIdle(&needed, status, LENGTH);
    PassFigures load = MeasurePass(line, ModuleLineTake(line), status, LENGTH, needed, before);
    std::string result = ConsoleResultLine();
    bool loaded = result == "200 RECORDS TRANSFERRED" && ModuleLineHolds(line, RECORDS, LENGTH);
    PrintPass("load", RECORDS, load, loaded ? nullptr : result.c_str());

    // Unload: the same window, starting record 0, 200 records.
    before = ModuleLineCounts(line);
    ConsoleRecordInput("\rBENCHOUT\r\r0\r200\ry");
    ActionBegin();
    UnloadDataFile(1);
    needed.clear();
    for (int r = 0; r < RECORDS; r++)
        NeedRead(&needed, status, LENGTH, r == 0, true, false);
    NeedIdle(&needed, status, LENGTH);
    PassFigures unload = MeasurePass(line, ModuleLineTake(line), status, LENGTH, needed, before);
    result = ConsoleResultLine();
    bool unloaded = result == "200 RECORDS TRANSFERRED" && ReadFile("BENCHOUT.HEX") == HexData();
    PrintPass("unload", RECORDS, unload, unloaded ? nullptr : result.c_str());

    ScreenExit();
    ConsoleRecordStop();
    unlink("BENCHIN.HEX");
    unlink("BENCHOUT.HEX");
    if (chdir("/") != 0)
        perror("transfer_bench: chdir");
    ModuleLineStop(line);
    delete line;
    return loaded && unloaded ? 0 : 1;
}
