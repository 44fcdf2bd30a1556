// Typed values from registers, in every byte and word order.
#include "regedit/value_decode.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

static const char *const TypeNames[] = {"u16", "s16", "hex", "u32", "s32", "f32", "f64"};

int ValueTypeWords(int type) {
    switch (type) {
    case TYPE_U32:
    case TYPE_S32:
    case TYPE_F32:
        return 2;
    case TYPE_F64:
        return 4;
    default:
        return 1;
    }
}

const char *ValueTypeName(int type) {
    return type >= 0 && type <= TYPE_F64 ? TypeNames[type] : "?";
}

bool SameFolded(const char *a, const char *b) {
    for (; *a && *b; a++, b++)
        if (tolower((unsigned char)*a) != tolower((unsigned char)*b))
            return false;
    return *a == *b;
}

int ValueTypeFromName(const char *name) {
    for (int i = 0; i <= TYPE_F64; i++)
        if (SameFolded(name, TypeNames[i]))
            return i;
    return -1;
}

uint64_t AssembleValue(const uint16_t *words, int n, int order) {
    // CDAB and DCBA take the registers last to last-but-one..., BADC and DCBA
    // swap the two bytes of each.
    bool reverseWords = order == ORDER_CDAB || order == ORDER_DCBA;
    bool swapBytes = order == ORDER_BADC || order == ORDER_DCBA;
    uint64_t bits = 0;
    for (int i = 0; i < n; i++) {
        uint16_t w = words[reverseWords ? n - 1 - i : i];
        if (swapBytes)
            w = (uint16_t)(w << 8 | w >> 8);
        bits = bits << 16 | w;
    }
    return bits;
}

TypedValue DecodeValue(const uint16_t *words, int type, int order) {
    TypedValue v = {type, 0, 0, 0.0};
    // A single register has no order to apply.
    v.bits = AssembleValue(words, ValueTypeWords(type), ValueTypeWords(type) > 1 ? order : 0);
    switch (type) {
    case TYPE_S16:
        v.number = (int16_t)v.bits;
        break;
    case TYPE_S32:
        v.number = (int32_t)(uint32_t)v.bits;
        break;
    case TYPE_F32: {
        uint32_t b = (uint32_t)v.bits;
        float f;
        memcpy(&f, &b, sizeof f);
        v.real = f;
        break;
    }
    case TYPE_F64:
        memcpy(&v.real, &v.bits, sizeof v.real);
        break;
    default:
        v.number = (int64_t)v.bits;
        break;
    }
    return v;
}

static bool IsFloat(const TypedValue &v) {
    return v.type == TYPE_F32 || v.type == TYPE_F64;
}

// The shortest text that reads back as the same float (or double).
static std::string FloatText(const TypedValue &v) {
    if (std::isnan(v.real))
        return "nan";
    if (std::isinf(v.real))
        return v.real < 0 ? "-inf" : "inf";
    char text[64];
    std::to_chars_result r = v.type == TYPE_F32
                                 ? std::to_chars(text, text + sizeof text, (float)v.real)
                                 : std::to_chars(text, text + sizeof text, v.real);
    return std::string(text, r.ptr);
}

std::string ValueText(const TypedValue &v) {
    if (IsFloat(v))
        return FloatText(v);
    char text[32];
    if (v.type == TYPE_HEX)
        snprintf(text, sizeof text, "%04X", (unsigned)v.bits);
    else
        snprintf(text, sizeof text, "%lld", (long long)v.number);
    return text;
}

std::string ValueJson(const TypedValue &v) {
    if (IsFloat(v) && !std::isfinite(v.real))
        return "null";
    if (v.type == TYPE_HEX)
        return "\"" + ValueText(v) + "\"";
    return ValueText(v);
}

void SpreadPackedBits(const uint16_t *words, int count, uint16_t *entries) {
    for (int i = 0; i < count; i++) {
        int byte = i / 8;
        uint16_t w = words[byte / 2];
        uint8_t b = (uint8_t)(byte % 2 == 0 ? w >> 8 : w & 0xFF);
        entries[i] = (uint16_t)((b >> (i % 8)) & 1);
    }
}
