#include "tests/support/toolkit_env.h"
#include "tests/support/under_wine.h"
#include "platform/text_buffer.h"
#include "toolkit/toolkit.h"

// Without a window manager, Wine waits two seconds for every mapped
// top-level window it hides or destroys, until it gives up waiting for the
// manager. Unmanaged windows skip that wait. The setting is read when a
// process starts, so it takes effect from the next test program on. Nothing
// is written when running on Windows itself.
static void prefer_unmanaged_windows_under_wine() {
    if (!running_under_wine()) return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, 0, 0, KEY_SET_VALUE, 0,
                        &key, 0) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Managed", 0, REG_SZ, (const BYTE *)"N", 2);
    RegCloseKey(key);
}

void start_toolkit_for_tests() {
    if (main_heap) return;
    prefer_unmanaged_windows_under_wine();
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
