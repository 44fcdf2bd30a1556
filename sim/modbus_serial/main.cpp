// modbus_serial_sim: a Modbus slave in RTU or ASCII framing on a pty.
//
// Prints "READY <pty path>" once it serves, then answers one line on standard
// output for each command line on standard input (see usage below). Ends on
// "quit" or at the end of standard input.
#include "platform/pty.h"
#include "platform/serial.h"
#include "sim/modbus_serial/serial_slave.h"
#include "sim/modbus_slave/modbus_slave.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static const char usageText[] =
    "usage: modbus_serial_sim [--rtu | --ascii] [--slave N] [--baud B] [--link PATH]\n"
    "                         [--fault NAME] [--late-ms MS]\n"
    "  --rtu        RTU framing (the default)\n"
    "  --ascii      ASCII framing\n"
    "  --slave N    own slave address, 1 to 247 (default 1)\n"
    "  --baud B     line speed that paces replies and times RTU frame ends (default 9600)\n"
    "  --link PATH  also make PATH a symlink to the pty (for example COM1 in a test directory)\n"
    "  --fault NAME fault on every reply: none, wrong-slave, bad-check, silence, late,\n"
    "               overlong (a 300-byte frame instead of the reply)\n"
    "  --late-ms MS delay of the late fault (default 1000)\n"
    "Prints \"READY <pty path>\" and then reads commands from standard input:\n"
    "  get 4x N COUNT | set 4x N V1 [V2 ...]      (also 0x 1x 3x; N is 1-based)\n"
    "  get 6x FILE RECORD COUNT | set 6x FILE RECORD V1 [V2 ...]\n"
    "  count                      requests served\n"
    "  fault NAME [once]          set the reply fault (once: next reply only)\n"
    "  late MS                    delay of the late fault\n"
    "  stats                      replies, bad frames, frames for other slaves\n"
    "  quit\n"
    "Each command is answered by one line, \"OK ...\" or \"ERR <reason>\".\n";

struct Options {
    int ascii = 0;
    int slave = 1;
    int baud = 9600;
    const char *link = nullptr;
    int fault = FAULT_NONE;
    int lateMs = 1000;
};

static int parse_int(const char *text, int low, int high, int *out) {
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high)
        return 0;
    *out = (int)v;
    return 1;
}

// Returns 1 when the options are good, 0 after printing what is wrong.
static int parse_options(int argc, char **argv, Options *o) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(a, "--rtu")) {
            o->ascii = 0;
        } else if (!strcmp(a, "--ascii")) {
            o->ascii = 1;
        } else if (!strcmp(a, "--slave") && next && parse_int(next, 1, 247, &o->slave)) {
            i++;
        } else if (!strcmp(a, "--baud") && next && parse_int(next, 50, 4000000, &o->baud)) {
            i++;
        } else if (!strcmp(a, "--link") && next) {
            o->link = next;
            i++;
        } else if (!strcmp(a, "--fault") && next && SlaveFaultParse(next) >= 0) {
            o->fault = SlaveFaultParse(next);
            i++;
        } else if (!strcmp(a, "--late-ms") && next && parse_int(next, 0, 600000, &o->lateMs)) {
            i++;
        } else {
            fprintf(stderr, "modbus_serial_sim: bad option '%s'\n%s", a, usageText);
            return 0;
        }
    }
    return 1;
}

// Answers one command line; returns 0 for "quit".
static int command(SerialSlave *s, char *line) {
    char out[4096];
    char word[32] = "", arg[32] = "", extra[32] = "";
    int words = sscanf(line, "%31s %31s %31s", word, arg, extra);
    if (words <= 0)
        return 1;
    if (!strcmp(word, "quit"))
        return 0;
    if (!strcmp(word, "fault")) {
        int f = words >= 2 ? SlaveFaultParse(arg) : -1;
        if (f < 0 || (words == 3 && strcmp(extra, "once"))) {
            printf("ERR fault none|wrong-slave|bad-check|silence|late|overlong [once]\n");
        } else {
            s->faultOnce = words == 3;
            s->fault = f;
            printf("OK\n");
        }
    } else if (!strcmp(word, "late")) {
        int ms = 0;
        if (words == 2 && parse_int(arg, 0, 600000, &ms)) {
            s->lateMs = ms;
            printf("OK\n");
        } else {
            printf("ERR late MS\n");
        }
    } else if (!strcmp(word, "stats")) {
        printf("OK replies %lu bad-frames %lu other-slave %lu\n", s->replies.load(),
               s->badFrames.load(), s->otherFrames.load());
    } else {
        SlaveCommand(s->model, line, out, sizeof out);
        printf("%s\n", out);
    }
    fflush(stdout);
    return 1;
}

int main(int argc, char **argv) {
    Options o;
    if (argc == 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
        fputs(usageText, stdout);
        return 0;
    }
    if (!parse_options(argc, argv, &o))
        return 2;
    PtyPair pty;
    if (!PtyOpen(&pty)) {
        fprintf(stderr, "modbus_serial_sim: cannot open a pty\n");
        return 1;
    }
    if (o.link && !PtyLink(&pty, o.link)) {
        fprintf(stderr, "modbus_serial_sim: cannot link %s\n", o.link);
        PtyClose(&pty);
        return 1;
    }
    SerialPort *port = SerialPortAttach(pty.master, o.baud);
    if (!port) {
        fprintf(stderr, "modbus_serial_sim: cannot attach the pty\n");
        PtyClose(&pty);
        return 1;
    }
    pty.master = -1; // the port owns it now
    // Frames end after three and a half quiet characters, at least 2 ms.
    int interval = (SerialPortCharTime(port) * 7 / 2 + 999) / 1000;
    SerialPortSetInterval(port, interval < 2 ? 2 : interval);

    SerialSlave s;
    s.port = port;
    s.model = SlaveCreate();
    s.ascii = o.ascii;
    s.address = o.slave;
    s.fault = o.fault;
    s.faultOnce = 0;
    s.lateMs = o.lateMs;
    s.badFrames = 0;
    s.otherFrames = 0;
    s.replies = 0;
    if (!s.model) {
        fprintf(stderr, "modbus_serial_sim: out of memory\n");
        SerialPortClose(port);
        PtyClose(&pty);
        return 1;
    }
    std::thread server(SerialSlaveRun, &s);
    printf("READY %s\n", pty.slavePath);
    fflush(stdout);

    char line[4096];
    while (fgets(line, sizeof line, stdin) && command(&s, line)) {
    }
    SerialPortStop(port);
    server.join();
    SerialPortClose(port);
    PtyClose(&pty);
    SlaveDestroy(s.model);
    return 0;
}
