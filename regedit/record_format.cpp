// CSV, JSON Lines and text forms of a poll, UTC times and the statistics line.
#include "regedit/record_format.h"

#include "regedit/value_decode.h"

#include <cstdio>

static const char *const ViewNames[] = {"4X", "0X", "1X", "3X", "6X"};

std::string UtcTimeText(int64_t ms) {
    int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t msOfDay = ms - days * 86400000;
    // Civil date from days since 1970-01-01 (proleptic Gregorian, eras of 400 years).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ",
             (long long)year, (long long)month, (long long)day, (long long)(msOfDay / 3600000),
             (long long)(msOfDay / 60000 % 60), (long long)(msOfDay / 1000 % 60),
             (long long)(msOfDay % 1000));
    return text;
}

std::string CsvField(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string &text) {
    std::string json = "\"";
    for (char ch : text) {
        unsigned char c = (unsigned char)ch;
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (c < 0x20 || c > 0x7E) {
                // Texts are single bytes: one above 0x7E stands for its own code point.
                char esc[8];
                snprintf(esc, sizeof esc, "\\u%04X", c);
                json += esc;
            } else {
                json += (char)c;
            }
        }
    }
    return json + "\"";
}

std::string RegisterName(RegisterView view, int file6X, long reg) {
    char text[48];
    if (view == VIEW_6X) {
        snprintf(text, sizeof text, "6:%d:%ld", file6X, reg);
        return text;
    }
    static const char prefix[] = {'4', '0', '1', '3'};
    snprintf(text, sizeof text, reg > 9999 ? "%c%05ld" : "%c%04ld", prefix[view], reg);
    return text;
}

// Values in the poll: whole typed values only.
static int ValueCount(const RunSettings *s, const PollRecord &p) {
    return p.count / ValueTypeWords(s->script.type);
}

static TypedValue ValueAt(const RunSettings *s, const PollRecord &p, int i) {
    int words = ValueTypeWords(s->script.type);
    return DecodeValue(p.values + i * words, s->script.type, s->script.order);
}

std::string CsvHeader(const RunSettings *s, const PollRecord &p) {
    RegisterView view = SettingsView(s);
    int words = ValueTypeWords(s->script.type);
    std::string line = "time,start";
    for (int i = 0; i < ValueCount(s, p); i++)
        line += "," + RegisterName(view, s->file6X, p.start + (long)i * words);
    for (int i = 0; i < p.statusCount; i++)
        line += ",S" + RegisterName(view, s->file6X, p.start + i);
    return line + ",error\r\n";
}

std::string CsvRow(const RunSettings *s, const PollRecord &p) {
    std::string line = UtcTimeText(p.timeMs) + "," + std::to_string(p.start);
    for (int i = 0; i < ValueCount(s, p); i++)
        line += "," + (p.valuesOk ? ValueText(ValueAt(s, p, i)) : std::string());
    char hex[8];
    for (int i = 0; i < p.statusCount; i++) {
        snprintf(hex, sizeof hex, "%04X", p.status[i]);
        line += "," + (p.statusOk ? std::string(hex) : std::string());
    }
    line += ",";
    if (p.error)
        line += CsvField(p.error);
    return line + "\r\n";
}

std::string JsonLine(const RunSettings *s, const PollRecord &p) {
    std::string line = "{\"time\":\"" + UtcTimeText(p.timeMs) +
                       "\",\"start\":" + std::to_string(p.start) + ",\"view\":\"" +
                       ViewNames[SettingsView(s)] + "\",\"values\":";
    if (p.valuesOk) {
        line += "[";
        for (int i = 0; i < ValueCount(s, p); i++)
            line += (i ? "," : "") + ValueJson(ValueAt(s, p, i));
        line += "]";
    } else {
        line += "null";
    }
    line += ",\"status\":";
    if (p.statusCount > 0 && p.statusOk) {
        line += "[";
        for (int i = 0; i < p.statusCount; i++)
            line += (i ? "," : "") + std::to_string(p.status[i]);
        line += "]";
    } else {
        line += "null";
    }
    line += ",\"error\":" + (p.error ? JsonString(p.error) : std::string("null"));
    return line + "}\n";
}

// The screen's register column: " %04X " under -X, else "%6d", in 8 characters.
static std::string RegisterColumn(const RunSettings *s, long reg) {
    char text[32];
    snprintf(text, sizeof text, s->hexNumbers ? " %04lX   " : "%6ld  ", reg);
    return text;
}

std::string TextLines(const RunSettings *s, const PollRecord &p) {
    int words = ValueTypeWords(s->script.type);
    std::string lines;
    char text[64];
    for (int i = 0; i < ValueCount(s, p); i++) {
        std::string line = RegisterColumn(s, p.start + (long)i * words);
        if (!p.valuesOk) {
            line += "ERROR  ";
            line += p.error ? p.error : "";
            lines += line + "\n";
            continue;
        }
        if (words == 1) {
            uint16_t v = p.values[i];
            snprintf(text, sizeof text, "%04X  %6u  %6d  ", v, v, (int16_t)v);
        } else {
            snprintf(text, sizeof text, "%s  ", ValueText(ValueAt(s, p, i)).c_str());
        }
        line += text;
        int row = i * words;
        if (row < p.statusCount) {
            snprintf(text, sizeof text, "%04X", p.status[row]);
            line += p.statusOk ? text : "----";
        }
        if (p.error)
            line += "  " + std::string(p.error);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines += line + "\n";
    }
    return lines;
}

std::string StatsLine(const CommStats &st) {
    unsigned lost = st.requestsSent > st.repliesTaken ? st.requestsSent - st.repliesTaken : 0;
    double loss = st.requestsSent ? 100.0 * lost / st.requestsSent : 0.0;
    char text[400];
    snprintf(text, sizeof text,
             "VELDAK statistics: sent=%u received=%u timeouts=%u retransmissions=%u naks=%u "
             "enquiries=%u check_errors=%u error_replies=%u reconnections=%u loss=%.1f%%\n",
             st.requestsSent, st.repliesTaken, st.timeouts, st.retransmissions, st.naks,
             st.enquiries, st.checkErrors, st.errorReplies, st.reconnections, loss);
    return text;
}
