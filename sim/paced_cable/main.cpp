// pacedcable: joins two serial ends with a cable paced like a real line.
//
// Prints "READY <path of a> <path of b>" once both ends are there; ends on
// SIGTERM, SIGINT, SIGHUP or the end of stdin, removing the links it made.
#include "sim/paced_cable/paced_cable.h"
#include "sim/sim_main.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

static const char USAGE[] =
    "usage: pacedcable --baud N [--bits N] (--link-a PATH | --open-a PATH)\n"
    "                  (--link-b PATH | --open-b PATH) [--no-stdin]\n"
    "  --baud N         line speed (default 9600)\n"
    "  --bits N         bits a character takes on the line (default 11: 8E1)\n"
    "  --link-a PATH    end a is a new pty whose slave PATH links to (e.g. DIR/COM1)\n"
    "  --open-a PATH    end a is the terminal PATH (e.g. a simulator's link)\n"
    "  --link-b, --open-b  the same for end b\n"
    "  --no-stdin       do not stop at the end of stdin; run until SIGTERM\n";

static int fail(const std::string &message) {
    fprintf(stderr, "pacedcable: %s\n%s", message.c_str(), USAGE);
    return 2;
}

// Waits for a stop signal or, when watching stdin, its end.
static void wait_for_end(int sigfd, bool watchStdin) {
    for (;;) {
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {0, POLLIN, 0}};
        int n = poll(fds, watchStdin ? 2 : 1, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[0].revents & POLLIN))
            return;
        if (watchStdin && fds[1].revents != 0) {
            char chunk[256];
            if (read(0, chunk, sizeof chunk) <= 0)
                return;
        }
    }
}

int main(int argc, char **argv) {
    CableOptions o;
    bool watchStdin = true;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        long v;
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            return 0;
        } else if (a == "--no-stdin") {
            watchStdin = false;
        } else if (a == "--baud" && hasValue) {
            if (!number_arg(argv[++i], 50, 4000000, &v))
                return fail("bad baud rate '" + std::string(argv[i]) + "'");
            o.baud = int(v);
        } else if (a == "--bits" && hasValue) {
            if (!number_arg(argv[++i], 7, 12, &v))
                return fail("bad character size '" + std::string(argv[i]) + "' (7 to 12)");
            o.bitsPerChar = int(v);
        } else if (a == "--link-a" && hasValue) {
            o.a.link = argv[++i];
        } else if (a == "--open-a" && hasValue) {
            o.a.open = argv[++i];
        } else if (a == "--link-b" && hasValue) {
            o.b.link = argv[++i];
        } else if (a == "--open-b" && hasValue) {
            o.b.open = argv[++i];
        } else {
            return fail(a.rfind("--", 0) == 0 && !hasValue ? "option '" + a + "' needs a value"
                                                           : "unknown option '" + a + "'");
        }
    }
    // Signals arrive through a descriptor; the carrying thread inherits the mask.
    int sigfd = stop_signal_fd();
    if (sigfd < 0)
        return fail("cannot take signals: " + std::string(strerror(errno)));
    std::string error;
    PacedCable *c = CableStart(o, &error);
    if (c == nullptr) {
        fprintf(stderr, "pacedcable: %s\n", error.c_str());
        return 1;
    }
    printf("READY %s %s\n", CableEndPath(c, 0), CableEndPath(c, 1));
    fflush(stdout);
    wait_for_end(sigfd, watchStdin);
    CableStop(c);
    close(sigfd);
    return 0;
}
