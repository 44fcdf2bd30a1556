// Unload of a module file's records into a data file, read one at a time
// through one of the file's windows.
#include "configurator/actions.h"
#include "configurator/config_model.h"
#include "configurator/data_codec.h"
#include "configurator/dialogs.h"
#include "configurator/module_access.h"
#include "configurator/transfer_form.h"
#include "platform/files.h"
#include "screen/screen.h"

#include <cstdio>

namespace {

const char *UnloadTitle(int type) {
    static const char *const titles[] = {"HEX FILE UNLOAD", "BINARY FILE UNLOAD",
                                         "DECIMAL FILE UNLOAD"};
    return titles[type - 1];
}

// Reads the records into the open output file; the records written. *why
// gets the reason the pass stopped early (none when the records ran out or
// the count was reached).
long ReadRecords(FILE *out, int type, const ModuleWindow &w, const TransferChoice &c,
                 const char **why) {
    static char failedWrite[64];
    long count = c.count, records = 0;
    bool first = true;
    *why = nullptr;
    PassBegin(w);
    while (count > 0 && !ActionEscaped()) {
        uint16_t found = 0;
        HandshakeResult hs = ReadRecordHandshake(w, first, (uint16_t)c.start, POLL_LIMIT, &found);
        if (hs == HS_NOT_FOUND) {
            // An empty starting record: the pass goes on with the next one.
            if (!first)
                break;
            first = false;
            continue;
        }
        first = false;
        if (hs != HS_OK) {
            // Only whole records read from the module reach the file.
            if (hs == HS_NO_RESET)
                *why = "Command bits won't reset.";
            else if (hs == HS_NO_COMPLETE)
                *why = "Complete bit won't set.";
            else if (!ActionEscaped())
                *why = ActionReason();
            break;
        }
        // Each record is flushed, so the count shown is what the file holds.
        if (!WriteDataRecord(out, type, w.recordLength, RecordBuffer) || fflush(out) != 0) {
            snprintf(failedWrite, sizeof failedWrite, "Can't write file \"%s\".", c.name);
            *why = failedWrite;
            break;
        }
        records++;
        ShowTransferCount(records);
        count--;
    }
    return records;
}

} // namespace

// Unloads a module file to a data file of a type (1 hex, 2 binary, 3 decimal).
void UnloadDataFile(int type) {
    if (type < TYPE_HEX || type > TYPE_DEC || !BeginWindowAccess())
        return;
    TransferChoice c;
    FirstTransferChoice(&c);
    ScreenWindow *window = nullptr;
    bool go = RunTransferForm(TF_UNLOAD, type, UnloadTitle(type), &c, &window);
    ModuleWindow w;
    FILE *out = nullptr;
    if (go && !FileWindow(c.fileIndex, c.windowIndex, &w)) {
        go = false; // FileWindow has said why; no command goes to a file without windows
    } else if (go && (w.recordLength < 1 || w.recordLength > MAX_RECORD_LENGTH)) {
        ShowErrorF("File %d has no records to unload.", c.fileIndex + 1);
        go = false;
    } else if (go && c.name[0] == '\0') {
        ShowError("No data file was chosen.");
        go = false;
    } else if (go && !Confirm("Proceed with unload?")) {
        DeclineTransfer(&window);
        return;
    } else if (go && !(out = OpenFile(c.name, "wb"))) {
        ShowErrorF("Can't open file \"%s\" for write.", c.name);
        go = false;
    }
    if (!go) {
        AbortTransfer(&window);
        return;
    }
    PutField("    0 records found.", 12, 20, 0, ' ', 0);
    const char *why = nullptr;
    long records = ReadRecords(out, type, w, c, &why);
    static char failedClose[64];
    if (fclose(out) != 0 && !why) {
        snprintf(failedClose, sizeof failedClose, "Can't write file \"%s\".", c.name);
        why = failedClose;
    }
    EndTransfer(&window, records, why);
}
