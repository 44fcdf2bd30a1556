// The communications setup: the 40-byte setup record and its file
// "VRX740SW.STP", the setup dialogue, the link to the module and the idle
// routine that runs while the link waits, and the module register addressing
// rule every module operation uses.
#pragma once

#include "comm/comm.h" // ROUTE_MAX_DROPS
#include "configurator/state.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int SETUP_RECORD_BYTES = 40;
constexpr const char *SETUP_FILE_NAME = "VRX740SW.STP";

// Connection types.
constexpr int CONN_NONE = 0;
constexpr int CONN_SYMAX = 1;
constexpr int CONN_NET_TO_NET = 2;
constexpr int CONN_GATEWAY = 3;
constexpr int CONN_SYLINK_DIRECT = 4;
constexpr int CONN_SYLINK_NET_TO_NET = 5;

// Connected-via values.
constexpr int VIA_FRONT_PANEL = 0;
constexpr int VIA_PLC_PORT = 1;

// The setup record: twenty little-endian words in the file, in this order.
struct SetupRecord {
    uint16_t connectionType;             // CONN_*
    uint16_t port;                       // 0..3: "COM1:".."COM4:"
    uint16_t baseAddress;                // 0..9: Sy/Link base address list
    uint16_t baud;                       // 0..15 into the baud rate lists
    uint16_t dataBits;                   // 0 "7", 1 "8"
    uint16_t stopBits;                   // 0 "1", 1 "2"
    uint16_t parity;                     // 0 NONE, 1 EVEN, 2 ODD
    uint16_t route[1 + ROUTE_MAX_DROPS]; // drop count, then the drops nearest first
    uint16_t synetSpeed;                 // 0..3
    uint16_t synetSize;                  // 0..1
    uint16_t connectedVia;               // VIA_*
    uint16_t rackAddress; // register at which the rack interface starts in the controller
};

// The default record: Sy/Max on COM1: at 9600, 8 data bits, 1 stop bit, even
// parity, no route, front panel, rack address 1.
void SetupDefaults(SetupRecord *s);
// The 40 bytes of the record, field by field, little-endian.
void SetupEncode(const SetupRecord *s, uint8_t out[SETUP_RECORD_BYTES]);
// Reads 40 bytes into *s when every field is in range (1 returned); a bad
// field leaves *s untouched and returns 0.
int SetupDecode(const uint8_t in[SETUP_RECORD_BYTES], SetupRecord *s);
// Stores every good field of the 40 bytes into *s, leaves the others as they
// are, and returns the number of bad fields. A route length above 8 is bad
// and takes its drops with it.
int SetupDecodeFields(const uint8_t in[SETUP_RECORD_BYTES], SetupRecord *s);

// How reading the setup file went.
enum SetupFileResult {
    SETUP_GOOD,       // 40 bytes, every field good
    SETUP_MISSING,    // the file cannot be opened
    SETUP_UNREADABLE, // short, or a field out of range
};
// Reads the setup file of the start directory into *s: the defaults, with
// every good field of the file over them.
SetupFileResult ReadSetupFile(SetupRecord *s);
// Writes the 40 bytes to the setup file of the start directory; false with
// "Can't open setup file" or "Can't save setup file" shown.
bool WriteSetupFile(const SetupRecord *s);

// The directory the program started in; the setup file and COMn links are
// resolved there whatever directory the file picker has moved to since.
void SetStartDirectory(const std::string &dir);
// The path of a name in the start directory.
std::string StartPath(const char *name);
// The start directory itself.
const std::string &StartDirectory(void);

// Reads the setup file at start-up and opens the link, or shows why not and
// runs the setup dialogue.
void LoadSetupAtStart(void);
// Opens the link the record describes when none is open and sets its port
// parameters; returns whether a handle is open afterwards.
bool EstablishLink(void);
// The "CONFIGURE VRX740 COMMUNICATIONS" dialogue; returns the handle (or none).
CommHandle *SetupDialog(void);
// The idle routine installed on the handle (an IdleHook): notes a key typed
// at the console during a wait and puts it back into the type-ahead (keys
// already in the type-ahead are left where they are); for ESC it marks the
// menu action escaped and returns 0, and while records move (PassBegin) it
// keeps that ESC out of the type-ahead. It turns the spinner at row 1,
// column 80 at most every 100 ms.
int ConfigIdle(void *arg);
// The port name of a port index ("COM1:" to "COM4:"), "" outside 0 to 3.
const char *SetupPortName(int port);
// The rate of a baud index (134.5 as 135), 0 outside 0 to 15.
int SetupBaudRate(int baud);

// The register number on the link of a zero-based module offset: offset +
// rack address via the PLC port, offset + 1 via the front panel.
int ModuleRegisterNumber(int offset);
