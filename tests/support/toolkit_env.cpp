#include "tests/support/toolkit_env.h"
#include "platform/text_buffer.h"
#include "toolkit/toolkit.h"
#include <string.h>

static bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

static void WINAPI ignore_debug_string(LPCSTR) {}

// GoogleTest hands every failure message to OutputDebugStringA as well.
// That raises an exception, and 32-bit Wine running under user-mode
// emulation cannot deliver it: the test program dies at its first failed
// expectation instead of reporting it. The program's own import of the call
// is pointed at a function that does nothing.
static void silence_debug_strings_under_wine() {
    if (!running_under_wine()) return;
    BYTE *base = (BYTE *)GetModuleHandleA(0);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
         dll->Name; dll++) {
        if (!dll->OriginalFirstThunk) continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA *entries = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; names++, entries++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME *name = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)name->Name, "OutputDebugStringA") != 0) continue;
            DWORD old;
            if (!VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, PAGE_READWRITE,
                                &old))
                continue;
            entries->u1.Function = (ULONG_PTR)ignore_debug_string;
            VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, old, &old);
        }
    }
}

// Runs before any test.
static const bool debug_strings_silenced = (silence_debug_strings_under_wine(), true);

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
    (void)debug_strings_silenced;
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
