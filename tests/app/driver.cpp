#include "tests/app/driver.h"
#include <stdlib.h>
#include <vector>

namespace driver {

namespace {

struct WindowSearch {
    DWORD process_id;
    const char *class_name;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM data) {
    WindowSearch *search = (WindowSearch *)data;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id) return TRUE;
    char name[64];
    if (!GetClassNameA(window, name, sizeof name) || lstrcmpA(name, search->class_name) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

bool is_extended_key(WORD key) {
    switch (key) {
    case VK_HOME:
    case VK_END:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_PRIOR:
    case VK_NEXT: return true;
    default: return false;
    }
}

INPUT key_input(WORD key, bool up, ULONG_PTR extra_info = 0) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwExtraInfo = extra_info;
    input.ki.wScan = (WORD)MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    input.ki.dwFlags =
        (up ? KEYEVENTF_KEYUP : 0) | (is_extended_key(key) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

void send(std::vector<INPUT> &inputs) {
    if (!inputs.empty()) SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT));
}

bool all_gadgets_exist(HWND window) {
    for (int number = 0; number <= 7; ++number)
        if (!gadget(window, number)) return false;
    return true;
}

} // namespace

std::string windows_path(std::string path) {
    if (!path.empty() && path[0] == '/') {
        for (char &c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

std::string kandu_path() {
    const char *from_environment = getenv("KANDU_EXE");
    return windows_path(from_environment && *from_environment ? from_environment : KANDU_EXE_PATH);
}

bool start(Kandu *kandu, DWORD deadline_ms, const char *program) {
    std::string path = program ? program : kandu_path();
    std::string command_line = "\"" + path + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    *kandu = Kandu();
    if (!CreateProcessA(path.c_str(), &command_line[0], 0, 0, FALSE, 0, 0, 0, &startup,
                        &kandu->process))
        return false;
    DWORD id = kandu->process.dwProcessId;
    bool ready = wait_until(
        [&] {
            kandu->window = find_window(id, "WindowClass_0");
            return kandu->window && all_gadgets_exist(kandu->window);
        },
        deadline_ms);
    // The form is complete; now let the program reach its loop.
    if (ready) ready = WaitForInputIdle(kandu->process.hProcess, deadline_ms) == 0;
    if (!ready) stop(kandu);
    return ready;
}

void request_close(const Kandu &kandu) {
    PostMessageA(kandu.window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool wait_for_exit(const Kandu &kandu, DWORD *exit_code, DWORD deadline_ms) {
    if (WaitForSingleObject(kandu.process.hProcess, deadline_ms) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(kandu.process.hProcess, exit_code) != 0;
}

void stop(Kandu *kandu) {
    if (kandu->process.hProcess) {
        if (WaitForSingleObject(kandu->process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(kandu->process.hProcess, 99);
            WaitForSingleObject(kandu->process.hProcess, 10000);
        }
        CloseHandle(kandu->process.hProcess);
    }
    if (kandu->process.hThread) CloseHandle(kandu->process.hThread);
    *kandu = Kandu();
}

HWND find_window(DWORD process_id, const char *class_name) {
    WindowSearch search = {process_id, class_name, 0};
    EnumWindows(match_window, (LPARAM)&search);
    return search.found;
}

HWND gadget(HWND window, int number) {
    return GetDlgItem(window, number);
}

std::string text_of(HWND window) {
    char text[512] = {0};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_NORMAL, 10000,
                             &copied))
        return "<no answer>";
    return text;
}

HWND focus_of(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, 0), &info)) return 0;
    return info.hwndFocus;
}

bool wait_for_text(HWND window, const char *expected, std::string *last, DWORD deadline_ms) {
    std::string text;
    bool done = wait_until(
        [&] {
            text = text_of(window);
            return text == expected;
        },
        deadline_ms);
    if (last) *last = text;
    return done;
}

bool wait_for_focus(HWND window, HWND expected, DWORD deadline_ms) {
    return wait_until([&] { return focus_of(window) == expected; }, deadline_ms);
}

bool bring_to_front(HWND window) {
    return wait_until(
        [&] {
            if (GetForegroundWindow() == window) return true;
            SetForegroundWindow(window);
            return GetForegroundWindow() == window;
        },
        10000);
}

INPUT mouse_at(POINT at, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // Rounded up, so that the scaling back to pixels lands on `at` itself.
    input.mi.dx = (LONG)((((LONGLONG)at.x << 16) + width - 1) / width);
    input.mi.dy = (LONG)((((LONGLONG)at.y << 16) + height - 1) / height);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
}

void point_at(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    POINT middle = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    INPUT input = mouse_at(middle, 0);
    SendInput(1, &input, sizeof input);
}

void click(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    INPUT inputs[] = {mouse_at(point, 0), mouse_at(point, MOUSEEVENTF_LEFTDOWN),
                      mouse_at(point, MOUSEEVENTF_LEFTUP)};
    SendInput(3, inputs, sizeof(INPUT));
}

void click_field(HWND field) {
    RECT client;
    GetClientRect(field, &client);
    click(field, client.right - 3, client.bottom / 2);
}

void press_key(WORD virtual_key, bool shift, ULONG_PTR extra_info) {
    std::vector<INPUT> inputs;
    if (shift) inputs.push_back(key_input(VK_SHIFT, false));
    inputs.push_back(key_input(virtual_key, false, extra_info));
    inputs.push_back(key_input(virtual_key, true, extra_info));
    if (shift) inputs.push_back(key_input(VK_SHIFT, true));
    send(inputs);
}

void type_text(const char *text) {
    for (const char *c = text; *c; ++c) {
        SHORT scan = VkKeyScanA(*c);
        if (scan == -1) continue;
        press_key((WORD)(scan & 0xFF), (scan & 0x100) != 0);
    }
}

void replace_text(HWND field, const char *text) {
    size_t length = text_of(field).size();
    HWND top = GetAncestor(field, GA_ROOT);
    if (focus_of(top) != field) {
        click_field(field);
        // Keys go to the window that has the focus when they are sent.
        wait_for_focus(top, field);
    }
    press_key(VK_END);
    for (size_t i = 0; i < length + 2; ++i)
        press_key(VK_BACK);
    type_text(text);
}

} // namespace driver
