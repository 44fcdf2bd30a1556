// Sequential and keyed load of a data file into a module file, one record at
// a time through one of the file's windows.
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

const char *LoadTitle(bool keyed, int type) {
    static const char *const titles[2][3] = {
        {"SEQUENTIAL HEX FILE LOAD", "SEQUENTIAL BINARY FILE LOAD", "SEQUENTIAL DECIMAL FILE LOAD"},
        {"KEYED HEX FILE LOAD", "KEYED BINARY FILE LOAD", "KEYED DECIMAL FILE LOAD"},
    };
    return titles[keyed ? 1 : 0][type - 1];
}

// Why a write handshake ended the load, or none for a good write.
const char *LoadFailure(HandshakeResult hs) {
    switch (hs) {
    case HS_OK:
        return nullptr;
    case HS_REFUSED:
        return "Record refused by module.";
    case HS_NO_RESET:
        return "Completion bits won't reset.";
    case HS_NO_COMPLETE:
        return "Complete bit won't set.";
    default:
        return ActionEscaped() ? nullptr : ActionReason();
    }
}

// Sends the records of the open data file; the records the module took.
// *why gets the reason the load stopped early (none at end of data or count).
long SendRecords(FILE *f, int type, bool keyed, const ModuleWindow &w, const TransferChoice &c,
                 const char **why) {
    static char failedRead[64];
    DataReader reader = FileReader(f);
    const FileParams &params = g_config.files[c.fileIndex];
    long count = keyed ? 65536 : c.count;
    long number = c.start, records = 0;
    *why = nullptr;
    PassBegin(w);
    while (count > 0 && !ActionEscaped()) {
        // Record numbers end at the file's last record; they never wrap.
        if (!keyed && number > params.maxRecord)
            break;
        if (!ReadDataRecord(&reader, type, w.recordLength, RecordBuffer)) {
            // The end of the data ends the load; a read error is said.
            if (reader.failed) {
                snprintf(failedRead, sizeof failedRead, "Can't read file \"%s\".", c.name);
                *why = failedRead;
            }
            break;
        }
        HandshakeResult hs = LoadWriteHandshake(w, keyed, (uint16_t)number);
        if (hs != HS_OK) {
            *why = LoadFailure(hs);
            break;
        }
        records++;
        ShowTransferCount(records);
        number++;
        count--;
    }
    return records;
}

} // namespace

// Loads a data file of a type (1 hex, 2 binary, 3 decimal) into a module file.
void LoadDataFile(bool keyed, int type) {
    if (type < TYPE_HEX || type > TYPE_DEC || !BeginWindowAccess())
        return;
    TransferChoice c;
    FirstTransferChoice(&c);
    ScreenWindow *window = nullptr;
    bool go = RunTransferForm(keyed ? TF_LOAD_KEYED : TF_LOAD_SEQUENTIAL, type,
                              LoadTitle(keyed, type), &c, &window);
    ModuleWindow w;
    FILE *f = nullptr;
    if (go && !FileWindow(c.fileIndex, c.windowIndex, &w)) {
        go = false; // FileWindow has said why; nothing is sent to a file without windows
    } else if (go && w.recordLength < 1) {
        ShowErrorF("File %d has no records to load.", c.fileIndex + 1);
        go = false;
    } else if (go && c.name[0] == '\0') {
        ShowError("No data file was chosen.");
        go = false;
    } else if (go && !Confirm("Proceed with load?")) {
        DeclineTransfer(&window);
        return;
    } else if (go && !(f = OpenFile(c.name, "rb"))) {
        ShowErrorF("Can't open file \"%s\" for read.", c.name);
        go = false;
    }
    if (!go) {
        AbortTransfer(&window);
        return;
    }
    PutField("    0 records transferred.", 12, 20, 0, ' ', 0);
    const char *why = nullptr;
    long records = SendRecords(f, type, keyed, w, c, &why);
    fclose(f);
    EndTransfer(&window, records, why);
}
