// Window commands under load: 1000 commands (read next, write record, delete
// all, in turn) to the simulated module over a pty cable paced at 19200 baud
// while two threads spin, so that every thread of the link waits for a core.
// Each command is the host's three requests: the command register to 0, the
// command, one status read. Prints the requests the host made, the frames the
// module received, those that were the same frame as the one before (a
// request sent twice), the enquiries, and the commands the module ran
// against the command frames that reached it. The goal is no request sent
// twice and exactly one command run for each one given.
#include "bench/module_line.h"
#include "comm/comm.h"
#include "configurator/setup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

enum { BAUD = 19200, LENGTH = 4, HIGHEST = 99, BUSY_LOOPS = 2 };

const uint16_t kCommands[] = {vrx740::CMD_READ_NEXT, vrx740::CMD_WRITE_RECORD,
                              vrx740::CMD_DELETE_ALL};

struct Seen {
    long framesIn = 0, repeats = 0, enquiries = 0, ran = 0, commandFrames = 0;
};

Seen Look(ModuleLine *line, unsigned command) {
    Seen s;
    ModuleLineWith(line, [&](ModuleLine *l) {
        s.ran = l->module.stats.commands;
        for (const Transaction &t : l->log)
            if (t.write && t.first == command && t.values.size() == 1 && t.values[0] != 0)
                s.commandFrames++;
    });
    SimWith(line->sim, [&](symaxsim::Slave *sl) {
        s.framesIn = sl->stats.framesIn;
        s.repeats = sl->stats.repeatsIn;
        s.enquiries = sl->stats.enqIn;
    });
    return s;
}

} // namespace

int main(int argc, char **argv) {
    int commands = argc > 1 ? atoi(argv[1]) : 1000;
    ModuleLine *line = new ModuleLine;
    std::string error;
    if (!ModuleLineStart(line, BAUD, true, &error)) {
        fprintf(stderr, "enquiry_bench: %s\n", error.c_str());
        return 1;
    }
    unsigned status = 0;
    ModuleLineWith(line, [&](ModuleLine *l) {
        if (vrx740::ModuleConfigure(&l->module, {{LENGTH, 1, HIGHEST, 0}}, &error))
            status = unsigned(l->module.windows[0].start);
        l->module.stats.commands = 0;
    });
    if (status == 0) {
        fprintf(stderr, "enquiry_bench: cannot configure the module: %s\n", error.c_str());
        ModuleLineStop(line);
        return 1;
    }
    // Front-panel addressing: register number = offset + 1.
    int statusRegister = int(status) + 1;
    int commandRegister = int(status + LENGTH + 2) + 1;
    std::atomic<bool> done{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < BUSY_LOOPS; i++)
        busy.emplace_back([&done] {
            volatile unsigned long spin = 0;
            while (!done.load(std::memory_order_relaxed))
                spin = spin + 1;
        });
    ModuleLineTake(line);
    long requests = 0, failed = 0;
    for (int i = 0; i < commands; i++) {
        uint16_t zero = 0, code = kCommands[i % 3], seen = 0;
        requests += 3;
        if (Write4X(g_handle, commandRegister, 1, &zero) != 1 ||
            Write4X(g_handle, commandRegister, 1, &code) != 1 ||
            Read4X(g_handle, statusRegister, 1, &seen) != 1) {
            failed++;
            fprintf(stderr, "enquiry_bench: command %d: %s\n", i, CommErrorText(g_handle));
        }
    }
    done = true;
    for (std::thread &t : busy)
        t.join();
    Seen s = Look(line, status + LENGTH + 2);
    printf("%d window commands over a pty cable at %d baud, %d busy loops\n", commands, BAUD,
           BUSY_LOOPS);
    printf("requests sent:              %ld (%ld failed)\n", requests, failed);
    printf("frames the module received: %ld\n", s.framesIn);
    printf("requests sent twice:        %ld (the same frame as the one before)\n", s.repeats);
    printf("enquiries:                  %ld\n", s.enquiries);
    printf("commands executed:          %ld (command frames received: %ld)\n", s.ran,
           s.commandFrames);
    ModuleLineStop(line);
    delete line;
    return s.repeats == 0 && s.ran == commands && failed == 0 ? 0 : 1;
}
