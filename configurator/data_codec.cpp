// The data file codec: one reader and one writer for each of the three
// record formats, shared by load, unload and record length conversion.
#include "configurator/data_codec.h"

#include "configurator/config_model.h"

#include <cstring>

// A reader over a file opened for binary reading.
DataReader FileReader(FILE *f) {
    return DataReader{f, nullptr, 0, 0, false};
}

// A reader over size bytes in memory.
DataReader MemoryReader(const uint8_t *bytes, size_t size) {
    return DataReader{nullptr, bytes, size, 0, false};
}

// The next byte, or -1 at the end or on a read error (which failed tells).
int ReaderByte(DataReader *r) {
    if (r->file) {
        int c = getc(r->file);
        if (c == EOF && ferror(r->file))
            r->failed = true;
        return c == EOF ? -1 : c;
    }
    if (!r->bytes || r->pos >= r->size)
        return -1;
    return r->bytes[r->pos++];
}

// Reads one text register in radix 16 or 10.
bool ReadTextRegister(DataReader *r, int radix, uint16_t *value) {
    uint16_t v = 0;
    bool negative = false, digitSeen = false;
    int counted = 0;
    for (;;) {
        int c = ReaderByte(r);
        // A decimal number with a digit in it ends with the data as well.
        if (c < 0 && (radix == 16 || !digitSeen || r->failed))
            return false;
        if (c < 0)
            break;
        c &= 0x7F;
        if (radix == 16)
            counted++;
        if (c == '-') {
            negative = true;
        } else if (c >= '0' && c <= '9') {
            v = (uint16_t)(v * radix + (c - '0'));
            digitSeen = true;
        } else if (radix == 16) {
            if (c >= 'A' && c <= 'F')
                v = (uint16_t)(v * 16 + (c - 'A' + 10));
            else if (c >= 'a' && c <= 'f')
                v = (uint16_t)(v * 16 + (c - 'a' + 10));
            else
                counted--; // a separator takes none of the four places
        } else if (digitSeen) {
            break; // the character that ends a decimal number is used up
        }
        if (radix == 16 && counted >= 4)
            break;
    }
    *value = negative ? (uint16_t)(0u - v) : v;
    return true;
}

// Reads L little-endian words.
static bool ReadBinaryRecord(DataReader *r, int length, uint16_t *record) {
    for (int i = 0; i < length; i++) {
        int lo = ReaderByte(r);
        int hi = lo < 0 ? -1 : ReaderByte(r);
        if (hi < 0)
            return false;
        record[i] = (uint16_t)(lo | (hi << 8));
    }
    return true;
}

// Reads one record; a partial one leaves record untouched.
bool ReadDataRecord(DataReader *r, int type, int length, uint16_t *record) {
    if (length < 1 || length > MAX_RECORD_LENGTH || type < 1 || type > 3)
        return false;
    uint16_t work[MAX_RECORD_LENGTH];
    if (type == 2) {
        if (!ReadBinaryRecord(r, length, work))
            return false;
    } else {
        int radix = type == 1 ? 16 : 10;
        for (int i = 0; i < length; i++)
            if (!ReadTextRegister(r, radix, &work[i]))
                return false;
    }
    std::memcpy(record, work, sizeof work[0] * (size_t)length);
    return true;
}

// The bytes of one record in a data type.
size_t FormatDataRecord(int type, int length, const uint16_t *record, char *out) {
    if (length < 0)
        length = 0;
    if (length > MAX_RECORD_LENGTH)
        length = MAX_RECORD_LENGTH;
    size_t n = 0;
    if (type == 2) {
        for (int i = 0; i < length; i++) {
            out[n++] = (char)(record[i] & 0xFF);
            out[n++] = (char)(record[i] >> 8);
        }
        return n;
    }
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < length; i++) {
        unsigned v = record[i];
        if (type == 1) {
            for (int shift = 12; shift >= 0; shift -= 4)
                out[n++] = digits[(v >> shift) & 0xF];
        } else {
            char text[6];
            int k = 0;
            do {
                text[k++] = digits[v % 10];
                v /= 10;
            } while (v);
            while (k)
                out[n++] = text[--k];
        }
        if (i + 1 < length)
            out[n++] = ',';
    }
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

// Writes one record to a file.
bool WriteDataRecord(FILE *f, int type, int length, const uint16_t *record) {
    static char text[DATA_RECORD_TEXT_MAX];
    size_t n = FormatDataRecord(type, length, record, text);
    return fwrite(text, 1, n, f) == n;
}
