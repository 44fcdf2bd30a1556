// vrx740sim: the simulated storage module on a pty.
//
// Prints "READY /dev/pts/N" when it serves, then answers the text commands of
// vrx_commands.h read from stdin, one answer line each on stdout. Ends on
// SIGTERM, SIGINT, "quit" or the end of stdin, saving the state file when
// one was named and removing its link.
#include "sim/sim_main.h"
#include "sim/vrx740/vrx740_sim.h"
#include "sim/vrx740/vrx_commands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

using namespace vrx740;

static const char USAGE[] =
    "usage: vrx740sim [--link PATH] [--baud N] [--plc RACK] [--state FILE] [--trace]\n"
    "  --link PATH    create a symlink PATH to the pty slave (e.g. DIR/COM1)\n"
    "  --baud N       line speed for the pacing of replies (default 9600)\n"
    "  --plc RACK     PLC port addressing: offset o is register o + RACK (1 to 6145);\n"
    "                 default front panel: offset o is register o + 1\n"
    "  --state FILE   load the module from FILE at start (none: empty), save it at exit\n"
    "  --trace        every read and write on the line, with ms times, on stderr\n";

static int fail(const std::string &message) {
    fprintf(stderr, "vrx740sim: %s\n%s", message.c_str(), USAGE);
    return 2;
}

// Serves stdin commands and signals until the end.
static void command_loop(VrxSim *sim, int sigfd) {
    std::string pending;
    char chunk[4096];
    for (;;) {
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {0, POLLIN, 0}};
        int n = poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[0].revents & POLLIN))
            return;
        if (fds[1].revents == 0)
            continue;
        ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0)
            return;
        pending.append(chunk, size_t(got));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line == "quit")
                return;
            printf("%s\n", VrxSimCommand(sim, line).c_str());
            fflush(stdout);
        }
        if (pending.size() > (1u << 20))
            pending.clear(); // no command is that long
    }
}

int main(int argc, char **argv) {
    VrxSimOptions o;
    std::string state;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        long v;
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            return 0;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--link" && hasValue) {
            o.link = argv[++i];
        } else if (a == "--state" && hasValue) {
            state = argv[++i];
        } else if (a == "--baud" && hasValue) {
            if (!number_arg(argv[++i], 50, 4000000, &v))
                return fail("bad baud rate '" + std::string(argv[i]) + "'");
            o.baud = int(v);
        } else if (a == "--plc" && hasValue) {
            if (!number_arg(argv[++i], 1, MOD_MAX_RACK, &v))
                return fail("bad rack address '" + std::string(argv[i]) + "' (1 to 6145)");
            o.plc = true;
            o.rack = int(v);
        } else {
            bool takesValue = a == "--link" || a == "--baud" || a == "--plc" || a == "--state";
            return fail(takesValue ? "option '" + a + "' needs a value"
                                   : "unknown option '" + a + "'");
        }
    }
    // Signals arrive through a descriptor; the serving thread inherits the mask.
    int sigfd = stop_signal_fd();
    if (sigfd < 0)
        return fail("cannot take signals: " + std::string(strerror(errno)));

    std::string error;
    VrxSim *sim = VrxSimStart(o, &error);
    if (sim == nullptr) {
        fprintf(stderr, "vrx740sim: %s\n", error.c_str());
        return 1;
    }
    if (!state.empty()) {
        bool loaded = false, missing = false;
        VrxSimWith(sim, [&](Module *m, symaxsim::Slave *) {
            loaded = StateLoad(m, state, &error, &missing);
        });
        if (!loaded && !missing) {
            // A state file we cannot read is not overwritten at the end.
            fprintf(stderr, "vrx740sim: %s\n", error.c_str());
            VrxSimStop(sim);
            return 1;
        }
    }
    printf("READY %s\n", VrxSimSlavePath(sim));
    fflush(stdout);
    command_loop(sim, sigfd);
    int status = 0;
    if (!state.empty()) {
        bool saved = false;
        VrxSimWith(sim, [&](Module *m, symaxsim::Slave *) { saved = StateSave(m, state, &error); });
        if (!saved) {
            fprintf(stderr, "vrx740sim: %s\n", error.c_str());
            status = 1;
        }
    }
    VrxSimStop(sim);
    close(sigfd);
    return status;
}
