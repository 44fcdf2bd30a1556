// The terminal key decoder fed arbitrary bytes. The input alternates a raw
// byte and a control byte: bit 0 of the control lets the escape time pass,
// bit 1 takes every decoded byte, bit 2 takes one. Whatever comes out must be
// a byte, an extended key must be the lead 0 followed by a scan code the
// decoder knows, and the decoder's counts stay inside their arrays.
#include "fuzz/fuzz_check.h"
#include "platform/keydecode.h"

#include <cstddef>
#include <cstdint>

namespace {

bool KnownScan(int scan) {
    return (scan >= SCAN_F1 && scan <= SCAN_F1 + 9) || scan == SCAN_HOME || scan == SCAN_UP ||
           scan == SCAN_PGUP || scan == SCAN_LEFT || scan == SCAN_RIGHT || scan == SCAN_END ||
           scan == SCAN_DOWN || scan == SCAN_PGDN || scan == SCAN_INSERT || scan == SCAN_DELETE ||
           scan == SCAN_F11 || scan == SCAN_F12;
}

struct Reader {
    bool lead = false; // the last byte taken was the extended-key lead 0
};

// Takes one decoded byte and checks it against the one before.
bool TakeOne(KeyDecoder *d, Reader *r) {
    int key = KeyDecoderTake(d);
    if (key < 0)
        return false;
    FUZZ_CHECK(key <= 0xFF);
    if (r->lead) {
        FUZZ_CHECK(KnownScan(key));
        r->lead = false;
    } else if (key == 0) {
        r->lead = true;
    }
    return true;
}

void CheckState(const KeyDecoder *d) {
    FUZZ_CHECK(d->out_count >= 0 && d->out_count <= KEYDEC_OUT_MAX);
    FUZZ_CHECK(d->out_head >= 0 && d->out_head < KEYDEC_OUT_MAX);
    FUZZ_CHECK(d->seq_len >= 0 && d->seq_len <= KEYDEC_SEQ_MAX + 1); // one past: over-long
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    KeyDecoder d;
    KeyDecoderReset(&d);
    Reader r;
    for (size_t i = 0; i < size; i += 2) {
        KeyDecoderFeed(&d, data[i]);
        CheckState(&d);
        uint8_t control = i + 1 < size ? data[i + 1] : 0;
        if (control & 1) {
            KeyDecoderTimeout(&d);
            FUZZ_CHECK(!KeyDecoderPending(&d));
            CheckState(&d);
        }
        if (control & 2)
            while (TakeOne(&d, &r)) {
            }
        else if (control & 4)
            TakeOne(&d, &r);
        CheckState(&d);
    }
    KeyDecoderTimeout(&d);
    while (TakeOne(&d, &r)) {
    }
    FUZZ_CHECK(!r.lead); // the scan code of every extended key came out with its lead
    return 0;
}
