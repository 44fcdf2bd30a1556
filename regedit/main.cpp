// VELDAK, the register editor: command line, connection start, then the
// editor screen, or a run of polls without it (--once, --count).
#include "comm/comm.h"
#include "platform/stdout_binary.h"
#include "platform/stop_signal.h"
#include "regedit/command_line.h"
#include "regedit/editor.h"
#include "regedit/long_options.h"
#include "regedit/record_format.h"
#include "regedit/script_run.h"
#include "regedit/target.h"
#include "screen/screen.h"

#include <cstdio>
#include <memory>
#include <new>

static int Finish(FILE *to, const std::string &out, int status) {
    fputs(out.c_str(), to);
    fflush(to);
    return status;
}

static void PrintStats(const RunSettings *s, CommHandle *h) {
    if (!s->script.stats)
        return;
    CommStats st;
    CommGetStats(h, &st);
    Finish(stderr, StatsLine(st), 0);
}

// The editor screen until Escape.
static int RunScreen(RunSettings *s, CommHandle *h) {
    std::unique_ptr<EditorState> editor(new (std::nothrow) EditorState);
    if (!editor) {
        CommClose(h);
        return Finish(stdout, "Out of memory\n", 1);
    }
    EditorInit(editor.get(), s, h);
    ScreenInit();
    PutField("SY/MAX Register Viewer", 1, 1, 80, ' ', PF_CENTER);
    PutField("Corvane R&D", 2, 1, 0, ' ', 0);
    PutField("05Oct2004", 2, 60, 20, ' ', PF_RIGHT);
    SetIdleHook(h, EditorIdle, editor.get());
    ModuleIdRefresh(editor.get());
    RunEditor(editor.get());
    ScreenExit();
    PrintStats(s, h);
    CommClose(h);
    return 0;
}

int main(int argc, char **argv) {
    // With data on standard output, the banner and every message go to standard error.
    FILE *messages = DataOnStdout(argc, argv) ? stderr : stdout;
    std::string out;
    AppendBanner(&out);
    static RunSettings settings;
    SettingsDefaults(&settings);
    int parsed = ParseArguments(argc, argv, &settings, &out);
    if (parsed == PARSE_EXIT)
        return Finish(messages, out, 1);
    if (parsed == PARSE_DONE) {
        Finish(messages, out, 0);
        if (settings.script.version)
            printf("VELDAK %s\n", VeldakVersion());
        return 0;
    }
    bool polls = settings.script.polls > 0;
    if (polls) {
        StopSignalInstall();
        StdoutBinary(); // the data's line ends are its own
    }
    bool header = false;
    FILE *data = polls ? ScriptOpenOutput(&settings, &header, &out) : nullptr;
    if (polls && !data)
        return Finish(messages, out, 1);
    if (!settings.targetGiven) {
        out.append("Port, IP, or Base Address? ");
        Finish(messages, out, 0);
        out.clear();
        char line[SETTING_TEXT_SIZE];
        if (!fgets(line, sizeof line, stdin))
            line[0] = '\0';
        TakeTargetLine(line, &settings);
    }
    CommHandle *h = nullptr;
    if (StartConnection(&settings, &h, &out) != 0)
        return Finish(messages, out, 1);
    Finish(messages, out, 0);
    if (!polls)
        return RunScreen(&settings, h);

    int status = RunScript(&settings, h, data, header);
    PrintStats(&settings, h);
    CommClose(h);
    if (data != stdout)
        fclose(data);
    return status;
}
