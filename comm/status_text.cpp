// Texts of the status codes a Sy/Max device sends back and of the Modbus
// exception codes.
#include "comm/comm_internal.h"

namespace {

// Indexed by the Sy/Max status code. Code 30 once ran two texts together
// ("... Protected Memory" and "End Of File"); it keeps the first.
const char *const kSymaxStatus[] = {
    "No Error",                                        // 0
    "Illegal Opcode",                                  // 1
    "Illegal Intermediate Code",                       // 2
    "Illegal Address",                                 // 3
    "Illegal Rack Address",                            // 4
    "Instruction Not Allowed",                         // 5
    "Item Not Found",                                  // 6
    "Protected Register",                              // 7
    "Protected Memory",                                // 8
    "Read-only Register",                              // 9
    "Memory Limitation",                               // 10
    "Communications Overflow",                         // 11
    "Illegal CPU Rack Addressing",                     // 12
    "Communications Error",                            // 13
    "Not Allowed In RUN",                              // 14
    "Communications Overflow",                         // 15
    "Register Count Too Large",                        // 16
    "Remote Device Inactive",                          // 17
    "Rung Number Not Allowed",                         // 18
    "Illegal Read Parameter",                          // 19
    "Illegal Channel Number",                          // 20
    "Changing Forced Bit",                             // 21
    "Forcing Inhibited",                               // 22
    "Fenced Register",                                 // 23
    "Forcing Non-forcible Register",                   // 24
    "CPU Error",                                       // 25
    "Rack Addressing Overlaps User Memory",            // 26
    "Memory Error",                                    // 27
    "Illegal Baud Rate",                               // 28
    "Illegal Route",                                   // 29
    "Inhibit Coil In Protected Memory",                // 30
    "Protected Memory",                                // 31
    "Data Error",                                      // 32
    "UVPROM Memory Error",                             // 33
    "Write Protected",                                 // 34
    "Replace Not Allowed",                             // 35
    "Past Last File",                                  // 36
    "View Protected",                                  // 37
    "Alarm Already Set",                               // 38
    "Hardware Memory Security In Effect",              // 39
    "Illegal Register Write",                          // 40
    "Illegal File Number",                             // 41
    "Illegal Operation",                               // 42
    "File Not Found",                                  // 43
    "Not Allowed During DLOG Tape",                    // 44
    "Protected File",                                  // 45
    "Not Allowed Due To Keyswitch Position",           // 46
    "Programming MCR In Subroutine Area Not Allowed",  // 47
    "I/O, Register Or Channel Safeguarded",            // 48
    "Rack Address Not Alterable While Forcing Active", // 49
    "Missing Module",                                  // 50
    "Illegal File Type",                               // 51
    "Illegal Media Format",                            // 52
    "Illegal Mark Number",                             // 53
    "File Operation Aborted",                          // 54
    "COMMS Queue Buffer Forced Emptied",               // 55
    "Battery Low",                                     // 56
    "Illegal Mark Number For GOTO Or GOSUB",           // 57
    "Mark St.Sub Cannot Be Inserted",                  // 58
    "Return Rungs Not Allowed In Ladder Area",         // 59
    "Mark Number Previously Used",                     // 60
    "Cannot Delete Mark St.Sub",                       // 61
    "Cannot Delete Mark Having Return",                // 62
    "Return Must Have Mark",                           // 63
    "Only One Return Per Mark",                        // 64
    "GOSUB Without Return",                            // 65
    "GOTO Mark Without Return",                        // 66
    "Cannot Delete Mark",                              // 67
    "Unused Mark Number",                              // 68
    "Not Allowed In RUN With Programmable Interrupt",  // 69
    "Insufficient Data",                               // 70
    "Unrecognized Command",                            // 71
    "Illegal Parameter",                               // 72
    "Illegal Source Parameter",                        // 73
    "Illegal Destination Parameter",                   // 74
    "Invalid Filespec",                                // 75
    "Invalid Input Channel",                           // 76
    "Invalid Output Channel",                          // 77
    "Device Not Available",                            // 78
    "Serial Link Not Established",                     // 79
    "Hardware Read Fault",                             // 80
    "Hardware Write Fault",                            // 81
    "Read Error",                                      // 82
    "Write Error",                                     // 83
    "Directory Read Error",                            // 84
    "Directory Write Error",                           // 85
    "Directory Space Full",                            // 86
    "Device Space Full",                               // 87
    "File Not Found",                                  // 88
    "File Access Denied",                              // 89
    "File Already Exists",                             // 90
    "File Already Open",                               // 91
    "File Format Error",                               // 92
    "File Wrong Type",                                 // 93
    "Open Attempt To Open File",                       // 94
    "I/O Attempt To Open File",                        // 95
    "Write Attempt To Read-only File",                 // 96
    "Record Out Of Range",                             // 97
    "Too Many Open Files",                             // 98
    "Operation Aborted By User",                       // 99
    "Source Filespec Required",                        // 100
    "Destination Filespec Required",                   // 101
    "Maximum Open Count For File",                     // 102
    "Incompatible Source Device/File Type",            // 103
    "Incompatible Destination Device/File Type",       // 104
    "Device Timeout",                                  // 105
    "Protected File",                                  // 106
    "Illegal File Type",                               // 107
    "Illegal Device",                                  // 108
    "File Type Required",                              // 109
    "Device Required",                                 // 110
    "Channel Required",                                // 111
    "Route Required",                                  // 112
    "Filename Required",                               // 113
    "Illegal Offset",                                  // 114
    "Illegal Count",                                   // 115
    "Source/Destination Cannot Be Same",               // 116
    "Duplicate Symbol",                                // 117
    "File Mismatch",                                   // 118
    "Invalid Register Address",                        // 119
    "Invalid File Name",                               // 120
    "Write Data Error",                                // 121
    "Insufficient Data For Write",                     // 122
    "Invalid Read Parameter",                          // 123
    "Communication Parity Error",                      // 124
    "Busy Data Transfer Or Weld In Progress",          // 125
    "Communication Overrun Error",                     // 126
    "Communication Framing Error",                     // 127
    "Dropped Unexpected Reply",                        // 128
    "Job Space Full",                                  // 129
    "Write Sequence Not Initiated",                    // 130
    "Memory Full",                                     // 131
    "No Data Found",                                   // 132
    "Cannot Stop Attached Batch Job",                  // 133
    "Illegal Communication To COMM Port",              // 134
    "Error Noted During A Transfer",                   // 135
};

const char *const kModbusException[] = {
    "ILLEGAL FUNCTION",                 // 1
    "ILLEGAL DATA ADDRESS",             // 2
    "ILLEGAL DATA VALUE",               // 3
    "SLAVE DEVICE FAILURE",             // 4
    "ACKNOWLEDGE",                      // 5
    "SLAVE DEVICE BUSY",                // 6
    "NEGATIVE ACKNOWLEDGE",             // 7
    "MEMORY PARITY ERROR",              // 8
    "Modbus error 9",                   // 9
    "Modbus error 10",                  // 10
    "DOWNSTREAM DEVICE DIDN'T RESPOND", // 11
    "NO FREE MASTER PATH",              // 12
};

const unsigned kSymaxStatusCount = sizeof kSymaxStatus / sizeof kSymaxStatus[0];
const unsigned kModbusExceptionCount = sizeof kModbusException / sizeof kModbusException[0];

} // namespace

// Codes beyond the table (136 to 255 arrive from devices too) get a text of
// their own rather than a read past the table.
const char *SymaxStatusText(unsigned code) {
    if (code >= kSymaxStatusCount)
        return "Unknown Status Code";
    return kSymaxStatus[code];
}

const char *ModbusExceptionText(unsigned code) {
    if (code < 1 || code > kModbusExceptionCount)
        return "Unknown Exception Code";
    return kModbusException[code - 1];
}
