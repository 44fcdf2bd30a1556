// VELDAK's target forms (COMn:, base address, SFI610, SA85, host or address
// with a dot) and the opening of the connection they name.
#include "regedit/target.h"

#include "comm/comm.h"
#include "regedit/command_line.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

static void Appendf(std::string *out, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
static void Appendf(std::string *out, const char *format, ...) {
    char line[2 * SETTING_TEXT_SIZE + 64]; // every text formatted here is a bounded setting
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    out->append(line);
}

void FoldCapitals(char *text) {
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z')
            *text = (char)(*text - 'a' + 'A');
}

static bool IsComTarget(const char *t) {
    return strncmp(t, "COM", 3) == 0 && t[3] != '\0' && t[4] == ':';
}

// Leading hexadecimal digits as a number; false when there are none.
static bool LeadingHex(const char *t, unsigned long *value) {
    unsigned long v = 0;
    const char *p = t;
    for (; isxdigit((unsigned char)*p); p++) {
        int c = toupper((unsigned char)*p);
        v = v * 16 + (unsigned)(c <= '9' ? c - '0' : c - 'A' + 10);
        if (v > 0xFFFFFFul)
            v = 0xFFFFFFul + 1; // far beyond any base address
    }
    *value = v;
    return p != t;
}

static bool IsLeadingPartOf(const char *t, const char *whole) {
    size_t n = strlen(t);
    return n <= strlen(whole) && strncmp(t, whole, n) == 0;
}

TargetKind ClassifyTarget(const char *t) {
    if (IsComTarget(t))
        return TARGET_COM;
    unsigned long address;
    if (LeadingHex(t, &address) && address >= 0xCA00 && address <= 0xD300)
        return TARGET_BASE_ADDRESS;
    if (IsLeadingPartOf(t, "SFI610"))
        return TARGET_SFI610;
    if (IsLeadingPartOf(t, "SA85:0"))
        return TARGET_SA85_0;
    if (IsLeadingPartOf(t, "SA85:1"))
        return TARGET_SA85_1;
    if (strchr(t, '.'))
        return TARGET_TCP;
    return TARGET_UNKNOWN;
}

void SplitComTarget(RunSettings *s) {
    snprintf(s->portSettings, sizeof s->portSettings, "%s", s->target + 5);
    s->target[5] = '\0';
}

bool SplitTcpTarget(RunSettings *s) {
    char *colon = strchr(s->target, ':');
    if (!colon)
        return true;
    *colon = '\0';
    const char *p = colon + 1;
    if (!isdigit((unsigned char)*p))
        return true; // not a number: the default stays
    unsigned long long port = 0;
    for (; isdigit((unsigned char)*p); p++) {
        port = port * 10 + (unsigned)(*p - '0');
        if (port > UINT_MAX)
            port = UINT_MAX;
    }
    s->tcpPort = (unsigned)port;
    return port >= 1 && port <= 65535;
}

// A decimal field as "%d" reads it: blanks, a sign, at least one digit.
static bool ReadInt(const char **pp, int *value) {
    const char *p = *pp;
    while (isspace((unsigned char)*p))
        p++;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (!isdigit((unsigned char)*p))
        return false;
    long long v = 0;
    for (; isdigit((unsigned char)*p); p++)
        if ((v = v * 10 + (*p - '0')) > INT_MAX)
            v = INT_MAX;
    *value = (int)(negative ? -v : v);
    *pp = p;
    return true;
}

// "%d,%c,%d,%d": returns the number of fields read.
static int ReadPortFields(const char *text, int *baud, char *parity, int *data, int *stop) {
    const char *p = text;
    if (!ReadInt(&p, baud))
        return 0;
    if (*p++ != ',' || *p == '\0')
        return 1;
    *parity = *p++;
    if (*p++ != ',' || !ReadInt(&p, data))
        return 2;
    if (*p++ != ',' || !ReadInt(&p, stop))
        return 3;
    return 4;
}

bool ParsePortSettings(const char *text, PortSettings *ps, std::string *out) {
    char parity = 0;
    int fields = ReadPortFields(text, &ps->baud, &parity, &ps->dataBits, &ps->stopBits);
    if (fields < 4) {
        Appendf(out, "Bad port settings: \"%s\" (%d)\n", text, fields);
        return false;
    }
    if (ps->baud < 50 || ps->baud > 57600) {
        Appendf(out, "Bad port settings: \"%s\" Invalid baud rate\n", text);
        return false;
    }
    const char *letters = "NEOSM";
    const char *at = strchr(letters, toupper((unsigned char)parity));
    if (parity == 0 || !at) {
        Appendf(out, "Bad port settings: \"%s\" Invalid parity\n", text);
        return false;
    }
    ps->parity = (int)(at - letters);
    // A character size the port cannot take is refused here rather than passed on.
    if (ps->dataBits < 5 || ps->dataBits > 8) {
        Appendf(out, "Bad port settings: \"%s\" Invalid data bits\n", text);
        return false;
    }
    return true;
}

static CommHandle *OpenCom(RunSettings *s, std::string *out) {
    CommHandle *h = nullptr;
    if (s->gateway) {
        if (!(h = OpenGateway(s->target, s->route)))
            Appendf(out, "Can't OpenGateway(%s).\n", s->target);
        return h;
    }
    if (s->modbusSerial != MODBUS_SERIAL_NONE) {
        if (s->route[0] != 1) {
            out->append("Modbus route must have exactly one drop.\n");
            return nullptr;
        }
        bool rtu = s->modbusSerial == MODBUS_SERIAL_RTU;
        h = rtu ? OpenModbusRTU(s->target, s->route[1]) : OpenModbusAscii(s->target, s->route[1]);
        if (!h)
            Appendf(out, rtu ? "Can't OpenModbusRTU(%s).\n" : "Can't OpenModbusAscii(%s).\n",
                    s->target);
        else
            s->maxRegister = MODBUS_MAX_REGISTER;
        return h;
    }
    if (!(h = OpenSymax(s->target, s->netToNet, s->route)))
        Appendf(out, "Can't OpenSymax(%s).\n", s->target);
    return h;
}

static CommHandle *OpenTcp(RunSettings *s, std::string *out) {
    bool portOk = SplitTcpTarget(s);
    if (s->route[0] > 1) {
        out->append("Modbus TCP route can only have one drop.\n");
        return nullptr;
    }
    int unit = s->route[0] == 1 ? s->route[1] : 0;
    CommHandle *h = nullptr;
    if (portOk)
        h = s->rtuOverTcp ? OpenRTUoverTCP(s->target, s->tcpPort, unit)
                          : OpenModbusTCP(s->target, s->tcpPort, unit);
    if (!h) {
        Appendf(out, "Can't open TCP connection to %s:%u\n", s->target, s->tcpPort);
        return nullptr;
    }
    s->maxRegister = MODBUS_MAX_REGISTER;
    return h;
}

static CommHandle *OpenTarget(RunSettings *s, std::string *out) {
    switch (ClassifyTarget(s->target)) {
    case TARGET_COM: {
        SplitComTarget(s);
        if (s->portSettings[0] == '\0')
            out->append("Use MODE to set port parameters before running VELDAK.\n");
        CommHandle *h = OpenCom(s, out);
        if (!h || s->portSettings[0] == '\0')
            return h;
        PortSettings ps;
        if (!ParsePortSettings(s->portSettings, &ps, out)) {
            CommClose(h);
            return nullptr;
        }
        if (!SetPortParams(h, ps.baud, ps.parity, ps.stopBits, DEFAULT_REPLY_TIMEOUT,
                           ps.dataBits)) {
            Appendf(out, "Bad port settings: \"%s\" %s\n", s->portSettings, CommErrorText(h));
            CommClose(h);
            return nullptr;
        }
        return h;
    }
    case TARGET_BASE_ADDRESS: {
        unsigned long address;
        LeadingHex(s->target, &address);
        CommHandle *h = OpenSylink((unsigned)address, s->netToNet, s->route);
        if (!h)
            Appendf(out, "Can't OpenSylink(%s).\n", s->target);
        return h;
    }
    case TARGET_SFI610:
        out->append("Can't access SFI610.\n");
        return nullptr;
    case TARGET_SA85_0:
    case TARGET_SA85_1:
        out->append("Can't access SA85.\n");
        return nullptr;
    case TARGET_TCP:
        return OpenTcp(s, out);
    default:
        Appendf(out, "Illegal Port or Base Address \"%s\"\n", s->target);
        return nullptr;
    }
}

int StartConnection(RunSettings *s, CommHandle **h, std::string *out) {
    *h = nullptr;
    if (ParseRoute(s->routeText, s->route, out) != 0)
        return 1;
    FoldCapitals(s->target);
    s->maxRegister = SYMAX_MAX_REGISTER;
    CommHandle *opened = OpenTarget(s, out);
    if (!opened)
        return 1;
    bool lowOk = SettingsView(s) == VIEW_6X || s->start >= 1;
    if (!lowOk || s->start > s->maxRegister) {
        Appendf(out, "Illegal start register %u\n", s->start);
        CommClose(opened);
        return 1;
    }
    SetSymaxOptions(opened, s->crc, s->priority);
    *h = opened;
    return 0;
}
