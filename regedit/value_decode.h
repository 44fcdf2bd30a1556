// Register values as typed numbers: 16-bit words taken one, two or four at a
// time in a byte and word order, and their printed forms. Pure functions.
#pragma once
#include "regedit/settings.h"

#include <cstdint>
#include <string>

// Registers one value of the type takes: 1, 2 or 4.
int ValueTypeWords(int type);
// "u16", "s16", "hex", "u32", "s32", "f32", "f64".
const char *ValueTypeName(int type);
// True when the texts are the same but for the case of their letters.
bool SameFolded(const char *a, const char *b);
// The ValueType of a name (case-insensitive), or -1.
int ValueTypeFromName(const char *name);

// The bits of the value in words[0..n-1] (n 1, 2 or 4) put in the order's
// place: ABCD reads the registers first to last, high byte first.
uint64_t AssembleValue(const uint16_t *words, int n, int order);

// One value decoded from its registers.
struct TypedValue {
    int type;
    uint64_t bits;  // the assembled bits (u16, hex, u32 and the floats' pattern)
    int64_t number; // the integer value (signed types signed)
    double real;    // the floats' value
};
TypedValue DecodeValue(const uint16_t *words, int type, int order);

// The value as CSV and text print it: decimal, four or more hex digits for
// hex, floats in the fewest digits that read back the same value ("nan",
// "inf", "-inf" where there is none).
std::string ValueText(const TypedValue &v);
// The value as a JSON number; hex as a string of its digits; NaN and
// infinity as null.
std::string ValueJson(const TypedValue &v);

// Spreads count bit references packed two bytes to a word (first byte in the
// high half, first reference in its bit 0) into one 0/1 entry each.
void SpreadPackedBits(const uint16_t *words, int count, uint16_t *entries);
