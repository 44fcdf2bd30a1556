// VELDAK's long options: names, values and the checks across them.
#include "regedit/long_options.h"

#include "regedit/command_line.h"
#include "regedit/value_decode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef VELDAK_VERSION
#define VELDAK_VERSION "0.0.0"
#endif

static const char *const LongUsageLines[] = {
    "Long options (a run of polls without the screen):",
    "--once             One poll, printed, then exit.",
    "--count N          N polls, then exit.",
    "--interval MS      At least MS milliseconds from one poll's start to the next, default 1000.",
    "--format F         text (one line per register), csv (one row per poll) or json",
    "                   (one JSON object per poll per line). Default text.",
    "--type T           u16, s16, hex, u32, s32, f32 or f64; 32- and 64-bit types take 2 or 4",
    "                   registers each, and -L must be a multiple. Default u16.",
    "--order O          ABCD, CDAB, BADC or DCBA: byte and word order of multi-register types",
    "                   (ABCD: first register's high byte first). Default ABCD.",
    "--output FILE      Append to FILE instead of standard output.",
    "--stats            Link statistics on standard error at the end (screen runs too).",
    "--version          Print the version.",
    "--help             This text.",
    "Exit status: 0 every poll succeeded, 2 a poll failed, 1 the run could not start.",
};

const char *VeldakVersion(void) {
    return VELDAK_VERSION;
}

void AppendLongUsage(std::string *out) {
    for (const char *line : LongUsageLines) {
        out->append("\n");
        out->append(line);
    }
}

// The option's name without its "--" and any "=value", compared in full.
static bool NameIs(const char *arg, const char *name) {
    size_t n = strlen(name);
    return strncmp(arg + 2, name, n) == 0 && (arg[2 + n] == '\0' || arg[2 + n] == '=');
}

static void Refuse(std::string *out, const char *what, const char *arg, const char *value) {
    char line[SETTING_TEXT_SIZE + 80];
    snprintf(line, sizeof line, "%s for %.40s: \"%.*s\"\n", what, arg, SETTING_TEXT_SIZE - 1,
             value);
    out->append(line);
}

// A decimal number of at most 9 digits and nothing else.
static bool ReadCount(const char *text, unsigned *value) {
    size_t n = strlen(text);
    if (n == 0 || n > 9 || strspn(text, "0123456789") != n)
        return false;
    *value = (unsigned)strtoul(text, nullptr, 10);
    return true;
}

// The index of text in names (case-insensitive), or -1.
static int ReadName(const char *text, const char *const *names, int n) {
    for (int i = 0; i < n; i++)
        if (SameFolded(text, names[i]))
            return i;
    return -1;
}

static const char *const FormatNames[] = {"text", "csv", "json"};
static const char *const OrderNames[] = {"ABCD", "CDAB", "BADC", "DCBA"};

// Notes the first option that only a run of polls takes.
static void NeedsPolls(RunSettings *s, const char *name) {
    if (!s->script.needsPolls)
        s->script.needsPolls = name;
}

int TakeLongOption(int argc, const char *const *argv, int *i, RunSettings *s, std::string *out) {
    const char *arg = argv[*i];
    ScriptSettings *o = &s->script;
    if (NameIs(arg, "help")) {
        AppendUsage(out);
        AppendLongUsage(out);
        out->append("\n");
        return PARSE_DONE;
    }
    if (NameIs(arg, "version")) {
        o->version = true;
        return PARSE_DONE;
    }
    if (NameIs(arg, "once") || NameIs(arg, "stats")) {
        if (strchr(arg, '=')) {
            Refuse(out, "No value is taken", arg, strchr(arg, '=') + 1);
            return PARSE_EXIT;
        }
        if (NameIs(arg, "once"))
            o->polls = 1;
        else
            o->stats = true;
        return PARSE_OK;
    }
    static const char *const valued[] = {"count", "interval", "format", "type", "order", "output"};
    const char *name = nullptr;
    for (const char *v : valued)
        if (NameIs(arg, v))
            name = v;
    if (!name) {
        out->append("Unrecognized switch: \"");
        out->append(arg);
        out->append("\"\n");
        return PARSE_EXIT;
    }
    const char *value = strchr(arg, '=');
    if (value) {
        value++;
    } else if (*i + 1 < argc) {
        value = argv[++*i];
    } else {
        Refuse(out, "Value missing", arg, "");
        return PARSE_EXIT;
    }
    int n = -1;
    unsigned number = 0;
    if (!strcmp(name, "count")) {
        if (!ReadCount(value, &number) || number == 0) {
            Refuse(out, "Bad number", arg, value);
            return PARSE_EXIT;
        }
        o->polls = number;
        return PARSE_OK;
    }
    if (!strcmp(name, "interval")) {
        if (!ReadCount(value, &number)) {
            Refuse(out, "Bad number", arg, value);
            return PARSE_EXIT;
        }
        o->intervalMs = number;
    } else if (!strcmp(name, "format")) {
        if ((n = ReadName(value, FormatNames, 3)) < 0) {
            Refuse(out, "Unknown format", arg, value);
            return PARSE_EXIT;
        }
        o->format = n;
    } else if (!strcmp(name, "type")) {
        if ((n = ValueTypeFromName(value)) < 0) {
            Refuse(out, "Unknown type", arg, value);
            return PARSE_EXIT;
        }
        o->type = n;
    } else if (!strcmp(name, "order")) {
        if ((n = ReadName(value, OrderNames, 4)) < 0) {
            Refuse(out, "Unknown order", arg, value);
            return PARSE_EXIT;
        }
        o->order = n;
    } else { // output
        size_t length = strlen(value);
        if (length == 0 || length >= sizeof o->output) {
            Refuse(out, length ? "File name too long" : "File name missing", arg, value);
            return PARSE_EXIT;
        }
        memcpy(o->output, value, length + 1);
    }
    NeedsPolls(s, name);
    return PARSE_OK;
}

int CheckLongOptions(const RunSettings *s, std::string *out) {
    const ScriptSettings *o = &s->script;
    char line[160];
    if (o->polls == 0 && o->needsPolls) {
        snprintf(line, sizeof line, "--%s needs --once or --count\n", o->needsPolls);
        out->append(line);
        return PARSE_EXIT;
    }
    int words = ValueTypeWords(o->type);
    RegisterView view = SettingsView(s);
    if (words > 1 && (view == VIEW_0X || view == VIEW_1X)) {
        snprintf(line, sizeof line, "--type %s needs registers, not the bits of -0 or -1\n",
                 ValueTypeName(o->type));
        out->append(line);
        return PARSE_EXIT;
    }
    if (s->count % (unsigned)words != 0) {
        snprintf(line, sizeof line, "Register count %u is not a multiple of %d for --type %s\n",
                 s->count, words, ValueTypeName(o->type));
        out->append(line);
        return PARSE_EXIT;
    }
    return PARSE_OK;
}

bool DataOnStdout(int argc, const char *const *argv) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (strncmp(a, "--", 2) != 0)
            continue;
        if (NameIs(a, "once") || NameIs(a, "count") || NameIs(a, "version"))
            return true;
    }
    return false;
}
