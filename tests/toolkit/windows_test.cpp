// Toolkit windows on the real window system: classes, styles, placement,
// accelerators, replacement and closing, checked on what reaches the window
// procedures and on what the platform reports afterwards.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include "tests/support/message_log.h"
#include "tests/support/toolkit_env.h"
#include "toolkit/windows.h"

namespace {

ObjectRegistry &windows_registry() {
    return window_library.window_registry;
}

bool class_registered(const std::string &name) {
    WNDCLASSA wc;
    return GetClassInfoA(process_instance, name.c_str(), &wc) != 0;
}

std::string class_of(HWND window) {
    char name[100] = {0};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string expected_class(intptr_t identifier) {
    char name[100];
    snprintf(name, sizeof name, "WindowClass_%lld", (long long)identifier);
    return name;
}

std::string hex(HWND window) {
    char text[40];
    snprintf(text, sizeof text, "%llx", (unsigned long long)(uintptr_t)window);
    return text;
}

HWND handle_of(intptr_t identifier) {
    return find_slot(&windows_registry(), identifier).readable->handle;
}

RECT outer_rect(DWORD style, int width, int height) {
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, style, FALSE);
    return r;
}

// A client width whose outer width is odd, so that halving it separately
// from the screen width makes a difference.
int client_width_for_odd_outer(DWORD style, int from) {
    for (int w = from;; w++) {
        RECT r = outer_rect(style, w, 10);
        if ((r.right - r.left) % 2 == 1) return w;
    }
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        restart_toolkit_for_tests();
        window_library.events.window_callback = record_toolkit_message;
        clear_message_log();
        forget_window_names();
    }
    void TearDown() override {
        tk_close_all_windows();
        pump_messages();
    }
};

TEST_F(Windows, StartUpRegistersTheTemplateClass) {
    EXPECT_EQ(windows_registry().capacity, 10);
    EXPECT_EQ(tk_current_window(), nullptr);
    WNDCLASSA wc;
    ASSERT_TRUE(GetClassInfoA(process_instance, "TemplateClass", &wc));
    EXPECT_EQ(wc.style, (UINT)CS_DBLCLKS);
    EXPECT_EQ(wc.lpfnWndProc, tk_window_proc);
    EXPECT_EQ(wc.hbrBackground, (HBRUSH)(COLOR_BTNFACE + 1));
    EXPECT_EQ(wc.hCursor, LoadCursorA(0, IDC_ARROW));
    EXPECT_EQ(window_library.window_class_template.lpszClassName, window_library.class_name_buffer);
}

struct StyleCase {
    uint32_t flags;
    DWORD style; // as given to CreateWindowExA
    bool visible;
    bool zoomed;
};

TEST_F(Windows, FlagsDecodeIntoThePlatformStyle) {
    const StyleCase cases[] = {
        {0, WS_CAPTION | WS_VISIBLE, true, false},
        {WINDOW_HIDDEN, WS_CAPTION, false, false},
        {0xC80000, 0x10C80000, true, false},
        {WS_POPUP | WS_BORDER, WS_POPUP | WS_BORDER | WS_VISIBLE, true, false},
        {WINDOW_CENTER_SCREEN, WS_CAPTION | WS_VISIBLE, true, false},
        {WINDOW_CENTER_ACTIVE | WINDOW_HIDDEN, WS_CAPTION, false, false},
        {WS_CAPTION | WS_SYSMENU | WS_MAXIMIZE, WS_CAPTION | WS_SYSMENU | WS_MAXIMIZE | WS_VISIBLE,
         true, true},
        // Not shown, so not maximised by ShowWindow; IsZoomed only reads the
        // style bit.
        {WS_CAPTION | WS_SYSMENU | WS_MAXIMIZE | WINDOW_HIDDEN,
         WS_CAPTION | WS_SYSMENU | WS_MAXIMIZE, false, true},
    };
    for (const StyleCase &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "flags 0x" << c.flags);
        clear_message_log();
        HWND window = (HWND)tk_open_window(0, 30, 40, 200, 100, c.flags, "style");
        ASSERT_NE(window, nullptr);
        name_window(window, "w");
        EXPECT_EQ((DWORD)last_nccreate.style, c.style);
        EXPECT_EQ(IsWindowVisible(window) != 0, c.visible);
        EXPECT_EQ(IsZoomed(window) != 0, c.zoomed);
        if (!c.visible) {
            EXPECT_EQ(logged_sequence({WM_SHOWWINDOW}), "");
        }
        char title[20] = {0};
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, "style");
    }
}

TEST_F(Windows, UncentredWindowTakesPositionAndOuterSize) {
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    HWND window = (HWND)tk_open_window(0, 33, 44, 250, 120, WS_CAPTION | WS_SYSMENU, "plain");
    ASSERT_NE(window, nullptr);
    RECT outer = outer_rect(style, 250, 120);
    EXPECT_EQ(last_nccreate.x, 33);
    EXPECT_EQ(last_nccreate.y, 44);
    EXPECT_EQ(last_nccreate.cx, outer.right - outer.left);
    EXPECT_EQ(last_nccreate.cy, outer.bottom - outer.top);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 250);
    EXPECT_EQ(client.bottom, 120);
}

TEST_F(Windows, ScreenCentringHalvesScreenAndWindowSeparately) {
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    DWORD style = WS_CAPTION | WS_VISIBLE;
    int client_w = client_width_for_odd_outer(style, 290);
    int client_h = 150;
    RECT outer = outer_rect(style, client_w, client_h);
    int outer_w = outer.right - outer.left, outer_h = outer.bottom - outer.top;
    if (outer_h % 2 == 0) {
        outer = outer_rect(style, client_w, ++client_h);
        outer_h = outer.bottom - outer.top;
    }
    ASSERT_EQ(outer_w % 2, 1);
    ASSERT_EQ(outer_h % 2, 1);

    HWND window =
        (HWND)tk_open_window(0, 5, 5, client_w, client_h, WINDOW_CENTER_SCREEN, "centred");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(last_nccreate.x, screen_w / 2 - outer_w / 2);
    EXPECT_EQ(last_nccreate.y, screen_h / 2 - outer_h / 2);
    RECT placed;
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, screen_w / 2 - outer_w / 2);
    EXPECT_EQ(placed.top, screen_h / 2 - outer_h / 2);
}

TEST_F(Windows, WindowWiderThanTheScreenStartsAtZeroAndKeepsItsWidth) {
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    // A popup: the platform limits an overlapped window to its maximum
    // tracking size, which would hide whether the toolkit kept the width.
    DWORD flags = WS_POPUP | WS_CAPTION;
    RECT outer = outer_rect(flags | WS_VISIBLE, screen_w + 300, 100);
    HWND window =
        (HWND)tk_open_window(0, 5, 5, screen_w + 300, 100, flags | WINDOW_CENTER_SCREEN, "wide");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(last_nccreate.x, 0);
    EXPECT_EQ(last_nccreate.y, screen_h / 2 - (outer.bottom - outer.top) / 2);
    EXPECT_EQ(last_nccreate.cx, outer.right - outer.left);
    RECT placed;
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.right - placed.left, outer.right - outer.left);
}

TEST_F(Windows, ActiveWindowCentringAndItsClampAtZero) {
    ASSERT_EQ(GetActiveWindow(), nullptr) << "no window may be active at the start";
    DWORD style = WS_CAPTION | WS_VISIBLE;
    int client_w = client_width_for_odd_outer(style, 120);
    RECT outer = outer_rect(style, client_w, 80);
    int outer_w = outer.right - outer.left, outer_h = outer.bottom - outer.top;

    // Nothing active: centred on the screen.
    HWND first = (HWND)tk_open_window(0, 300, 200, client_w, 80, WINDOW_CENTER_ACTIVE, "first");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(last_nccreate.x, GetSystemMetrics(SM_CXSCREEN) / 2 - outer_w / 2);
    EXPECT_EQ(last_nccreate.y, GetSystemMetrics(SM_CYSCREEN) / 2 - outer_h / 2);

    HWND anchor = (HWND)tk_open_window(1, 201, 151, 401, 301, 0, "anchor");
    ASSERT_NE(anchor, nullptr);
    ASSERT_EQ(GetActiveWindow(), anchor);
    RECT a;
    GetWindowRect(anchor, &a);
    HWND centred = (HWND)tk_open_window(2, 0, 0, client_w, 80,
                                        WINDOW_CENTER_ACTIVE | WINDOW_CENTER_SCREEN, "both bits");
    ASSERT_NE(centred, nullptr);
    EXPECT_EQ(last_nccreate.x, a.left - outer_w / 2 + (a.right - a.left) / 2);
    EXPECT_EQ(last_nccreate.y, a.top - outer_h / 2 + (a.bottom - a.top) / 2);

    // A small active window in the corner: the bigger window stops at 0.
    HWND corner = (HWND)tk_open_window(3, 0, 0, 30, 10, WS_POPUP, "corner");
    ASSERT_NE(corner, nullptr);
    ASSERT_EQ(GetActiveWindow(), corner);
    ASSERT_NE(tk_open_window(4, 500, 500, 400, 300, WINDOW_CENTER_ACTIVE, "clamped"), 0);
    EXPECT_EQ(last_nccreate.x, 0);
    EXPECT_EQ(last_nccreate.y, 0);
}

TEST_F(Windows, EveryWindowGetsItsOwnClassAndTabAccelerators) {
    HWND window = (HWND)tk_open_window(7, 10, 10, 100, 50, 0, "seven");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(class_of(window), "WindowClass_7");
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(window, GWLP_WNDPROC), tk_window_proc);
    ObjectSlot *slot = find_slot(&windows_registry(), 7).slot;
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->handle, window);
    EXPECT_EQ(slot->accel_count, 2);
    ACCEL copy[3] = {};
    ASSERT_EQ(CopyAcceleratorTableA(slot->accel_table, copy, 3), 2);
    EXPECT_EQ(copy[0].fVirt & 0x7f, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(copy[0].key, VK_TAB);
    EXPECT_EQ(copy[0].cmd, CMD_FOCUS_NEXT);
    EXPECT_EQ(copy[1].fVirt & 0x7f, FVIRTKEY | FNOINVERT | FSHIFT);
    EXPECT_EQ(copy[1].key, VK_TAB);
    EXPECT_EQ(copy[1].cmd, CMD_FOCUS_PREVIOUS);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(slot->accel_entries[i].fVirt, copy[i].fVirt & 0x7f);
        EXPECT_EQ(slot->accel_entries[i].key, copy[i].key);
        EXPECT_EQ(slot->accel_entries[i].cmd, copy[i].cmd);
    }
    EXPECT_EQ(tk_current_window(), window);
}

TEST_F(Windows, ReopeningANumberReplacesWindowClassAndAccelerators) {
    HWND first = (HWND)tk_open_window(0, 10, 10, 100, 50, 0, "first");
    ASSERT_NE(first, nullptr);
    name_window(first, "first");
    HACCEL first_table = find_slot(&windows_registry(), 0).slot->accel_table;
    const int blocks = busy_heap_blocks(main_heap);

    HWND second = (HWND)tk_open_window(0, 10, 10, 100, 50, 0, "second");
    ASSERT_NE(second, nullptr);
    name_window(second, "second");
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(class_of(second), "WindowClass_0");
    EXPECT_EQ(CopyAcceleratorTableA(first_table, 0, 0), 0) << "old table destroyed";
    ObjectSlot *slot = find_slot(&windows_registry(), 0).slot;
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->handle, second);
    EXPECT_EQ(CopyAcceleratorTableA(slot->accel_table, 0, 0), 2);
    EXPECT_EQ(busy_heap_blocks(main_heap), blocks) << "old entries freed, new ones made";
    // The old window is gone before the new one is created.
    EXPECT_EQ(logged_sequence({WM_NCCREATE, WM_DESTROY}, false),
              "first WM_NCCREATE; first WM_DESTROY; second WM_NCCREATE");

    HACCEL second_table = slot->accel_table;
    tk_close_window(0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(class_registered("WindowClass_0"));
    EXPECT_EQ(CopyAcceleratorTableA(second_table, 0, 0), 0);
    EXPECT_EQ(busy_heap_blocks(main_heap), blocks - 1);
    EXPECT_EQ(find_slot(&windows_registry(), 0).slot, nullptr);
    EXPECT_EQ(tk_current_window(), second) << "closing leaves the current window";

    tk_close_window(0); // nothing left to close
    EXPECT_EQ(busy_heap_blocks(main_heap), blocks - 1);
    ASSERT_NE(tk_open_window(0, 10, 10, 100, 50, 0, "third"), 0) << "a closed number reopens";
}

TEST_F(Windows, AnyNumberWindowIsNamedByItsSlotAddress) {
    const int nodes = busy_heap_blocks(object_heap);
    intptr_t id = tk_open_window(ANY_NUMBER, 10, 10, 100, 50, 0, "any");
    ASSERT_NE(id, 0);
    ASSERT_NE(windows_registry().dynamic_list, nullptr);
    EXPECT_EQ(id, (intptr_t)&windows_registry().dynamic_list->slot);
    HWND window = handle_of(id);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_NE(id, (intptr_t)window);
    EXPECT_EQ(class_of(window), expected_class(id));
    EXPECT_EQ(tk_current_window(), window);
    EXPECT_EQ(busy_heap_blocks(object_heap), nodes + 1);

    tk_close_window(id);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(class_registered(expected_class(id)));
    EXPECT_EQ(windows_registry().dynamic_list, nullptr);
    EXPECT_EQ(busy_heap_blocks(object_heap), nodes);
    tk_close_window(id); // stale now: names nothing
    EXPECT_EQ(busy_heap_blocks(object_heap), nodes);
}

TEST_F(Windows, CloseAllTakesNewestDynamicWindowFirstThenNumbersDownwards) {
    HWND w0 = (HWND)tk_open_window(0, 10, 10, 100, 50, 0, "0");
    intptr_t older = tk_open_window(ANY_NUMBER, 20, 20, 100, 50, 0, "older");
    HWND w2 = (HWND)tk_open_window(2, 30, 30, 100, 50, 0, "2");
    intptr_t newer = tk_open_window(ANY_NUMBER, 40, 40, 100, 50, 0, "newer");
    ASSERT_TRUE(w0 && older && w2 && newer);
    name_window(w0, "w0");
    name_window(w2, "w2");
    name_window(handle_of(older), "older");
    name_window(handle_of(newer), "newer");
    std::string older_class = expected_class(older), newer_class = expected_class(newer);
    clear_message_log();

    tk_close_all_windows();
    EXPECT_EQ(logged_sequence({WM_DESTROY}, false),
              "newer WM_DESTROY; older WM_DESTROY; w2 WM_DESTROY; w0 WM_DESTROY");
    EXPECT_EQ(windows_registry().dynamic_list, nullptr);
    for (const std::string &name :
         {std::string("WindowClass_0"), std::string("WindowClass_2"), older_class, newer_class})
        EXPECT_FALSE(class_registered(name)) << name;
    EXPECT_TRUE(class_registered("TemplateClass"));
}

TEST_F(Windows, ClosingAnOwnedWindowActivatesItsOwnerFirst) {
    HWND owner = (HWND)tk_open_window(0, 10, 10, 200, 100, 0, "owner");
    HWND owned = (HWND)tk_open_window(1, 50, 50, 100, 50, 0, "owned", owner);
    ASSERT_TRUE(owner && owned);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    ASSERT_EQ(GetActiveWindow(), owned);
    name_window(owner, "owner");
    name_window(owned, "owned");
    clear_message_log();
    tk_close_window(1);
    // Deactivation names the window that becomes active, and the other way
    // round: the owner takes over while the owned window still exists.
    EXPECT_EQ(logged_sequence({WM_ACTIVATE, WM_DESTROY}),
              "owned WM_ACTIVATE 0 " + hex(owner) + "; owner WM_ACTIVATE 1 " + hex(owned) +
                  "; owned WM_DESTROY 0 0");
    EXPECT_EQ(GetActiveWindow(), owner);
    // Left to DestroyWindow, the hiding would come first and only then the
    // activation of the owner. Activating may also bring the owner, and the
    // owned window with it, to the top, which Windows may or may not announce
    // with WM_WINDOWPOSCHANGING before the owner's WM_ACTIVATE.
    EXPECT_TRUE(logged_sequence_matches({WM_ACTIVATE, WM_DESTROY, WM_WINDOWPOSCHANGING}, false,
                                        {maybe_sent("owner WM_WINDOWPOSCHANGING"),
                                         maybe_sent("owned WM_WINDOWPOSCHANGING"),
                                         {"owned WM_ACTIVATE"},
                                         maybe_sent("owner WM_WINDOWPOSCHANGING"),
                                         maybe_sent("owned WM_WINDOWPOSCHANGING"),
                                         {"owner WM_ACTIVATE"},
                                         {"owned WM_WINDOWPOSCHANGING"},
                                         {"owned WM_DESTROY"}}));
}

// Closes the window it is told about again while that window is being
// destroyed, as an application's window procedure might.
intptr_t reentrant_identifier;
LRESULT CALLBACK close_again_on_destroy(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    record_toolkit_message(window, message, wparam, lparam);
    if (message == WM_DESTROY) tk_close_window(reentrant_identifier);
    return CALLBACK_PASS;
}

TEST_F(Windows, ClosingAgainWhileBeingClosedFreesEverythingOnce) {
    for (intptr_t number : {(intptr_t)4, ANY_NUMBER}) {
        SCOPED_TRACE(number);
        const int blocks = busy_heap_blocks(main_heap);
        const int nodes = busy_heap_blocks(object_heap);
        intptr_t opened = tk_open_window(number, 10, 10, 100, 50, 0, "twice");
        ASSERT_NE(opened, 0);
        reentrant_identifier = number == ANY_NUMBER ? opened : number;
        HACCEL table = find_slot(&windows_registry(), reentrant_identifier).slot->accel_table;
        window_library.events.window_callback = close_again_on_destroy;
        tk_close_window(reentrant_identifier);
        window_library.events.window_callback = record_toolkit_message;
        EXPECT_EQ(find_slot(&windows_registry(), reentrant_identifier).slot, nullptr);
        EXPECT_EQ(CopyAcceleratorTableA(table, 0, 0), 0);
        EXPECT_EQ(busy_heap_blocks(main_heap), blocks);
        EXPECT_EQ(busy_heap_blocks(object_heap), nodes);
        EXPECT_TRUE(HeapValidate(main_heap, 0, 0));
        EXPECT_TRUE(HeapValidate(object_heap, 0, 0));
    }
}

TEST_F(Windows, FailedOpenLeavesNothingBehind) {
    HWND current = (HWND)tk_open_window(1, 10, 10, 100, 50, 0, "current");
    ASSERT_NE(current, nullptr);
    const int blocks = busy_heap_blocks(main_heap);
    const int nodes = busy_heap_blocks(object_heap);
    HWND bogus_owner = (HWND)(intptr_t)0x7ff0; // no such window

    EXPECT_EQ(tk_open_window(3, 10, 10, 100, 50, 0, "fails", bogus_owner), 0);
    EXPECT_EQ(find_slot(&windows_registry(), 3).slot, nullptr);
    EXPECT_FALSE(class_registered("WindowClass_3"));

    DynamicObjectNode *list = windows_registry().dynamic_list;
    EXPECT_EQ(tk_open_window(ANY_NUMBER, 10, 10, 100, 50, 0, "fails", bogus_owner), 0);
    EXPECT_EQ(windows_registry().dynamic_list, list);
    EXPECT_EQ(busy_heap_blocks(object_heap), nodes) << "the reserved node is freed";

    EXPECT_EQ(tk_current_window(), current);
    EXPECT_EQ(busy_heap_blocks(main_heap), blocks) << "no accelerator entries made";
    HWND reopened = (HWND)tk_open_window(3, 10, 10, 100, 50, 0, "works");
    ASSERT_NE(reopened, nullptr) << "the number is free";
    EXPECT_EQ(class_of(reopened), "WindowClass_3");
}

// The window procedure refuses creation: the platform destroys the window
// before CreateWindowExA returns.
LRESULT CALLBACK refuse_creation(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    record_toolkit_message(window, message, wparam, lparam);
    return message == WM_NCCREATE ? FALSE : CALLBACK_PASS;
}

TEST_F(Windows, FailedReplacementStillClosesTheOldWindow) {
    HWND old = (HWND)tk_open_window(0, 10, 10, 100, 50, 0, "old");
    ASSERT_NE(old, nullptr);
    const int blocks = busy_heap_blocks(main_heap);
    window_library.events.window_callback = refuse_creation;
    EXPECT_EQ(tk_open_window(0, 10, 10, 100, 50, 0, "refused"), 0);
    window_library.events.window_callback = record_toolkit_message;
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(find_slot(&windows_registry(), 0).slot, nullptr);
    EXPECT_FALSE(class_registered("WindowClass_0"));
    EXPECT_EQ(busy_heap_blocks(main_heap), blocks - 1);
    EXPECT_EQ(tk_current_window(), old) << "only a successful open changes it";
}

TEST_F(Windows, WindowNumberTenGrowsTheRegistryToForty) {
    HWND three = (HWND)tk_open_window(3, 10, 10, 100, 50, 0, "3");
    HWND ten = (HWND)tk_open_window(10, 10, 10, 100, 50, 0, "10");
    ASSERT_TRUE(three && ten);
    EXPECT_EQ(windows_registry().capacity, 40);
    EXPECT_EQ(handle_of(3), three);
    EXPECT_EQ(handle_of(10), ten);
    EXPECT_EQ(class_of(ten), "WindowClass_10");
    EXPECT_EQ(tk_open_window((intptr_t)INT32_MAX, 10, 10, 100, 50, 0, "too big"), 0);
    EXPECT_EQ(windows_registry().capacity, 40);
}

} // namespace
