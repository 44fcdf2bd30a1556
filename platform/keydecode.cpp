// Terminal key decoder: escape sequences to PC console key bytes.
#include "platform/keydecode.h"

#include <cstring>

namespace {

// Decoder states.
enum {
    ST_IDLE,   // between keys
    ST_ESC,    // ESC seen: a lone ESC, or the start of a sequence
    ST_CSI,    // ESC [ and parameter bytes
    ST_SS3,    // ESC O and parameter bytes
    ST_LINUXF, // ESC [ [: Linux console F1..F5
};

void out_put(KeyDecoder *d, uint8_t b) {
    // The reader drains the ring long before it fills; a flood is cut, not overrun.
    if (d->out_count >= KEYDEC_OUT_MAX)
        return;
    d->out[(d->out_head + d->out_count) % KEYDEC_OUT_MAX] = b;
    d->out_count++;
}

void out_extended(KeyDecoder *d, int scan) {
    if (d->out_count + 2 > KEYDEC_OUT_MAX)
        return;
    out_put(d, 0);
    out_put(d, (uint8_t)scan);
}

// Splits the gathered parameter bytes into up to two numbers; false when the
// sequence carries a private marker or intermediate byte we do not know.
bool parse_params(const KeyDecoder *d, int *p1, int *p2, int *count) {
    *p1 = -1;
    *p2 = -1;
    *count = 0;
    int value = -1;
    int index = 0;
    for (int i = 0; i < d->seq_len; i++) {
        uint8_t c = d->seq[i];
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 9999)
                return false;
        } else if (c == ';') {
            if (index == 0)
                *p1 = value;
            else if (index == 1)
                *p2 = value;
            index++;
            value = -1;
        } else {
            return false;
        }
    }
    if (index == 0)
        *p1 = value;
    else if (index == 1)
        *p2 = value;
    *count = (d->seq_len == 0) ? 0 : index + 1;
    return *count <= 2;
}

// A modifier parameter other than 1 means Shift, Alt or Ctrl: such keys are dropped.
bool unmodified(int p2) {
    return p2 < 0 || p2 == 1;
}

int letter_scan(uint8_t final) {
    switch (final) {
    case 'A':
        return SCAN_UP;
    case 'B':
        return SCAN_DOWN;
    case 'C':
        return SCAN_RIGHT;
    case 'D':
        return SCAN_LEFT;
    case 'H':
        return SCAN_HOME;
    case 'F':
        return SCAN_END;
    case 'P':
        return SCAN_F1;
    case 'Q':
        return SCAN_F1 + 1;
    case 'R':
        return SCAN_F1 + 2;
    case 'S':
        return SCAN_F1 + 3;
    default:
        return 0;
    }
}

int tilde_scan(int n) {
    switch (n) {
    case 1:
    case 7:
        return SCAN_HOME;
    case 2:
        return SCAN_INSERT;
    case 3:
        return SCAN_DELETE;
    case 4:
    case 8:
        return SCAN_END;
    case 5:
        return SCAN_PGUP;
    case 6:
        return SCAN_PGDN;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
        return SCAN_F1 + (n - 11);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
        return SCAN_F1 + 5 + (n - 17);
    case 23:
        return SCAN_F11;
    case 24:
        return SCAN_F12;
    default:
        return 0;
    }
}

void finish_csi(KeyDecoder *d, uint8_t final) {
    int p1, p2, count;
    if (d->seq_len > KEYDEC_SEQ_MAX || !parse_params(d, &p1, &p2, &count))
        return;
    int scan = 0;
    if (final == '~') {
        if (unmodified(p2))
            scan = tilde_scan(p1);
    } else if (p1 <= 1 && unmodified(p2)) {
        scan = letter_scan(final);
    }
    if (scan)
        out_extended(d, scan);
}

void finish_ss3(KeyDecoder *d, uint8_t final) {
    int p1, p2, count;
    if (d->seq_len > KEYDEC_SEQ_MAX || !parse_params(d, &p1, &p2, &count))
        return;
    if (count > 0)
        return;         // ESC O 5 P and the like carry modifiers
    if (final == 'M') { // keypad ENTER in application mode
        out_put(d, 13);
        return;
    }
    int scan = letter_scan(final);
    if (scan)
        out_extended(d, scan);
}

void seq_add(KeyDecoder *d, uint8_t b) {
    // An over-long sequence keeps counting so that it is dropped at its end.
    if (d->seq_len < KEYDEC_SEQ_MAX)
        d->seq[d->seq_len] = b;
    if (d->seq_len <= KEYDEC_SEQ_MAX)
        d->seq_len++;
}

void feed_idle(KeyDecoder *d, uint8_t b) {
    if (b == 0x1B) {
        d->state = ST_ESC;
        d->seq_len = 0;
    } else if (b == 0x7F) {
        out_put(d, 8); // the terminal's Backspace
    } else if (b == 0) {
        // NUL (Ctrl-Space) would pose as an extended-key lead byte
    } else if (b >= 0x80) {
        // UTF-8 text: drop the character whole
        if (b >= 0xC0 && b <= 0xDF)
            d->utf8_left = 1;
        else if (b >= 0xE0 && b <= 0xEF)
            d->utf8_left = 2;
        else if (b >= 0xF0 && b <= 0xF7)
            d->utf8_left = 3;
    } else {
        out_put(d, b);
    }
}

} // namespace

void KeyDecoderReset(KeyDecoder *d) {
    std::memset(d, 0, sizeof *d);
}

void KeyDecoderFeed(KeyDecoder *d, uint8_t b) {
    if (d->utf8_left > 0) {
        if (b >= 0x80 && b <= 0xBF) {
            d->utf8_left--;
            return;
        }
        d->utf8_left = 0;
    }
    switch (d->state) {
    case ST_IDLE:
        feed_idle(d, b);
        return;
    case ST_ESC:
        if (b == '[') {
            d->state = ST_CSI;
        } else if (b == 'O') {
            d->state = ST_SS3;
        } else if (b >= 0x20 && b <= 0x7E) {
            // ESC and a printable byte in one burst is how a terminal sends
            // Alt and that key: dropped like every other Alt combination. A
            // lone ESC has had its time-out before the next key arrives.
            d->state = ST_IDLE;
        } else {
            // ESC followed by a control key (ENTER, another ESC): both are keys
            out_put(d, 0x1B);
            d->state = ST_IDLE;
            feed_idle(d, b);
        }
        return;
    case ST_LINUXF:
        d->state = ST_IDLE;
        if (b >= 'A' && b <= 'E')
            out_extended(d, SCAN_F1 + (b - 'A'));
        else if (b == 0x1B)
            d->state = ST_ESC;
        return;
    case ST_CSI:
    case ST_SS3:
        if (d->state == ST_CSI && d->seq_len == 0 && b == '[') {
            d->state = ST_LINUXF;
        } else if (b >= 0x20 && b <= 0x3F) {
            seq_add(d, b);
        } else if (b >= 0x40 && b <= 0x7E) {
            if (d->state == ST_CSI)
                finish_csi(d, b);
            else
                finish_ss3(d, b);
            d->state = ST_IDLE;
        } else {
            // a broken sequence is dropped; the byte that broke it still counts
            d->state = ST_IDLE;
            d->seq_len = 0;
            feed_idle(d, b);
        }
        return;
    }
}

void KeyDecoderPut(KeyDecoder *d, uint8_t b) {
    out_put(d, b);
}

void KeyDecoderTimeout(KeyDecoder *d) {
    if (d->state == ST_ESC)
        out_put(d, 0x1B);
    d->state = ST_IDLE;
    d->seq_len = 0;
    d->utf8_left = 0;
}

int KeyDecoderPending(const KeyDecoder *d) {
    return d->state != ST_IDLE;
}

int KeyDecoderTake(KeyDecoder *d) {
    if (d->out_count == 0)
        return -1;
    int b = d->out[d->out_head];
    d->out_head = (d->out_head + 1) % KEYDEC_OUT_MAX;
    d->out_count--;
    return b;
}
