// "Backup module to disk" and "Restore module from disk": the whole module,
// configuration, records and lock register, to and from a ".740" file.
//
// A backup is written to a scratch file beside the chosen one and renamed
// over it only once every record and the lock value are in, so a backup that
// fails never leaves a file under the chosen name that looks whole, and an
// older backup of that name survives it. A restore reads the whole file and
// looks it over before it sends the configuration, which erases the module:
// a damaged file is refused while the module still holds its records.
#include "configurator/actions.h"
#include "configurator/backup_file.h"
#include "configurator/dialogs.h"
#include "configurator/fetch_send.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "configurator/transfer_form.h"
#include "platform/files.h"
#include "screen/picker.h"
#include "screen/screen.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Set once ESC has ended the backup or restore.
bool escaped;

// True when the user pressed ESC during the pass: in a reply wait, or
// typed since. The keys waiting are dropped, so that the ESC does not also
// close the message that follows.
bool Escaped(void) {
    if (!TransferEscaped())
        return false;
    DropWaitingKeys();
    escaped = true;
    return true;
}

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

// The dialogue's window with its caption.
ScreenWindow *OpenFileDialog(const char *title, const char *caption) {
    ClearToEndOfLine(10, 1);
    ScreenWindow *win = OpenWindow(10, 20, 13, 58, title);
    PutField(caption, 11, 22, 0, ' ', 0);
    return win;
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
    if (Escaped())
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

// Reads every record of one file through its last window and writes the
// file's list; false once something failed (already shown). Record numbers
// must rise and stay within the file, so a module whose read-next never
// reports the end is caught after at most maxRecord + 1 entries.
bool BackupFileRecords(BackupOut *o, uint32_t file) {
    const FileParams &f = g_config.files[file];
    std::vector<uint8_t> bytes;
    PutFieldF("Backing up file: %u", 12, 22, 35, ' ', 0, file + 1);
    // A file without windows cannot be read; its list is empty.
    if (f.windowCount == 0) {
        BackupPutEndMark(bytes);
        if (WriteOut(o, bytes))
            return true;
        ShowError("Can't write disk file");
        return false;
    }
    ModuleWindow w;
    if (!FileWindow((int)file, f.windowCount - 1, &w))
        return false;
    bool first = true;
    long last = -1;
    for (;;) {
        if (Escaped())
            return false;
        PutFieldF("Backing up file: %u, record %lu", 12, 22, 35, ' ', 0, file + 1,
                  (unsigned long)(last < 0 ? 0 : last));
        uint16_t found = 0;
        HandshakeResult hs = ReadRecordHandshake(w, first, 0, POLL_LIMIT_LONG, &found);
        bytes.clear();
        if (hs == HS_OK) {
            if (found > f.maxRecord) {
                ShowErrorF("File %u: the module gave record %u, beyond record %u.", file + 1, found,
                           f.maxRecord);
                return false;
            }
            if ((long)found <= last) {
                ShowErrorF("File %u: the module gave record %u after record %ld.", file + 1, found,
                           last);
                return false;
            }
            BackupPutEntry(bytes, found, RecordBuffer, f.recordLength);
            last = found;
        } else if (hs == HS_NOT_FOUND) {
            // After the first read nothing found only means record 0 is empty.
            if (!first)
                BackupPutEndMark(bytes);
        } else {
            ShowReadFailure(hs);
            return false;
        }
        if (!bytes.empty() && !WriteOut(o, bytes)) {
            ShowError("Can't write disk file");
            return false;
        }
        // The next read starts by writing 0 to the command register itself;
        // only the end of the pass leaves the window idle here.
        if (hs == HS_NOT_FOUND && !first) {
            if (!WindowIdle(w)) {
                ShowReadFailure(HS_FAILED);
                return false;
            }
            return true;
        }
        first = false;
    }
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
        if (!Escaped())
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
    escaped = false;
    if (!BeginWindowAccess())
        return;
    ScreenWindow *win = OpenFileDialog("BACKUP MODULE TO DISK", "File to write:");
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
        ShowError(escaped ? "BACKUP ABORTED" : "BACKUP FAILED");
    EndWindowAccess();
}

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
    case BS_TRAILING:
        ShowError("Backup file has data after its lock value.");
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
    if (Escaped())
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

// Writes back one file's list of records through its last window; false
// once something failed (already shown).
bool RestoreFileRecords(BackupReader *r, uint32_t file) {
    const FileParams &f = g_config.files[file];
    PutFieldF("Restoring file: %u", 12, 22, 30, ' ', 0, file + 1);
    ModuleWindow w = {0, f.recordLength};
    bool windowed = f.windowCount > 0;
    if (windowed && !FileWindow((int)file, f.windowCount - 1, &w))
        return false;
    for (;;) {
        if (Escaped())
            return false;
        uint32_t number;
        if (!BackupGetNumber(r, &number)) {
            ShowError("Can't read file.");
            return false;
        }
        if (number >= BACKUP_END_MARK)
            break;
        PutFieldF("Restoring file: %u, record %lu", 12, 22, 35, ' ', 0, file + 1,
                  (unsigned long)number);
        if (!windowed || number > BACKUP_HIGHEST_RECORD || f.recordLength > RECORD_BUFFER_WORDS ||
            !BackupGetImage(r, f.recordLength, RecordBuffer)) {
            ShowError("Can't read file.");
            return false;
        }
        HandshakeResult hs = RestoreWriteHandshake(w, (uint16_t)number);
        if (hs != HS_OK) {
            ShowWriteFailure(hs, file, number);
            return false;
        }
    }
    if (windowed && !WindowIdle(w)) {
        ShowWriteFailure(HS_FAILED, file, 0);
        return false;
    }
    return true;
}

// Sends the configuration, the records and the lock value; false once
// something failed (already shown).
bool RestoreBackup(BackupReader *r, const BackupScan &scan) {
    if (!SendConfig(false, false)) {
        if (!Escaped())
            ShowError("Couldn't load configuration.");
        return false;
    }
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

} // namespace

void RestoreModule(void) {
    escaped = false;
    SaveSpareImage();
    ScreenWindow *win = OpenFileDialog("RESTORE MODULE FROM DISK", "File to read:");
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
        bool ok = RestoreBackup(&r, scan);
        CloseWindow(&win);
        if (ok)
            ShowSuccess("RESTORE SUCCESSFUL");
        else
            ShowError(escaped ? "RESTORE ABORTED" : "RESTORE FAILED");
        ValidateConfig(false);
    }
    CloseWindow(&win);
    RestoreSpareImage();
}
