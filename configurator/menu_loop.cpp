// The main screen, the menu bar loop and the command-line keystrokes.
#include "configurator/menu_loop.h"

#include <cctype>

#include "configurator/actions.h"
#include "configurator/dialogs.h"
#include "configurator/fetch_send.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"

const ScreenText MainScreenTexts[] = {
    {1, 17, "VRX740 MAINTENANCE AND CONFIGURATION SOFTWARE", AT_HIGH},
    {25, 70, "08May2008", 0},
    {2, 2, "Storage module maintenance and configuration", 0},
    {24, 1, "Use initial capital letter or arrows and ENTER to select.", 0},
    {24, 42, "ENTER", AT_HIGH},
    {25, 1, "Type F10 to clear error window.  Type ESC to exit.", 0},
    {25, 6, "F10", AT_HIGH},
    {25, 39, "ESC", AT_HIGH},
    {0, 0, nullptr, 0},
};

const char *MainMenu[] = {
    "Configuration",
    "Fetch configuration from module",
    "Edit configuration in PC memory",
    "print Configuration data.",
    "print Map of rack interface.",
    "Load from disk to PC memory",
    "Write from PC memory to disk",
    "Send configuration to VRX740 module",
    "Delete configuration file",
    nullptr,
    "Transfer",
    "Sequential file load",
    "Keyed file load",
    "Unload data to file",
    "Delete data file",
    nullptr,
    "Backup",
    "Backup module to disk",
    "Restore module from disk",
    "Delete backup file",
    nullptr,
    "Utilities",
    "View module registers",
    "Erase VRX740 file",
    "Transferred file record length conversion",
    nullptr,
    "Protect",
    "Lock configuration",
    "Unlock configuration",
    "Set write protect",
    "Clear write protect",
    nullptr,
    "Setup",
    nullptr,
    "Quit",
    nullptr,
    nullptr,
};

// The keystrokes of one command-line argument.
std::string CommandLineKeys(const char *argument) {
    std::string keys;
    for (const char *p = argument; *p; p++) {
        if (*p != '/') {
            keys += *p;
            continue;
        }
        // The slash meets the letters behind it until one of R, E, D or the end.
        const char *q = p + 1;
        for (;; q++) {
            char c = *q;
            if (c == '\0') {
                // A slash left at the end stands for no key: it goes.
                p = q - 1;
                break;
            }
            if (!isalpha((unsigned char)c)) {
                // Only a slash and a letter are a key; "08/12" stays as typed.
                keys += '/';
                p = q - 1;
                break;
            }
            if (c == 'R' || c == 'r') {
                keys += '\r';
                p = q;
                break;
            }
            if (c == 'E' || c == 'e') {
                keys += '\x1b';
                p = q;
                break;
            }
            if (c == 'D' || c == 'd') {
                keys += '\x7f';
                p = q;
                break;
            }
            // Any other letter after the slash is dropped.
        }
    }
    return keys;
}

// Pushes the keystrokes of every argument into the type-ahead, in order.
void QueueCommandLineKeys(int argc, char **argv) {
    for (int i = 1; i < argc; i++)
        PushKeys(CommandLineKeys(argv[i]).c_str());
}

// The four data-file items of "Transfer": the file type first.
static void DataFileAction(int item) {
    static const char *const captions[] = {"Sequential load", "Keyed load", "Unload",
                                           "Delete file"};
    int type = FileTypeMenu(captions[item - 1]);
    if (type == 0)
        return;
    switch (item) {
    case 1:
        LoadDataFile(false, type);
        break;
    case 2:
        LoadDataFile(true, type);
        break;
    case 3:
        UnloadDataFile(type);
        break;
    case 4: {
        static const char *const titles[] = {"", "DELETE HEX DATA FILE", "DELETE BINARY DATA FILE",
                                             "DELETE DECIMAL DATA FILE"};
        DeleteFileDialog(DataFileExtension(type), titles[type]);
        break;
    }
    }
}

// A "Protect" item: only through the front panel.
static void ProtectAction(unsigned setBits, unsigned clearBits) {
    if (!FrontPanelGuard())
        return;
    ActionBegin();
    ModifyLockRegister(setBits, clearBits);
}

// Carries out the action of a menu code; false for "Quit".
bool RunMenuAction(int code) {
    ActionBegin();
    switch (code) {
    case 101:
        FetchConfig();
        break;
    case 102:
        EditConfig();
        break;
    case 103:
        PrintConfigReport();
        break;
    case 104:
        PrintMapReport();
        break;
    case 105:
        LoadConfigFile();
        break;
    case 106:
        SaveConfigFile();
        break;
    case 107:
        if (Confirm("All data in module will be lost. Continue?"))
            SendConfig(false, true);
        break;
    case 108:
        DeleteFileDialog(".VRX", "DELETE CONFIGURATION FILE");
        break;
    case 201:
    case 202:
    case 203:
    case 204:
        DataFileAction(code - 200);
        break;
    case 301:
        BackupModule();
        break;
    case 302:
        RestoreModule();
        break;
    case 303:
        DeleteFileDialog(".740", "DELETE BACKUP FILE");
        break;
    case 401:
        ViewModuleRegisters();
        break;
    case 402:
        EraseModuleFile();
        break;
    case 403: {
        int type = FileTypeMenu("Convert format");
        if (type != 0)
            ConvertDataFile(type);
        break;
    }
    case 501:
        ProtectAction(LOCK_CONFIG, 0);
        break;
    case 502:
        ProtectAction(0, LOCK_CONFIG);
        break;
    case 503:
        ProtectAction(LOCK_WRITE_PROTECT, 0);
        break;
    case 504:
        ProtectAction(0, LOCK_WRITE_PROTECT);
        break;
    case 600:
        SetupDialog();
        break;
    case 700:
        return false;
    default:
        break;
    }
    return true;
}

// Runs the menu bar until "Quit".
void RunMenuLoop(void) {
    int code = 101;
    for (;;) {
        int chosen = MenuBar(MainMenu, 4, code);
        // The result line of the last action stays until the next choice.
        if (chosen != 0)
            ClearToEndOfLine(10, 1);
        code = chosen;
        bool more = RunMenuAction(code);
        DrawTextTable(MainScreenTexts);
        if (!more)
            break;
    }
}
