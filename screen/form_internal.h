// Private helpers shared by the files of the DataType table.
#pragma once

#include "screen/forms.h"

#include <cstdint>
#include <cstring>

// The two-letter state codes, index 1 to 51 in order (102 letters).
extern const char FORM_STATE_CODES[];
constexpr int FORM_STATE_COUNT = 51;

// Storage accessors: values may sit anywhere, so they are copied.
template <typename T> T form_value_get(const void *value) {
    T v;
    memcpy(&v, value, sizeof v);
    return v;
}
template <typename T> void form_value_put(void *value, T v) {
    memcpy(value, &v, sizeof v);
}

// A field width clamped to 1 .. FORM_TEXT_MAX.
int form_width_clamp(int width);
// Copies src into a buffer of width + 1 bytes, cut at width.
void form_text_cut(char *buffer, const char *src, int width);
// Scale and fraction digits of the fixed-decimal types; 0 for the others.
int form_decimal_kind(int t, int64_t *scale, int *maxFrac, int *bareStop, int *isSigned);
