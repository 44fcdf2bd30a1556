// The data-file readers fed arbitrary bytes. The first byte picks the format
// (hex, binary, decimal), the next two the record length (1 to 2039); the
// rest is the file. Every record read must come back the same when written
// and read again, a record that cannot be read whole must leave the buffer
// untouched, and the reader never runs past the data.
#include "configurator/data_codec.h"
#include "fuzz/fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int LENGTH_MAX = 2039;

// Writes the record and reads it back through the same codec.
void CheckRoundTrip(int type, int length, const uint16_t *record) {
    static char text[DATA_RECORD_TEXT_MAX];
    static uint16_t again[LENGTH_MAX];
    size_t n = FormatDataRecord(type, length, record, text);
    FUZZ_CHECK(n <= DATA_RECORD_TEXT_MAX);
    DataReader r = MemoryReader(reinterpret_cast<const uint8_t *>(text), n);
    FUZZ_CHECK(ReadDataRecord(&r, type, length, again));
    FUZZ_CHECK(std::memcmp(again, record, sizeof record[0] * (size_t)length) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    int type = data[0] % 3 + 1;
    int length = (data[1] | data[2] << 8) % LENGTH_MAX + 1;
    DataReader r = MemoryReader(data + 3, size - 3);
    static uint16_t record[LENGTH_MAX];
    for (;;) {
        size_t before = r.pos;
        std::memset(record, 0xA5, sizeof record);
        if (!ReadDataRecord(&r, type, length, record)) {
            for (int i = 0; i < LENGTH_MAX; i++)
                FUZZ_CHECK(record[i] == 0xA5A5);
            break;
        }
        // Every register takes at least one byte, so the reading ends.
        FUZZ_CHECK(r.pos > before && r.pos <= r.size);
        CheckRoundTrip(type, length, record);
    }
    FUZZ_CHECK(r.pos == r.size);
    return 0;
}
