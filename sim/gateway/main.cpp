// gateway_sim: a gateway device on a pty answering "A", "R" and "W" lines.
//
// Prints "READY <pty path>" once it serves, then answers one line on standard
// output for each command line on standard input (see usage below).
#include "platform/pty.h"
#include "platform/serial.h"
#include "sim/gateway/gateway_device.h"
#include "sim/modbus_slave/modbus_slave.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

static const char usageText[] =
    "usage: gateway_sim [--baud B] [--link PATH] [--fault NAME]\n"
    "  --baud B     line speed that paces replies (default 9600)\n"
    "  --link PATH  also make PATH a symlink to the pty (for example COM1 in a test directory)\n"
    "  --fault NAME fault on every reply: none, short, silence, garbage, long\n"
    "The device serves registers 1 to 8192: \"A d1 d2 ...\" selects a route (reply CR),\n"
    "\"R start count\" reads (reply: the values, blank-separated, CR), \"W start v1 v2 ...\"\n"
    "writes (reply CR); anything else gets \"E\" CR.\n"
    "Prints \"READY <pty path>\" and then reads commands from standard input:\n"
    "  get 4x N COUNT | set 4x N V1 [V2 ...]   the registers (N is 1-based)\n"
    "  fault NAME [once]   set the reply fault (once: next reply only)\n"
    "  route               the route last selected: \"OK n d1 d2 ...\" or \"OK none\"\n"
    "  stats               counts of A, R, W and bad lines\n"
    "  quit\n"
    "Each command is answered by one line, \"OK ...\" or \"ERR <reason>\".\n";

static int command(GatewayDevice *g, char *line) {
    char word[32] = "", arg[32] = "", extra[32] = "";
    int words = sscanf(line, "%31s %31s %31s", word, arg, extra);
    if (words <= 0)
        return 1;
    if (!strcmp(word, "quit"))
        return 0;
    if (!strcmp(word, "fault")) {
        int f = words >= 2 ? GatewayFaultParse(arg) : -1;
        if (f < 0 || (words == 3 && strcmp(extra, "once"))) {
            printf("ERR fault none|short|silence|garbage|long [once]\n");
        } else {
            std::lock_guard<std::mutex> guard(g->lock);
            g->fault = f;
            g->faultOnce = words == 3;
            printf("OK\n");
        }
    } else if (!strcmp(word, "route")) {
        std::lock_guard<std::mutex> guard(g->lock);
        if (g->routeCount < 0) {
            printf("OK none\n");
        } else {
            printf("OK %d", g->routeCount);
            for (int i = 0; i < g->routeCount; i++)
                printf(" %d", g->route[i]);
            printf("\n");
        }
    } else if (!strcmp(word, "stats")) {
        std::lock_guard<std::mutex> guard(g->lock);
        printf("OK selects %lu reads %lu writes %lu bad %lu\n", g->selects, g->reads, g->writes,
               g->badLines);
    } else {
        char out[4096];
        SlaveCommand(g->model, line, out, sizeof out);
        printf("%s\n", out);
    }
    fflush(stdout);
    return 1;
}

int main(int argc, char **argv) {
    int baud = 9600, fault = GW_FAULT_NONE;
    const char *link = nullptr;
    for (int i = 1; i < argc; i++) {
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(usageText, stdout);
            return 0;
        } else if (!strcmp(argv[i], "--baud") && next && atoi(next) >= 50) {
            baud = atoi(next);
            i++;
        } else if (!strcmp(argv[i], "--link") && next) {
            link = next;
            i++;
        } else if (!strcmp(argv[i], "--fault") && next && GatewayFaultParse(next) >= 0) {
            fault = GatewayFaultParse(next);
            i++;
        } else {
            fprintf(stderr, "gateway_sim: bad option '%s'\n%s", argv[i], usageText);
            return 2;
        }
    }
    PtyPair pty;
    if (!PtyOpen(&pty)) {
        fprintf(stderr, "gateway_sim: cannot open a pty\n");
        return 1;
    }
    if (link && !PtyLink(&pty, link)) {
        fprintf(stderr, "gateway_sim: cannot link %s\n", link);
        PtyClose(&pty);
        return 1;
    }
    SerialPort *port = SerialPortAttach(pty.master, baud);
    ModbusSlave *model = SlaveCreate();
    if (!port || !model) {
        fprintf(stderr, "gateway_sim: cannot attach the pty\n");
        if (port)
            SerialPortClose(port);
        else
            PtyClose(&pty);
        SlaveDestroy(model);
        return 1;
    }
    pty.master = -1; // the port owns it now
    GatewayDevice g;
    GatewayDeviceInit(&g, model);
    g.fault = fault;
    std::thread server(GatewayDeviceRun, &g, port);
    printf("READY %s\n", pty.slavePath);
    fflush(stdout);
    char line[4096];
    while (fgets(line, sizeof line, stdin) && command(&g, line)) {
    }
    SerialPortStop(port);
    server.join();
    SerialPortClose(port);
    PtyClose(&pty);
    SlaveDestroy(model);
    return 0;
}
