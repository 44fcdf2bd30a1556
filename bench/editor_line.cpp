// The register editor on a pty console against the Modbus TCP simulator.
#include "bench/editor_line.h"

#include "platform/console.h"
#include "screen/screen.h"

#include <cstdio>
#include <pty.h>
#include <unistd.h>

bool EditorLineOpen(EditorLine *l, const char *who) {
    l->slave = SlaveCreate();
    TcpSimOptions options = {0, -1, 1000, 0};
    l->sim = l->slave ? TcpSimStart(l->slave, &options) : nullptr;
    if (!l->sim) {
        fprintf(stderr, "%s: cannot start the simulator\n", who);
        return false;
    }
    l->h = OpenModbusTCP("127.0.0.1", TcpSimPort(l->sim), 0);
    winsize ws = {25, 80, 0, 0};
    if (!l->h || openpty(&l->master, &l->term, nullptr, nullptr, &ws) != 0) {
        fprintf(stderr, "%s: cannot open the link or a pty\n", who);
        return false;
    }
    l->drain = std::thread([l] {
        char buf[4096];
        while (!l->stop && read(l->master, buf, sizeof buf) > 0) {
        }
    });
    ConsoleSetTerminalFds(l->term, l->term);
    SettingsDefaults(&l->s);
    l->s.maxRegister = MODBUS_MAX_REGISTER;
    l->e.reset(new EditorState);
    ScreenInit();
    return true;
}

void EditorLineStart(EditorLine *l, CommHandle *h, bool suppress) {
    l->s.suppressPolling = suppress;
    EditorInit(l->e.get(), &l->s, h);
    SetIdleHook(h, EditorIdle, l->e.get());
    ClearToEndOfScreen(4, 1);
    DrawHeading(l->e.get());
}

void EditorLineClose(EditorLine *l) {
    ScreenExit();
    ConsoleSetTerminalFds(-1, -1);
    // Closing our end of the pty ends the drain thread's read; only then is
    // the master closed.
    l->stop = true;
    if (l->term >= 0)
        close(l->term);
    if (l->drain.joinable())
        l->drain.join();
    if (l->master >= 0)
        close(l->master);
    CommClose(l->h);
    TcpSimStop(l->sim);
    SlaveDestroy(l->slave);
}
