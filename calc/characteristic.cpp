#include "calc/characteristic.h"

CharacteristicTable *characteristic_table;

// The 430-degree entry is 456.65: every other entry lies on one quadratic
// (second differences of 0.1), and 465.65 would be a transposed-digit typo
// that skews every lookup between 444 and 469.4.
static const float CHARACTERISTIC_VALUES[CHARACTERISTIC_ENTRIES] = {
    -76.0f,  -68.55f, -61.0f,  -53.35f, -45.6f,  -37.75f, -29.8f,  -21.75f, -13.6f,
    -5.35f,  3.0f,    11.45f,  20.0f,   28.65f,  37.4f,   46.25f,  55.2f,   64.25f,
    73.4f,   82.65f,  92.0f,   101.45f, 111.0f,  120.65f, 130.4f,  140.25f, 150.2f,
    160.25f, 170.4f,  180.65f, 191.0f,  201.45f, 212.0f,  222.65f, 233.4f,  244.25f,
    255.2f,  266.25f, 277.4f,  288.65f, 300.0f,  311.45f, 323.0f,  334.65f, 346.4f,
    358.25f, 370.2f,  382.25f, 394.4f,  406.65f, 419.0f,  431.45f, 444.0f,  456.65f,
    469.4f,  482.25f, 495.2f,  508.25f, 521.4f,  534.65f, 548.0f,  561.45f, 575.0f,
    588.65f, 602.4f,  616.25f, 630.2f,  644.25f, 658.4f,  672.65f, 687.0f,
};

void fill_characteristic_table() {
    if (!characteristic_table) return;
    for (int i = 0; i < CHARACTERISTIC_ENTRIES; ++i)
        characteristic_table->value[i] = CHARACTERISTIC_VALUES[i];
}

// Intermediates that are stored go through a float; the rest stay in double
// (wide enough that rounding them once to float equals one float operation).
float table_to_temperature(float x) {
    if (!characteristic_table) return LOOKUP_FAILED;
    const float *t = characteristic_table->value;
    const int last = CHARACTERISTIC_ENTRIES - 1;

    // Largest index in 0..last-1 whose value is not above x.
    int i = 0;
    do {
        ++i;
    } while (!(x < t[i]) && i != last);
    --i;

    // Smallest index in 1..last whose value is not below x.
    int j = last;
    do {
        --j;
    } while (!(x > t[j]) && j != 0);
    ++j;

    if (j == i) j = i + 1; // x is t[i] itself
    // NaN, which no comparison holds for, ends with j below i.
    if (!(j <= last && i >= 0 && j > i)) return LOOKUP_FAILED;

    float ti = (float)characteristic_temperature(i);
    float tj = (float)characteristic_temperature(j);
    float r = (float)((double)x - t[i]);
    r = (float)((double)r / ((double)t[j] - (double)t[i]));
    r = (float)((double)r * ((double)tj - ti));
    r = (float)((double)r + ti);
    return r;
}
