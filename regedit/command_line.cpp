// VELDAK's command line: switches in any order with the target and route.
#include "regedit/command_line.h"

#include "regedit/long_options.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

static const char *const UsageLines[] = {
    "Usage is:",
    "  VELDAK COMn: [route] [switches] for COM: access.",
    "  VELDAK n.n.n.n[:port] [drop] [switches] for Modbus TCP.",
    "  VELDAK host.dom[:port] [drop] [switches] for Modbus TCP.",
    "  VELDAK SA85[:0|:1] [route] [switches] for SA85.",
    "Switches:",
    "-?          Help, display this message.",
    "-G          COM: port connected to Gateway device.",
    "-N          Make connection in NET-TO-NET mode.",
    "-Rnnnn      Start at register nnnn, default = 1.",
    "-Lnnnn      Read nnnn registers default = 20, max = 20.",
    "-P          Use priority reads and writes.",
    "-W          Writes use opcode 6 (when appropriate) in Modbus.",
    "-M          Allow multi-register writes (4x only).",
    "-S          Suppress status and Module ID polling.",
    "-X          Register numbers in hex.",
    "-T          Trap on error. Default is to automatically retry.",
    "-C          Use CRC error check.",
    "-A          Modbus ASCII mode.",
    "-B          Modbus RTU mode.",
    "-E          Modbus RTU over TCP/IP mode (Pellix) Default Port 7801.",
    "-K          Enable Minimum/Maximum display",
    "-0          Read 0X registers.",
    "-1          Read 1X registers.",
    "-3          Read 3X registers.",
    "-6[file]    Read 6X registers from specified file.",
    "During session:",
    "  Arrows to select register or radix. Page Up and Page Down to change register",
    "  by 10.  Home to go to register 1.  0..9, A..F to enter new value.  Enter to",
    "  update without moving.  F10 to acknowledge error.  Escape to exit.",
};

// Appends format with one %s (or %c then %s) filled in, whatever the text's length.
static void Appendf(std::string *out, const char *format, const char *text) {
    int n = snprintf(nullptr, 0, format, text);
    if (n < 0)
        return;
    std::string line((size_t)n + 1, '\0');
    snprintf(line.data(), line.size(), format, text);
    line.resize((size_t)n);
    out->append(line);
}

void AppendBanner(std::string *out) {
    out->append("Corvane Sy/Max Register Editor VELDAK 05Oct2004\n");
    out->append("Type VELDAK -? for more information.\n");
}

void AppendUsage(std::string *out) {
    out->append("\n");
    size_t n = sizeof UsageLines / sizeof UsageLines[0];
    for (size_t i = 0; i < n; i++) {
        out->append(UsageLines[i]);
        if (i + 1 < n)
            out->append("\n");
    }
}

static int HexDigitValue(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

unsigned ParseSwitchNumber(const char *text, bool hex) {
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        p++;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    unsigned base = hex ? 16 : 10;
    unsigned long long value = 0;
    for (;; p++) {
        int d = HexDigitValue((unsigned char)*p);
        if (d < 0 || (unsigned)d >= base)
            break;
        value = value * base + (unsigned)d;
        if (value > UINT_MAX)
            value = (unsigned long long)UINT_MAX + 1; // stays out of range
    }
    if (value > UINT_MAX)
        return negative ? 0 : UINT_MAX;
    unsigned v = (unsigned)value;
    return negative ? 0u - v : v;
}

// Appends a non-switch argument: the first is the target, later ones join the route.
static int TakeWord(const char *arg, RunSettings *s, std::string *out) {
    if (!s->targetGiven) {
        if (strlen(arg) >= sizeof s->target) {
            Appendf(out, "Target too long: \"%.40s...\"\n", arg);
            return PARSE_EXIT;
        }
        snprintf(s->target, sizeof s->target, "%s", arg);
        s->targetGiven = true;
        return PARSE_OK;
    }
    size_t have = strlen(s->routeText);
    size_t need = have + (have ? 1 : 0) + strlen(arg);
    if (need >= sizeof s->routeText) {
        Appendf(out, "Route too long: \"%.40s...\"\n", s->routeText);
        return PARSE_EXIT;
    }
    if (have)
        strcat(s->routeText, " ");
    strcat(s->routeText, arg);
    return PARSE_OK;
}

static int TakeSwitch(const char *arg, RunSettings *s, std::string *out) {
    int letter = toupper((unsigned char)arg[1]);
    const char *value = arg[1] ? arg + 2 : arg + 1;
    switch (letter) {
    case '?':
    case 'H':
        AppendUsage(out);
        return PARSE_EXIT;
    case 'G':
        s->gateway = true;
        break;
    case 'N':
        s->netToNet = true;
        break;
    case 'R':
        s->start = ParseSwitchNumber(value, s->hexNumbers);
        break;
    case 'L': {
        unsigned n = ParseSwitchNumber(value, false);
        s->count = n < 1 ? 1u : n > (unsigned)READ_COUNT_MAX ? (unsigned)READ_COUNT_MAX : n;
        break;
    }
    case 'D':
        s->sylinkParameter = (int)ParseSwitchNumber(value, false);
        break;
    case 'P':
        s->priority = true;
        break;
    case 'W':
        s->singleWrites = true;
        break;
    case 'M':
        s->blockWrites = true;
        break;
    case 'S':
        s->suppressPolling = true;
        break;
    case 'X':
        s->hexNumbers = true;
        break;
    case 'T':
        s->trapErrors = true;
        break;
    case 'C':
        s->crc = true;
        break;
    case 'A':
        s->modbusSerial = MODBUS_SERIAL_ASCII;
        break;
    case 'B':
        s->modbusSerial = MODBUS_SERIAL_RTU;
        break;
    case 'E':
        s->rtuOverTcp = true;
        s->tcpPort = TCP_PORT_RTU_OVER_TCP;
        break;
    case 'K':
        s->minMax = true;
        break;
    case '0':
        s->view0X = true;
        break;
    case '1':
        s->view1X = true;
        break;
    case '3':
        s->view3X = true;
        break;
    case '6':
        s->view6X = true;
        s->file6X = (int)ParseSwitchNumber(value, false);
        if (s->start == 1)
            s->start = 0;
        break;
    default:
        Appendf(out, "Unrecognized switch: \"%s\"\n", arg);
        return PARSE_EXIT;
    }
    return PARSE_OK;
}

int ParseArguments(int argc, const char *const *argv, RunSettings *s, std::string *out) {
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        bool isLong = arg[0] == '-' && arg[1] == '-' && arg[2] != '\0';
        bool isSwitch = arg[0] == '-' || arg[0] == '/';
        int r = isLong     ? TakeLongOption(argc, argv, &i, s, out)
                : isSwitch ? TakeSwitch(arg, s, out)
                           : TakeWord(arg, s, out);
        if (r != PARSE_OK)
            return r;
    }
    return CheckLongOptions(s, out);
}

int ParseRoute(const char *text, uint16_t *route, std::string *out) {
    route[0] = 0;
    for (const char *p = text; *p;) {
        unsigned char c = (unsigned char)*p;
        if (c == ' ' || c == ',') {
            p++;
            continue;
        }
        if (!isdigit(c)) {
            out->append("Illegal character '");
            out->push_back((char)c);
            Appendf(out, "' in route field \"%s\"\n", text);
            return PARSE_EXIT;
        }
        if (route[0] == ROUTE_MAX_DROPS) {
            Appendf(out, "Too many drops in route \"%s\"\n", text);
            return PARSE_EXIT;
        }
        uint16_t drop = 0; // kept in 16 bits as the wire field is
        for (; isdigit((unsigned char)*p); p++)
            drop = (uint16_t)(drop * 10 + (*p - '0'));
        route[++route[0]] = drop;
    }
    return PARSE_OK;
}

void TakeTargetLine(const char *line, RunSettings *s) {
    snprintf(s->target, sizeof s->target, "%s", line);
    s->target[strcspn(s->target, "\r\n")] = '\0';
}
