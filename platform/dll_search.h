// Where the loader may look for DLLs that a program loads after its start.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// From the system folder only, never from the program's own folder (such as
// Downloads) or the current one, where anyone may have left a DLL with a
// system DLL's name for the common controls or the C runtime to load.
// Resolved at run time: Windows 7 without update KB2533623 lacks it, and
// there the program still starts, with the usual search.
inline void restrict_dll_search() {
    typedef BOOL(WINAPI * SetDirectories)(DWORD);
    // Through void (*)(): a cast between unrelated function types warns.
    SetDirectories set = (SetDirectories)(void (*)())GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
