// The setup record: its defaults, its 40 bytes in the setup file, the start
// directory the file lives in, and the module register addressing rule.
#include "configurator/setup.h"

#include "platform/files.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

SetupRecord g_setup;
CommHandle *g_handle;

namespace {

std::string start_directory = ".";

// Words of the record in file order; the route takes nine.
constexpr int SETUP_WORDS = SETUP_RECORD_BYTES / 2;

// Highest good value of each table-index word (-1: any value).
struct FieldLimit {
    int word;
    int highest;
};
const FieldLimit field_limits[] = {
    {0, CONN_SYLINK_NET_TO_NET}, // connection type
    {1, 3},                      // port: COM1: to COM4:
    {2, 9},                      // Sy/Link base address
    {3, 15},                     // baud rate index
    {4, 1},                      // data bits
    {5, 1},                      // stop bits
    {6, 2},                      // parity
    {7, ROUTE_MAX_DROPS},        // route length
    {16, 3},                     // Sy/Net speed
    {17, 1},                     // Sy/Net size
    {18, VIA_PLC_PORT},          // connected via
};

uint16_t *record_word(SetupRecord *s, int word) {
    switch (word) {
    case 0:
        return &s->connectionType;
    case 1:
        return &s->port;
    case 2:
        return &s->baseAddress;
    case 3:
        return &s->baud;
    case 4:
        return &s->dataBits;
    case 5:
        return &s->stopBits;
    case 6:
        return &s->parity;
    case 16:
        return &s->synetSpeed;
    case 17:
        return &s->synetSize;
    case 18:
        return &s->connectedVia;
    case 19:
        return &s->rackAddress;
    default:
        return &s->route[word - 7]; // words 7 to 15: the route
    }
}

uint16_t le_word(const uint8_t *p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

} // namespace

// The default record: Sy/Max on COM1: at 9600, 8 data bits, 1 stop bit, even parity.
void SetupDefaults(SetupRecord *s) {
    memset(s, 0, sizeof *s);
    s->connectionType = CONN_SYMAX;
    s->port = 0;
    s->baud = 13;
    s->dataBits = 1;
    s->stopBits = 0;
    s->parity = 1;
    s->connectedVia = VIA_FRONT_PANEL;
    s->rackAddress = 1;
}

// The record as twenty little-endian words.
void SetupEncode(const SetupRecord *s, uint8_t out[SETUP_RECORD_BYTES]) {
    SetupRecord copy = *s;
    for (int w = 0; w < SETUP_WORDS; w++) {
        uint16_t v = *record_word(&copy, w);
        out[2 * w] = (uint8_t)(v & 0xFF);
        out[2 * w + 1] = (uint8_t)(v >> 8);
    }
}

// Stores each good field of the 40 bytes into *s; returns the bad ones.
int SetupDecodeFields(const uint8_t in[SETUP_RECORD_BYTES], SetupRecord *s) {
    SetupRecord read;
    for (int w = 0; w < SETUP_WORDS; w++)
        *record_word(&read, w) = le_word(in + 2 * w);
    bool good[SETUP_WORDS];
    for (bool &g : good)
        g = true;
    int bad = 0;
    for (const FieldLimit &f : field_limits) {
        if (*record_word(&read, f.word) > f.highest) {
            good[f.word] = false;
            bad++;
        }
    }
    // The drops stand or fall with the route length that counts them.
    for (int w = 8; w <= 15; w++)
        good[w] = good[7];
    for (int w = 0; w < SETUP_WORDS; w++)
        if (good[w])
            *record_word(s, w) = *record_word(&read, w);
    return bad;
}

// Reads the 40 bytes into *s when every field is good.
int SetupDecode(const uint8_t in[SETUP_RECORD_BYTES], SetupRecord *s) {
    SetupRecord read;
    SetupDefaults(&read);
    if (SetupDecodeFields(in, &read) != 0)
        return 0;
    *s = read;
    return 1;
}

// Remembers the start directory ("" keeps the current one, ".").
void SetStartDirectory(const std::string &dir) {
    start_directory = dir.empty() ? "." : dir;
}

const std::string &StartDirectory(void) {
    return start_directory;
}

// The path of a name in the start directory.
std::string StartPath(const char *name) {
    return start_directory + "/" + name;
}

// Reads the setup file into *s, defaults first and the good fields over them.
SetupFileResult ReadSetupFile(SetupRecord *s) {
    SetupDefaults(s);
    FILE *f = OpenFile(StartPath(SETUP_FILE_NAME).c_str(), "rb");
    if (!f)
        return SETUP_MISSING;
    uint8_t bytes[SETUP_RECORD_BYTES];
    size_t got = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    if (got != sizeof bytes)
        return SETUP_UNREADABLE;
    return SetupDecodeFields(bytes, s) == 0 ? SETUP_GOOD : SETUP_UNREADABLE;
}

// Writes the record to the setup file; false with the reason shown.
bool WriteSetupFile(const SetupRecord *s) {
    uint8_t bytes[SETUP_RECORD_BYTES];
    SetupEncode(s, bytes);
    FILE *f = OpenFile(StartPath(SETUP_FILE_NAME).c_str(), "wb");
    if (!f) {
        ShowError("Can't open setup file");
        return false;
    }
    bool whole = fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    // A write the system only refuses at close is as short as any other.
    if (fclose(f) != 0)
        whole = false;
    if (!whole) {
        ShowError("Can't save setup file");
        return false;
    }
    return true;
}

// Reads the setup file and opens the link, or says why not and runs the dialogue.
void LoadSetupAtStart(void) {
    g_handle = nullptr;
    switch (ReadSetupFile(&g_setup)) {
    case SETUP_GOOD:
        EstablishLink();
        return;
    case SETUP_MISSING:
        ShowError("Can't locate setup file.");
        break;
    case SETUP_UNREADABLE:
        ShowError("Can't read setup file. Use SETUP to change it");
        break;
    }
    SetupDialog();
}

// The register number on the link of a zero-based module offset.
int ModuleRegisterNumber(int offset) {
    return g_setup.connectedVia == VIA_PLC_PORT ? offset + g_setup.rackAddress : offset + 1;
}
