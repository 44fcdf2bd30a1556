// The number words of the simulators' text commands.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>

// A whole word, decimal or 0x hexadecimal, as a number within lo..hi; false
// (and *v as it was) for anything else.
inline bool SimNumber(const char *text, long lo, long hi, long *v) {
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text[2] != 0;
    char *end = nullptr;
    errno = 0;
    long x = strtol(text, &end, hex ? 16 : 10);
    if (errno != 0 || end == text || *end != 0 || x < lo || x > hi)
        return false;
    *v = x;
    return true;
}

inline bool SimNumber(const std::string &word, long lo, long hi, long *v) {
    return SimNumber(word.c_str(), lo, hi, v);
}
