// "Backup module to disk": the whole module, configuration, records and
// lock register, to a ".740" file.
//
// A backup is written to a scratch file beside the chosen one and renamed
// over it only once every record and the lock value are in, so a backup that
// fails never leaves a file under the chosen name that looks whole, and an
// older backup of that name survives it.
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
#include <string>
#include <vector>

namespace {

// The file a backup is being written to.
struct BackupOut {
    FILE *f;
    std::string name;    // as chosen, with ".740"
    std::string real;    // the file on disk it replaces (or creates)
    std::string scratch; // where it is written meanwhile
};

// Writes bytes to the scratch file; false when the write is short.
bool WriteOut(BackupOut *o, const std::vector<uint8_t> &bytes) {
    return fwrite(bytes.data(), 1, bytes.size(), o->f) == bytes.size();
}

// Picks the backup's name and opens its scratch file; false when the user
// left the picker.
bool PickBackupTarget(BackupOut *o) {
    for (;;) {
        if (!PickFile(11, 37, "*.740", g_fileName, 1))
            return false;
        o->name = std::string(g_fileName) + ".740";
        if (FileExists(o->name.c_str()) && !Confirm("File exists, overwrite it?"))
            continue;
        MapFileName(o->name.c_str(), o->real);
        o->scratch = o->real + ".part";
        o->f = fopen(o->scratch.c_str(), "wb");
        if (o->f)
            return true;
        ShowErrorF("Can't open file \"%s\" for write.", o->name.c_str());
    }
}

// Shows why a read handshake of a backup did not give a record (nothing
// for ESC: the result line says it).
void ShowReadFailure(HandshakeResult hs) {
    if (ActionEscaped())
        return;
    if (hs == HS_NO_RESET)
        ShowError("Command bits won't reset.");
    else if (hs == HS_NO_COMPLETE)
        ShowError("Complete bit won't set.");
    else if (ActionFailed())
        ShowActionReason();
    else
        ShowError("Read refused by the module.");
}

// Reads the records of one file through window w and writes its list; false
// once something failed. A failure ends the pass (the window put back to
// idle) before its message is shown, so no command stands in the window
// while the message waits. Record numbers must rise and stay within the
// file, so a module whose read-next never reports the end is caught after at
// most maxRecord + 1 entries.
bool BackupPass(BackupOut *o, uint32_t file, const ModuleWindow &w) {
    const FileParams &f = g_config.files[file];
    std::vector<uint8_t> bytes;
    bool first = true;
    long last = -1;
    for (;;) {
        if (ActionEscaped())
            return false;
        PutFieldF("Backing up file: %u, record %lu", 12, 22, 35, ' ', 0, file + 1,
                  (unsigned long)(last < 0 ? 0 : last));
        uint16_t found = 0;
        HandshakeResult hs = ReadRecordHandshake(w, first, 0, POLL_LIMIT_LONG, &found);
        bytes.clear();
        if (hs == HS_OK && found > f.maxRecord) {
            PassEnd();
            ShowErrorF("File %u: the module gave record %u, beyond record %u.", file + 1, found,
                       f.maxRecord);
            return false;
        }
        if (hs == HS_OK && (long)found <= last) {
            PassEnd();
            ShowErrorF("File %u: the module gave record %u after record %ld.", file + 1, found,
                       last);
            return false;
        }
        if (hs == HS_OK) {
            BackupPutEntry(bytes, found, RecordBuffer, f.recordLength);
            last = found;
        } else if (hs == HS_NOT_FOUND) {
            // After the first read nothing found only means record 0 is empty.
            if (!first)
                BackupPutEndMark(bytes);
        } else {
            PassEnd();
            ShowReadFailure(hs);
            return false;
        }
        // Every record leaves the command register at 0.
        if (!WindowIdle(w)) {
            PassEnd();
            ShowReadFailure(HS_FAILED);
            return false;
        }
        if (!bytes.empty() && !WriteOut(o, bytes)) {
            PassEnd();
            ShowError("Can't write disk file");
            return false;
        }
        if (hs == HS_NOT_FOUND && !first)
            return PassEnd();
        first = false;
    }
}

// Reads every record of one file through its last window and writes the
// file's list; false once something failed (already shown).
bool BackupFileRecords(BackupOut *o, uint32_t file) {
    const FileParams &f = g_config.files[file];
    PutFieldF("Backing up file: %u", 12, 22, 35, ' ', 0, file + 1);
    // A file without windows cannot be read; its list is empty.
    if (f.windowCount == 0) {
        std::vector<uint8_t> bytes;
        BackupPutEndMark(bytes);
        if (WriteOut(o, bytes))
            return true;
        ShowError("Can't write disk file");
        return false;
    }
    ModuleWindow w;
    if (!FileWindow((int)file, f.windowCount - 1, &w))
        return false;
    PassBegin(w);
    bool ok = BackupPass(o, file, w);
    // The pass has ended on every path; one that ended without a word (ESC)
    // still puts the window back.
    return PassEnd() && ok;
}

// Writes the configuration, every file's records and, via the front panel,
// the lock value; false once something failed (already shown).
bool WriteBackup(BackupOut *o) {
    std::vector<uint8_t> bytes;
    PutField("Backing up configuration", 12, 22, 35, ' ', 0);
    BackupPutHeader(bytes, g_config);
    if (!WriteOut(o, bytes)) {
        ShowError("Can't write congiguration to backup file.");
        return false;
    }
    for (uint32_t i = 0; i < g_config.fileCount; i++)
        if (!BackupFileRecords(o, i))
            return false;
    if (g_setup.connectedVia != VIA_FRONT_PANEL)
        return true;
    // A lock value that was not read is not stored: a restore would write it.
    uint16_t lock;
    if (!ReadModuleRegister(OFFSET_LOCK, &lock)) {
        if (!ActionEscaped())
            ShowErrorF("Can't read lock register. %s", ActionReason());
        return false;
    }
    bytes.clear();
    BackupPutLock(bytes, lock);
    if (!WriteOut(o, bytes)) {
        ShowError("Can't write disk file");
        return false;
    }
    return true;
}

// Closes the scratch file and puts it under the chosen name when ok; a
// failed backup leaves no file of its own behind.
bool FinishBackup(BackupOut *o, bool ok) {
    if (fclose(o->f) != 0 && ok) {
        ShowError("Can't write disk file");
        ok = false;
    }
    if (ok && !RenameOver(o->scratch.c_str(), o->real.c_str())) {
        ShowErrorF("Can't write file \"%s\".", o->name.c_str());
        ok = false;
    }
    if (!ok)
        remove(o->scratch.c_str());
    return ok;
}

} // namespace

void BackupModule(void) {
    if (!BeginWindowAccess())
        return;
    ScreenWindow *win = OpenBackupDialog("BACKUP MODULE TO DISK", "File to write:");
    BackupOut o;
    if (!PickBackupTarget(&o)) {
        CloseWindow(&win);
        EndWindowAccess();
        return;
    }
    bool ok = WriteBackup(&o);
    ok = FinishBackup(&o, ok);
    CloseWindow(&win);
    if (ok)
        ShowSuccess("BACKUP SUCCESSFUL");
    else
        ShowError(ActionEscaped() ? "BACKUP ABORTED" : "BACKUP FAILED");
    EndWindowAccess();
}
