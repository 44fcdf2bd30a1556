// File-name patterns of the picker: = # ? * [list] (number list).
#include "screen/picker.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t NUMBER_CAP = 1000000000000ULL; // beyond every sensible bound

// Reads decimal digits at *p (capped); returns how many were read.
int number_read(const char **p, uint64_t *v) {
    int n = 0;
    *v = 0;
    while (isdigit((unsigned char)**p)) {
        *v = *v < NUMBER_CAP ? *v * 10 + (uint64_t)(**p - '0') : NUMBER_CAP;
        (*p)++;
        n++;
    }
    return n;
}

// True when c lies in the "[...]" list between begin and end (exclusive).
bool list_has_char(const char *begin, const char *end, unsigned char c) {
    for (const char *q = begin; q < end; q++) {
        unsigned char lo = (unsigned char)*q;
        if (q + 2 < end && q[1] == '-') {
            unsigned char hi = (unsigned char)q[2];
            if (c >= lo && c <= hi)
                return true;
            q += 2;
        } else if (c == lo) {
            return true;
        }
    }
    return false;
}

// True when v lies in one of the "(...)" list's elements n, n-m, n-.
bool list_has_number(const char *begin, const char *end, uint64_t v) {
    const char *q = begin;
    while (q < end) {
        uint64_t lo, hi;
        if (number_read(&q, &lo) == 0) {
            q++; // a stray character in the list stands for nothing
            continue;
        }
        hi = lo;
        if (q < end && *q == '-') {
            q++;
            if (number_read(&q, &hi) == 0)
                hi = UINT64_MAX; // "n-": n or more
        }
        if (v >= lo && v <= hi)
            return true;
        while (q < end && *q != ',')
            q++;
        if (q < end)
            q++;
    }
    return false;
}

bool match_from(const char *p, const char *n) {
    while (*p != '\0') {
        if (*n != '\0' && *p == *n) {
            p++, n++;
            continue;
        }
        switch (*p) {
        case '*':
            // The rest of the pattern is tried at each position to the end.
            for (const char *rest = n;; rest++) {
                if (match_from(p + 1, rest))
                    return true;
                if (*rest == '\0')
                    return false;
            }
        case '=':
            if (*n == '\0')
                return false;
            break;
        case '#':
            if (!isdigit((unsigned char)*n))
                return false;
            break;
        case '?':
            if (!((*n >= 'A' && *n <= 'Z') || (*n >= 'a' && *n <= 'z')))
                return false;
            break;
        case '[': {
            const char *close = strchr(p + 1, ']');
            if (close == nullptr)
                return false; // an open list matches nothing
            if (*n == '\0' || !list_has_char(p + 1, close, (unsigned char)*n))
                return false;
            p = close + 1, n++;
            continue;
        }
        case '(': {
            const char *close = strchr(p + 1, ')');
            if (close == nullptr || !isdigit((unsigned char)*n))
                return false;
            uint64_t v;
            number_read(&n, &v);
            if (!list_has_number(p + 1, close, v))
                return false;
            p = close + 1;
            continue;
        }
        default:
            return false; // an ordinary character that differs
        }
        p++, n++;
    }
    return *n == '\0';
}

} // namespace

int MatchPattern(const char *pattern, const char *name) {
    if (pattern == nullptr || name == nullptr)
        return 0;
    return match_from(pattern, name) ? 1 : 0;
}
