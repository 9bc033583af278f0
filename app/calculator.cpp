#include "app/calculator.h"
#include "app/form.h"
#include "calc/characteristic.h"
#include "calc/coefficient.h"
#include "platform/text_buffer.h"
#include "toolkit/toolkit.h"

namespace {

const int LOOP_PAUSE_MS = 50;
// Message retrieval that fails this many times in a row (a second's worth)
// will not recover: the program ends rather than wait blind for a close it
// could never see.
const int RETRIEVAL_FAILURES_TO_END = 20;

// Every input text lands at the same place in the work buffer.
int32_t read_number(intptr_t field) {
    char *saved = text_work_buffer.cursor;
    text_work_buffer.cursor = tk_get_text(field) + 1;
    int32_t value = parse_int(saved);
    text_work_buffer.cursor = saved;
    return value;
}

bool same_text(const char *a, const char *b) {
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

// The result field reports every write as a change, and every report brings
// another recalculation: writing the same text again would keep the loop busy
// for ever, starving the timers that tooltips and the caret need.
void show_result(const char *text) {
    char *shown = text_work_buffer.cursor;
    tk_get_text(FIELD_RESULT);
    text_work_buffer.cursor = shown;
    if (!same_text(shown, text)) tk_set_text(FIELD_RESULT, text);
}

bool start_up() {
    HINSTANCE instance = GetModuleHandleA(0);
    GetCommandLineA(); // no options are taken
    process_instance = instance;
    characteristic_table = 0;
    main_heap = HeapCreate(0, 4000, 0);
    if (!main_heap || !create_object_heap()) return false;
    tk_init_windows();
    tk_init_gadgets();
    if (!init_text_work_buffer()) return false;
    characteristic_table =
        (CharacteristicTable *)HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(CharacteristicTable));
    if (!characteristic_table) return false;
    // Without the window no event would ever come.
    if (build_form() != FORM_BUILT) return false;
    fill_characteristic_table();
    return true;
}

// True when the window was closed, false when messages could not be had.
bool run_loop() {
    int failures = 0;
    for (;;) {
        Sleep(LOOP_PAUSE_MS);
        int32_t event = tk_wait_event();
        if (event == EVENT_FAILED) {
            if (++failures == RETRIEVAL_FAILURES_TO_END) return false;
            continue;
        }
        failures = 0;
        if (event == EVENT_NONE) continue;
        if (event == EVENT_GADGET) recalculate();
        if (event == EVENT_CLOSE) return true;
    }
}

void shut_down() {
    if (main_heap) tk_close_all_windows();
    destroy_object_heap();
    if (main_heap) HeapDestroy(main_heap);
    // Everything below lived in the main heap.
    main_heap = 0;
    text_work_buffer.start = 0;
    text_work_buffer.cursor = 0;
    characteristic_table = 0;
}

} // namespace

void recalculate() {
    int32_t coeff = read_number(FIELD_COEFF);
    int32_t displayed = read_number(FIELD_DISPLAYED);
    int32_t real = read_number(FIELD_REAL);
    CoefficientOutcome outcome = compute_coefficient(coeff, displayed, real);
    char *saved = text_work_buffer.cursor;
    const char *text = OUT_OF_RANGE_TEXT;
    if (outcome.valid) {
        text = saved;
        text_work_buffer.cursor = format_int(outcome.value, saved) + 1;
    }
    show_result(text);
    text_work_buffer.cursor = saved;
}

int run_calculator() {
    int exit_code = 1;
    if (start_up() && run_loop()) exit_code = 0;
    shut_down();
    return exit_code;
}
