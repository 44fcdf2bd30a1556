// Benchmark of VELDAK's runs without the screen against the Modbus TCP
// simulator on loopback: polls per second of the program itself with
// "--count N --interval 0 --format csv" (timed by the first and last rows'
// own times, so the process start and the connection are left out), beside
// the screen's poll cycle run in this process on a pty console, over the same
// link with the same reads: 20 registers, with the status words and without (-S).
//
//   regedit_script_bench VELDAK [polls]     (default 2000 polls a figure)
#include "bench/editor_line.h"
#include "comm/comm.h"
#include "platform/console.h"
#include "regedit/editor.h"
#include "screen/screen.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

// Milliseconds since the epoch of a row's "YYYY-MM-DDTHH:MM:SS.mmmZ" time.
static double RowTimeMs(const char *row) {
    struct tm t = {};
    int ms = 0;
    if (sscanf(row, "%d-%d-%dT%d:%d:%d.%dZ", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
               &t.tm_min, &t.tm_sec, &ms) != 7)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return (double)timegm(&t) * 1000.0 + ms;
}

// Runs VELDAK for polls polls into a scratch file; polls per second by the
// rows' times (whole milliseconds), or -1 when the run failed. *wall gets the
// rate over the whole process, its start and the connection included.
static double HeadlessRate(const char *veldak, unsigned port, unsigned polls, bool suppress,
                           double *wall) {
    char path[] = "/tmp/script_bench.XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return -1;
    close(fd);
    std::string target = "127.0.0.1:" + std::to_string(port);
    std::string count = std::to_string(polls);
    Clock::time_point t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(veldak, veldak, target.c_str(), suppress ? "-S" : "-L20", "--count", count.c_str(),
              "--interval", "0", "--format", "csv", "--output", path, (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        unlink(path);
        return -1;
    }
    *wall = polls / std::chrono::duration<double>(Clock::now() - t0).count();
    FILE *f = fopen(path, "r");
    char line[1024];
    double first = -1, last = -1;
    unsigned rows = 0;
    while (f && fgets(line, sizeof line, f)) {
        double t = RowTimeMs(line);
        if (t < 0)
            continue; // the header
        if (first < 0)
            first = t;
        last = t;
        rows++;
    }
    if (f)
        fclose(f);
    unlink(path);
    if (rows != polls)
        return -1;
    // Rows all within one millisecond (a short run) give no span to time by.
    return last > first ? (rows - 1) * 1000.0 / (last - first) : *wall;
}

// The screen's poll cycle, polls times; cycles per second.
static double ScreenRate(EditorState *e, unsigned polls) {
    PollCycle(e); // settle the screen first
    Clock::time_point t0 = Clock::now();
    for (unsigned i = 0; i < polls; i++)
        PollCycle(e);
    return polls / std::chrono::duration<double>(Clock::now() - t0).count();
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: regedit_script_bench VELDAK [polls]\n");
        return 2;
    }
    unsigned polls = argc > 2 && atoi(argv[2]) > 1 ? (unsigned)atoi(argv[2]) : 2000;
    EditorLine l;
    if (!EditorLineOpen(&l, "script_bench"))
        return 1;

    const struct {
        const char *what;
        bool suppress;
    } rows[] = {{"20 registers and their status words", false}, {"20 registers (-S)", true}};
    double headless[2] = {}, wall[2] = {}, screen[2] = {};
    // The machine may be shared: each figure is the best of three rounds.
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < 2; i++) {
            double w = 0;
            double r = HeadlessRate(argv[1], TcpSimPort(l.sim), polls, rows[i].suppress, &w);
            if (r < 0) {
                fprintf(stderr, "script_bench: VELDAK run failed\n");
                return 1;
            }
            if (r > headless[i])
                headless[i] = r;
            if (w > wall[i])
                wall[i] = w;
            EditorLineStart(&l, l.h, rows[i].suppress);
            r = ScreenRate(l.e.get(), polls);
            if (r > screen[i])
                screen[i] = r;
            SetIdleHook(l.h, nullptr, nullptr);
        }
    }
    EditorLineClose(&l);

    printf("VELDAK polls against modbustcpsim on loopback, %u polls a figure\n", polls);
    printf("%-38s %16s %18s %12s %8s\n", "case", "--format csv /s", "(whole process /s)",
           "screen /s", "ratio");
    for (int i = 0; i < 2; i++)
        printf("%-38s %16.0f %18.0f %12.0f %8.2f\n", rows[i].what, headless[i], wall[i], screen[i],
               headless[i] / screen[i]);
    return 0;
}
