// The calculator's only window: three labelled input fields and a labelled
// read-only result field, each field with a tooltip.
#pragma once
#include <stdint.h>

enum : intptr_t { MAIN_WINDOW = 0 };

// Gadget numbers.
enum : intptr_t {
    LABEL_COEFF = 0,
    LABEL_DISPLAYED = 1,
    LABEL_REAL = 2,
    FIELD_COEFF = 3,
    FIELD_DISPLAYED = 4,
    FIELD_REAL = 5,
    LABEL_RESULT = 6,
    FIELD_RESULT = 7,
};

enum { FORM_BUILT = 0, FORM_NO_WINDOW = 1 };

// Opens the window and creates its gadgets in the window. Returns FORM_BUILT,
// or FORM_NO_WINDOW when the window could not be opened (nothing else is
// made then).
int build_form();
