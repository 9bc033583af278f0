// The calculation core. The same source runs natively and, through Wine, as
// 32-bit and 64-bit Windows programs: identical results there show that
// every single-precision store rounds the same way on i686.
#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>
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
    return characteristic_table->value;
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

// ---- characteristic table ----

TEST(CharacteristicTable, FillsEveryEntryAsTheNearestFloat) {
    memset(&storage, 0, sizeof storage);
    characteristic_table = &storage;
    fill_characteristic_table();
    EXPECT_EQ(T()[0], -76.0f);
    EXPECT_EQ(T()[1], -68.55f);
    EXPECT_EQ(T()[10], 3.0f);
    EXPECT_EQ(T()[12], 20.0f);  // identity at 20 degrees
    EXPECT_EQ(T()[40], 300.0f); // identity at 300 degrees
    EXPECT_EQ(T()[53], 456.65f);
    EXPECT_EQ(T()[69], 672.65f);
    EXPECT_EQ(T()[70], 687.0f);
    EXPECT_EQ(characteristic_temperature(0), -100);
    EXPECT_EQ(characteristic_temperature(70), 600);
}

// Every entry lies on one quadratic; a mistyped entry breaks the second
// differences at three places.
TEST(CharacteristicTable, SecondDifferencesAreAllOneTenth) {
    use_filled_table();
    for (int i = 1; i < CHARACTERISTIC_ENTRIES - 1; ++i) {
        double second = (double)T()[i + 1] - 2.0 * T()[i] + T()[i - 1];
        EXPECT_NEAR(second, 0.1, 1e-4) << "around entry " << i;
    }
}

TEST(CharacteristicTable, FirstDifferencesMatchTheQuadratic) {
    use_filled_table();
    // From -100 to -90 degrees the step is 7.45; each later step adds 0.1.
    for (int i = 0; i < CHARACTERISTIC_ENTRIES - 1; ++i)
        EXPECT_NEAR((double)T()[i + 1] - T()[i], 7.45 + 0.1 * i, 1e-4) << "entry " << i;
}

TEST(CharacteristicTable, WithoutATableNothingIsWrittenAndLookupsFail) {
    characteristic_table = nullptr;
    fill_characteristic_table();
    EXPECT_EQ(table_to_temperature(150.0f), LOOKUP_FAILED);
    use_filled_table();
}

// ---- inverse lookup ----

TEST(TableToTemperature, EveryEntryGivesItsOwnTemperatureExactly) {
    use_filled_table();
    for (int i = 0; i < CHARACTERISTIC_ENTRIES; ++i)
        EXPECT_EQ(table_to_temperature(T()[i]), (float)characteristic_temperature(i)) << i;
    EXPECT_EQ(table_to_temperature(20.0f), 20.0f);
    EXPECT_EQ(table_to_temperature(300.0f), 300.0f);
    EXPECT_EQ(table_to_temperature(687.0f), 600.0f);
}

TEST(TableToTemperature, InterpolatesInsideTheBracketingPair) {
    use_filled_table();
    float t150 = table_to_temperature(150.0f);
    EXPECT_FLOAT_EQ(t150, (float)(150.0 + 10.0 * (150.0 - 140.25) / (150.2 - 140.25)));
    EXPECT_GT(t150, 159.0f);
    EXPECT_LT(t150, 160.0f);
    // Through the mended 430-degree entry.
    float t450 = table_to_temperature(450.0f);
    EXPECT_FLOAT_EQ(t450, (float)(420.0 + 10.0 * 6.0 / 12.65));
    EXPECT_GT(t450, 424.7f);
    EXPECT_LT(t450, 424.8f);
    EXPECT_EQ(table_to_temperature(456.65f), 430.0f);
    EXPECT_EQ(table_to_temperature(469.4f), 440.0f);
}

// Between -20 and -10 degrees the entries' difference, 8.25000048, is not a
// float; dividing by it unrounded puts -7 exactly on -12 degrees.
TEST(TableToTemperature, DividesByTheUnroundedDifference) {
    use_filled_table();
    EXPECT_EQ(table_to_temperature(-7.0f), -12.0f);
    EXPECT_EQ(table_to_temperature(2.0f), -1.19760418f);
}

TEST(TableToTemperature, ExtrapolatesAlongTheOuterSegments) {
    use_filled_table();
    float above = table_to_temperature(700.0f);
    EXPECT_FLOAT_EQ(above, (float)(590.0 + 10.0 * (700.0 - 672.65) / (687.0 - 672.65)));
    EXPECT_GT(above, 609.0f);
    float below = table_to_temperature(-100.0f);
    EXPECT_FLOAT_EQ(below, (float)(-100.0 + 10.0 * (-100.0 + 76.0) / (-68.55 + 76.0)));
    EXPECT_LT(below, -132.0f);
    // Far outside there is no clamping.
    EXPECT_NEAR(table_to_temperature(1e6f), 590.0 + 10.0 * (1e6 - 672.65) / 14.35, 10.0);
    EXPECT_NEAR(table_to_temperature(-1e6f), -100.0 + 10.0 * (-1e6 + 76.0) / 7.45, 10.0);
}

// A bracket error shows as a step backwards or a jump somewhere in a sweep.
TEST(TableToTemperature, SweepIsIncreasingContinuousAndNeverFails) {
    use_filled_table();
    float previous = table_to_temperature(-200.0f);
    for (float x = -199.95f; x < 800.0f; x += 0.05f) {
        float t = table_to_temperature(x);
        ASSERT_NE(t, LOOKUP_FAILED) << x;
        ASSERT_GE(t, previous) << x;
        // The flattest segment rises 7.45 per 10 degrees: a step of 0.05
        // moves the temperature by well under 0.1.
        ASSERT_LT(t - previous, 0.1f) << x;
        previous = t;
    }
}

// The filled table is searched by bisection; a copy of it (which the fill
// has not seen) by the plain scans. Both must find the same brackets.
TEST(TableToTemperature, BisectionAndScansAgree) {
    use_filled_table();
    static CharacteristicTable copy;
    copy = storage;
    std::vector<float> xs = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, 1e30f, -1e30f};
    for (int i = 0; i < CHARACTERISTIC_ENTRIES; ++i) {
        xs.push_back(T()[i]);
        xs.push_back(nextafterf(T()[i], INFINITY));
        xs.push_back(nextafterf(T()[i], -INFINITY));
        if (i) xs.push_back(0.5f * (T()[i - 1] + T()[i]));
    }
    for (float x = -300.0f; x < 900.0f; x += 0.37f)
        xs.push_back(x);
    for (float x : xs) {
        characteristic_table = &storage;
        float bisected = table_to_temperature(x);
        characteristic_table = &copy;
        float scanned = table_to_temperature(x);
        if (isnan(x)) {
            EXPECT_EQ(bisected, LOOKUP_FAILED);
            EXPECT_EQ(scanned, LOOKUP_FAILED);
        } else {
            ASSERT_EQ(memcmp(&bisected, &scanned, sizeof(float)), 0)
                << x << ": " << bisected << " vs " << scanned;
        }
    }
    characteristic_table = &storage;
}

TEST(TableToTemperature, NotANumberFindsNoBracket) {
    use_filled_table();
    EXPECT_EQ(table_to_temperature(NAN), LOOKUP_FAILED);
    EXPECT_EQ(table_to_temperature(INFINITY), INFINITY);
    EXPECT_EQ(table_to_temperature(-INFINITY), -INFINITY);
}

// ---- integer texts ----

TEST(ParseInt, ReadsTheLeadingWholeNumber) {
    EXPECT_EQ(parse_int("20.5"), 20);
    EXPECT_EQ(parse_int("  -12x"), -12);
    EXPECT_EQ(parse_int("+7"), 7);
    EXPECT_EQ(parse_int("1e3"), 1);
    EXPECT_EQ(parse_int("99.9"), 99);
    EXPECT_EQ(parse_int("1,5"), 1);
    EXPECT_EQ(parse_int("12 34"), 12);
    EXPECT_EQ(parse_int("007"), 7);
    EXPECT_EQ(parse_int("-0"), 0);
}

TEST(ParseInt, TextsWithoutDigitsGiveZero) {
    EXPECT_EQ(parse_int(nullptr), 0);
    EXPECT_EQ(parse_int(""), 0);
    EXPECT_EQ(parse_int("abc"), 0);
    EXPECT_EQ(parse_int("   "), 0);
    EXPECT_EQ(parse_int("-"), 0);
    EXPECT_EQ(parse_int("--5"), 0);
    EXPECT_EQ(parse_int("-+5"), 0);
    EXPECT_EQ(parse_int("+-5"), 0);
    EXPECT_EQ(parse_int("- 5"), 0);
    // Only blanks are skipped, not tabs or other white space.
    EXPECT_EQ(parse_int("\t5"), 0);
    EXPECT_EQ(parse_int("\n5"), 0);
}

TEST(ParseInt, WrapsModulo2To32) {
    EXPECT_EQ(parse_int("2147483647"), INT32_MAX);
    EXPECT_EQ(parse_int("2147483648"), INT32_MIN);
    EXPECT_EQ(parse_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(parse_int("4294967295"), -1);
    EXPECT_EQ(parse_int("4294967296"), 0);
    EXPECT_EQ(parse_int("4294967297"), 1);
    EXPECT_EQ(parse_int("-4294967297"), -1);
    EXPECT_EQ(parse_int("18446744073709551617"), 1); // 2^64 + 1
    // 10^32 = 2^32 * 5^32, so it wraps to 0 and only the last digits count.
    EXPECT_EQ(parse_int("100000000000000000000000000000000123"), 123);
}

TEST(ParseInt, LongRunsOfDigits) {
    std::string text(100000, '0');
    text += "42";
    EXPECT_EQ(parse_int(text.c_str()), 42);
    text = "  -" + text + ".5";
    EXPECT_EQ(parse_int(text.c_str()), -42);
}

TEST(FormatInt, WritesTheShortestSignedDecimalAtTheCursor) {
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    char *end = format_int(1100, buffer + 3);
    EXPECT_STREQ(buffer + 3, "1100");
    EXPECT_EQ(end, buffer + 7);
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(buffer[2], 'x'); // nothing written before the cursor

    struct Case {
        int32_t n;
        const char *text;
    } cases[] = {{0, "0"},
                 {-1, "-1"},
                 {10, "10"},
                 {-560, "-560"},
                 {INT32_MAX, "2147483647"},
                 {INT32_MIN, "-2147483648"}};
    for (const Case &c : cases) {
        end = format_int(c.n, buffer);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(end - buffer, (ptrdiff_t)strlen(c.text));
    }
}

TEST(FormatInt, ParseIntReadsItBack) {
    char buffer[FORMAT_INT_MAX];
    for (int64_t n = INT32_MIN; n <= INT32_MAX; n += 65537 * 7) {
        format_int((int32_t)n, buffer);
        ASSERT_EQ(parse_int(buffer), (int32_t)n) << buffer;
    }
    for (int32_t n = -1000; n <= 1000; ++n) {
        format_int(n, buffer);
        ASSERT_EQ(parse_int(buffer), n);
    }
}

TEST(TruncateToInt, RoundsTowardZero) {
    EXPECT_EQ(truncate_to_int(1.9f), 1);
    EXPECT_EQ(truncate_to_int(-1.9f), -1);
    EXPECT_EQ(truncate_to_int(-0.5f), 0);
    EXPECT_EQ(truncate_to_int(88.99999f), 88);
    EXPECT_EQ(truncate_to_int(89.0f), 89);
    // The largest float below 2^31, and -2^31 itself, fit.
    EXPECT_EQ(truncate_to_int(2147483520.0f), 2147483520);
    EXPECT_EQ(truncate_to_int(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-2147483520.0f), -2147483520);
}

TEST(TruncateToInt, UnrepresentableValuesGiveTheSmallestInt) {
    EXPECT_EQ(truncate_to_int(NAN), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-NAN), INT32_MIN);
    EXPECT_EQ(truncate_to_int(INFINITY), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-INFINITY), INT32_MIN);
    EXPECT_EQ(truncate_to_int(2147483648.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-2147483904.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(3e38f), INT32_MIN);
    EXPECT_EQ(truncate_to_int(-3e38f), INT32_MIN);
}

// ---- the correction ----

TEST(ComputeCoefficient, FormCases) {
    use_filled_table();
    EXPECT_EQ(form_result("1100", "150", "150"), "1100");
    EXPECT_EQ(form_result("1100", "200", "250"), "880");
    EXPECT_EQ(form_result("700", "200", "250"), "560");
    EXPECT_EQ(form_result("900", "300", "300"), "900");
    // Decimals are cut, not rounded: 99.9 is read as 99.
    EXPECT_EQ(form_result("1100", "99.9", "100"), form_result("1100", "99", "100"));
    EXPECT_NE(form_result("1100", "99.9", "100"), form_result("1100", "100", "100"));
}

TEST(ComputeCoefficient, DisplayedTemperatureLimits) {
    use_filled_table();
    EXPECT_EQ(result_text(1100, 21, 100), OUT_OF_RANGE_TEXT); // r = 10
    EXPECT_EQ(result_text(1100, 500, 450), "1210");
    EXPECT_EQ(result_text(1100, 501, 450), OUT_OF_RANGE_TEXT);
    // 20 and below fail whatever the real temperature would allow.
    EXPECT_EQ(result_text(1100, 20, 20), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(4000, 20, 21), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(-1100, 10, 30), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(900, 21, 21), "900");
}

TEST(ComputeCoefficient, UnusableInputsEndOutOfRange) {
    use_filled_table();
    EXPECT_EQ(result_text(1100, 150, 20), OUT_OF_RANGE_TEXT); // divisor zero
    EXPECT_EQ(result_text(0, 150, 20), OUT_OF_RANGE_TEXT);    // 0 / 0
    EXPECT_EQ(result_text(1100, 150, -5), OUT_OF_RANGE_TEXT); // negative r
    EXPECT_EQ(form_result("abc", "150", "150"), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MAX, 150, 150), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MIN, 150, 21), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MIN, INT32_MIN, INT32_MIN), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(INT32_MAX, INT32_MAX, INT32_MAX), OUT_OF_RANGE_TEXT);
}

TEST(ComputeCoefficient, RangeLimitsOfTheResultAreInclusive) {
    use_filled_table();
    EXPECT_EQ(result_text(400, 300, 300), "400");
    EXPECT_EQ(result_text(395, 300, 300), "400"); // rounds up onto the limit
    EXPECT_EQ(result_text(394, 300, 300), OUT_OF_RANGE_TEXT);
    EXPECT_EQ(result_text(4000, 300, 300), "4000");
    EXPECT_EQ(result_text(4004, 300, 300), "4000");
    EXPECT_EQ(result_text(4005, 300, 300), OUT_OF_RANGE_TEXT);
    // A negative coefficient with a real temperature below 20 gives a
    // positive result: only the result's value is checked.
    EXPECT_EQ(result_text(-500, 150, -5), "2360");
}

TEST(ComputeCoefficient, RoundsHalfUpToAMultipleOfTen) {
    use_filled_table();
    EXPECT_EQ(result_text(885, 300, 300), "890");
    EXPECT_EQ(result_text(884, 300, 300), "880");
    EXPECT_EQ(result_text(1105, 300, 300), "1110");
    EXPECT_EQ(result_text(1104, 300, 300), "1100");
}

// Equal temperatures give back any coefficient that is already a multiple
// of 10, over the whole valid range.
TEST(ComputeCoefficient, EqualTemperaturesKeepTheCoefficient) {
    use_filled_table();
    for (int32_t t = 21; t <= 500; ++t)
        for (int32_t c = 400; c <= 4000; c += 10) {
            CoefficientOutcome o = compute_coefficient(c, t, t);
            ASSERT_TRUE(o.valid) << c << " " << t;
            ASSERT_EQ(o.value, c) << "temperature " << t;
        }
}

// A higher displayed temperature never lowers the coefficient; every valid
// outcome is a multiple of 10 within the limits.
TEST(ComputeCoefficient, ResultGrowsWithTheDisplayedTemperature) {
    use_filled_table();
    const int32_t reals[] = {21, 80, 150, 333, 480, 600};
    for (int32_t real : reals)
        for (int32_t c = 400; c <= 4000; c += 450) {
            int32_t previous = INT32_MIN;
            for (int32_t d = 21; d <= 500; ++d) {
                CoefficientOutcome o = compute_coefficient(c, d, real);
                if (!o.valid) continue;
                ASSERT_EQ(o.value % 10, 0);
                ASSERT_GE(o.value, 400);
                ASSERT_LE(o.value, 4000);
                ASSERT_GE(o.value, previous) << c << " " << d << " " << real;
                previous = o.value;
            }
        }
}

// Inputs whose result sits at a rounding edge, where the single-precision
// stores decide the outcome. Each was checked against a separate
// implementation. `shortcut` is what computing without the stores gives.
struct EdgeCase {
    int32_t coeff, displayed, real;
    const char *expected;
    const char *shortcut;
};

std::string without_stores(int32_t coeff, int32_t displayed, int32_t real, bool float_divisor) {
    // The lookup's own stores are kept; this varies the correction only.
    double d = table_to_temperature((float)displayed);
    double re = table_to_temperature((float)real);
    double r;
    if (float_divisor) {
        float f = (float)(d - 20.0);
        f = f * (float)coeff;
        f = f / (float)(re - 20.0);
        f = f + 5.0f;
        r = (double)truncate_to_int(f / 10.0f) * 10.0;
    } else {
        r = (d - 20.0) * coeff / (re - 20.0) + 5.0;
        r = trunc(r / 10.0) * 10.0;
    }
    if (r >= 400 && r <= 4000 && displayed > 20 && displayed <= 500) {
        char text[FORMAT_INT_MAX];
        format_int((int32_t)r, text);
        return text;
    }
    return OUT_OF_RANGE_TEXT;
}

TEST(ComputeCoefficient, SinglePrecisionStoresDecideEdgeCases) {
    use_filled_table();
    const EdgeCase stores[] = {
        {400, 166, 168, "400", "out of range"},
        {400, 229, 189, "490", "480"},
        {403, 212, 97, "950", "940"},
        {405, 112, 112, "400", "410"}, // equal temperatures, yet 404.99997 + 5
        {405, 383, 92, "1780", "1770"},
        {408, 368, 371, "410", "400"},
    };
    for (const EdgeCase &e : stores) {
        EXPECT_EQ(result_text(e.coeff, e.displayed, e.real), e.expected)
            << e.coeff << " " << e.displayed << " " << e.real;
        EXPECT_EQ(without_stores(e.coeff, e.displayed, e.real, false), e.shortcut);
    }
}

// The divisor of the correction is not rounded to single precision first;
// with a real temperature below 20 that matters. (So does the lookup's own
// unrounded divisor between -20 and -10 degrees: see the last cases.)
TEST(ComputeCoefficient, UnroundedDivisorDecidesEdgeCases) {
    use_filled_table();
    const EdgeCase divisor[] = {
        {-3984, 74, -39, "3380", "3370"},
        {-3771, 36, 5, "3940", "3930"},
        {-3840, 92, -89, "2240", "2230"},
        {-3785, 121, -84, "3190", "3200"},
    };
    for (const EdgeCase &e : divisor) {
        EXPECT_EQ(result_text(e.coeff, e.displayed, e.real), e.expected)
            << e.coeff << " " << e.displayed << " " << e.real;
        EXPECT_EQ(without_stores(e.coeff, e.displayed, e.real, true), e.shortcut);
    }
    EXPECT_EQ(result_text(-902, 31, 0), "490");
    EXPECT_EQ(result_text(-2593, 39, 1), "2530");
    EXPECT_EQ(result_text(-458, 139, -6), "1910");
}

} // namespace
