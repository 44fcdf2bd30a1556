// The register editor drawing on a real terminal console over a pty, polling
// the Modbus TCP simulator on loopback, for the editor's benchmarks. A drain
// thread empties the pty, so the console's byte counts are what a terminal
// would get.
#pragma once
#include "comm/comm.h"
#include "regedit/editor.h"
#include "regedit/settings.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <atomic>
#include <memory>
#include <thread>

struct EditorLine {
    ModbusSlave *slave = nullptr;
    TcpSim *sim = nullptr;
    CommHandle *h = nullptr; // Modbus TCP to the simulator
    int master = -1, term = -1;
    std::atomic<bool> stop{false};
    std::thread drain;
    RunSettings s;
    std::unique_ptr<EditorState> e;
};

// Starts the simulator, connects, opens the pty console and the screen;
// false with a message on stderr (naming who) when any of it fails.
bool EditorLineOpen(EditorLine *l, const char *who);
// Sets the editor up afresh on handle h for one run of polls, with or
// without the status words (-S), and draws its heading.
void EditorLineStart(EditorLine *l, CommHandle *h, bool suppress);
// Ends the screen, the console, the drain, the link and the simulator.
void EditorLineClose(EditorLine *l);
