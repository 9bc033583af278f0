// A bare Win32 program built here: one plain window with the calculator
// window's client size and style, a message loop, nothing else.
// Same toolchain, flags and entry without the C runtime as kandu.exe.
#include <windows.h>

namespace {

LRESULT CALLBACK baseline_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int run_baseline() {
    HINSTANCE instance = GetModuleHandleA(0);
    WNDCLASSA window_class = {};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = baseline_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = "BaselineClass";
    if (!RegisterClassA(&window_class)) return 1;
    const DWORD style = 0xC80000 | WS_VISIBLE;
    RECT outer = {230, 202, 230 + 240, 202 + 152};
    AdjustWindowRect(&outer, style, FALSE);
    // The outer corner stands at the position given, as for the calculator.
    if (!CreateWindowExA(0, "BaselineClass", "baseline", style, 230, 202, outer.right - outer.left,
                         outer.bottom - outer.top, 0, 0, instance, 0))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, 0, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void baseline_entry() {
    ExitProcess((UINT)run_baseline());
}
