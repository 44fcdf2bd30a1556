// VELDAK's target: which kind of link a target text names, its port settings,
// and the opening of the one connection handle of the run.
#pragma once
#include "regedit/settings.h"

#include <string>

struct CommHandle;

enum TargetKind {
    TARGET_COM,
    TARGET_BASE_ADDRESS,
    TARGET_SFI610,
    TARGET_SA85_0,
    TARGET_SA85_1,
    TARGET_TCP,
    TARGET_UNKNOWN,
};

// Classifies a target already folded to capitals.
TargetKind ClassifyTarget(const char *target);
// Folds a to z to capitals in place.
void FoldCapitals(char *text);
// COMn:settings: cuts the settings off the target into s->portSettings.
void SplitComTarget(RunSettings *s);
// host:port: cuts the port off the target into s->tcpPort (kept when not a number).
// Returns false when the port is a number outside 1 to 65535.
bool SplitTcpTarget(RunSettings *s);

// Port settings "baud,parity,data,stop", e.g. 9600,E,8,1.
struct PortSettings {
    int baud;
    int parity; // 0 N, 1 E, 2 O, 3 S, 4 M
    int dataBits;
    int stopBits;
};
// Reads the text; on failure appends the message and returns false.
bool ParsePortSettings(const char *text, PortSettings *p, std::string *out);

// Folds and classifies the target, opens the handle, applies port settings and
// checks the start register. PARSE_OK leaves the open handle in *h.
int StartConnection(RunSettings *s, CommHandle **h, std::string *out);
