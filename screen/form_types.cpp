// The DataType table: how each type of form field is stored and shown.
#include "screen/form_internal.h"

#include <cstdio>
#include <cstring>

const char FORM_STATE_CODES[] = "AKALARAZCACTCODCDEFLGAHIIAIDILINKSKYLAMAMDMEMIMNMOMSMTNCNDNENHNJ"
                                "NMNVNYOHOKORPARISCSDTNTXUTVAVTWAWIWVWY";

// A field width clamped to 1 .. FORM_TEXT_MAX.
int form_width_clamp(int width) {
    if (width < 1)
        return 1;
    return width > FORM_TEXT_MAX ? FORM_TEXT_MAX : width;
}

// Copies src into a buffer of width + 1 bytes, cut at width.
void form_text_cut(char *buffer, const char *src, int width) {
    size_t n = strlen(src);
    if (n > (size_t)width)
        n = (size_t)width;
    memcpy(buffer, src, n);
    buffer[n] = '\0';
}

// Scale and fraction digits of the fixed-decimal types; 0 for the others.
int form_decimal_kind(int t, int64_t *scale, int *maxFrac, int *bareStop, int *isSigned) {
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

namespace {

// Days before each month, in an ordinary year and in a leap year.
const int DAYS_BEFORE[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

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
    snprintf(out, size, "%s%llu.%0*llu", sign, (unsigned long long)(a / (uint64_t)scale), digits,
             (unsigned long long)(a % (uint64_t)scale));
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
        return form_width_clamp(width) + 1;
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
    width = form_width_clamp(width);
    buffer[0] = '\0';
    if (!DataTypeValid(t) || t == DT_CHOICE || value == nullptr)
        return 0;
    char out[160];
    out[0] = '\0';
    int64_t scale;
    int maxFrac, bareStop, isSigned;
    if (form_decimal_kind(t, &scale, &maxFrac, &bareStop, &isSigned)) {
        int64_t v = isSigned ? (int64_t)form_value_get<int32_t>(value)
                             : (int64_t)form_value_get<uint32_t>(value);
        decimal_format(out, sizeof out, v, scale, maxFrac);
        form_text_cut(buffer, out, width);
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
        snprintf(out, sizeof out, "%u", (unsigned)form_value_get<uint16_t>(value));
        break;
    case DT_SHORT:
        snprintf(out, sizeof out, "%d", (int)form_value_get<int16_t>(value));
        break;
    case DT_UINT:
    case DT_ULONG:
        snprintf(out, sizeof out, "%lu", (unsigned long)form_value_get<uint32_t>(value));
        break;
    case DT_INT:
    case DT_LONG:
        snprintf(out, sizeof out, "%ld", (long)form_value_get<int32_t>(value));
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
        SecondsToDate(form_value_get<uint32_t>(value), &d, &m, &y);
        snprintf(out, sizeof out, "%02d/%02d/%02d", m, d, y % 100);
        break;
    }
    case DT_ZIP: {
        uint32_t v = form_value_get<uint32_t>(value);
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
        int i = form_value_get<int16_t>(value);
        if (i < 1 || i > FORM_STATE_COUNT)
            return 0;
        snprintf(out, sizeof out, "%.2s", FORM_STATE_CODES + 2 * (i - 1));
        break;
    }
    case DT_ID9: {
        uint32_t v = form_value_get<uint32_t>(value);
        if (v > 999999999)
            return 0;
        snprintf(out, sizeof out, "%02lu-%03lu-%04lu", (unsigned long)(v / 10000000),
                 (unsigned long)(v / 10000 % 1000), (unsigned long)(v % 10000));
        break;
    }
    case DT_PHONE7: {
        uint32_t v = form_value_get<uint32_t>(value);
        if (v > 9999999)
            return 0;
        snprintf(out, sizeof out, "%03lu-%04lu", (unsigned long)(v / 10000),
                 (unsigned long)(v % 10000));
        break;
    }
    case DT_TIME: {
        // A value past the day is shown as the time of its day.
        uint32_t v = form_value_get<uint32_t>(value) % 86400;
        size_t used = 0;
        if (width > 1)
            used +=
                (size_t)snprintf(out + used, sizeof out - used, "%02lu", (unsigned long)(v / 3600));
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
    form_text_cut(buffer, out, width);
    return 1;
}
