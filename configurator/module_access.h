// Module register access and the window command protocol.
//
// Every register of the module is named by a zero-based offset; the setup
// record's addressing rule (ModuleRegisterNumber) turns it into the register
// number on the link. Reads and writes of more than 128 registers go in
// chunks of 128. A menu action calls ActionBegin first: from then on the
// first link error or ESC marks the action failed, every later register
// operation of that action returns false at once without touching the link,
// and ActionReason says why. A pass through a window (PassBegin, PassEnd)
// always ends with the window's command register back at 0 while the link
// can carry that write.
//
// A window of a file of record length L starting at offset S:
//   S status | S+1 record number | S+2 .. S+L+1 record image | S+L+2 command
#pragma once

#include "configurator/config_model.h"

#include <cstdint>

// Command codes written to a window's command register.
constexpr uint16_t CMD_DELETE_ALL = 0x0001;
constexpr uint16_t CMD_WRITE_RECORD = 0x0008;
constexpr uint16_t CMD_WRITE_AT_NUMBER = 0x0010;
constexpr uint16_t CMD_READ_RECORD = 0x0080;
constexpr uint16_t CMD_READ_NEXT = 0x0100;

// Status bits of a window's status register.
constexpr uint16_t ST_DELETE_DONE = 0x0001;
constexpr uint16_t ST_WRITE_RECORD_DONE = 0x0008; // tested alone by restore
constexpr uint16_t ST_WRITE_DONE = 0x0018;        // either write command
constexpr uint16_t ST_READ_DONE = 0x0180;         // either read command
constexpr uint16_t ST_FOUND = 0x0800;             // the read found a record
constexpr uint16_t ST_REFUSED = 0x1000;           // the write was refused

// Fixed offsets of the module.
constexpr int OFFSET_FILE_COUNT = 0; // bits 0-11 file count, bit 15 configure bit
constexpr int OFFSET_BAUD = 1;
constexpr int OFFSET_CONFIG_STATUS = 6; // bit 15 set while in configuration mode
constexpr int OFFSET_CONFIG_AREA =
    2048;                         // front panel: file count, then 5 registers a file from 2051
constexpr int OFFSET_LOCK = 8191; // bit 0 configuration locked, bit 1 write protect
constexpr int STATUS_WORD_OFFSET = 8192; // a register's status word is 8192 registers above it
constexpr uint16_t CONFIGURE_BIT = 0x8000;
constexpr uint16_t LOCK_CONFIG = 0x0001;
constexpr uint16_t LOCK_WRITE_PROTECT = 0x0002;

// Registers moved in one link transaction.
constexpr int MODULE_CHUNK = 128;
// Poll limits of the handshakes.
constexpr int POLL_LIMIT = 10;
constexpr int POLL_LIMIT_LONG = 50;

// A window of a file: its status register offset and the file's record length.
struct ModuleWindow {
    int status;
    int recordLength;
};
inline int WindowNumberOffset(const ModuleWindow &w) {
    return w.status + 1;
}
inline int WindowImageOffset(const ModuleWindow &w) {
    return w.status + 2;
}
inline int WindowCommandOffset(const ModuleWindow &w) {
    return w.status + w.recordLength + 2;
}

// The menu action in progress (g_action): how it has gone so far, whether
// ESC was typed at the console during it, and the window a pass is using.
struct MenuAction {
    bool failed;          // a register operation failed, or ESC ended the action
    bool linkDown;        // the failure was the link's own: nothing more is sent
    bool reasonShown;     // the reason is on the screen already
    bool escaped;         // ESC was typed at the console during the action
    bool transfer;        // records are moving: an ESC typed now is the transfer's own
    bool windowInUse;     // a pass is using window
    bool commandStanding; // a command may stand in window's command register
    ModuleWindow window;
    char reason[96];
};

// Starts a menu action: no failure, no ESC, no window.
void ActionBegin(void);
// True once a register operation of this action has failed or ESC ended it.
bool ActionFailed(void);
// True once ESC was typed at the console during this action: the idle
// routine notes it during a reply wait; while records move, keys typed at
// the console between waits are read here as well (ESC is taken, any other
// key goes behind the type-ahead). Keys already in the type-ahead, such as a
// command-line script, are never read here: they wait for their prompts.
bool ActionEscaped(void);
// Marks the action failed with a reason (the first reason is kept).
void ActionFail(const char *reason);
// Why the action failed: the link's error text, or the reason given.
const char *ActionReason(void);
// Shows ActionReason in the error window once per action: nothing when the
// action has not failed or its reason was shown already (a link that could
// not be opened has shown its own words).
void ShowActionReason(void);

// The five register operations; false (0 for ReadModuleValue) on failure.
bool ReadModuleRegister(int offset, uint16_t *value);
uint16_t ReadModuleValue(int offset);
bool ReadModuleRegisters(int offset, int count, uint16_t *dest);
bool WriteModuleRegister(int offset, uint16_t value);
bool WriteModuleRegisters(int offset, int count, const uint16_t *src);

// Polls the status register up to limit reads until (status & mask) is
// nonzero (wantSet) or zero (!wantSet). True when it got there; *last gets
// the status read last. A failed read ends the poll (ActionFailed tells).
bool PollStatus(const ModuleWindow &w, uint16_t mask, bool wantSet, int limit, uint16_t *last);

// How a handshake ended.
enum HandshakeResult {
    HS_OK,          // done (a read found its record)
    HS_NOT_FOUND,   // a read completed without a record
    HS_REFUSED,     // the module refused the write
    HS_NO_RESET,    // the completion bits would not clear before the command
    HS_NO_COMPLETE, // the completion bits never came
    HS_FAILED,      // the link failed or ESC ended the action (ActionReason)
};

// Read handshake: first asks for record number with CMD_READ_RECORD, else
// CMD_READ_NEXT; pollLimit is the wait for completion. On HS_OK the image is
// in RecordBuffer and *found holds the record's number (the record number
// register after a read-next, the number asked for after a first read).
HandshakeResult ReadRecordHandshake(const ModuleWindow &w, bool first, uint16_t number,
                                    int pollLimit, uint16_t *found);
// Load write handshake with the image already in RecordBuffer: the image in
// chunks from the first image register on, then keyed CMD_WRITE_RECORD,
// otherwise the record number and CMD_WRITE_AT_NUMBER.
HandshakeResult LoadWriteHandshake(const ModuleWindow &w, bool keyed, uint16_t number);
// Restore write handshake: image, record number, CMD_WRITE_RECORD, bit
// 0x0008, and the command register back to 0.
HandshakeResult RestoreWriteHandshake(const ModuleWindow &w, uint16_t number);
// Delete-all handshake, the command register back to 0 at its end.
HandshakeResult DeleteAllHandshake(const ModuleWindow &w);
// Writes 0 to the window's command register.
bool WindowIdle(const ModuleWindow &w);

// Starts a pass through window w (a pass already under way is ended
// first): records are moving from now on, so an ESC typed at the console
// ends the transfer and is not handed to the screens that follow.
void PassBegin(const ModuleWindow &w);
// Ends the pass: when a command may still stand in the window's command
// register, writes 0 there, however the action went (failed, refused, ESC),
// unless the link itself failed. After ESC that is one write, whose wait is
// the reply time-out; ESC typed again during it ends that wait. True when the
// window is known to be idle.
bool PassEnd(void);

// File and window selection on the operation forms: a typed one-based
// number becomes an index within the configured files (windows of the file).
int SelectFileIndex(int typedNumber);
int SelectWindowIndex(int fileIndex, int typedNumber);
// The window of file index at window index, from the PC image. False with a
// message shown ("File %d has no windows.") when the file has none or the
// index is outside the configured files.
bool FileWindow(int fileIndex, int windowIndex, ModuleWindow *w);

// Window access preparation: SaveSpareImage and FetchConfig; on a failed
// fetch RestoreSpareImage and false. EndWindowAccess restores the spare image.
bool BeginWindowAccess(void);
void EndWindowAccess(void);
