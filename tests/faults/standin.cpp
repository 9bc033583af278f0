// Stands in for the system DLLs that kandu.exe imports. The sweep runs a copy
// of the shipped program whose import table names this DLL instead; the
// program's own code is unchanged. Calls that cannot fail are forwarded to
// the system by standin.def; every fallible one comes here, is counted and
// recorded, and fails when the sweep's plan says so, with the failure value
// and last error the function documents. Functions the program resolves at
// run time are covered through GetProcAddress.
#include <string.h>
#include "tests/faults/fault_state.h"

namespace {

const FaultClass FAULT_CLASS[] = {
#define FUNCTION_CLASS(name, kind) kind,
    FALLIBLE_FUNCTIONS(FUNCTION_CLASS)
#undef FUNCTION_CLASS
};

FaultState *state; // 0 when not started by the sweep: everything goes through
HMODULE self;
UINT_PTR image_base, image_end;
LONG last_message = NO_MESSAGE_YET;
DWORD previous_site;
LONG accelerator_tables;

DWORD site_of(void *return_address) {
    UINT_PTR at = (UINT_PTR)return_address;
    return at >= image_base && at < image_end ? (DWORD)(at - image_base) : (DWORD)at;
}

bool matches(const CallRecord &want, const CallRecord &call) {
    return (want.function == ANY || want.function == call.function) &&
           (want.site == (DWORD)ANY || want.site == call.site) &&
           (want.previous == (DWORD)ANY || want.previous == call.previous) &&
           (want.message == ANY || want.message == call.message);
}

// Counts one fallible call and tells whether it is to fail.
bool fails(FallibleFunction function, void *return_address) {
    if (!state) return false;
    CallRecord call = {function, site_of(return_address), previous_site, last_message, 0};
    previous_site = call.site;
    LONG n = state->calls + 1;
    const FaultPlan &plan = state->plan;
    static bool triggered;
    static LONG matched;
    bool trigger =
        plan.mode != FAULT_NONE && !triggered &&
        (plan.nth ? plan.nth == n : matches(plan.situation, call) && ++matched == plan.occurrence);
    triggered = triggered || trigger;
    if (trigger) state->triggered = n;
    if (plan.mode == FAULT_ONCE)
        call.failed = trigger;
    else if (plan.mode == FAULT_FROM_THEN_ON && triggered)
        call.failed =
            plan.only != ANY ? function == plan.only : FAULT_CLASS[function] == EXHAUSTIBLE;
    if (n <= TRACE_CAPACITY) state->trace[n - 1] = call;
    if (call.failed) {
        if (!state->first_failure) state->first_failure = n;
        state->failures = state->failures + 1;
    }
    state->calls = n;
    return call.failed;
}

// Windows of the program's own classes still there at its end (their
// gadgets go with them); the tooltip window lives as long as the process, by
// design.
BOOL CALLBACK count_program_window(HWND window, LPARAM count) {
    char name[32] = {0};
    GetClassNameA(window, name, sizeof name);
    static const char PREFIX[] = "WindowClass_";
    if (!memcmp(name, PREFIX, sizeof PREFIX - 1)) ++*(LONG *)count;
    return TRUE;
}

LONG WINAPI record_crash(EXCEPTION_POINTERS *exception) {
    state->crash_code = (LONG)exception->ExceptionRecord->ExceptionCode;
    state->crash_site = site_of(exception->ExceptionRecord->ExceptionAddress);
    // No debugger and no dialog: the sweep sees the exception's code.
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void attach() {
    char name[64];
    if (!GetEnvironmentVariableA(FAULT_STATE_VARIABLE, name, sizeof name)) return;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!mapping) return;
    state = (FaultState *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(FaultState));
    if (!state) return;
    BYTE *base = (BYTE *)GetModuleHandleA(0);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    image_base = (UINT_PTR)base;
    image_end = image_base + nt->OptionalHeader.SizeOfImage;
    SetUnhandledExceptionFilter(record_crash);
}

#define FAIL_WITH(function, value, error)                                                          \
    if (fails(F_##function, __builtin_return_address(0))) {                                        \
        SetLastError(error);                                                                       \
        return value;                                                                              \
    }

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        attach();
    }
    return TRUE;
}

// Heaps, modules and run-time lookups.
HANDLE WINAPI w_HeapCreate(DWORD options, SIZE_T initial, SIZE_T maximum) {
    FAIL_WITH(HeapCreate, (HANDLE)0, ERROR_NOT_ENOUGH_MEMORY);
    return HeapCreate(options, initial, maximum);
}
void *WINAPI w_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    FAIL_WITH(HeapAlloc, (void *)0, ERROR_NOT_ENOUGH_MEMORY);
    return HeapAlloc(heap, flags, bytes);
}
void *WINAPI w_HeapReAlloc(HANDLE heap, DWORD flags, void *block, SIZE_T bytes) {
    FAIL_WITH(HeapReAlloc, (void *)0, ERROR_NOT_ENOUGH_MEMORY);
    return HeapReAlloc(heap, flags, block, bytes);
}
BOOL WINAPI w_HeapFree(HANDLE heap, DWORD flags, void *block) {
    FAIL_WITH(HeapFree, FALSE, ERROR_INVALID_PARAMETER);
    return HeapFree(heap, flags, block);
}
BOOL WINAPI w_HeapDestroy(HANDLE heap) {
    FAIL_WITH(HeapDestroy, FALSE, ERROR_INVALID_HANDLE);
    return HeapDestroy(heap);
}
HMODULE WINAPI w_GetModuleHandleA(const char *name) {
    FAIL_WITH(GetModuleHandleA, (HMODULE)0, ERROR_MOD_NOT_FOUND);
    return GetModuleHandleA(name);
}
HMODULE WINAPI w_LoadLibraryA(const char *name) {
    FAIL_WITH(LoadLibraryA, (HMODULE)0, ERROR_NOT_ENOUGH_MEMORY);
    return LoadLibraryA(name);
}
// A function looked up by name is handed out as this DLL exports it: wrapped
// when it can fail, forwarded when not. One it does not export is recorded,
// so that the sweep reports a call it cannot see.
FARPROC WINAPI w_GetProcAddress(HMODULE module, const char *name) {
    FAIL_WITH(GetProcAddress, (FARPROC)0, ERROR_PROC_NOT_FOUND);
    FARPROC found = GetProcAddress(module, name);
    if (!state || !found || !HIWORD((UINT_PTR)name) || module == self) return found;
    FARPROC own = GetProcAddress(self, name);
    if (own) return own;
    if (!state->unknown_lookup[0])
        lstrcpynA(state->unknown_lookup, name, sizeof state->unknown_lookup);
    return found;
}
typedef BOOL(WINAPI *SetDefaultDllDirectoriesProc)(DWORD);
BOOL WINAPI w_SetDefaultDllDirectories(DWORD flags) {
    FAIL_WITH(SetDefaultDllDirectories, FALSE, ERROR_INVALID_PARAMETER);
    // Not in every kernel32 the stand-in may be linked against.
    SetDefaultDllDirectoriesProc real = (SetDefaultDllDirectoriesProc)(void (*)())GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (!real) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return real(flags);
}

// The program's end: what it left behind, then the real exit.
__attribute__((noreturn)) void WINAPI w_ExitProcess(UINT code) {
    if (state) {
        state->accelerator_tables = accelerator_tables;
        LONG windows = 0;
        EnumThreadWindows(GetCurrentThreadId(), count_program_window, (LPARAM)&windows);
        state->program_windows = windows;
        WNDCLASSA info;
        state->classes = GetClassInfoA((HINSTANCE)image_base, "WindowClass_0", &info) ? 1 : 0;
        state->user_objects = (LONG)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        state->gdi_objects = (LONG)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        state->exit_code = (LONG)code;
        state->exited = 1;
    }
    ExitProcess(code);
}
// The program paces its loop with a sleep; the sweep runs it ten times faster.
void WINAPI w_Sleep(DWORD milliseconds) {
    Sleep(state ? milliseconds / 10 : milliseconds);
}

// Windows, classes, accelerators, resources.
HGDIOBJ WINAPI w_GetStockObject(int object) {
    FAIL_WITH(GetStockObject, (HGDIOBJ)0, ERROR_INVALID_PARAMETER);
    return GetStockObject(object);
}
ATOM WINAPI w_RegisterClassA(const WNDCLASSA *window_class) {
    FAIL_WITH(RegisterClassA, (ATOM)0, ERROR_NOT_ENOUGH_MEMORY);
    return RegisterClassA(window_class);
}
BOOL WINAPI w_UnregisterClassA(const char *name, HINSTANCE instance) {
    FAIL_WITH(UnregisterClassA, FALSE, ERROR_CLASS_HAS_WINDOWS);
    return UnregisterClassA(name, instance);
}
HWND WINAPI w_CreateWindowExA(DWORD ex_style, const char *class_name, const char *title,
                              DWORD style, int x, int y, int width, int height, HWND parent,
                              HMENU menu, HINSTANCE instance, void *data) {
    FAIL_WITH(CreateWindowExA, (HWND)0, ERROR_NO_MORE_USER_HANDLES);
    return CreateWindowExA(ex_style, class_name, title, style, x, y, width, height, parent, menu,
                           instance, data);
}
BOOL WINAPI w_DestroyWindow(HWND window) {
    FAIL_WITH(DestroyWindow, FALSE, ERROR_INVALID_WINDOW_HANDLE);
    return DestroyWindow(window);
}
HACCEL WINAPI w_CreateAcceleratorTableA(ACCEL *entries, int count) {
    FAIL_WITH(CreateAcceleratorTableA, (HACCEL)0, ERROR_NO_MORE_USER_HANDLES);
    HACCEL table = CreateAcceleratorTableA(entries, count);
    if (table) ++accelerator_tables;
    return table;
}
BOOL WINAPI w_DestroyAcceleratorTable(HACCEL table) {
    FAIL_WITH(DestroyAcceleratorTable, FALSE, ERROR_INVALID_HANDLE);
    BOOL done = DestroyAcceleratorTable(table);
    if (done) --accelerator_tables;
    return done;
}
HICON WINAPI w_LoadIconA(HINSTANCE instance, const char *name) {
    FAIL_WITH(LoadIconA, (HICON)0, ERROR_NO_MORE_USER_HANDLES);
    return LoadIconA(instance, name);
}
HCURSOR WINAPI w_LoadCursorA(HINSTANCE instance, const char *name) {
    FAIL_WITH(LoadCursorA, (HCURSOR)0, ERROR_NO_MORE_USER_HANDLES);
    return LoadCursorA(instance, name);
}
HANDLE WINAPI w_LoadImageA(HINSTANCE instance, const char *name, UINT type, int width, int height,
                           UINT flags) {
    FAIL_WITH(LoadImageA, (HANDLE)0, ERROR_NO_MORE_USER_HANDLES);
    return LoadImageA(instance, name, type, width, height, flags);
}

// Texts, class names, places and sizes. A failed read leaves the caller's
// buffer as it was.
int WINAPI w_GetWindowTextA(HWND window, char *text, int room) {
    FAIL_WITH(GetWindowTextA, 0, ERROR_INVALID_WINDOW_HANDLE);
    return GetWindowTextA(window, text, room);
}
BOOL WINAPI w_SetWindowTextA(HWND window, const char *text) {
    FAIL_WITH(SetWindowTextA, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    return SetWindowTextA(window, text);
}
int WINAPI w_GetClassNameA(HWND window, char *name, int room) {
    FAIL_WITH(GetClassNameA, 0, ERROR_INVALID_WINDOW_HANDLE);
    return GetClassNameA(window, name, room);
}
BOOL WINAPI w_GetWindowRect(HWND window, RECT *rect) {
    FAIL_WITH(GetWindowRect, FALSE, ERROR_INVALID_WINDOW_HANDLE);
    return GetWindowRect(window, rect);
}
BOOL WINAPI w_AdjustWindowRect(RECT *rect, DWORD style, BOOL menu) {
    FAIL_WITH(AdjustWindowRect, FALSE, ERROR_INVALID_PARAMETER);
    return AdjustWindowRect(rect, style, menu);
}
BOOL WINAPI w_GetCursorPos(POINT *point) {
    FAIL_WITH(GetCursorPos, FALSE, ERROR_ACCESS_DENIED);
    return GetCursorPos(point);
}
BOOL WINAPI w_SetCursorPos(int x, int y) {
    FAIL_WITH(SetCursorPos, FALSE, ERROR_ACCESS_DENIED);
    return SetCursorPos(x, y);
}
int WINAPI w_GetSystemMetrics(int index) {
    FAIL_WITH(GetSystemMetrics, 0, ERROR_INVALID_PARAMETER);
    return GetSystemMetrics(index);
}
BOOL WINAPI w_SystemParametersInfoA(UINT action, UINT number, void *data, UINT update) {
    FAIL_WITH(SystemParametersInfoA, FALSE, ERROR_INVALID_PARAMETER);
    return SystemParametersInfoA(action, number, data, update);
}
int WINAPI w_MapWindowPoints(HWND from, HWND to, POINT *points, UINT count) {
    FAIL_WITH(MapWindowPoints, 0, ERROR_INVALID_WINDOW_HANDLE);
    return MapWindowPoints(from, to, points, count);
}
BOOL WINAPI w_MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    FAIL_WITH(MoveWindow, FALSE, ERROR_INVALID_WINDOW_HANDLE);
    return MoveWindow(window, x, y, width, height, repaint);
}
BOOL WINAPI w_SetWindowPos(HWND window, HWND after, int x, int y, int width, int height,
                           UINT flags) {
    FAIL_WITH(SetWindowPos, FALSE, ERROR_INVALID_WINDOW_HANDLE);
    return SetWindowPos(window, after, x, y, width, height, flags);
}
BOOL WINAPI w_ReleaseCapture() {
    FAIL_WITH(ReleaseCapture, FALSE, ERROR_ACCESS_DENIED);
    return ReleaseCapture();
}

// Messages, procedures, children.
BOOL WINAPI w_PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // A full queue: what a process sees at its posted-message quota.
    FAIL_WITH(PostMessageA, FALSE, ERROR_NOT_ENOUGH_QUOTA);
    return PostMessageA(window, message, wparam, lparam);
}
// -1 leaves the message as it was: nothing was retrieved.
BOOL WINAPI w_GetMessageA(MSG *message, HWND window, UINT first, UINT last) {
    FAIL_WITH(GetMessageA, -1, ERROR_INVALID_PARAMETER);
    BOOL got = GetMessageA(message, window, first, last);
    if (state && got > 0) {
        last_message = (LONG)message->message;
        if (message->message == WM_KEYUP && message->wParam == MARKER_KEY) {
            LONG number = (LONG)GetMessageExtraInfo();
            if (number > state->markers) state->markers = number;
        }
    }
    return got;
}
int WINAPI w_TranslateAcceleratorA(HWND window, HACCEL table, MSG *message) {
    FAIL_WITH(TranslateAcceleratorA, 0, ERROR_INVALID_HANDLE);
    return TranslateAcceleratorA(window, table, message);
}
LONG WINAPI w_SetWindowLongA(HWND window, int index, LONG value) {
    FAIL_WITH(SetWindowLongA, 0, ERROR_ACCESS_DENIED);
    return SetWindowLongA(window, index, value);
}
BOOL WINAPI w_EnumChildWindows(HWND parent, WNDENUMPROC visit, LPARAM data) {
    FAIL_WITH(EnumChildWindows, FALSE, ERROR_INVALID_WINDOW_HANDLE);
    return EnumChildWindows(parent, visit, data);
}

} // extern "C"
