// The window's recalculation for the web page, compiled to WebAssembly with
// calc/: the page writes each field's text, as the window would read it, into
// that field's buffer and asks for the result field's text.
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

// The window reads a field with GetWindowTextA into 32000 bytes, the
// terminating zero included: no more of a field's text can count.
enum { FIELD_TEXT_LIMIT = 32000, FIELDS = 3 };

char field_text[FIELDS][FIELD_TEXT_LIMIT];
char result_text[FORMAT_INT_MAX];
CharacteristicTable table;

} // namespace

// Characters of a field's text that the page may write, the zero not counted.
extern "C" int kandu_field_text_limit() {
    return FIELD_TEXT_LIMIT - 1;
}

// Where the page writes field 0 (coefficient), 1 (displayed) or 2 (real), as
// a zero-terminated text.
extern "C" char *kandu_field_buffer(int field) {
    return field >= 0 && field < FIELDS ? field_text[field] : 0;
}

// The result field's text for the texts in the buffers, zero-terminated.
extern "C" const char *kandu_recalculate() {
    if (!characteristic_table) {
        characteristic_table = &table;
        fill_characteristic_table();
    }
    // The buffers end in a zero the page never writes, whatever it wrote before.
    for (int f = 0; f < FIELDS; ++f)
        field_text[f][FIELD_TEXT_LIMIT - 1] = 0;
    CoefficientOutcome outcome = compute_coefficient(
        parse_int(field_text[0]), parse_int(field_text[1]), parse_int(field_text[2]));
    if (!outcome.valid) return OUT_OF_RANGE_TEXT;
    format_int(outcome.value, result_text);
    return result_text;
}
