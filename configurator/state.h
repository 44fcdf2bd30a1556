// The program-wide state of the configurator, one line each. The types are
// those of their modules: config_model.h, setup.h, module_access.h.
#pragma once

#include <cstdint>

struct CommHandle;
struct MenuAction;
struct ModuleConfig;
struct SetupRecord;

// Registers of the record image buffer (records are at most 2039 registers).
constexpr int RECORD_BUFFER_WORDS = 2048;

extern SetupRecord g_setup;                        // the link settings (setup file)
extern CommHandle *g_handle;                       // the open link, or none
extern ModuleConfig g_config;                      // the configuration image in PC memory
extern ModuleConfig g_spare;                       // the image parked during window access
extern MenuAction g_action;                        // the menu action in progress
extern uint16_t RecordBuffer[RECORD_BUFFER_WORDS]; // the record image being moved
extern char g_fileName[16];                        // the name the file dialogues last used
