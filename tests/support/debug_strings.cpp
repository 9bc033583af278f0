// Test programs under Wine report failed expectations instead of dying of
// them.
#include <string.h>
#include "tests/support/under_wine.h"

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

// Runs before any test. Compiled into every Windows test program, not taken
// from a library, so that no program can leave it out.
[[maybe_unused]] static const bool debug_strings_silenced =
    (silence_debug_strings_under_wine(), true);
