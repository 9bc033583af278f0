// Whether the test program runs under Wine rather than on Windows itself.
#pragma once
#include <windows.h>

inline bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
