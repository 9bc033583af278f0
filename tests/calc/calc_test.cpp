// The calculation core. The same source runs natively and, through Wine, as
// 32-bit and 64-bit Windows programs: identical results there show that
// every single-precision store rounds the same way on i686.
#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

CharacteristicTable storage;

void use_filled_table() {
    memset(&storage, 0, sizeof storage);
    characteristic_table = &storage;
    fill_characteristic_table();
}

const float *T() {
    return storage.value;
}

std::string result_text(int32_t coeff, int32_t displayed, int32_t real) {
    CoefficientOutcome o = compute_coefficient(coeff, displayed, real);
    if (!o.valid) return OUT_OF_RANGE_TEXT;
    char text[FORMAT_INT_MAX];
    format_int(o.value, text);
    return text;
}

std::string form_result(const char *coeff, const char *displayed, const char *real) {
    return result_text(parse_int(coeff), parse_int(displayed), parse_int(real));
}

// ---- characteristic table and lookup ----

TEST(CharacteristicTable, Entries) {
    characteristic_table = nullptr;
    fill_characteristic_table(); // no table yet: nothing to write, no crash
    EXPECT_EQ(table_to_temperature(150.0f), LOOKUP_FAILED);

    use_filled_table();
    EXPECT_EQ(T()[0], -76.0f);
    EXPECT_EQ(T()[1], -68.55f);
    EXPECT_EQ(T()[12], 20.0f);  // identity at 20 degrees
    EXPECT_EQ(T()[40], 300.0f); // identity at 300 degrees
    EXPECT_EQ(T()[53], 456.65f);
    EXPECT_EQ(T()[70], 687.0f);
    // Every entry lies on one quadratic; a mistyped entry breaks the second
    // differences at three places.
    for (int i = 1; i < CHARACTERISTIC_ENTRIES - 1; ++i)
        EXPECT_NEAR((double)T()[i + 1] - 2.0 * T()[i] + T()[i - 1], 0.1, 1e-4) << "entry " << i;
}

TEST(TableToTemperature, EntriesGiveTheirOwnTemperatureExactly) {
    use_filled_table();
    for (int i = 0; i < CHARACTERISTIC_ENTRIES; ++i)
        EXPECT_EQ(table_to_temperature(T()[i]), (float)characteristic_temperature(i)) << i;
    EXPECT_EQ(characteristic_temperature(0), -100);
    EXPECT_EQ(characteristic_temperature(70), 600);
}

TEST(TableToTemperature, InterpolatesAndExtrapolates) {
    use_filled_table();
    float t150 = table_to_temperature(150.0f);
    EXPECT_FLOAT_EQ(t150, (float)(150.0 + 10.0 * (150.0 - 140.25) / (150.2 - 140.25)));
    EXPECT_TRUE(t150 > 159.0f && t150 < 160.0f);
    // Through the mended 430-degree entry.
    EXPECT_FLOAT_EQ(table_to_temperature(450.0f), (float)(420.0 + 10.0 * 6.0 / 12.65));
    EXPECT_EQ(table_to_temperature(456.65f), 430.0f);
    EXPECT_EQ(table_to_temperature(469.4f), 440.0f);
    // Outside the table, along the outer segments, without clamping.
    float above = table_to_temperature(700.0f);
    EXPECT_FLOAT_EQ(above, (float)(590.0 + 10.0 * (700.0 - 672.65) / (687.0 - 672.65)));
    EXPECT_GT(above, 609.0f);
    float below = table_to_temperature(-100.0f);
    EXPECT_FLOAT_EQ(below, (float)(-100.0 + 10.0 * (-100.0 + 76.0) / (-68.55 + 76.0)));
    EXPECT_LT(below, -132.0f);
    EXPECT_NEAR(table_to_temperature(1e6f), 590.0 + 10.0 * (1e6 - 672.65) / 14.35, 10.0);
    // NaN finds no bracket; infinities extrapolate.
    EXPECT_EQ(table_to_temperature(NAN), LOOKUP_FAILED);
    EXPECT_EQ(table_to_temperature(-INFINITY), -INFINITY);
}

// Between -20 and -10 degrees the entries' difference, 8.25000048, is not a
// float; dividing by it unrounded puts -7 exactly on -12 degrees.
TEST(TableToTemperature, DividesByTheUnroundedDifference) {
    use_filled_table();
    EXPECT_EQ(table_to_temperature(-7.0f), -12.0f);
    EXPECT_EQ(table_to_temperature(2.0f), -1.19760418f);
}

// A bracket error shows as a step backwards or a jump somewhere in a sweep.
TEST(TableToTemperature, SweepIsIncreasingContinuousAndNeverFails) {
    use_filled_table();
    float previous = table_to_temperature(-200.0f);
    for (float x = -199.95f; x < 800.0f; x += 0.05f) {
        float t = table_to_temperature(x);
        ASSERT_NE(t, LOOKUP_FAILED) << x;
        ASSERT_GE(t, previous) << x;
        // The flattest segment rises 7.45 per 10 degrees.
        ASSERT_LT(t - previous, 0.1f) << x;
        previous = t;
    }
}

// ---- integer texts ----

TEST(ParseInt, ReadsTheLeadingWholeNumber) {
    EXPECT_EQ(parse_int("20.5"), 20);
    EXPECT_EQ(parse_int("  -12x"), -12);
    EXPECT_EQ(parse_int("+7"), 7);
    EXPECT_EQ(parse_int("1e3"), 1);
    EXPECT_EQ(parse_int("12 34"), 12);
    EXPECT_EQ(parse_int("007"), 7);
    // No digits: 0.
    EXPECT_EQ(parse_int(nullptr), 0);
    EXPECT_EQ(parse_int(""), 0);
    EXPECT_EQ(parse_int("abc"), 0);
    EXPECT_EQ(parse_int("--5"), 0);
    EXPECT_EQ(parse_int("+-5"), 0);
    EXPECT_EQ(parse_int("- 5"), 0);
    EXPECT_EQ(parse_int("\t5"), 0); // only blanks are skipped
}

TEST(ParseInt, WrapsModulo2To32) {
    EXPECT_EQ(parse_int("2147483647"), INT32_MAX);
    EXPECT_EQ(parse_int("2147483648"), INT32_MIN);
    EXPECT_EQ(parse_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(parse_int("4294967295"), -1);
    EXPECT_EQ(parse_int("4294967297"), 1);
    EXPECT_EQ(parse_int("-4294967297"), -1);
    EXPECT_EQ(parse_int("18446744073709551617"), 1); // 2^64 + 1
    // 10^32 is a multiple of 2^32: only the last 32 digits can count.
    std::string text = "  -1" + std::string(100000, '0') + "42.5";
    EXPECT_EQ(parse_int(text.c_str()), -42);
}

TEST(FormatInt, WritesTheShortestSignedDecimalAtTheCursor) {
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    char *end = format_int(1100, buffer + 3);
    EXPECT_STREQ(buffer + 3, "1100");
    EXPECT_EQ(end, buffer + 7);
    EXPECT_EQ(buffer[2], 'x'); // nothing written before the cursor
    format_int(0, buffer);
    EXPECT_STREQ(buffer, "0");
    format_int(-560, buffer);
    EXPECT_STREQ(buffer, "-560");
    format_int(INT32_MIN, buffer);
    EXPECT_STREQ(buffer, "-2147483648");
    for (int64_t n = INT32_MIN; n <= INT32_MAX; n += 65537 * 7) {
        format_int((int32_t)n, buffer);
        ASSERT_EQ(parse_int(buffer), (int32_t)n) << buffer;
    }
}

TEST(TruncateToInt, TowardZeroOrTheSmallestInt) {
    EXPECT_EQ(truncate_to_int(1.9f), 1);
    EXPECT_EQ(truncate_to_int(-1.9f), -1);
    EXPECT_EQ(truncate_to_int(88.99999f), 88);
    // The largest float below 2^31, and -2^31 itself, fit.
    EXPECT_EQ(truncate_to_int(2147483520.0f), 2147483520);
    EXPECT_EQ(truncate_to_int(-2147483520.0f), -2147483520);
    EXPECT_EQ(truncate_to_int(2147483648.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-2147483904.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(NAN), INT32_MIN);
    EXPECT_EQ(truncate_to_int(INFINITY), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-INFINITY), INT32_MIN);
}

// ---- the correction ----

TEST(ComputeCoefficient, FormCases) {
    use_filled_table();
    EXPECT_EQ(form_result("1100", "150", "150"), "1100");
    EXPECT_EQ(form_result("1100", "200", "250"), "880");
    EXPECT_EQ(form_result("700", "200", "250"), "560");
    EXPECT_EQ(form_result("900", "300", "300"), "900");
    EXPECT_EQ(form_result("1100", "500", "450"), "1210");
    // Decimals are cut, not rounded: 99.9 is read as 99.
    EXPECT_EQ(form_result("1100", "99.9", "100"), form_result("1100", "99", "100"));
    EXPECT_NE(form_result("1100", "99.9", "100"), form_result("1100", "100", "100"));
}

TEST(ComputeCoefficient, LimitsAndUnusableInputs) {
    use_filled_table();
    EXPECT_EQ(result_text(1100, 21, 100), OUT_OF_RANGE_TEXT); // r = 10
    EXPECT_EQ(result_text(1100, 501, 450), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(4000, 20, 21), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(900, 21, 21), "900");
    EXPECT_EQ(result_text(1100, 150, 20), OUT_OF_RANGE_TEXT); // divisor zero
    EXPECT_EQ(result_text(0, 150, 20), OUT_OF_RANGE_TEXT);    // 0 / 0
    EXPECT_EQ(result_text(1100, 150, -5), OUT_OF_RANGE_TEXT); // negative r
    EXPECT_EQ(form_result("abc", "150", "150"), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MAX, 150, 150), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MIN, INT32_MIN, INT32_MIN), OUT_OF_RANGE_TEXT);
    // Only the result is checked: a negative coefficient and a real
    // temperature below 20 make a valid one.
    EXPECT_EQ(result_text(-500, 150, -5), "2360");
    // Inclusive limits; rounding half up onto them. At 300 degrees the
    // quotient is exact.
    EXPECT_EQ(result_text(395, 300, 300), "400");
    EXPECT_EQ(result_text(394, 300, 300), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(4004, 300, 300), "4000");
    EXPECT_EQ(result_text(4005, 300, 300), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(885, 300, 300), "890");
    EXPECT_EQ(result_text(884, 300, 300), "880");
}

// Equal temperatures give back any coefficient that is already a multiple
// of 10, over the whole valid range.
TEST(ComputeCoefficient, EqualTemperaturesKeepTheCoefficient) {
    use_filled_table();
    for (int32_t t = 21; t <= 500; ++t)
        for (int32_t c = 400; c <= 4000; c += 10) {
            CoefficientOutcome o = compute_coefficient(c, t, t);
            ASSERT_TRUE(o.valid && o.value == c) << c << " at " << t;
        }
}

// A higher displayed temperature never lowers the coefficient.
TEST(ComputeCoefficient, ResultGrowsWithTheDisplayedTemperature) {
    use_filled_table();
    for (int32_t real : {21, 80, 150, 333, 480, 600})
        for (int32_t c = 400; c <= 4000; c += 450) {
            int32_t previous = INT32_MIN;
            for (int32_t d = 21; d <= 500; ++d) {
                CoefficientOutcome o = compute_coefficient(c, d, real);
                if (!o.valid) continue;
                ASSERT_GE(o.value, previous) << c << " " << d << " " << real;
                previous = o.value;
            }
        }
}

// Results at a rounding edge, where the single-precision stores and the
// unrounded divisors decide. Each was checked against a separate
// implementation; the value in the comment is what computing in double
// throughout gives instead (for negative coefficients: what rounding a
// divisor to float gives).
TEST(ComputeCoefficient, PrecisionDecidesEdgeCases) {
    use_filled_table();
    EXPECT_EQ(result_text(400, 166, 168), "400");    // out of range
    EXPECT_EQ(result_text(400, 229, 189), "490");    // 480
    EXPECT_EQ(result_text(403, 212, 97), "950");     // 940
    EXPECT_EQ(result_text(405, 112, 112), "400");    // 410: 404.99997 + 5
    EXPECT_EQ(result_text(405, 383, 92), "1780");    // 1770
    EXPECT_EQ(result_text(408, 368, 371), "410");    // 400
    EXPECT_EQ(result_text(-3984, 74, -39), "3380");  // 3370
    EXPECT_EQ(result_text(-3771, 36, 5), "3940");    // 3930
    EXPECT_EQ(result_text(-3785, 121, -84), "3190"); // 3200
    EXPECT_EQ(result_text(-902, 31, 0), "490");      // 480, lookup's divisor
    EXPECT_EQ(result_text(-458, 139, -6), "1910");   // 1920, lookup's divisor
}

} // namespace
