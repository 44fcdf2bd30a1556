// The "CONFIGURE VRX740 COMMUNICATIONS" dialogue: the connection type is
// chosen first, then the fields of that type are edited; an accepted record
// opens the link and may be written to the setup file.
#include "configurator/setup.h"

#include "comm/comm.h"
#include "screen/screen.h"

#include <cstring>

namespace {

const char *connection_names[] = {"None",         "Sy/Max COM:",    "Net-to-Net COM:",
                                  "Gateway COM:", "Sy/Link Direct", "Sy/Link Net-to-Net",
                                  nullptr};
const char *port_list[] = {"COM1:", "COM2:", "COM3:", "COM4:", nullptr};
const char *baud_list[] = {"50",   "75",   "110",   "134.5", "150",  "300",
                           "600",  "1200", "1800",  "2400",  "3600", "4800",
                           "7200", "9600", "14400", "19200", nullptr};
const char *data_bits_list[] = {"7", "8", nullptr};
const char *stop_bits_list[] = {"1", "2", nullptr};
const char *parity_list[] = {"NONE", "EVEN", "ODD", nullptr};
const char *via_list[] = {"FRONT PANEL", "PLC PORT", nullptr};
const char *base_list[] = {"CA000-CA3FF", "CB000-CB3FF", "CC000-CC3FF", "CD000-CD3FF",
                           "CE000-CE3FF", "CF000-CF3FF", "D0000-D03FF", "D1000-D13FF",
                           "D2000-D23FF", "D3000-D33FF", nullptr};
const char *speed_list[] = {"62.5 KB", "125 KB", "250 KB", "500 KB", nullptr};
const char *size_list[] = {"31", "100", nullptr};

constexpr int LABEL_COLUMN = 30;
constexpr int VALUE_COLUMN = 46;

const ScreenText none_labels[] = {
    {6, LABEL_COLUMN, "Connection type", 0},
    {0, 0, nullptr, 0},
};

// The Sy/Max and Net-to-Net form shows the 8 data bits it always uses.
const ScreenText symax_labels[] = {
    {6, LABEL_COLUMN, "Connection type", 0},
    {7, LABEL_COLUMN, "           Port", 0},
    {8, LABEL_COLUMN, "      Baud rate", 0},
    {9, LABEL_COLUMN, "      Data bits", 0},
    {10, LABEL_COLUMN, "      Stop bits", 0},
    {11, LABEL_COLUMN, "         Parity", 0},
    {12, LABEL_COLUMN, "          Route", 0},
    {13, LABEL_COLUMN, "  Connected via", 0},
    {14, LABEL_COLUMN, "   Rack address", 0},
    {9, VALUE_COLUMN, "8", AT_HIGH},
    {0, 0, nullptr, 0},
};

const ScreenText gateway_labels[] = {
    {6, LABEL_COLUMN, "Connection type", 0},  {7, LABEL_COLUMN, "           Port", 0},
    {8, LABEL_COLUMN, "      Baud rate", 0},  {9, LABEL_COLUMN, "      Data bits", 0},
    {10, LABEL_COLUMN, "      Stop bits", 0}, {11, LABEL_COLUMN, "         Parity", 0},
    {12, LABEL_COLUMN, "          Route", 0}, {13, LABEL_COLUMN, "  Connected via", 0},
    {14, LABEL_COLUMN, "   Rack address", 0}, {0, 0, nullptr, 0},
};

const ScreenText sylink_labels[] = {
    {6, LABEL_COLUMN, "Connection type", 0},  {7, LABEL_COLUMN, "   Base address", 0},
    {8, LABEL_COLUMN, "RS422 Baud rate", 0},  {9, LABEL_COLUMN, "RS422 Data bits", 0},
    {10, LABEL_COLUMN, "RS422 Stop bits", 0}, {11, LABEL_COLUMN, "   RS422 Parity", 0},
    {12, LABEL_COLUMN, "   Sy/Net speed", 0}, {13, LABEL_COLUMN, "    Sy/Net size", 0},
    {14, LABEL_COLUMN, "          Route", 0}, {15, LABEL_COLUMN, "  Connected via", 0},
    {16, LABEL_COLUMN, "   Rack address", 0}, {0, 0, nullptr, 0},
};

FormField symax_fields[] = {
    {7, VALUE_COLUMN, 5, DT_CHOICE, &g_setup.port, port_list, AT_HIGH},
    {8, VALUE_COLUMN, 5, DT_CHOICE, &g_setup.baud, baud_list, AT_HIGH},
    {10, VALUE_COLUMN, 1, DT_CHOICE, &g_setup.stopBits, stop_bits_list, AT_HIGH},
    {11, VALUE_COLUMN, 4, DT_CHOICE, &g_setup.parity, parity_list, AT_HIGH},
    {12, VALUE_COLUMN, NUMLIST_WIDTH, DT_NUMLIST, g_setup.route, nullptr, AT_HIGH},
    {13, VALUE_COLUMN, 11, DT_CHOICE, &g_setup.connectedVia, via_list, AT_HIGH},
    {14, VALUE_COLUMN, 4, DT_USHORT, &g_setup.rackAddress, nullptr, AT_HIGH},
};

FormField gateway_fields[] = {
    {7, VALUE_COLUMN, 5, DT_CHOICE, &g_setup.port, port_list, AT_HIGH},
    {8, VALUE_COLUMN, 5, DT_CHOICE, &g_setup.baud, baud_list, AT_HIGH},
    {9, VALUE_COLUMN, 1, DT_CHOICE, &g_setup.dataBits, data_bits_list, AT_HIGH},
    {10, VALUE_COLUMN, 1, DT_CHOICE, &g_setup.stopBits, stop_bits_list, AT_HIGH},
    {11, VALUE_COLUMN, 4, DT_CHOICE, &g_setup.parity, parity_list, AT_HIGH},
    {12, VALUE_COLUMN, NUMLIST_WIDTH, DT_NUMLIST, g_setup.route, nullptr, AT_HIGH},
    {13, VALUE_COLUMN, 11, DT_CHOICE, &g_setup.connectedVia, via_list, AT_HIGH},
    {14, VALUE_COLUMN, 4, DT_USHORT, &g_setup.rackAddress, nullptr, AT_HIGH},
};

// Sy/Link has no transport here: its settings are shown, never edited.
FormField sylink_fields[] = {
    {7, VALUE_COLUMN, 11, DT_CHOICE, &g_setup.baseAddress, base_list, AT_HIGH},
    {8, VALUE_COLUMN, 5, DT_CHOICE, &g_setup.baud, baud_list, AT_HIGH},
    {9, VALUE_COLUMN, 1, DT_CHOICE, &g_setup.dataBits, data_bits_list, AT_HIGH},
    {10, VALUE_COLUMN, 1, DT_CHOICE, &g_setup.stopBits, stop_bits_list, AT_HIGH},
    {11, VALUE_COLUMN, 4, DT_CHOICE, &g_setup.parity, parity_list, AT_HIGH},
    {12, VALUE_COLUMN, 7, DT_CHOICE, &g_setup.synetSpeed, speed_list, AT_HIGH},
    {13, VALUE_COLUMN, 3, DT_CHOICE, &g_setup.synetSize, size_list, AT_HIGH},
    {14, VALUE_COLUMN, NUMLIST_WIDTH, DT_NUMLIST, g_setup.route, nullptr, AT_HIGH},
    {15, VALUE_COLUMN, 11, DT_CHOICE, &g_setup.connectedVia, via_list, AT_HIGH},
    {16, VALUE_COLUMN, 4, DT_USHORT, &g_setup.rackAddress, nullptr, AT_HIGH},
};

// The form of a connection type: its labels, its fields and whether the
// fields may be edited.
struct SetupForm {
    const ScreenText *labels;
    FormField *fields;
    int fieldCount;
    bool editable;
};

SetupForm FormOf(int type) {
    switch (type) {
    case CONN_SYMAX:
    case CONN_NET_TO_NET:
        return {symax_labels, symax_fields, 7, true};
    case CONN_GATEWAY:
        return {gateway_labels, gateway_fields, 8, true};
    case CONN_SYLINK_DIRECT:
    case CONN_SYLINK_NET_TO_NET:
        return {sylink_labels, sylink_fields, 10, false};
    default:
        return {none_labels, nullptr, 0, false};
    }
}

// Clears the window's inside and draws the form of the current type; the
// type's name is reverse while it is being chosen, high once fields are edited.
void DrawSetupForm(bool choosingType) {
    int type = g_setup.connectionType;
    SetupForm form = FormOf(type);
    DrawBox(6, 21, 16, 78, 0);
    PutField(connection_names[type], 6, VALUE_COLUMN, 21, ' ', choosingType ? AT_REVERSE : AT_HIGH);
    DrawTextTable(form.labels);
    if (form.fieldCount > 0)
        ShowFields(form.fields, 0, form.fieldCount - 1, 0);
}

// The next and previous types the user may choose: Sy/Max, Net-to-Net and
// gateway in a ring; from None or a Sy/Link type the ring is entered at its ends.
int NextType(int type) {
    return type == CONN_SYMAX || type == CONN_NET_TO_NET ? type + 1 : CONN_SYMAX;
}
int PreviousType(int type) {
    return type == CONN_NET_TO_NET || type == CONN_GATEWAY ? type - 1 : CONN_GATEWAY;
}

enum DialogEnd { DIALOG_ACCEPTED, DIALOG_ABORTED };

// The field phase: KEY_UP back to the type phase, or how the dialogue ended.
int FieldPhase(void) {
    static const char terminators[] = {(char)KEY_ENTER, (char)KEY_ESC, (char)KEY_UP,
                                       (char)KEY_DOWN,  (char)KEY_F1,  0};
    SetupForm form = FormOf(g_setup.connectionType);
    DrawSetupForm(false);
    for (;;) {
        int key = EditForm(form.fields, 0, form.fieldCount - 1, 0, terminators, 0);
        if (key == KEY_DOWN)
            continue;
        if (key == KEY_UP)
            return KEY_UP;
        return key == KEY_ENTER || key == KEY_F1 ? DIALOG_ACCEPTED : DIALOG_ABORTED;
    }
}

// Both phases until the user accepts or aborts.
DialogEnd RunPhases(void) {
    if (g_setup.connectionType > CONN_SYLINK_NET_TO_NET)
        g_setup.connectionType = CONN_SYMAX;
    for (;;) {
        DrawSetupForm(true);
        int key = WaitKey();
        int type = g_setup.connectionType;
        if (key == ' ' || key == '+' || key == KEY_RIGHT) {
            g_setup.connectionType = (uint16_t)NextType(type);
        } else if (key == '-' || key == KEY_LEFT) {
            g_setup.connectionType = (uint16_t)PreviousType(type);
        } else if (key == KEY_ENTER || key == KEY_DOWN) {
            // None and the Sy/Link types have nothing to edit: stay here, so
            // the user can still choose another type or leave with ESC.
            if (!FormOf(type).editable)
                continue;
            int end = FieldPhase();
            if (end != KEY_UP)
                return (DialogEnd)end;
        } else if (key == KEY_ESC) {
            return DIALOG_ABORTED;
        } else {
            Bell();
        }
    }
}

bool SameLink(const SetupRecord &a, const SetupRecord &b) {
    return a.connectionType == b.connectionType && a.port == b.port &&
           a.baseAddress == b.baseAddress && memcmp(a.route, b.route, sizeof a.route) == 0;
}

bool SameRecord(const SetupRecord &a, const SetupRecord &b) {
    uint8_t x[SETUP_RECORD_BYTES], y[SETUP_RECORD_BYTES];
    SetupEncode(&a, x);
    SetupEncode(&b, y);
    return memcmp(x, y, sizeof x) == 0;
}

} // namespace

// Runs the dialogue; the handle of the link that stands afterwards.
CommHandle *SetupDialog(void) {
    ScreenWindow *window = OpenWindow(5, 20, 17, 79, "CONFIGURE VRX740 COMMUNICATIONS");
    SetupRecord kept = g_setup;
    if (RunPhases() == DIALOG_ACCEPTED) {
        if (!SameLink(g_setup, kept)) {
            if (g_handle)
                CommClose(g_handle);
            g_handle = nullptr;
        }
        // With the same connection the open link only takes the new port settings.
        if (EstablishLink() && Confirm("Write setup to startup file?"))
            WriteSetupFile(&g_setup);
    } else if (!SameRecord(g_setup, kept)) {
        ShowError("Edit aborted by ESC. Modifications lost.");
        g_setup = kept;
    }
    CloseWindow(&window);
    return g_handle;
}
