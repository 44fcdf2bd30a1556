// The register editor's run settings: one record per run, filled from the
// command line and read by the connection start and the editor screen.
#pragma once
#include "comm/comm.h" // ROUTE_MAX_DROPS

#include <cstdint>

enum RegisterView { VIEW_4X, VIEW_0X, VIEW_1X, VIEW_3X, VIEW_6X };

enum {
    SETTING_TEXT_SIZE = 256, // target, route and port settings texts, NUL included
    READ_COUNT_MAX = 125,
    SHOWN_ROWS_MAX = 20,
    SYMAX_MAX_REGISTER = 8192,
    MODBUS_MAX_REGISTER = 65535,
    TCP_PORT_MODBUS = 502,
    TCP_PORT_RTU_OVER_TCP = 7801,
    SYLINK_PARAMETER_DEFAULT = 100,
};

// Modbus serial framing chosen by -A and -B (the last one wins).
enum ModbusSerialMode { MODBUS_SERIAL_NONE = 0, MODBUS_SERIAL_ASCII = 1, MODBUS_SERIAL_RTU = 2 };

// The long options of a run without the screen (script_settings in RunSettings).
enum OutputFormat { FORMAT_TEXT, FORMAT_CSV, FORMAT_JSON };
// How values are printed; the 32- and 64-bit types take 2 and 4 registers.
enum ValueType { TYPE_U16, TYPE_S16, TYPE_HEX, TYPE_U32, TYPE_S32, TYPE_F32, TYPE_F64 };
// Byte and word order of a multi-register value, A the value's highest byte:
// ABCD first register's high byte first; CDAB registers swapped; BADC bytes
// swapped in each register; DCBA both.
enum WordOrder { ORDER_ABCD, ORDER_CDAB, ORDER_BADC, ORDER_DCBA };

struct ScriptSettings {
    unsigned polls;                 // --once 1, --count N; 0 runs the screen
    unsigned intervalMs;            // --interval: least time from one poll's start to the next
    int format;                     // OutputFormat
    int type;                       // ValueType
    int order;                      // WordOrder
    char output[SETTING_TEXT_SIZE]; // --output file, appended to; empty: standard output
    bool stats;                     // --stats
    bool version;                   // --version
    const char *needsPolls;         // the first option given that only a run of polls takes
};

struct RunSettings {
    char target[SETTING_TEXT_SIZE];
    bool targetGiven; // a first non-switch argument was seen (it may be empty)
    char routeText[SETTING_TEXT_SIZE];
    char portSettings[SETTING_TEXT_SIZE];
    unsigned start;                      // first register shown
    unsigned count;                      // registers read each cycle, 1 to 125
    bool gateway;                        // -G
    bool netToNet;                       // -N
    bool priority;                       // -P
    bool crc;                            // -C
    int modbusSerial;                    // ModbusSerialMode
    bool rtuOverTcp;                     // -E
    unsigned tcpPort;                    // 502, 7801 under -E, or :port of the target
    bool singleWrites;                   // -W: function 6 / 5 for one register or coil
    bool blockWrites;                    // -M
    bool suppressPolling;                // -S: no status or module-ID reads
    bool hexNumbers;                     // -X
    bool trapErrors;                     // -T
    bool minMax;                         // -K
    bool view0X, view1X, view3X, view6X; // -0, -1, -3, -6: each its own flag
    int file6X;                          // -6[file]
    int sylinkParameter;                 // -D
    unsigned maxRegister;                // 8192, 65535 once a Modbus link opens
    uint16_t route[1 + ROUTE_MAX_DROPS]; // drop count, then the drops nearest first
    ScriptSettings script;               // the long options
};

// The defaults of a run with no switches.
void SettingsDefaults(RunSettings *s);
// The one view the editor shows: 0X, then 1X, 3X and 6X win over 4X in that
// order when several view switches are given; reads and writes both follow it.
RegisterView SettingsView(const RunSettings *s);
// The lowest start register of the view: 0 for 6X, else 1.
unsigned LowestStart(const RunSettings *s);
