// The DataType table: how each type of form field is stored, shown and read.
#include "screen/forms.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The two-letter state codes, index 1 to 51 in order.
const char STATE_CODES[] = "AKALARAZCACTCODCDEFLGAHIIAIDILINKSKYLAMAMDMEMIMNMOMSMTNCNDNENHNJ"
                           "NMNVNYOHOKORPARISCSDTNTXUTVAVTWAWIWVWY";
constexpr int STATE_COUNT = 51;

// Days before each month, in an ordinary year and in a leap year.
const int DAYS_BEFORE[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

// Storage accessors: values may sit anywhere, so they are copied.
template <typename T> T value_get(const void *value) {
    T v;
    memcpy(&v, value, sizeof v);
    return v;
}
template <typename T> void value_put(void *value, T v) { memcpy(value, &v, sizeof v); }

int width_clamp(int width) {
    if (width < 1)
        return 1;
    return width > FORM_TEXT_MAX ? FORM_TEXT_MAX : width;
}

// Copies src into a buffer of width + 1 bytes, cut at width.
void text_cut(char *buffer, const char *src, int width) {
    size_t n = strlen(src);
    if (n > (size_t)width)
        n = (size_t)width;
    memcpy(buffer, src, n);
    buffer[n] = '\0';
}

// The text without leading and trailing spaces, as [*begin, *end).
void text_trim(const char *text, const char **begin, const char **end) {
    const char *b = text;
    while (*b == ' ')
        b++;
    const char *e = b + strlen(b);
    while (e > b && e[-1] == ' ')
        e--;
    *begin = b;
    *end = e;
}

// Reads a run of digits at *p into v (capped so that it cannot overflow);
// returns the number of digits read.
int digits_read(const char **p, const char *end, uint64_t *v) {
    int n = 0;
    *v = 0;
    while (*p < end && isdigit((unsigned char)**p)) {
        if (*v < 100000000000000000ULL)
            *v = *v * 10 + (uint64_t)(**p - '0');
        else
            *v = 100000000000000000ULL * 10; // stays far out of every range
        (*p)++;
        n++;
    }
    return n;
}

// Drops every non-digit from text in place; returns the digits left.
int digits_keep(char *text) {
    char *out = text;
    for (const char *in = text; *in != '\0'; in++)
        if (isdigit((unsigned char)*in))
            *out++ = *in;
    *out = '\0';
    return (int)(out - text);
}

// Value of n digits of a text.
uint32_t digits_value(const char *text, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++)
        v = v * 10 + (uint32_t)(text[i] - '0');
    return v;
}

// Reads a whole number: optional sign (minus always, plus when plusOk), digits,
// nothing after but spaces. Returns 1 with the signed value.
int integer_read(const char *text, int plusOk, int minusOk, int64_t *out) {
    const char *p, *end;
    text_trim(text, &p, &end);
    int negative = 0;
    if (p < end && ((*p == '-' && minusOk) || (*p == '+' && plusOk))) {
        negative = *p == '-';
        p++;
    }
    uint64_t v;
    if (digits_read(&p, end, &v) == 0 || p != end)
        return 0;
    *out = negative ? -(int64_t)v : (int64_t)v;
    return 1;
}

// Reads a fixed-decimal number into units of 1 / scale: optional sign when
// signedOk, digits, optionally a full stop and 1 to maxFrac digits (none
// at all after the stop only when bareStop). Returns 1 with the value.
int decimal_read(const char *text, int signedOk, int64_t scale, int maxFrac, int bareStop,
                 int64_t *out) {
    const char *p, *end;
    text_trim(text, &p, &end);
    if (p == end) {
        *out = 0;
        return 1;
    }
    int negative = 0;
    if (signedOk && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        p++;
    }
    uint64_t whole, frac = 0;
    if (digits_read(&p, end, &whole) == 0)
        return 0;
    int fracDigits = 0;
    if (p < end && *p == '.') {
        p++;
        fracDigits = digits_read(&p, end, &frac);
        if (fracDigits > maxFrac || (fracDigits == 0 && !bareStop))
            return 0;
    }
    if (p != end)
        return 0;
    for (int i = fracDigits; i < maxFrac; i++)
        frac *= 10;
    if (whole > (uint64_t)(INT64_MAX / scale) - 1)
        return 0;
    int64_t v = (int64_t)whole * scale + (int64_t)frac;
    *out = negative ? -v : v;
    return 1;
}

// Scale and fraction digits of the fixed-decimal types; 0 for the others.
int decimal_kind(int t, int64_t *scale, int *maxFrac, int *bareStop, int *isSigned) {
    *bareStop = 0;
    *isSigned = (t == DT_SMONEY || t == DT_STENTHS || t == DT_STHOUSANDTHS);
    switch (t) {
    case DT_MONEY:
    case DT_SMONEY:
        *scale = 100, *maxFrac = 2;
        return 1;
    case DT_TENTHS:
    case DT_STENTHS:
        *scale = 10, *maxFrac = 1, *bareStop = 1;
        return 1;
    case DT_FOURDEC:
        *scale = 10000, *maxFrac = 4;
        return 1;
    case DT_STHOUSANDTHS:
    case DT_THOUSANDTHS:
        *scale = 1000, *maxFrac = 3;
        return 1;
    default:
        return 0;
    }
}

// Range of the whole-number types.
void integer_range(int t, int64_t *lo, int64_t *hi) {
    switch (t) {
    case DT_USHORT:
        *lo = 0, *hi = 65535;
        break;
    case DT_SHORT:
        *lo = -32768, *hi = 32767;
        break;
    case DT_INT:
    case DT_LONG:
        *lo = INT32_MIN, *hi = INT32_MAX;
        break;
    default: // DT_UINT, DT_ULONG
        *lo = 0, *hi = UINT32_MAX;
        break;
    }
}

// Stores a whole or fixed-decimal number in the type's storage.
void number_store(void *value, int t, int64_t v) {
    switch (t) {
    case DT_USHORT:
        value_put<uint16_t>(value, (uint16_t)v);
        break;
    case DT_SHORT:
        value_put<int16_t>(value, (int16_t)v);
        break;
    case DT_INT:
    case DT_LONG:
    case DT_SMONEY:
    case DT_STENTHS:
    case DT_STHOUSANDTHS:
        value_put<int32_t>(value, (int32_t)v);
        break;
    default:
        value_put<uint32_t>(value, (uint32_t)v);
        break;
    }
}

// Reads a number list: runs of digits separated by commas and spaces.
int numlist_read(const char *text, uint16_t *list) {
    uint16_t numbers[NUMLIST_MAX];
    int count = 0;
    const char *p = text;
    const char *end = text + strlen(text);
    while (p < end) {
        if (*p == ',' || *p == ' ') {
            p++;
            continue;
        }
        uint64_t v;
        if (digits_read(&p, end, &v) == 0 || v > 65535 || count == NUMLIST_MAX)
            return 0;
        numbers[count++] = (uint16_t)v;
    }
    list[0] = (uint16_t)count;
    memcpy(list + 1, numbers, sizeof(uint16_t) * (size_t)count);
    return 1;
}

// Formats a number list: the numbers joined by commas, or "NONE".
void numlist_format(char *out, size_t size, const uint16_t *list) {
    int count = list[0] > NUMLIST_MAX ? NUMLIST_MAX : list[0];
    if (count == 0) {
        snprintf(out, size, "NONE");
        return;
    }
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < count && used < size; i++)
        used += (size_t)snprintf(out + used, size - used, i ? ",%u" : "%u", list[1 + i]);
}

// Formats the fixed-decimal types: whole part, full stop, fraction digits.
void decimal_format(char *out, size_t size, int64_t v, int64_t scale, int digits) {
    const char *sign = v < 0 ? "-" : "";
    uint64_t a = v < 0 ? (uint64_t)(-v) : (uint64_t)v;
    snprintf(out, size, "%s%llu.%0*llu", sign, (unsigned long long)(a / (uint64_t)scale),
             digits, (unsigned long long)(a % (uint64_t)scale));
}

} // namespace

int DaysInMonth(int month, int year) {
    if (month < 1 || month > 12)
        return 0;
    int leap = year % 4 == 0;
    if (month == 12)
        return 31;
    return DAYS_BEFORE[leap][month] - DAYS_BEFORE[leap][month - 1];
}

uint32_t DateToSeconds(int seconds, int minutes, int hours, int day, int month, int year) {
    if (month < 1 || month > 12)
        month = 1;
    int64_t days = (int64_t)(year - 70) * 365 + (year - 69) / 4 +
                   DAYS_BEFORE[year % 4 == 0][month - 1] + (day - 1);
    return (uint32_t)(((days * 24 + hours) * 60 + minutes) * 60 + seconds);
}

void SecondsToDate(uint32_t seconds, int *day, int *month, int *year) {
    int days = (int)(seconds / 86400);
    int y = 1970;
    for (;;) {
        int length = y % 4 == 0 ? 366 : 365;
        if (days < length)
            break;
        days -= length;
        y++;
    }
    int leap = y % 4 == 0;
    int m = 12;
    while (DAYS_BEFORE[leap][m - 1] > days)
        m--;
    *day = days - DAYS_BEFORE[leap][m - 1] + 1;
    *month = m;
    *year = y;
}

int DataTypeValid(int dataType) {
    int t = dataType < 0 ? -dataType : dataType;
    return (t >= DT_CHOICE && t <= DT_PHONE7) || t == DT_DIGITS || t == DT_NUMLIST;
}

int ValueSize(int dataType, int width) {
    int t = dataType < 0 ? -dataType : dataType;
    if (!DataTypeValid(t))
        return 0;
    switch (t) {
    case DT_CHOICE:
    case DT_USHORT:
    case DT_SHORT:
    case DT_STATE:
        return 2;
    case DT_TEXT:
    case DT_DIGITS:
        return width_clamp(width) + 1;
    case DT_PHONE:
        return 11;
    case DT_SSN:
        return 10;
    case DT_NUMLIST:
        return (1 + NUMLIST_MAX) * 2;
    default:
        return 4;
    }
}

int FormatValue(char *buffer, const void *value, int dataType, int width) {
    int t = dataType < 0 ? -dataType : dataType;
    width = width_clamp(width);
    buffer[0] = '\0';
    if (!DataTypeValid(t) || t == DT_CHOICE || value == nullptr)
        return 0;
    char out[160];
    out[0] = '\0';
    int64_t scale;
    int maxFrac, bareStop, isSigned;
    if (decimal_kind(t, &scale, &maxFrac, &bareStop, &isSigned)) {
        int64_t v = isSigned ? (int64_t)value_get<int32_t>(value) : (int64_t)value_get<uint32_t>(value);
        decimal_format(out, sizeof out, v, scale, maxFrac);
        text_cut(buffer, out, width);
        return 1;
    }
    switch (t) {
    case DT_TEXT:
    case DT_DIGITS: {
        const char *s = (const char *)value;
        size_t n = strnlen(s, (size_t)width);
        memcpy(buffer, s, n);
        buffer[n] = '\0';
        return 1;
    }
    case DT_USHORT:
        snprintf(out, sizeof out, "%u", (unsigned)value_get<uint16_t>(value));
        break;
    case DT_SHORT:
        snprintf(out, sizeof out, "%d", (int)value_get<int16_t>(value));
        break;
    case DT_UINT:
    case DT_ULONG:
        snprintf(out, sizeof out, "%lu", (unsigned long)value_get<uint32_t>(value));
        break;
    case DT_INT:
    case DT_LONG:
        snprintf(out, sizeof out, "%ld", (long)value_get<int32_t>(value));
        break;
    case DT_PHONE: {
        const char *s = (const char *)value;
        size_t n = strnlen(s, 10);
        if (n == 10)
            snprintf(out, sizeof out, "(%.3s)%.3s-%.4s", s, s + 3, s + 6);
        else if (n == 7)
            snprintf(out, sizeof out, "() %.3s-%.4s", s, s + 3);
        else
            return 0;
        break;
    }
    case DT_SSN: {
        const char *s = (const char *)value;
        if (strnlen(s, 9) != 9)
            return 0;
        snprintf(out, sizeof out, "%.3s-%.2s-%.4s", s, s + 3, s + 5);
        break;
    }
    case DT_DATE: {
        int d, m, y;
        SecondsToDate(value_get<uint32_t>(value), &d, &m, &y);
        snprintf(out, sizeof out, "%02d/%02d/%02d", m, d, y % 100);
        break;
    }
    case DT_ZIP: {
        uint32_t v = value_get<uint32_t>(value);
        if (v >= 512 && v <= 99999)
            snprintf(out, sizeof out, "%05lu", (unsigned long)v);
        else if (v >= 2097152 && v <= 999999999)
            snprintf(out, sizeof out, "%05lu-%04lu", (unsigned long)(v / 10000),
                     (unsigned long)(v % 10000));
        else
            return 0;
        break;
    }
    case DT_STATE: {
        int i = value_get<int16_t>(value);
        if (i < 1 || i > STATE_COUNT)
            return 0;
        snprintf(out, sizeof out, "%.2s", STATE_CODES + 2 * (i - 1));
        break;
    }
    case DT_ID9: {
        uint32_t v = value_get<uint32_t>(value);
        if (v > 999999999)
            return 0;
        snprintf(out, sizeof out, "%02lu-%03lu-%04lu", (unsigned long)(v / 10000000),
                 (unsigned long)(v / 10000 % 1000), (unsigned long)(v % 10000));
        break;
    }
    case DT_PHONE7: {
        uint32_t v = value_get<uint32_t>(value);
        if (v > 9999999)
            return 0;
        snprintf(out, sizeof out, "%03lu-%04lu", (unsigned long)(v / 10000),
                 (unsigned long)(v % 10000));
        break;
    }
    case DT_TIME: {
        // A value past the day is shown as the time of its day.
        uint32_t v = value_get<uint32_t>(value) % 86400;
        size_t used = 0;
        if (width > 1)
            used += (size_t)snprintf(out + used, sizeof out - used, "%02lu",
                                     (unsigned long)(v / 3600));
        if (width > 4)
            used += (size_t)snprintf(out + used, sizeof out - used, ":%02lu",
                                     (unsigned long)(v / 60 % 60));
        if (width >= 8)
            snprintf(out + used, sizeof out - used, ":%02lu", (unsigned long)(v % 60));
        break;
    }
    case DT_NUMLIST: {
        uint16_t list[1 + NUMLIST_MAX];
        memcpy(list, value, sizeof list);
        numlist_format(out, sizeof out, list);
        break;
    }
    }
    text_cut(buffer, out, width);
    return 1;
}

int ParseValue(void *value, char *text, int dataType, int width) {
    int t = dataType < 0 ? -dataType : dataType;
    width = width_clamp(width);
    if (!DataTypeValid(t) || t == DT_CHOICE || value == nullptr || text == nullptr)
        return 0;
    int64_t scale;
    int maxFrac, bareStop, isSigned;
    if (decimal_kind(t, &scale, &maxFrac, &bareStop, &isSigned)) {
        int64_t v;
        if (!decimal_read(text, isSigned, scale, maxFrac, bareStop, &v))
            return 0;
        if (isSigned ? (v < INT32_MIN || v > INT32_MAX) : (v < 0 || v > UINT32_MAX))
            return 0;
        number_store(value, t, v);
        return 1;
    }
    switch (t) {
    case DT_TEXT: {
        size_t n = strlen(text);
        if (n == 0)
            return 0;
        for (size_t i = 0; i < n; i++)
            if ((unsigned char)text[i] < 0x20 || (unsigned char)text[i] > 0x7E)
                return 0;
        text_cut((char *)value, text, width);
        return 1;
    }
    case DT_DIGITS: {
        if (text[0] == '\0')
            return 1;
        for (const char *p = text; *p != '\0'; p++)
            if (!isdigit((unsigned char)*p))
                return 0;
        text_cut((char *)value, text, width);
        return 1;
    }
    case DT_USHORT:
    case DT_UINT:
    case DT_ULONG:
    case DT_SHORT:
    case DT_INT:
    case DT_LONG: {
        int isSignedType = t == DT_SHORT || t == DT_INT || t == DT_LONG;
        int64_t v, lo, hi;
        if (!integer_read(text, isSignedType, t != DT_ULONG, &v))
            return 0;
        integer_range(t, &lo, &hi);
        if (v < lo || v > hi)
            return 0;
        number_store(value, t, v);
        return 1;
    }
    case DT_PHONE: {
        int n = digits_keep(text);
        if (n != 7 && n != 10)
            return 0;
        memcpy(value, text, (size_t)n + 1);
        return 1;
    }
    case DT_SSN:
        if (digits_keep(text) != 9)
            return 0;
        memcpy(value, text, 10);
        return 1;
    case DT_DATE: {
        if (digits_keep(text) != 6)
            return 0;
        int month = (int)digits_value(text, 2);
        int day = (int)digits_value(text + 2, 2);
        int year = (int)digits_value(text + 4, 2);
        if (month < 1 || month > 12 || year < 89 || day < 1 || day > DaysInMonth(month, year))
            return 0;
        value_put<uint32_t>(value, DateToSeconds(0, 0, 0, day, month, year));
        return 1;
    }
    case DT_ZIP: {
        int n = digits_keep(text);
        if (n != 5 && n != 9)
            return 0;
        value_put<uint32_t>(value, digits_value(text, n));
        return 1;
    }
    case DT_STATE: {
        const char *p, *end;
        text_trim(text, &p, &end);
        if (end - p != 2)
            return 0;
        char code[2] = {(char)toupper((unsigned char)p[0]), (char)toupper((unsigned char)p[1])};
        for (int i = 0; i < STATE_COUNT; i++)
            if (STATE_CODES[2 * i] == code[0] && STATE_CODES[2 * i + 1] == code[1]) {
                value_put<int16_t>(value, (int16_t)(i + 1));
                return 1;
            }
        return 0;
    }
    case DT_ID9:
        if (digits_keep(text) != 9)
            return 0;
        value_put<uint32_t>(value, digits_value(text, 9));
        return 1;
    case DT_PHONE7:
        if (digits_keep(text) != 7)
            return 0;
        value_put<uint32_t>(value, digits_value(text, 7));
        return 1;
    case DT_TIME: {
        int n = digits_keep(text);
        if (n != 4 && n != 6)
            return 0;
        uint32_t hours = digits_value(text, 2), minutes = digits_value(text + 2, 2);
        uint32_t seconds = (n == 6 && width >= 6) ? digits_value(text + 4, 2) : 0;
        if (hours > 23 || minutes > 59 || (n == 6 && digits_value(text + 4, 2) > 59))
            return 0;
        value_put<uint32_t>(value, (hours * 60 + minutes) * 60 + seconds);
        return 1;
    }
    case DT_NUMLIST: {
        if (text[0] == '\0')
            return 1;
        uint16_t list[1 + NUMLIST_MAX];
        if (!numlist_read(text, list))
            return 0;
        memcpy(value, list, sizeof(uint16_t) * (size_t)(1 + list[0]));
        return 1;
    }
    }
    return 0;
}
