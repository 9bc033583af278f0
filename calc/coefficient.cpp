#include "calc/coefficient.h"
#include "calc/characteristic.h"
#include "calc/int_scan.h"

const char OUT_OF_RANGE_TEXT[] = "out of range";

int32_t parse_int(const char *text) {
    if (!text) return 0;
    IntScan s;
    int_scan_start(&s);
    while (*text && int_scan_feed(&s, (unsigned char)*text))
        ++text;
    return int_scan_result(&s);
}

char *format_int(int32_t n, char *cursor) {
    // Magnitude in unsigned arithmetic so that INT32_MIN has one too.
    uint32_t m = n < 0 ? 0u - (uint32_t)n : (uint32_t)n;
    char digits[10];
    int count = 0;
    do {
        digits[count++] = (char)('0' + m % 10u);
        m /= 10u;
    } while (m);
    if (n < 0) *cursor++ = '-';
    while (count)
        *cursor++ = digits[--count];
    *cursor = 0;
    return cursor;
}

int32_t truncate_to_int(float x) {
    // Range checked before converting: an out-of-range conversion is
    // undefined. NaN fails both comparisons.
    if (x >= -2147483648.0f && x < 2147483648.0f) return (int32_t)x;
    return INT32_MIN;
}

// Every assignment to a working value rounds to float; the divisor, which is
// never stored, stays in double. The quotient by 10 is handed on as a float.
CoefficientOutcome compute_coefficient(int32_t coeff_in, int32_t displayed_in, int32_t real_in) {
    float coeff = (float)coeff_in;
    float displayed = (float)displayed_in;
    float real = (float)real_in;

    float r = (float)((double)table_to_temperature(displayed) - 20.0);
    r = (float)((double)r * coeff);
    r = (float)((double)r / ((double)table_to_temperature(real) - 20.0));
    r = (float)((double)r + 5.0);
    r = (float)truncate_to_int((float)((double)r / 10.0));
    r = (float)((double)r * 10.0);

    CoefficientOutcome outcome = {false, 0};
    if (r >= 400.0f && r <= 4000.0f && displayed > 20.0f && displayed <= 500.0f) {
        outcome.valid = true;
        outcome.value = (int32_t)r;
    }
    return outcome;
}
