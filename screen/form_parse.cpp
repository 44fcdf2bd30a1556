// Reading typed entries: ParseValue and the readers of each DataType.
#include "screen/form_internal.h"

#include <cctype>
#include <cstring>

namespace {

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

// Reads a whole number: a minus sign when minusOk, digits, nothing after but
// spaces (a plus sign is no part of a whole number). Returns 1 with the
// signed value.
int integer_read(const char *text, int minusOk, int64_t *out) {
    const char *p, *end;
    text_trim(text, &p, &end);
    int negative = 0;
    if (p < end && *p == '-' && minusOk) {
        negative = 1;
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
        form_value_put<uint16_t>(value, (uint16_t)v);
        break;
    case DT_SHORT:
        form_value_put<int16_t>(value, (int16_t)v);
        break;
    case DT_INT:
    case DT_LONG:
    case DT_SMONEY:
    case DT_STENTHS:
    case DT_STHOUSANDTHS:
        form_value_put<int32_t>(value, (int32_t)v);
        break;
    default:
        form_value_put<uint32_t>(value, (uint32_t)v);
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

} // namespace

int ParseValue(void *value, char *text, int dataType, int width) {
    int t = dataType < 0 ? -dataType : dataType;
    width = form_width_clamp(width);
    if (!DataTypeValid(t) || t == DT_CHOICE || value == nullptr || text == nullptr)
        return 0;
    int64_t scale;
    int maxFrac, bareStop, isSigned;
    if (form_decimal_kind(t, &scale, &maxFrac, &bareStop, &isSigned)) {
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
        form_text_cut((char *)value, text, width);
        return 1;
    }
    case DT_DIGITS: {
        if (text[0] == '\0')
            return 1;
        for (const char *p = text; *p != '\0'; p++)
            if (!isdigit((unsigned char)*p))
                return 0;
        form_text_cut((char *)value, text, width);
        return 1;
    }
    case DT_USHORT:
    case DT_UINT:
    case DT_ULONG:
    case DT_SHORT:
    case DT_INT:
    case DT_LONG: {
        int64_t v, lo, hi;
        if (!integer_read(text, t != DT_ULONG, &v))
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
        form_value_put<uint32_t>(value, DateToSeconds(0, 0, 0, day, month, year));
        return 1;
    }
    case DT_ZIP: {
        int n = digits_keep(text);
        if (n != 5 && n != 9)
            return 0;
        form_value_put<uint32_t>(value, digits_value(text, n));
        return 1;
    }
    case DT_STATE: {
        const char *p, *end;
        text_trim(text, &p, &end);
        if (end - p != 2)
            return 0;
        char code[2] = {(char)toupper((unsigned char)p[0]), (char)toupper((unsigned char)p[1])};
        for (int i = 0; i < FORM_STATE_COUNT; i++)
            if (FORM_STATE_CODES[2 * i] == code[0] && FORM_STATE_CODES[2 * i + 1] == code[1]) {
                form_value_put<int16_t>(value, (int16_t)(i + 1));
                return 1;
            }
        return 0;
    }
    case DT_ID9:
        if (digits_keep(text) != 9)
            return 0;
        form_value_put<uint32_t>(value, digits_value(text, 9));
        return 1;
    case DT_PHONE7:
        if (digits_keep(text) != 7)
            return 0;
        form_value_put<uint32_t>(value, digits_value(text, 7));
        return 1;
    case DT_TIME: {
        int n = digits_keep(text);
        if (n != 4 && n != 6)
            return 0;
        uint32_t hours = digits_value(text, 2), minutes = digits_value(text + 2, 2);
        uint32_t seconds = (n == 6 && width >= 6) ? digits_value(text + 4, 2) : 0;
        if (hours > 23 || minutes > 59 || (n == 6 && digits_value(text + 4, 2) > 59))
            return 0;
        form_value_put<uint32_t>(value, (hours * 60 + minutes) * 60 + seconds);
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
