// The correction: three whole numbers in, the coefficient to set (a multiple
// of 10) or no valid result out; with the integer text conversions it uses.
#pragma once
#include <stdint.h>

struct CoefficientOutcome {
    bool valid;
    int32_t value; // a multiple of 10 when valid
};

// Shown in the result field when there is no valid result.
extern const char OUT_OF_RANGE_TEXT[];

// Room format_int needs at most: "-2147483648" and its terminating zero.
enum { FORMAT_INT_MAX = 12 };

// Decimal integer at the start of a text; a null text gives 0.
int32_t parse_int(const char *text);
// Writes the signed decimal form of n at cursor; returns the address of its
// terminating zero (the new cursor).
char *format_int(int32_t n, char *cursor);
// Toward zero; NaN, infinities and values out of range give INT32_MIN.
int32_t truncate_to_int(float x);
CoefficientOutcome compute_coefficient(int32_t coeff, int32_t displayed, int32_t real);
