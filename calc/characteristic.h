// The heater's characteristic: 71 single-precision values, one every 10
// degrees from -100 to 600, and the inverse lookup from a value on the
// table's scale back to a temperature.
#pragma once

enum { CHARACTERISTIC_ENTRIES = 71 };

struct CharacteristicTable {
    float value[CHARACTERISTIC_ENTRIES]; // entry i belongs to (i - 10) * 10 degrees
};

// Result of table_to_temperature when no bracket is found.
const float LOOKUP_FAILED = -2000.0f;

// The table the lookup works on. The owner allocates it (zero-filled) and
// points this at it before filling. While it is null, filling does nothing
// and every lookup gives LOOKUP_FAILED.
extern CharacteristicTable *characteristic_table;

// Temperature in degrees that entry i belongs to.
inline int characteristic_temperature(int i) {
    return (i - 10) * 10;
}

void fill_characteristic_table();
float table_to_temperature(float x);
