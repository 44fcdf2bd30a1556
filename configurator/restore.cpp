// "Restore module from disk": a ".740" file's configuration, records and
// lock register sent back to the module.
//
// A restore reads the whole file and looks it over before it sends the
// configuration, which erases the module: a damaged file is refused while the
// module still holds its records.
#include "configurator/actions.h"
#include "configurator/backup_file.h"
#include "configurator/dialogs.h"
#include "configurator/fetch_send.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "platform/files.h"
#include "screen/picker.h"
#include "screen/screen.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Reads a whole file into memory; false on a read error or a file too big
// to be a backup.
bool ReadWholeFile(FILE *f, std::vector<uint8_t> &out) {
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (out.size() + n > BACKUP_MAX_BYTES)
            return false;
        out.insert(out.end(), chunk, chunk + n);
    }
    return !ferror(f);
}

// Picks a backup file and reads it; false when the user left the picker.
bool PickBackupSource(std::vector<uint8_t> &data, bool *readable) {
    for (;;) {
        if (!PickFile(11, 36, "*.740", g_fileName, 1))
            return false;
        std::string name = std::string(g_fileName) + ".740";
        FILE *f = OpenFile(name.c_str(), "rb");
        if (!f) {
            ShowErrorF("Can't open file \"%s\" for read.", name.c_str());
            continue;
        }
        data.clear();
        *readable = ReadWholeFile(f, data);
        fclose(f);
        return true;
    }
}

// Decodes and looks over the whole file; false (already shown) when it
// cannot be restored. Nothing has been sent to the module at this point.
// *damaged tells a file whose records are cut short or wrong from one that
// is no backup at all.
bool CheckBackupFile(BackupReader *r, ModuleConfig *c, BackupScan *scan, bool *damaged) {
    *damaged = false;
    uint32_t count = 0;
    BackupHeaderResult h = BackupGetHeader(r, c, &count);
    if (h == BH_TOO_MANY_FILES) {
        ShowErrorF("Backup file holds %lu files, more than 292.", (unsigned long)count);
        return false;
    }
    if (h == BH_UNREADABLE) {
        ShowError("Can't read disk file.");
        return false;
    }
    *scan = BackupScanRecords(*r, *c);
    *damaged = scan->result != BS_OK;
    switch (scan->result) {
    case BS_OK:
        return true;
    case BS_NO_WINDOW:
        ShowErrorF("File %u has records but no window.", scan->file + 1);
        break;
    case BS_TOO_LONG:
        ShowErrorF("File %u: record length exceeds 2039 registers.", scan->file + 1);
        break;
    case BS_BAD_NUMBER:
        ShowErrorF("Can't read file. File %u holds a record number above 65535.", scan->file + 1);
        break;
    default:
        if (scan->file >= c->fileCount) {
            ShowError("Can't read file. Its lock value is cut short.");
            break;
        }
        ShowErrorF("Can't read file. Records of file %u are cut short.", scan->file + 1);
    }
    return false;
}

// Shows why a restore write handshake did not store a record.
void ShowWriteFailure(HandshakeResult hs, uint32_t file, uint32_t number) {
    if (ActionEscaped())
        return;
    if (hs == HS_NO_RESET)
        ShowError("Completion bits won't reset.");
    else if (hs == HS_NO_COMPLETE)
        ShowError("Complete bit won't set.");
    else if (hs == HS_REFUSED)
        ShowErrorF("File %u: the module refused record %lu.", file + 1, (unsigned long)number);
    else
        ShowActionReason();
}

// Writes back one file's list of records through window w; false once
// something failed. A failure ends the pass (the window put back to idle)
// before its message is shown.
bool RestorePass(BackupReader *r, uint32_t file, const ModuleWindow &w, bool windowed) {
    const FileParams &f = g_config.files[file];
    for (;;) {
        if (ActionEscaped())
            return false;
        uint32_t number;
        if (!BackupGetNumber(r, &number)) {
            PassEnd();
            ShowError("Can't read file.");
            return false;
        }
        if (number >= BACKUP_END_MARK)
            return true;
        PutFieldF("Restoring file: %u, record %lu", 12, 22, 35, ' ', 0, file + 1,
                  (unsigned long)number);
        if (!windowed || number > BACKUP_HIGHEST_RECORD || f.recordLength > RECORD_BUFFER_WORDS ||
            !BackupGetImage(r, f.recordLength, RecordBuffer)) {
            PassEnd();
            ShowError("Can't read file.");
            return false;
        }
        HandshakeResult hs = RestoreWriteHandshake(w, (uint16_t)number);
        if (hs != HS_OK) {
            PassEnd();
            ShowWriteFailure(hs, file, number);
            return false;
        }
    }
}

// Writes back one file's list of records through its last window; false
// once something failed (already shown).
bool RestoreFileRecords(BackupReader *r, uint32_t file) {
    const FileParams &f = g_config.files[file];
    PutFieldF("Restoring file: %u", 12, 22, 30, ' ', 0, file + 1);
    ModuleWindow w = {0, f.recordLength};
    bool windowed = f.windowCount > 0;
    if (windowed && !FileWindow((int)file, f.windowCount - 1, &w))
        return false;
    if (!windowed)
        return RestorePass(r, file, w, false);
    PassBegin(w);
    bool ok = RestorePass(r, file, w, true);
    if (PassEnd() || !ok)
        return ok;
    ShowWriteFailure(HS_FAILED, file, 0);
    return false;
}

// Sends the records and the lock value after the configuration; false
// once something failed (already shown).
bool RestoreRecords(BackupReader *r, const BackupScan &scan) {
    for (uint32_t i = 0; i < g_config.fileCount; i++)
        if (!RestoreFileRecords(r, i))
            return false;
    if (!scan.hasLock)
        return true;
    if (g_setup.connectedVia != VIA_FRONT_PANEL) {
        ShowError("Not front panel connection.  Lock bits not restored.");
        return true;
    }
    if (!WriteModuleRegister(OFFSET_LOCK, scan.lock)) {
        ShowError("COULD NOT ACCESS LOCK REGISTER");
        return false;
    }
    return true;
}

// Sends the configuration now in the PC image, then the records and the
// lock value, and shows the outcome. A configuration the module refused
// has had its words shown by the send; nothing else was written then.
void RestoreSent(BackupReader *r, const BackupScan &scan, ScreenWindow **win) {
    if (!SendConfig(false, false)) {
        ShowError("Couldn't load configuration.");
        return;
    }
    bool ok = RestoreRecords(r, scan);
    CloseWindow(win);
    if (ok)
        ShowSuccess("RESTORE SUCCESSFUL");
    else
        ShowError(ActionEscaped() ? "RESTORE ABORTED" : "RESTORE FAILED");
    ValidateConfig(false);
}

} // namespace

void RestoreModule(void) {
    SaveSpareImage();
    ScreenWindow *win = OpenBackupDialog("RESTORE MODULE FROM DISK", "File to read:");
    std::vector<uint8_t> data;
    bool readable = false;
    if (!PickBackupSource(data, &readable)) {
        CloseWindow(&win);
        RestoreSpareImage();
        return;
    }
    BackupReader r = {data.data(), data.size(), 0};
    auto c = std::make_unique<ModuleConfig>();
    BackupScan scan;
    bool damaged = false;
    if (!readable) {
        ShowError("Can't read disk file.");
    } else if (!CheckBackupFile(&r, c.get(), &scan, &damaged)) {
        if (damaged) {
            CloseWindow(&win);
            ShowError("RESTORE FAILED");
        }
    } else {
        g_config = *c;
        RestoreSent(&r, scan, &win);
    }
    CloseWindow(&win);
    RestoreSpareImage();
}
