// The link to the module: opening it as the setup record says, its port
// parameters, and the idle routine that runs while the link waits.
#include "configurator/setup.h"

#include "comm/comm.h"
#include "configurator/module_access.h"
#include "platform/serial.h"
#include "screen/screen.h"

#include <chrono>
#include <climits>

namespace {

const char *const port_names[] = {"COM1:", "COM2:", "COM3:", "COM4:"};
const int baud_rates[] = {50,   75,   110,  135,  150,  300,  600,   1200,
                          1800, 2400, 3600, 4800, 7200, 9600, 14400, 19200};

// The spinner's characters in the console code page, in turning order.
const char spinner_chars[] = {'\xC4', '\x5C', '\xB3', '\x2F'};
// The spinner turns at most this often, however often the library idles.
constexpr auto SPINNER_STEP = std::chrono::milliseconds(100);

int spinner_step = -1;
std::chrono::steady_clock::time_point spinner_turned;

// Opens the connection of the record's type, its COM name looked up in the
// start directory (the picker may have moved the current one); none for the
// types that have no link.
CommHandle *OpenLink(const SetupRecord *s) {
    const char *name = SetupPortName(s->port);
    if (s->connectionType < CONN_SYMAX || s->connectionType > CONN_GATEWAY || !*name)
        return nullptr;
    char path[PATH_MAX];
    if (!SerialPortPathIn(name, StartDirectory().c_str(), path, sizeof path))
        return nullptr;
    if (s->connectionType == CONN_GATEWAY)
        return OpenGateway(path, s->route);
    return OpenSymax(path, s->connectionType == CONN_NET_TO_NET, s->route);
}

// Turns the spinner one step when its time has come.
void SpinnerTurn(void) {
    auto now = std::chrono::steady_clock::now();
    if (spinner_step >= 0 && now - spinner_turned < SPINNER_STEP)
        return;
    spinner_step = (spinner_step + 1) % 4;
    spinner_turned = now;
    char text[2] = {spinner_chars[spinner_step], 0};
    PutField(text, 1, 80, 1, ' ', 0);
}

} // namespace

// The port name of a port index.
const char *SetupPortName(int port) {
    return port >= 0 && port <= 3 ? port_names[port] : "";
}

// The rate of a baud index.
int SetupBaudRate(int baud) {
    return baud >= 0 && baud <= 15 ? baud_rates[baud] : 0;
}

// Opens the link when none is open, then sets its port parameters.
bool EstablishLink(void) {
    if (!g_handle) {
        g_handle = OpenLink(&g_setup);
        if (!g_handle) {
            ShowError("Unable to establish link.");
            return false;
        }
        SetIdleHook(g_handle, ConfigIdle, nullptr);
    }
    // The data-bits field is the gateway's; the port always runs 8 bits.
    if (SetPortParams(g_handle, SetupBaudRate(g_setup.baud), g_setup.parity, g_setup.stopBits + 1,
                      DEFAULT_REPLY_TIMEOUT, 8) &&
        g_setup.connectionType < CONN_SYLINK_DIRECT)
        return true;
    ShowError(CommErrorText(g_handle));
    return g_handle != nullptr;
}

// Notes a key typed during a wait, aborts on ESC, turns the spinner.
int ConfigIdle(void *) {
    // Only the console is read: keys already in the type-ahead belong to the
    // screens that come after this wait, in their order.
    int key = ReadKey(0);
    if (key == KEY_ESC) {
        g_action.escaped = true;
        // While records move the ESC is the transfer's: it ends it, and does
        // not also close the message that follows.
        if (!g_action.transfer)
            PushKeys("\x1b");
        return 0;
    }
    if (key != KEY_NONE) {
        char text[2] = {(char)key, 0};
        PushKeys(text);
    }
    SpinnerTurn();
    return 1;
}
