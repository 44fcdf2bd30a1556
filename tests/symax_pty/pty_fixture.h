// A test fixture that serves a simulated Sy/Max device on a pty linked as
// COM1 in a temporary directory (made the current directory, where the
// library looks for COMn) and opens the library's handle on it.
#pragma once
#include "comm/comm.h"
#include "sim/symax/symax_sim.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

struct LinkSetup {
    int baud = 115200;
    bool crc = false;
    bool priority = false;
    int netToNet = 0;
    std::vector<uint16_t> route = {1, 1}; // count, drops
    int timeoutTicks = 300;
    symaxsim::SimOptions sim; // baud and crc are taken from above
};

struct SymaxPty : ::testing::Test {
    std::string dir, oldDir;
    symaxsim::Sim *sim = nullptr;
    CommHandle *h = nullptr;

    void SetUp() override;
    void TearDown() override;
    // Starts the device and opens the handle (both ended by TearDown).
    void Start(const LinkSetup &s);
    // Closes the handle and stops the device early.
    void Stop();
    // Runs f on the device under its lock.
    void With(const std::function<void(symaxsim::Slave *)> &f) { symaxsim::SimWith(sim, f); }
    // A text command to the device.
    std::string Command(const std::string &line);
    // Waits (bounded) until pred holds on the device; false when it never did.
    bool WaitFor(const std::function<bool(symaxsim::Slave *)> &pred, int ms = 5000);
};
