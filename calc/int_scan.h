// Decimal integer at the start of a text, read one character at a time, so
// that a caller streaming input need not hold a whole text. parse_int is
// built on it; both read a text the same way.
//
// Fed on past the number, a scan also tells whether the whole text was a
// whole number as typed: blanks, an optional sign, ASCII digits, blanks, and
// the number within the 32-bit range (int_scan_as_typed).
#pragma once
#include <stdint.h>

struct IntScan {
    uint32_t value; // digits so far, modulo 2^32
    uint8_t phase;  // INT_SCAN_*
    bool negative;
    bool too_large; // the digits' number is beyond the 32-bit range
    uint8_t end;    // the character that ended the number (INT_SCAN_ENDED*)
};

enum {
    INT_SCAN_BLANKS,   // blanks before the number
    INT_SCAN_SIGN,     // its sign, no digit yet
    INT_SCAN_DIGITS,   // its digits
    INT_SCAN_TRAILING, // blanks after the digits: the number is complete
    // A character that is no part of a whole number as typed has come:
    INT_SCAN_ENDED,                // before any digit (the number is 0)
    INT_SCAN_ENDED_AFTER_DIGITS,   // right after the digits
    INT_SCAN_ENDED_AFTER_TRAILING, // after blanks that followed the digits
};

inline void int_scan_start(IntScan *s) {
    s->value = 0;
    s->phase = INT_SCAN_BLANKS;
    s->negative = false;
    s->too_large = false;
    s->end = 0;
}

// Takes the next character of the text (a zero byte ends it like any other
// non-digit). Returns false once the number is complete.
inline bool int_scan_feed(IntScan *s, unsigned char c) {
    unsigned digit = (unsigned)c - '0';
    if (s->phase == INT_SCAN_DIGITS) {
        if (digit <= 9) {
            // Beyond 2^31 - 1 (2^31 for a negative number) the number no
            // longer fits. Wrapping modulo 2^32 is intended all the same: a
            // long run of digits keeps its low 32 bits, as the sum of
            // digit * 10^k would.
            if (s->value >= 214748364u && (s->value > 214748364u || digit > 7u + s->negative))
                s->too_large = true;
            s->value = s->value * 10u + digit;
            return true;
        }
        if (c == ' ') {
            s->phase = INT_SCAN_TRAILING;
        } else {
            s->phase = INT_SCAN_ENDED_AFTER_DIGITS;
            s->end = c;
        }
        return false;
    }
    if (s->phase >= INT_SCAN_TRAILING) {
        if (s->phase == INT_SCAN_TRAILING && c != ' ') {
            s->phase = INT_SCAN_ENDED_AFTER_TRAILING;
            s->end = c;
        }
        return false;
    }
    if (s->phase == INT_SCAN_BLANKS) {
        if (c == ' ') return true;
        if (c == '-' || c == '+') {
            s->negative = c == '-';
            s->phase = INT_SCAN_SIGN;
            return true;
        }
    }
    if (digit > 9) {
        s->phase = INT_SCAN_ENDED;
        s->end = c;
        return false;
    }
    s->value = digit;
    s->phase = INT_SCAN_DIGITS;
    return true;
}

// The number read so far, as a signed 32-bit value (two's complement).
inline int32_t int_scan_result(const IntScan *s) {
    uint32_t v = s->negative ? 0u - s->value : s->value;
    return v <= 0x7fffffffu ? (int32_t)v : -(int32_t)(~v) - 1;
}

// Whether the text fed so far has the form of a whole number as typed
// (blanks, a sign, digits, blanks), and whether its number is also within
// the 32-bit range: then it reads as typed.
inline bool int_scan_whole_form(const IntScan *s) {
    return s->phase == INT_SCAN_DIGITS || s->phase == INT_SCAN_TRAILING;
}
inline bool int_scan_as_typed(const IntScan *s) {
    return int_scan_whole_form(s) && !s->too_large;
}
