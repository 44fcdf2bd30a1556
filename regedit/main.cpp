// VELDAK, the register editor: command line, connection start, editor, exit.
#include "comm/comm.h"
#include "regedit/command_line.h"
#include "regedit/editor.h"
#include "regedit/target.h"
#include "screen/screen.h"

#include <cstdio>
#include <memory>
#include <new>

static int Finish(const std::string &out, int status) {
    fputs(out.c_str(), stdout);
    fflush(stdout);
    return status;
}

int main(int argc, char **argv) {
    std::string out;
    AppendBanner(&out);
    static RunSettings settings;
    SettingsDefaults(&settings);
    if (ParseArguments(argc, argv, &settings, &out) != PARSE_OK)
        return Finish(out, 1);
    if (!settings.targetGiven) {
        out.append("Port, IP, or Base Address? ");
        Finish(out, 0);
        out.clear();
        char line[SETTING_TEXT_SIZE];
        if (!fgets(line, sizeof line, stdin))
            line[0] = '\0';
        TakeTargetLine(line, &settings);
    }
    CommHandle *h = nullptr;
    if (StartConnection(&settings, &h, &out) != 0)
        return Finish(out, 1);
    Finish(out, 0);

    std::unique_ptr<EditorState> editor(new (std::nothrow) EditorState);
    if (!editor) {
        CommClose(h);
        return Finish("Out of memory\n", 1);
    }
    EditorInit(editor.get(), &settings, h);
    ScreenInit();
    PutField("SY/MAX Register Viewer", 1, 1, 80, ' ', PF_CENTER);
    PutField("Corvane R&D", 2, 1, 0, ' ', 0);
    PutField("05Oct2004", 2, 60, 20, ' ', PF_RIGHT);
    SetIdleHook(h, EditorIdle, editor.get());
    ModuleIdRefresh(editor.get());
    RunEditor(editor.get());
    ScreenExit();
    CommClose(h);
    return 0;
}
