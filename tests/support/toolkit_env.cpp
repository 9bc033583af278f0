#include "tests/support/toolkit_env.h"
#include "platform/text_buffer.h"
#include "toolkit/toolkit.h"

void start_toolkit_for_tests() {
    if (main_heap) return;
    process_instance = GetModuleHandleA(0);
    main_heap = HeapCreate(0, 4000, 0);
    create_object_heap();
    tk_init_windows();
    tk_init_gadgets();
    init_text_work_buffer();
}

void restart_toolkit_for_tests() {
    start_toolkit_for_tests();
    tk_close_all_windows();
    pump_messages();
    tk_init_windows();
    tk_init_gadgets();
    text_work_buffer.cursor = text_work_buffer.start;
}

void pump_messages() {
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
