// ".VRX" configuration files: their bytes, and the load and save dialogues.
#include "configurator/config_files.h"

#include "configurator/actions.h"
#include "configurator/dialogs.h"
#include "platform/files.h"
#include "screen/picker.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

namespace {

void put16(std::vector<uint8_t> &out, uint16_t v) {
    out.push_back((uint8_t)(v & 0xFF));
    out.push_back((uint8_t)(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v) {
    put16(out, (uint16_t)(v & 0xFFFF));
    put16(out, (uint16_t)(v >> 16));
}

uint16_t get16(const uint8_t *p) {
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t *p) {
    return (uint32_t)get16(p) | (uint32_t)get16(p + 2) << 16;
}

// Twenty words of a current record into f.
void decode_record(const uint8_t *p, FileParams *f) {
    f->recordLength = get16(p);
    f->windowCount = get16(p + 2);
    f->maxRecord = get16(p + 4);
    f->keyLength = get16(p + 6);
    for (int w = 0; w < MAX_WINDOWS; w++)
        f->windowOffset[w] = get16(p + 8 + 2 * w);
}

// Twelve words of an old record into o.
void decode_old_record(const uint8_t *p, OldFileParams *o) {
    o->recordLength = get16(p);
    o->windowCount = get16(p + 2);
    o->maxRecord = get16(p + 4);
    o->keyLength = get16(p + 6);
    for (int w = 0; w < OLD_MAX_WINDOWS; w++)
        o->windowOffset[w] = get16(p + 8 + 2 * w);
}

} // namespace

std::vector<uint8_t> EncodeConfigFile(const ModuleConfig *c) {
    // The table holds 292 records; a count above that was never valid and is
    // written as the records there are.
    uint32_t count = c->fileCount > MAX_FILES ? MAX_FILES : c->fileCount;
    std::vector<uint8_t> out;
    out.reserve(CONFIG_HEADER_BYTES + count * CONFIG_RECORD_BYTES);
    put16(out, CONFIG_FILE_MAGIC);
    put32(out, count);
    for (uint32_t i = 0; i < count; i++) {
        const FileParams *f = &c->files[i];
        put16(out, f->recordLength);
        put16(out, f->windowCount);
        put16(out, f->maxRecord);
        put16(out, f->keyLength);
        for (int w = 0; w < MAX_WINDOWS; w++)
            put16(out, f->windowOffset[w]);
    }
    return out;
}

ConfigFileResult DecodeConfigFile(const uint8_t *data, size_t size, ModuleConfig *out) {
    if (size < CONFIG_HEADER_BYTES)
        return CFG_SHORT;
    uint16_t magic = get16(data);
    uint32_t count = get32(data + 2);
    if (magic != CONFIG_FILE_MAGIC && magic != OLD_CONFIG_FILE_MAGIC)
        return CFG_BAD_MAGIC;
    // The count is judged before a single record is looked at.
    if (count > MAX_FILES)
        return CFG_TOO_MANY;
    size_t recordBytes = magic == CONFIG_FILE_MAGIC ? CONFIG_RECORD_BYTES : OLD_CONFIG_RECORD_BYTES;
    if (size - CONFIG_HEADER_BYTES < count * recordBytes)
        return CFG_SHORT;

    // Everything goes into a scratch image first, so the caller's image only
    // ever sees a whole file.
    ModuleConfig scratch;
    memcpy(&scratch, out, sizeof scratch);
    const uint8_t *p = data + CONFIG_HEADER_BYTES;
    if (magic == CONFIG_FILE_MAGIC) {
        scratch.fileCount = count;
        for (uint32_t i = 0; i < count; i++)
            decode_record(p + i * CONFIG_RECORD_BYTES, &scratch.files[i]);
    } else {
        OldFileParams old[MAX_FILES];
        for (uint32_t i = 0; i < count; i++)
            decode_old_record(p + i * OLD_CONFIG_RECORD_BYTES, &old[i]);
        ConvertOldRecords(old, count, &scratch);
    }
    memcpy(out, &scratch, sizeof scratch);
    return magic == CONFIG_FILE_MAGIC ? CFG_OK : CFG_OK_OLD;
}

namespace {

// The chosen base name with ".VRX" behind it.
void vrx_name(char *name, size_t size) {
    snprintf(name, size, "%s.VRX", g_fileName);
}

// Reads the file's bytes (no more than a full configuration file can hold);
// false when it cannot be opened.
bool read_config_bytes(const char *name, std::vector<uint8_t> &bytes) {
    FILE *f = OpenFile(name, "rb");
    if (!f)
        return false;
    // One byte past the largest file is enough to tell a bounded read from a
    // whole one; what lies beyond the records is never looked at.
    bytes.resize(CONFIG_FILE_MAX_BYTES + 1);
    size_t got = fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(got);
    fclose(f);
    return true;
}

// Writes the bytes and closes the file; false when any of it did not reach the disk.
bool write_config_bytes(FILE *f, const std::vector<uint8_t> &bytes) {
    bool whole = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0)
        whole = false;
    return whole;
}

} // namespace

bool LoadConfigFile(void) {
    ScreenWindow *w = OpenWindow(10, 20, 13, 58, "LOAD CONFIGURATION FROM DISK");
    PutField("File to read:", 11, 22, 0, ' ', 0);
    bool loaded = false;
    while (PickFile(11, 36, "*.VRX", g_fileName, 1)) {
        char name[32];
        vrx_name(name, sizeof name);
        std::vector<uint8_t> bytes;
        if (!read_config_bytes(name, bytes)) {
            ShowErrorF("Can't open file \"%s\" for read.", name);
            continue;
        }
        ConfigFileResult r = DecodeConfigFile(bytes.data(), bytes.size(), &g_config);
        if (r != CFG_OK && r != CFG_OK_OLD) {
            ShowError("Can't read disk file.");
            break;
        }
        // A configuration that does not fit stays, corrected, for the user
        // to see; another file may be picked.
        if (ValidateConfig(false)) {
            loaded = true;
            break;
        }
    }
    CloseWindow(&w);
    return loaded;
}

void SaveConfigFile(void) {
    ScreenWindow *w = OpenWindow(10, 20, 13, 58, "SAVE CONFIGURATION TO DISK");
    PutField("File to write:", 11, 22, 0, ' ', 0);
    while (PickFile(11, 37, "*.VRX", g_fileName, 1)) {
        char name[32];
        vrx_name(name, sizeof name);
        if (FileExists(name) && !Confirm("File exists, overwrite it?"))
            continue;
        FILE *f = OpenFile(name, "wb");
        if (!f) {
            ShowErrorF("Can't open file \"%s\" for write.", name);
            continue;
        }
        if (!write_config_bytes(f, EncodeConfigFile(&g_config)))
            ShowError("Can't write to disk file.");
        break;
    }
    CloseWindow(&w);
}
