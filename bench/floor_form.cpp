// The floor for kandu.exe: the same form written plainly in Win32. One window
// of the calculator's class style, client size and place, four labels and
// four fields with the stock GUI font, one tooltip window with a tool for each
// field, and a plain message loop. Built like kandu.exe (own entry without the
// C runtime, -Os, gc-sections, stripped, the same resources and manifest), so
// what kandu.exe costs beyond it is what its toolkit and loop cost.
#include <windows.h>
#include <commctrl.h>

namespace {

struct Gadget {
    int id;
    bool field;
    int x, y, width;
    const char *text;
    const char *tip;
    DWORD style;
};

const Gadget GADGETS[] = {
    {0, false, 20, 20, 130, "actual temp. coeff.", 0, 0},
    {1, false, 20, 50, 130, "displayed temperature", 0, 0},
    {2, false, 20, 80, 130, "real temperature", 0, 0},
    {3, true, 150, 20, 70, "1100", "temperature coefficient in the controller's menue", 0},
    {4, true, 150, 50, 70, "150", "temperature on the controller's display", 0},
    {5, true, 150, 80, 70, "150", "measuered temperature of the heater", 0},
    {6, false, 20, 110, 120, "adjust temp. coeff to", 0, 0},
    {7, true, 150, 110, 70, "", "type this value in the controller's menue", ES_READONLY},
};

LRESULT CALLBACK floor_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int run_floor() {
    HINSTANCE instance = GetModuleHandleA(0);
    InitCommonControls();
    WNDCLASSA window_class = {};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = floor_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    window_class.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = "FloorClass";
    if (!RegisterClassA(&window_class)) return 1;
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT outer = {230, 202, 230 + 240, 202 + 152};
    AdjustWindowRect(&outer, style, FALSE);
    HWND window =
        CreateWindowExA(0, "FloorClass", "Corvane - KANDU", style, 230, 202,
                        outer.right - outer.left, outer.bottom - outer.top, 0, 0, instance, 0);
    if (!window) return 1;

    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, 0,
                                WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, instance, 0);
    for (const Gadget &g : GADGETS) {
        DWORD gadget_style = WS_CHILD | WS_VISIBLE | WS_GROUP | g.style;
        gadget_style |= g.field ? WS_TABSTOP | ES_AUTOHSCROLL : SS_LEFT;
        HWND gadget = CreateWindowExA(g.field ? WS_EX_CLIENTEDGE : 0, g.field ? "EDIT" : "STATIC",
                                      g.text, gadget_style, g.x, g.y, g.width, 20, window,
                                      (HMENU)(INT_PTR)g.id, instance, 0);
        SendMessageA(gadget, WM_SETFONT, (WPARAM)font, 1);
        if (!g.tip) continue;
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = (UINT_PTR)gadget;
        tool.hinst = instance;
        tool.lpszText = (LPSTR)g.tip;
        SendMessageA(tips, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    }

    MSG msg;
    while (GetMessageA(&msg, 0, 0, 0) > 0) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void floor_entry() {
    ExitProcess((UINT)run_floor());
}
