#include "app/form.h"
#include "toolkit/toolkit.h"

namespace {

struct GadgetSpec {
    intptr_t number;
    bool field;
    int x, y, width, height;
    const char *text;
    const char *tooltip; // fields only
    uint32_t flags;      // fields only
};

// In creation order; the platform lists the window's children in this order,
// which is the order Tab moves through the fields.
// Each label right before its field: screen readers name a field by the label created before it.
const GadgetSpec FORM_GADGETS[] = {
    {LABEL_COEFF, false, 20, 20, 130, 20, "actual temp. coeff.", 0, 0},
    {FIELD_COEFF, true, 150, 20, 70, 20, "1100",
     "temperature coefficient in the controller's menue", 0},
    {LABEL_DISPLAYED, false, 20, 50, 130, 20, "displayed temperature", 0, 0},
    {FIELD_DISPLAYED, true, 150, 50, 70, 20, "150", "temperature on the controller's display", 0},
    {LABEL_REAL, false, 20, 80, 130, 20, "real temperature", 0, 0},
    {FIELD_REAL, true, 150, 80, 70, 20, "150", "measuered temperature of the heater", 0},
    {LABEL_RESULT, false, 20, 110, 120, 20, "adjust temp. coeff to", 0, 0},
    {FIELD_RESULT, true, 150, 110, 70, 20, "", "type this value in the controller's menue",
     ES_READONLY},
};

} // namespace

int build_form() {
    if (!tk_open_window(MAIN_WINDOW, 230, 202, 240, 152, WS_CAPTION | WS_SYSMENU,
                        "Corvane - KANDU"))
        return FORM_NO_WINDOW;
    if (!tk_begin_gadgets(tk_current_window())) return FORM_NO_WINDOW;
    for (const GadgetSpec &g : FORM_GADGETS) {
        if (!g.field) {
            tk_create_label(g.number, g.x, g.y, g.width, g.height, g.text);
            continue;
        }
        tk_create_field(g.number, g.x, g.y, g.width, g.height, g.text, g.flags);
        tk_set_tooltip(g.number, g.tooltip);
    }
    return FORM_BUILT;
}
