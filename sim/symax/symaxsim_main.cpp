// symaxsim: a simulated Sy/Max slave device on a pty.
//
// Prints "READY /dev/pts/N" when it serves, then answers the text commands of
// sim_commands.h read from stdin, one answer line each on stdout. Ends on
// SIGTERM, SIGINT or the end of stdin, removing its link.
#include "sim/sim_main.h"
#include "sim/symax/sim_commands.h"
#include "sim/symax/symax_sim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

using namespace symaxsim;

static const char USAGE[] =
    "usage: symaxsim [--link PATH] [--baud N] [--crc] [--delay MS] [--drop N]\n"
    "                [--fault NAME[=N]]... [--no-commands] [--trace]\n"
    "  --link PATH      create a symlink PATH to the pty slave (e.g. DIR/COM1)\n"
    "  --baud N         line speed for the pacing of replies (default 9600)\n"
    "  --crc            CRC-16 instead of the block check character\n"
    "  --delay MS       delay every reply\n"
    "  --drop N         answer only routes ending in drop N (others: status 29)\n"
    "  --fault F[=N]    drop, nak, noack, noreply, badcheck (N times), status=CODE,\n"
    "                   delay=MS (next reply), silent\n"
    "  --no-commands    do not read commands from stdin; serve until SIGTERM\n"
    "  --trace          every read and write on the line, with ms times, on stderr\n";

// "name" or "name=N" as the fault command's words.
static std::string fault_command(const char *text) {
    std::string s = text;
    size_t eq = s.find('=');
    if (s == "silent")
        return "fault silent on";
    if (eq == std::string::npos)
        return "fault " + s;
    return "fault " + s.substr(0, eq) + " " + s.substr(eq + 1);
}

static int fail(const std::string &message) {
    fprintf(stderr, "symaxsim: %s\n%s", message.c_str(), USAGE);
    return 2;
}

// Serves stdin commands and signals until the end.
static void command_loop(Sim *sim, int sigfd, bool commands) {
    std::string pending;
    char chunk[512];
    for (;;) {
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {0, POLLIN, 0}};
        int n = poll(fds, commands ? 2 : 1, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[0].revents & POLLIN))
            return;
        if (!commands || fds[1].revents == 0)
            continue;
        ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0)
            return;
        pending.append(chunk, size_t(got));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl), answer;
            pending.erase(0, nl + 1);
            if (line == "quit")
                return;
            SimWith(sim, [&](Slave *s) { answer = SlaveCommand(s, line); });
            printf("%s\n", answer.c_str());
            fflush(stdout);
        }
        if (pending.size() > 4096)
            pending.clear(); // no line is that long
    }
}

int main(int argc, char **argv) {
    SimOptions o;
    std::vector<std::string> faults;
    bool commands = true;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        long v;
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            return 0;
        } else if (a == "--crc") {
            o.crc = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--no-commands") {
            commands = false;
        } else if (a == "--link" && hasValue) {
            o.link = argv[++i];
        } else if (a == "--baud" && hasValue) {
            if (!number_arg(argv[++i], 50, 4000000, &v))
                return fail("bad baud rate '" + std::string(argv[i]) + "'");
            o.baud = int(v);
        } else if (a == "--delay" && hasValue) {
            if (!number_arg(argv[++i], 0, 60000, &v))
                return fail("bad delay '" + std::string(argv[i]) + "' (0 to 60000 ms)");
            o.delayMs = int(v);
        } else if (a == "--drop" && hasValue) {
            if (!number_arg(argv[++i], 0, 255, &v))
                return fail("bad drop '" + std::string(argv[i]) + "' (0 to 255)");
            o.drop = int(v);
        } else if (a == "--fault" && hasValue) {
            faults.push_back(fault_command(argv[++i]));
        } else {
            bool takesValue =
                a == "--link" || a == "--baud" || a == "--delay" || a == "--drop" || a == "--fault";
            return fail(takesValue ? "option '" + a + "' needs a value"
                                   : "unknown option '" + a + "'");
        }
    }
    // Check the faults before anything is made.
    {
        Slave probe;
        SlaveInit(&probe);
        for (const std::string &f : faults) {
            std::string r = SlaveCommand(&probe, f);
            if (r.rfind("OK", 0) != 0)
                return fail("bad --fault: " + r.substr(4));
        }
    }
    // Signals arrive through a descriptor; the serving thread inherits the mask.
    int sigfd = stop_signal_fd();
    if (sigfd < 0)
        return fail("cannot take signals: " + std::string(strerror(errno)));

    std::string error;
    Sim *sim = SimStart(o, &error);
    if (sim == nullptr) {
        fprintf(stderr, "symaxsim: %s\n", error.c_str());
        return 1;
    }
    SimWith(sim, [&](Slave *s) {
        for (const std::string &f : faults)
            SlaveCommand(s, f);
    });
    printf("READY %s\n", SimSlavePath(sim));
    fflush(stdout);
    command_loop(sim, sigfd, commands);
    SimStop(sim);
    close(sigfd);
    return 0;
}
