// Tab focus cycling against real windows: which control takes the focus, and
// the focus messages that reach the controls on the way.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "tests/support/toolkit_env.h"
#include "toolkit/focus.h"
#include "toolkit/windows.h"

namespace {

struct FocusChange {
    HWND window;
    UINT message; // WM_SETFOCUS or WM_KILLFOCUS
    bool operator==(const FocusChange &o) const {
        return window == o.window && message == o.message;
    }
};

std::vector<FocusChange> focus_log;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) focus_log.push_back({window, message});
    WNDPROC next = (WNDPROC)GetWindowLongPtrA(window, GWLP_USERDATA);
    return CallWindowProcA(next, window, message, wparam, lparam);
}

BOOL CALLBACK list_window(HWND window, LPARAM out) {
    ((std::vector<HWND> *)out)->push_back(window);
    return TRUE;
}

const char *const PARENT_CLASS = "FocusTestParent";

void register_parent_class() {
    static bool done = false;
    if (done) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(0);
    wc.lpszClassName = PARENT_CLASS;
    wc.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    RegisterClassA(&wc);
    done = true;
}

// One top-level window serves every case (Wine without a window manager
// can wait seconds for a managed top-level window to go away); each case
// gets fresh children.
class FocusCycling : public ::testing::Test {
  protected:
    static HWND top;

    static void SetUpTestSuite() {
        start_toolkit_for_tests();
        register_parent_class();
        top = CreateWindowExA(0, PARENT_CLASS, "focus", WS_OVERLAPPED | WS_CAPTION, 100, 100, 400,
                              300, 0, 0, GetModuleHandleA(0), 0);
        ShowWindow(top, SW_SHOW);
    }
    static void TearDownTestSuite() {
        DestroyWindow(top);
        pump_messages();
    }

    void SetUp() override {
        ASSERT_NE(top, nullptr);
        SetActiveWindow(top);
        pump_messages();
        ASSERT_EQ(GetActiveWindow(), top);
        focus_log.clear();
    }

    void TearDown() override {
        SetFocus(top);
        while (HWND c = GetWindow(top, GW_CHILD))
            DestroyWindow(c);
        pump_messages();
    }

    // An edit control; style adds to WS_CHILD. Recorded from the start.
    HWND child(HWND parent, DWORD style, int y) {
        HWND w = CreateWindowExA(0, "EDIT", "", WS_CHILD | style, 10, y, 100, 20, parent, 0,
                                 GetModuleHandleA(0), 0);
        EXPECT_NE(w, nullptr);
        SetWindowLongPtrA(w, GWLP_USERDATA,
                          SetWindowLongPtrA(w, GWLP_WNDPROC, (LONG_PTR)recording_proc));
        return w;
    }
    HWND stop(int y) { return child(top, WS_VISIBLE | WS_TABSTOP, y); }

    // Puts the focus on w and forgets the messages that caused.
    void focus(HWND w) {
        SetFocus(w);
        ASSERT_EQ(GetFocus(), w);
        focus_log.clear();
    }

    static bool recorded(HWND w) {
        return w && GetWindowLongPtrA(w, GWLP_WNDPROC) == (LONG_PTR)recording_proc;
    }

    // The focus messages of one move from `from` to `to`.
    static std::vector<FocusChange> moved(HWND from, HWND to) {
        std::vector<FocusChange> expected;
        if (from) expected.push_back({from, WM_KILLFOCUS});
        expected.push_back({to, WM_SETFOCUS});
        return expected;
    }

    // Runs one key's operation and checks where the focus went and that
    // exactly one focus move happened on the way.
    void expect_step(void (*key)(), HWND to) {
        HWND from = GetFocus();
        focus_log.clear();
        key();
        EXPECT_EQ(GetFocus(), to);
        if (from == to)
            EXPECT_TRUE(focus_log.empty());
        else
            EXPECT_EQ(focus_log, moved(recorded(from) ? from : 0, to));
    }
};

TEST_F(FocusCycling, TabWalksTheCandidatesInListingOrderAndWraps) {
    HWND c1 = stop(10), label = child(top, WS_VISIBLE, 40), c2 = stop(70), c3 = stop(100);
    // The platform lists the children in creation order.
    std::vector<HWND> listed;
    EnumChildWindows(top, list_window, (LPARAM)&listed);
    ASSERT_EQ(listed, (std::vector<HWND>{c1, label, c2, c3}));

    focus(c1);
    expect_step(tk_focus_next, c2);
    expect_step(tk_focus_next, c3);
    expect_step(tk_focus_next, c1);
    expect_step(tk_focus_next, c2);
}

TEST_F(FocusCycling, ShiftTabWalksBackwardAndWraps) {
    HWND c1 = stop(10);
    child(top, WS_VISIBLE, 40);
    HWND c2 = stop(70), c3 = stop(100);
    focus(c3);
    expect_step(tk_focus_previous, c2);
    expect_step(tk_focus_previous, c1);
    expect_step(tk_focus_previous, c3);
    expect_step(tk_focus_previous, c2);
}

TEST_F(FocusCycling, DisabledHiddenAndNonTabStopWindowsAreSkippedBothWays) {
    HWND c1 = stop(10);
    HWND disabled = child(top, WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 40);
    HWND hidden = child(top, WS_TABSTOP, 70);
    HWND plain = child(top, WS_VISIBLE, 100);
    HWND c2 = stop(130);
    focus(c1);
    expect_step(tk_focus_next, c2);
    expect_step(tk_focus_next, c1);
    expect_step(tk_focus_previous, c2);
    expect_step(tk_focus_previous, c1);
    for (HWND w : {disabled, hidden, plain})
        for (const FocusChange &c : focus_log)
            EXPECT_NE(c.window, w);

    // Once they qualify, they take their place in the order.
    EnableWindow(disabled, TRUE);
    ShowWindow(hidden, SW_SHOWNA);
    SetWindowLongA(plain, GWL_STYLE, GetWindowLongA(plain, GWL_STYLE) | WS_TABSTOP);
    focus(c1);
    expect_step(tk_focus_next, disabled);
    expect_step(tk_focus_next, hidden);
    expect_step(tk_focus_next, plain);
    expect_step(tk_focus_next, c2);
}

TEST_F(FocusCycling, HiddenParentHidesItsTabStops) {
    HWND c1 = stop(10);
    HWND box = child(top, 0, 40); // not visible
    HWND inner = child(box, WS_VISIBLE | WS_TABSTOP, 0);
    HWND c2 = stop(130);
    EXPECT_FALSE(IsWindowVisible(inner));
    focus(c1);
    expect_step(tk_focus_next, c2);
    expect_step(tk_focus_previous, c1);
}

TEST_F(FocusCycling, TabStopNestedInAChildTakesItsPlaceInTheList) {
    HWND c1 = stop(10);
    // A container that is no tab stop itself, holding one.
    HWND box = CreateWindowExA(0, PARENT_CLASS, "", WS_CHILD | WS_VISIBLE, 10, 40, 200, 60, top, 0,
                               GetModuleHandleA(0), 0);
    HWND inner_label = child(box, WS_VISIBLE, 0);
    HWND inner = child(box, WS_VISIBLE | WS_TABSTOP, 30);
    HWND c2 = stop(130);
    focus(c1);
    expect_step(tk_focus_next, inner);
    expect_step(tk_focus_next, c2);
    expect_step(tk_focus_next, c1);
    expect_step(tk_focus_previous, c2);
    expect_step(tk_focus_previous, inner);
    expect_step(tk_focus_previous, c1);
    (void)inner_label;
}

TEST_F(FocusCycling, OneCandidateKeepsTheFocus) {
    HWND only = stop(10);
    child(top, WS_VISIBLE, 40);
    focus(only);
    expect_step(tk_focus_next, only);
    expect_step(tk_focus_previous, only);
}

TEST_F(FocusCycling, NoCandidateMeansNothingHappens) {
    HWND label = child(top, WS_VISIBLE, 10);
    child(top, WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 40);
    focus(top);
    tk_focus_next();
    EXPECT_EQ(GetFocus(), top);
    tk_focus_previous();
    EXPECT_EQ(GetFocus(), top);
    focus(label);
    tk_focus_next();
    EXPECT_EQ(GetFocus(), label);
    tk_focus_previous();
    EXPECT_EQ(GetFocus(), label);
    EXPECT_TRUE(focus_log.empty());
}

TEST_F(FocusCycling, FocusOnTheWindowItselfStartsAtEitherEnd) {
    HWND c1 = stop(10), c2 = stop(40), c3 = stop(70);
    (void)c2;
    focus(top);
    tk_focus_next();
    EXPECT_EQ(GetFocus(), c1);
    EXPECT_EQ(focus_log, moved(0, c1));
    focus(top);
    tk_focus_previous();
    EXPECT_EQ(GetFocus(), c3);
    EXPECT_EQ(focus_log, moved(0, c3));
}

TEST_F(FocusCycling, NoFocusStartsAtEitherEnd) {
    HWND c1 = stop(10), c2 = stop(40);
    SetFocus(0);
    ASSERT_EQ(GetFocus(), nullptr);
    expect_step(tk_focus_next, c1);
    SetFocus(0);
    expect_step(tk_focus_previous, c2);
}

// The focus lies inside the window on a control that is no candidate: Tab
// goes to the first candidate, the mirror of Shift+Tab going to the last.
TEST_F(FocusCycling, FocusOnANonCandidateStartsAtEitherEnd) {
    HWND c1 = stop(10);
    HWND plain = child(top, WS_VISIBLE, 40);
    HWND c2 = stop(70), c3 = stop(100);
    (void)c2;
    focus(plain);
    expect_step(tk_focus_next, c1);
    focus(plain);
    expect_step(tk_focus_previous, c3);
}

// Only the active window's controls take part; the state of one key press
// does not leak into the next.
TEST_F(FocusCycling, OnlyTheActiveWindowIsWalked) {
    HWND c1 = stop(10), c2 = stop(40);
    HWND other = CreateWindowExA(0, PARENT_CLASS, "other", WS_OVERLAPPED | WS_CAPTION, 300, 100,
                                 200, 200, 0, 0, GetModuleHandleA(0), 0);
    HWND o1 = child(other, WS_VISIBLE | WS_TABSTOP, 10);
    HWND o2 = child(other, WS_VISIBLE | WS_TABSTOP, 40);
    ShowWindow(other, SW_SHOW);
    SetActiveWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
    focus(o2);
    expect_step(tk_focus_next, o1);
    SetActiveWindow(top);
    ASSERT_EQ(GetActiveWindow(), top);
    focus(c2);
    expect_step(tk_focus_next, c1);
    expect_step(tk_focus_previous, c2);
    DestroyWindow(other);
}

// With no active window there are no controls to walk, and the focus must
// not land on some top-level window (for which WS_TABSTOP means
// WS_MAXIMIZEBOX). Under Wine, EnumChildWindows with no parent lists no
// window at all, so there this case holds even without the guard; Windows
// lists every top-level window.
TEST(FocusWithoutActiveWindow, NothingHappens) {
    start_toolkit_for_tests();
    register_parent_class();
    HWND top = CreateWindowExA(0, PARENT_CLASS, "passive",
                               WS_OVERLAPPED | WS_CAPTION | WS_MAXIMIZEBOX | WS_VISIBLE, 50, 50,
                               200, 100, 0, 0, GetModuleHandleA(0), 0);
    ASSERT_NE(top, nullptr);
    pump_messages();
    SetActiveWindow(0);
    SetFocus(0);
    if (GetActiveWindow() != 0) {
        DestroyWindow(top);
        GTEST_SKIP() << "the platform keeps a window active";
    }
    tk_focus_next();
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    tk_focus_previous();
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    DestroyWindow(top);
    pump_messages();
}

HWND FocusCycling::top;

// Tab and Shift+Tab as real key input, through tk_wait_event and the
// window's accelerators, in a toolkit window with fields.
class FocusByKeys : public ::testing::Test {
  protected:
    static HWND window;

    struct Event {
        int32_t code;
        intptr_t gadget;
        int32_t type;
        bool operator==(const Event &o) const {
            return code == o.code && gadget == o.gadget && type == o.type;
        }
    };

    static void SetUpTestSuite() {
        restart_toolkit_for_tests();
        window = (HWND)tk_open_window(1, 100, 100, 300, 200, WS_CAPTION | WS_SYSMENU, "keys");
    }
    static void TearDownTestSuite() {
        tk_close_all_windows();
        pump_messages();
    }

    void SetUp() override {
        ASSERT_NE(window, nullptr);
        tk_begin_gadgets(window);
        for (int i = 0; i < 100 && GetForegroundWindow() != window; ++i) {
            SetForegroundWindow(window);
            pump_messages();
        }
        ASSERT_EQ(GetForegroundWindow(), window);
        ASSERT_EQ(GetActiveWindow(), window);
    }
    void TearDown() override {
        SetFocus(window);
        for (int n = 0; n < 8; ++n)
            tk_free_gadget(n);
        while (HWND c = GetWindow(window, GW_CHILD))
            DestroyWindow(c);
        wait_events();
    }

    static HWND field(int number, int y) {
        return (HWND)tk_create_field(number, 10, y, 100, 20, "");
    }

    // Real key input: a press and release of vk, inside Shift when asked.
    static void key(WORD vk, bool shift) {
        INPUT in[4] = {};
        WORD keys[4] = {VK_SHIFT, vk, vk, VK_SHIFT};
        int first = shift ? 0 : 1, last = shift ? 4 : 3;
        for (int i = first; i < last; ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wVk = keys[i];
            in[i].ki.wScan = (WORD)MapVirtualKeyA(keys[i], MAPVK_VK_TO_VSC);
            in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
        SendInput(last - first, in + first, sizeof(INPUT));
    }

    // Runs tk_wait_event while messages are waiting; the events it returned.
    static std::vector<Event> wait_events() {
        std::vector<Event> events;
        const EventState &state = window_library.events;
        MSG msg;
        while (PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE) || state.pending_code) {
            int32_t code = tk_wait_event();
            events.push_back({code, state.event_gadget, state.event_type});
        }
        return events;
    }

    // The focus reports among events.
    static std::vector<Event> focus_reports(const std::vector<Event> &events) {
        std::vector<Event> reports;
        for (const Event &e : events)
            if (e.code == EVENT_GADGET && (e.type == TYPE_FOCUS || e.type == TYPE_LOST_FOCUS))
                reports.push_back(e);
        return reports;
    }
};

HWND FocusByKeys::window;

TEST_F(FocusByKeys, FocusReportsComeBackLostThenGained) {
    tk_create_label(0, 10, 10, 100, 20, "label");
    HWND f3 = field(3, 40), f4 = field(4, 70);
    SetFocus(f3);
    wait_events();

    key(VK_TAB, false);
    std::vector<Event> events = wait_events();
    EXPECT_EQ(GetFocus(), f4);
    EXPECT_EQ(focus_reports(events), (std::vector<Event>{{EVENT_GADGET, 3, TYPE_LOST_FOCUS},
                                                         {EVENT_GADGET, 4, TYPE_FOCUS}}));
    EXPECT_EQ(window_library.events.event_window, window);

    key(VK_TAB, true);
    events = wait_events();
    EXPECT_EQ(GetFocus(), f3);
    EXPECT_EQ(focus_reports(events), (std::vector<Event>{{EVENT_GADGET, 4, TYPE_LOST_FOCUS},
                                                         {EVENT_GADGET, 3, TYPE_FOCUS}}));

    // Wrapping backwards from the first field.
    key(VK_TAB, true);
    events = wait_events();
    EXPECT_EQ(GetFocus(), f4);
    EXPECT_EQ(focus_reports(events), (std::vector<Event>{{EVENT_GADGET, 3, TYPE_LOST_FOCUS},
                                                         {EVENT_GADGET, 4, TYPE_FOCUS}}));
}

std::vector<UINT> rich_keys; // WM_KEYDOWN and WM_CHAR for Tab at the rich edit

LRESULT CALLBACK rich_recorder(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if ((message == WM_KEYDOWN || message == WM_CHAR) && (wparam == VK_TAB || wparam == '\t'))
        rich_keys.push_back(message);
    WNDPROC next = (WNDPROC)GetWindowLongPtrA(window, GWLP_USERDATA);
    return CallWindowProcA(next, window, message, wparam, lparam);
}

TEST_F(FocusByKeys, PlainTabReachesARichEditWhileShiftTabStillMoves) {
    ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
    HWND f3 = field(3, 10);
    HWND rich =
        CreateWindowExA(0, "RichEdit20A", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE, 10,
                        40, 100, 40, window, 0, process_instance, 0);
    ASSERT_NE(rich, nullptr);
    SetWindowLongPtrA(rich, GWLP_USERDATA,
                      SetWindowLongPtrA(rich, GWLP_WNDPROC, (LONG_PTR)rich_recorder));
    HWND f4 = field(4, 90);
    (void)f4;

    // Into the rich edit, Tab still moves the focus.
    SetFocus(f3);
    wait_events();
    key(VK_TAB, false);
    wait_events();
    ASSERT_EQ(GetFocus(), rich);
    rich_keys.clear();

    key(VK_TAB, false);
    wait_events();
    EXPECT_EQ(GetFocus(), rich);
    EXPECT_EQ(rich_keys, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR}));
    char text[16] = {};
    GetWindowTextA(rich, text, sizeof text);
    EXPECT_STREQ(text, "\t");

    rich_keys.clear();
    key(VK_TAB, true);
    wait_events();
    EXPECT_EQ(GetFocus(), f3);
    EXPECT_TRUE(rich_keys.empty());
}

} // namespace
