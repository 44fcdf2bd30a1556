// Test fixture: the configurator's module access against the simulated
// module served in process on a pty, with the screen on the recording console.
#pragma once

#include "comm/comm.h"
#include "configurator/config_model.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "platform/console_record.h"
#include "screen/screen.h"
#include "sim/vrx740/vrx740_sim.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

class ModuleTest : public ::testing::Test {
  protected:
    vrx740::VrxSim *sim = nullptr;

    // Serves an empty module and links to it (PLC port at rack when plc).
    void StartModule(bool plc, int rack) {
        vrx740::VrxSimOptions o;
        o.baud = 115200;
        o.plc = plc;
        o.rack = rack;
        std::string error;
        sim = vrx740::VrxSimStart(o, &error);
        ASSERT_NE(sim, nullptr) << error;
        static const uint16_t no_route[1 + ROUTE_MAX_DROPS] = {0};
        g_handle = OpenSymax(vrx740::VrxSimSlavePath(sim), 0, no_route);
        ASSERT_NE(g_handle, nullptr);
        // Replies wait 0.5 s, so failure tests end soon.
        SetPortParams(g_handle, 115200, 1, 1, 50, 8);
        SetupDefaults(&g_setup);
        g_setup.connectedVia = plc ? VIA_PLC_PORT : VIA_FRONT_PANEL;
        g_setup.rackAddress = (uint16_t)rack;
        ActionBegin();
    }
    void StopModule() {
        if (g_handle)
            CommClose(g_handle);
        g_handle = nullptr;
        vrx740::VrxSimStop(sim);
        sim = nullptr;
    }
    void SetUp() override {
        ConsoleRecordStart();
        ScreenInit();
        ClearConfig(&g_config);
        StartModule(false, 1);
    }
    void TearDown() override {
        StopModule();
        ScreenExit();
        ConsoleRecordStop();
    }

    // One simulator command; the words after "OK".
    std::vector<std::string> Cmd(const std::string &line) {
        std::string answer = vrx740::VrxSimCommand(sim, line);
        EXPECT_EQ(answer.rfind("OK", 0), 0u) << line << " -> " << answer;
        std::istringstream in(answer.substr(answer.size() < 2 ? answer.size() : 2));
        std::vector<std::string> words;
        for (std::string w; in >> w;)
            words.push_back(w);
        return words;
    }
    // A counter of the simulator's stats.
    long Stat(const std::string &name) {
        for (const std::string &w : Cmd("stats"))
            if (w.rfind(name + "=", 0) == 0)
                return std::stol(w.substr(name.size() + 1));
        ADD_FAILURE() << "no counter " << name;
        return -1;
    }
    // How often text was written to the terminal (error windows write
    // their message whole).
    static int TimesShown(const std::string &text) {
        std::string all;
        for (const ConsoleEvent &e : ConsoleRecordEvents())
            if (e.kind == CE_WRITE)
                all += e.text + "\n";
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            n++;
        return n;
    }
    static bool Shown(const std::string &text) { return TimesShown(text) > 0; }
};
