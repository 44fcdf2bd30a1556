// VRX740SW, the module configurator: start-up, the main menu loop and exit.
#include "comm/comm.h"
#include "configurator/actions.h"
#include "configurator/config_model.h"
#include "configurator/dialogs.h"
#include "configurator/fetch_send.h"
#include "configurator/menu_loop.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "screen/screen.h"

#include "platform/files.h"

int main(int argc, char **argv) {
    SetStartDirectory(CurrentDirectory());
    ScreenInit();
    DrawScreen(MainScreenTexts);
    g_handle = nullptr;
    LoadSetupAtStart();
    ClearConfig(&g_config);
    QueueCommandLineKeys(argc, argv);
    RunMenuLoop();
    ScreenExit();
    if (g_handle) {
        CommClose(g_handle);
        g_handle = nullptr;
    }
    return 0;
}
