// Decimal integer at the start of a text, read one character at a time, so
// that a caller streaming input need not hold a whole text. parse_int is
// built on it; both read a text the same way.
#pragma once
#include <stdint.h>

struct IntScan {
    uint32_t value; // digits so far, modulo 2^32
    uint8_t phase;  // INT_SCAN_BLANKS, INT_SCAN_DIGITS or INT_SCAN_DONE
    bool negative;
};

enum { INT_SCAN_BLANKS = 0, INT_SCAN_DIGITS = 1, INT_SCAN_DONE = 2 };

inline void int_scan_start(IntScan *s) {
    s->value = 0;
    s->phase = INT_SCAN_BLANKS;
    s->negative = false;
}

// Takes the next character of the text (a zero byte ends it like any other
// non-digit). Returns false once the number is complete.
inline bool int_scan_feed(IntScan *s, unsigned char c) {
    unsigned digit = (unsigned)c - '0';
    if (s->phase == INT_SCAN_DIGITS) {
        if (digit > 9) {
            s->phase = INT_SCAN_DONE;
            return false;
        }
        // Wrapping modulo 2^32 is intended: a long run of digits keeps its
        // low 32 bits, as the sum of digit * 10^k would.
        s->value = s->value * 10u + digit;
        return true;
    }
    if (s->phase == INT_SCAN_DONE) return false;
    if (c == ' ') return true;
    s->phase = INT_SCAN_DIGITS;
    if (c == '-') {
        s->negative = true;
        return true;
    }
    if (c == '+') return true;
    if (digit > 9) {
        s->phase = INT_SCAN_DONE;
        return false;
    }
    s->value = digit;
    return true;
}

// The number read so far, as a signed 32-bit value (two's complement).
inline int32_t int_scan_result(const IntScan *s) {
    uint32_t v = s->negative ? 0u - s->value : s->value;
    return v <= 0x7fffffffu ? (int32_t)v : -(int32_t)(~v) - 1;
}
