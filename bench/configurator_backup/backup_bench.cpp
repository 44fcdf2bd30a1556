// Backup and restore of a module holding 200 records of length 10, run as the
// user runs them (the file picker answered from the type-ahead, on the
// recording console), over a pty cable paced at 19200 baud to the simulated
// module. Prints records per second, the window transactions made against
// the ones the window protocol needs, and the record pass's time against the
// line's limit for both. The fetch before the backup and the configuration
// sent before the restore are left out: only the record pass is timed.
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

// Bytes in a file, -1 when it cannot be opened.
long FileSize(const char *name) {
    FILE *f = fopen(name, "rb");
    if (!f)
        return -1;
    long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    fclose(f);
    return size;
}

// Fills file 1 with records 0 to 199, or empties it.
void FillModule(ModuleLine *line, bool fill) {
    ModuleLineWith(line, [&](ModuleLine *l) {
        auto &records = l->module.files[0].records;
        records.clear();
        for (int r = 0; fill && r < RECORDS; r++) {
            std::vector<uint16_t> image(LENGTH);
            for (int i = 0; i < LENGTH; i++)
                image[size_t(i)] = BenchWord(r, i);
            records[r] = image;
        }
    });
}

// The status register of file 1's last window.
unsigned LastWindow(ModuleLine *line) {
    unsigned status = 0;
    ModuleLineWith(line, [&](ModuleLine *l) {
        for (const vrx740::WindowState &w : l->module.windows)
            if (w.file == 0)
                status = unsigned(w.start);
    });
    return status;
}

} // namespace

int main() {
    ModuleLine *line = new ModuleLine;
    std::string error;
    if (!ModuleLineStart(line, BAUD, true, &error)) {
        fprintf(stderr, "backup_bench: %s\n", error.c_str());
        return 1;
    }
    bool configured = false;
    ModuleLineWith(line, [&](ModuleLine *l) {
        configured = vrx740::ModuleConfigure(&l->module, {{LENGTH, 1, HIGHEST, 0}}, &error);
    });
    if (!configured || chdir(line->dir.c_str()) != 0) {
        fprintf(stderr, "backup_bench: cannot prepare the module %s\n", error.c_str());
        ModuleLineStop(line);
        return 1;
    }
    FillModule(line, true);
    SetupDefaults(&g_setup);
    ConsoleRecordStart();
    ScreenInit();

    printf("Module of one file, %d records of length %d, over a pty cable at %d baud\n", RECORDS,
           LENGTH, BAUD);
    PrintPassHeader();
    // Backup: the name typed into the picker.
    unsigned status = LastWindow(line);
    ModuleLineTake(line);
    LinkCounts before = ModuleLineCounts(line);
    ConsoleRecordInput("BENCH\r");
    ActionBegin();
    BackupModule();
    std::vector<Transaction> needed;
    for (int r = 0; r < RECORDS; r++)
        NeedRead(&needed, status, LENGTH, r == 0, true, true);
    NeedRead(&needed, status, LENGTH, false, false, true); // the read-next that ends the file
    PassFigures backup = MeasurePass(line, ModuleLineTake(line), status, LENGTH, needed, before);
    std::string result = ConsoleResultLine();
    // Magic, file count, one file's parameters, the entries, end mark, lock.
    long size = FileSize("BENCH.740"), whole = 2 + 4 + 40 + RECORDS * (4 + 2 * LENGTH) + 4 + 4;
    bool backedUp = result == "BACKUP SUCCESSFUL" && size == whole;
    char why[96];
    snprintf(why, sizeof why, "%s, %ld bytes written of %ld", result.c_str(), size, whole);
    PrintPass("backup", RECORDS, backup, backedUp ? nullptr : why);

    // Restore onto an emptied module: the configuration goes first (not
    // timed), then the records through the last window.
    FillModule(line, false);
    before = ModuleLineCounts(line);
    ConsoleRecordInput("BENCH\r");
    ActionBegin();
    RestoreModule();
    std::vector<Transaction> log = ModuleLineTake(line);
    status = LastWindow(line);
    needed.clear();
    for (int r = 0; r < RECORDS; r++)
        NeedWrite(&needed, status, LENGTH, true, true);
    NeedIdle(&needed, status, LENGTH); // the end of the file's list
    PassFigures restore = MeasurePass(line, log, status, LENGTH, needed, before);
    result = ConsoleResultLine();
    bool restored = result == "RESTORE SUCCESSFUL" && ModuleLineHolds(line, RECORDS, LENGTH);
    snprintf(why, sizeof why, "%s, but the module does not hold the records backed up",
             result.c_str());
    PrintPass("restore", RECORDS, restore, restored ? nullptr : why);

    ScreenExit();
    ConsoleRecordStop();
    unlink("BENCH.740");
    if (chdir("/") != 0)
        perror("backup_bench: chdir");
    ModuleLineStop(line);
    delete line;
    return backedUp && restored ? 0 : 1;
}
