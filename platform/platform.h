// The program's door to Win32: the header settings it needs, the
// process-wide handles and the pointer-width helpers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <stdint.h>

// Set once at entry (or by a test's set-up) before any toolkit call.
extern HINSTANCE process_instance;
// Private growable heap for the registries' arrays, accelerator entries, the
// text work buffer and the characteristic table.
extern HANDLE main_heap;

// A control's child identifier, as wide as an address.
inline intptr_t control_identifier(HWND window) {
    return (intptr_t)GetWindowLongPtrA(window, GWLP_ID);
}

// Loads comctl32 and calls its InitCommonControls. Loaded here rather than
// through the import table, which the loader resolves before the program's
// first instruction and so before restrict_dll_search; the manifest still
// makes it version 6. False when it cannot be loaded.
bool load_common_controls();

// Writes value in signed decimal at out (at least 21 bytes) with a
// terminating zero; returns the address of that zero. Unlike "%ld" under
// Windows, it never cuts a 64-bit value.
char *format_decimal(intptr_t value, char *out);
