// The simulated storage module at the far end of a pty cable paced like a
// real serial line, for the configurator's benchmarks. The module is served
// in process; every register transaction it serves is logged with the time
// it reached the module, so a bench can take the line time of exactly the
// transactions an operation made, or of the ones its protocol needs.
//
// The line's limit for a set of transactions is the time their characters
// take one after the other (request, its acknowledgement, reply, its
// acknowledgement, 11 bits a character), without any turnaround.
#pragma once
#include "sim/paced_cable/paced_cable.h"
#include "sim/symax/symax_sim.h"
#include "sim/vrx740/module_model.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum { BENCH_BITS_PER_CHAR = 11 };

// One register transaction the module served.
struct Transaction {
    bool write;
    unsigned first;                           // register index on the link (number - 1)
    std::vector<uint16_t> values;             // read back or written
    std::chrono::steady_clock::time_point at; // when the request reached the module
};

// The module, the log of what it served, the simulator serving it and the
// cable in front of it.
struct ModuleLine {
    vrx740::Module module;
    std::vector<Transaction> log;
    symaxsim::Sim *sim = nullptr;
    PacedCable *cable = nullptr;
    std::string dir;
    int baud = 0;
};

// Makes a directory, serves an empty module behind a cable paced at baud and
// opens g_handle on the cable's free end (DIR/COM1). False with *error.
// With cable false the module's own link paces its replies and nothing
// paces the requests (the way the module bench first measured).
bool ModuleLineStart(ModuleLine *line, int baud, bool cable, std::string *error);
// Closes g_handle, stops the cable and the simulator, removes the directory.
void ModuleLineStop(ModuleLine *line);
// Runs f with the module and its log locked against the serving thread.
void ModuleLineWith(ModuleLine *line, const std::function<void(ModuleLine *)> &f);
// A copy of the log, and the log emptied.
std::vector<Transaction> ModuleLineTake(ModuleLine *line);

// The image word i of record r in the benches' data.
uint16_t BenchWord(int r, int i);
// True when the module's file 1 holds exactly records 0 to records - 1 of
// length words each, their images those of BenchWord.
bool ModuleLineHolds(ModuleLine *line, int records, int length);
// The result line an operation left on the recording console (row 9,
// trimmed), or why there is none.
std::string ConsoleResultLine(void);

// Characters of a transaction on the line: its request alone, and all of it
// (request, acknowledgement, reply, acknowledgement).
size_t RequestChars(const Transaction &t, const std::vector<uint8_t> &route);
size_t TransactionChars(const Transaction &t, const std::vector<uint8_t> &route);
// The route the module was last addressed with.
std::vector<uint8_t> ModuleLineRoute(ModuleLine *line);
// Seconds the line needs for these characters.
double LineSeconds(const ModuleLine *line, size_t chars);
// A transaction made up for counting line time: a read or write of count
// registers from the link index first.
Transaction MadeUp(bool write, unsigned first, unsigned count);

// The transactions of one pass through a window of status offset S and
// record length L (link indexes), sorted by what they did.
struct WindowTally {
    long idle = 0;        // 0 written to the command register
    long commands = 0;    // a command written
    long statusReads = 0; // status register read alone
    long dataWrites = 0;  // record number and image written
    long dataReads = 0;   // record number and image read
    long other = 0;       // anything else between the first and last window transaction
    long repeats = 0;     // a command written again with no 0 between: it may run twice
};

// The link as the module's end saw it during a pass.
struct LinkCounts {
    long enqIn = 0;       // enquiries from the master (it missed something)
    long nakIn = 0;       // replies refused by the master
    long retransmits = 0; // replies sent again
    long badFramesIn = 0; // requests that arrived damaged
};

// What a pass cost: its transactions, its time and the line's limits.
struct PassFigures {
    bool found = false;     // the log held window transactions at all
    long made = 0;          // transactions from the first window transaction to the last
    long needed = 0;        // transactions the window protocol needs for the pass
    double seconds = 0;     // the pass, from the first request to the last acknowledgement
    double limitMade = 0;   // line time of the transactions made
    double limitNeeded = 0; // line time of the transactions needed
    WindowTally tally;
    LinkCounts link;
    // Time beyond the line's own, per transaction, by what the transaction
    // was: idle write, status read, command, data write, data read (ms).
    double excessMs[5] = {0, 0, 0, 0, 0};
};

// The link counters of the module's end since the start.
LinkCounts ModuleLineCounts(ModuleLine *line);
// Takes the window pass out of a log: everything from the first write to
// the window's command register (the status register can share its offset
// with a global register that fetch and send use) to the last transaction
// that lies within the window's registers. The time runs from
// when the first request reached the module to when the last did, with the
// line time of the first request and of the rest of the last transaction
// added (the line can do those no faster).
// The link counters are those since before (taken before the pass).
PassFigures MeasurePass(ModuleLine *line, const std::vector<Transaction> &log, unsigned status,
                        unsigned recordLength, const std::vector<Transaction> &needed,
                        const LinkCounts &before);
// Prints the header of the pass table, and one pass with its tally per record.
void PrintPassHeader(void);
void PrintPass(const char *name, long records, const PassFigures &p, const char *failure);

// The transactions the window protocol's own steps make for one record,
// each poll taken as one status read: the command register to 0, a status
// read to see the completion bits clear, then for a write the image in
// chunks of 128 from S + 2, the record number (withNumber) and the command;
// for a read the record number asked for (first) and the command. Then a
// status read to see it complete; for a read that found its record the image
// in chunks and, after a read-next, the record number register read on its
// own. idleAfter: the command register to 0 again after the record (backup
// and restore do that after every record). The made-up transactions carry
// zeros, while a 0x10 byte of real values (CMD_WRITE_AT_NUMBER, its status
// bit) goes twice on the line: the limit needed errs low by about 1%, so the
// ratio to it errs high.
void NeedWrite(std::vector<Transaction> *v, unsigned status, unsigned recordLength, bool withNumber,
               bool idleAfter);
void NeedRead(std::vector<Transaction> *v, unsigned status, unsigned recordLength, bool first,
              bool found, bool idleAfter);
// The command register back to 0 once the pass is over.
void NeedIdle(std::vector<Transaction> *v, unsigned status, unsigned recordLength);
