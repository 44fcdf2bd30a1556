// The simulators' text commands for reading and setting the slave's memory.
#include "sim/modbus_slave/modbus_slave.h"

#include "sim/sim_number.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

enum { COMMAND_MAX_VALUES = 256, COMMAND_MAX_WORDS = COMMAND_MAX_VALUES + 4 };

static int Fail(char *out, size_t room, const char *reason) {
    snprintf(out, room, "ERR %s", reason);
    return 0;
}

// Splits the line into blank-separated words; returns their number, or -1 when too many.
static int SplitWords(char *line, char **words) {
    int n = 0;
    char *save = nullptr;
    for (char *p = strtok_r(line, " \t\r\n", &save); p; p = strtok_r(nullptr, " \t\r\n", &save)) {
        if (n == COMMAND_MAX_WORDS)
            return -1;
        words[n++] = p;
    }
    return n;
}

static int ParseTable(const char *text, int *table) {
    static const char *const names[] = {"0x", "1x", "3x", "4x", "6x"};
    static const int tables[] = {TABLE_COILS, TABLE_INPUTS, TABLE_INPUT_REGS, TABLE_HOLDING,
                                 TABLE_FILES};
    for (int i = 0; i < 5; i++)
        if (strcasecmp(text, names[i]) == 0) {
            *table = tables[i];
            return 1;
        }
    return 0;
}

static int Answer(const uint16_t *values, int count, char *out, size_t room) {
    size_t used = (size_t)snprintf(out, room, "OK");
    for (int i = 0; i < count && used < room; i++)
        used += (size_t)snprintf(out + used, room - used, " %u", values[i]);
    return 1;
}

int SlaveCommand(ModbusSlave *s, const char *line, char *out, size_t room) {
    if (!s || !line || !out || room == 0)
        return 0;
    char copy[2048];
    if (strlen(line) >= sizeof copy)
        return Fail(out, room, "line too long");
    strcpy(copy, line);
    char *w[COMMAND_MAX_WORDS];
    int n = SplitWords(copy, w);
    if (n < 0)
        return Fail(out, room, "too many values");
    if (n == 1 && strcmp(w[0], "count") == 0) {
        snprintf(out, room, "OK %lu", SlaveRequests(s));
        return 1;
    }
    int get = n >= 1 && strcmp(w[0], "get") == 0;
    int set = n >= 1 && strcmp(w[0], "set") == 0;
    if (!get && !set)
        return Fail(out, room, "unknown command");
    int table;
    if (n < 2 || !ParseTable(w[1], &table))
        return Fail(out, room, "unknown table");
    // Files take a file number before the first record; the other tables are 1-based.
    long file = 0, first;
    int at = 2;
    if (table == TABLE_FILES) {
        if (n <= at || !SimNumber(w[at], 0, SLAVE_FILES - 1, &file))
            return Fail(out, room, "bad file");
        at++;
    }
    if (n <= at || !SimNumber(w[at], 0, 0xFFFF, &first))
        return Fail(out, room, "bad address");
    at++;
    if (table != TABLE_FILES) {
        if (first < 1)
            return Fail(out, room, "bad address");
        first -= 1;
    }
    uint16_t values[COMMAND_MAX_VALUES];
    if (get) {
        long count;
        if (n != at + 1 || !SimNumber(w[at], 0, COMMAND_MAX_VALUES, &count) || count < 1)
            return Fail(out, room, "bad count");
        if (!SlaveGet(s, table, (int)file, (int)first, (int)count, values))
            return Fail(out, room, "out of range");
        return Answer(values, (int)count, out, room);
    }
    int count = n - at;
    if (count < 1 || count > COMMAND_MAX_VALUES)
        return Fail(out, room, "bad count");
    for (int i = 0; i < count; i++) {
        long v;
        if (!SimNumber(w[at + i], 0, 0xFFFF, &v))
            return Fail(out, room, "bad value");
        values[i] = (uint16_t)v;
    }
    if (!SlaveSet(s, table, (int)file, (int)first, count, values))
        return Fail(out, room, "out of range");
    snprintf(out, room, "OK");
    return 1;
}
