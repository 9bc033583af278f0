// Event retrieval and translation, driven by messages sent and posted to real
// toolkit windows and real controls. Each case checks what reached the
// window procedures, the EventState fields and the result handed back to the
// platform.
#include <gtest/gtest.h>
#include <richedit.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include "tests/support/message_log.h"
#include "tests/support/toolkit_env.h"
#include "toolkit/windows.h"

namespace {

EventState &state() {
    return window_library.events;
}

const WPARAM NO_PARAM = 0;

std::string hex(uintptr_t value) {
    char text[40];
    snprintf(text, sizeof text, "%llx", (unsigned long long)value);
    return text;
}

void set_keys_down(std::initializer_list<int> keys) {
    BYTE keyboard[256] = {0};
    for (int key : keys)
        keyboard[key] = 0x80;
    SetKeyboardState(keyboard);
}

void release_all_keys() {
    set_keys_down({});
}

HWND make_control(const char *cls, DWORD style, intptr_t id, HWND parent, int x, int y, int w,
                  int h, const char *text = "") {
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           (HMENU)id, process_instance, 0);
}

class Events : public ::testing::Test {
  protected:
    HWND main = 0;  // toolkit window 0, top level and active
    HWND inner = 0; // toolkit window 1, a child of main

    static void SetUpTestSuite() {
        start_toolkit_for_tests();
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                                                    ICC_UPDOWN_CLASS | ICC_DATE_CLASSES |
                                                    ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
        InitCommonControlsEx(&icc);
        LoadLibraryA("riched20.dll");
    }

    void SetUp() override {
        release_all_keys();
        restart_toolkit_for_tests();
        main = (HWND)tk_open_window(0, 20, 20, 360, 260, WS_CAPTION | WS_SYSMENU, "main");
        ASSERT_NE(main, nullptr);
        inner = (HWND)tk_open_window(1, 0, 0, 340, 200, WS_CHILD, "inner", main);
        ASSERT_NE(inner, nullptr);
        ASSERT_EQ(GetParent(inner), main);
        ASSERT_EQ(GetActiveWindow(), main);
        forget_window_names();
        name_window(main, "main");
        name_window(inner, "inner");
        state().window_callback = record_toolkit_message;
        settle();
    }

    void TearDown() override {
        release_all_keys();
        state().window_callback = 0;
        tk_close_all_windows();
        pump_messages();
    }

    // Empties the queue and forgets every event and message so far.
    void settle() {
        pump_messages();
        state().recorded_code = 0;
        state().pending_code = 0;
        clear_message_log();
    }

    // tk_wait_event, but never blocking on an empty queue.
    int32_t wait() {
        MSG peeked;
        if (!state().pending_code && !PeekMessageA(&peeked, 0, 0, 0, PM_NOREMOVE)) {
            ADD_FAILURE() << "nothing to wait for";
            return INT32_MIN;
        }
        return tk_wait_event();
    }

    LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        return SendMessageA(window, message, wparam, lparam);
    }
};

// ---------------------------------------------------------------------------
// The translation table, row by row, through messages sent to real windows.

TEST_F(Events, EveryMessageIsStoredAndUnknownOnesGoToTheDefaultProcedure) {
    state().event_gadget = 99;
    state().event_type = 42;
    SetWindowTextA(main, "title");
    EXPECT_EQ(send(main, WM_GETTEXTLENGTH, 0, 0), 5) << "default procedure answered";
    EXPECT_EQ(send(inner, WM_USER + 5, 0x11, 0x22), 0);
    EXPECT_EQ(state().event_window, inner);
    EXPECT_EQ(state().event_message, (UINT)WM_USER + 5);
    EXPECT_EQ(state().event_wparam, (WPARAM)0x11);
    EXPECT_EQ(state().event_lparam, (LPARAM)0x22);
    EXPECT_EQ(state().recorded_code, 0);
    EXPECT_EQ(state().event_gadget, 99);
    EXPECT_EQ(state().event_type, 42);
}

TEST_F(Events, MoveAndCloseRecordTheirEventsAndTheWindowSurvives) {
    state().event_type = 42;
    EXPECT_EQ(send(main, WM_MOVE, 0, MAKELPARAM(5, 6)), 0);
    EXPECT_EQ(state().recorded_code, EVENT_MOVE);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(send(inner, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(state().recorded_code, EVENT_CLOSE);
    EXPECT_EQ(state().event_window, inner);
    EXPECT_EQ(state().event_type, 42);
    EXPECT_TRUE(IsWindow(inner)) << "the default handling would have destroyed it";
}

TEST_F(Events, SizeAndActivationArePendingExceptMinimisingAndDeactivation) {
    EXPECT_EQ(send(main, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0)), 0);
    EXPECT_EQ(state().pending_code, 0);
    EXPECT_EQ(send(inner, WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10)), (LRESULT)inner);
    EXPECT_EQ(state().pending_code, EVENT_SIZE);
    EXPECT_EQ(state().pending_window, inner);
    EXPECT_EQ(send(main, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(10, 10)), (LRESULT)main);
    EXPECT_EQ(state().pending_window, main);

    state().pending_code = 0;
    EXPECT_EQ(send(main, WM_ACTIVATE, WA_INACTIVE, 0), 1);
    EXPECT_EQ(state().pending_code, 0);
    EXPECT_EQ(send(inner, WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 0), 0), 1);
    EXPECT_EQ(state().pending_code, EVENT_ACTIVATE);
    EXPECT_EQ(state().pending_window, inner);
    EXPECT_EQ(state().recorded_code, 0);
}

TEST_F(Events, MenuItemsAndAcceleratorCommands) {
    state().event_type = 42;
    EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(77, 0), 0), 0);
    EXPECT_EQ(state().recorded_code, EVENT_MENU);
    EXPECT_EQ(state().event_gadget, 77);
    EXPECT_EQ(state().event_type, 42);

    // Menu items that happen to carry the focus commands' numbers.
    for (WORD id : {CMD_FOCUS_NEXT, CMD_FOCUS_PREVIOUS}) {
        state().recorded_code = 0;
        EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(id, 0), 0), 0);
        EXPECT_EQ(state().recorded_code, EVENT_MENU);
        EXPECT_EQ(state().event_gadget, id);
    }

    // The accelerator's focus commands record nothing.
    for (WORD id : {CMD_FOCUS_NEXT, CMD_FOCUS_PREVIOUS}) {
        state().recorded_code = 0;
        state().event_gadget = 99;
        EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(id, 1), 0), 0);
        EXPECT_EQ(state().recorded_code, 0);
        EXPECT_EQ(state().event_gadget, 99);
    }

    // Any other accelerator command is a menu event.
    EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(77, 1), 0), (LRESULT)0x10000);
    EXPECT_EQ(state().recorded_code, EVENT_MENU);
    EXPECT_EQ(state().event_gadget, 77);
    EXPECT_EQ(state().event_type, 42);
}

TEST_F(Events, ControlCommandsGiveGadgetEventsOnTheReceivingWindow) {
    HWND edit = make_control("EDIT", 0, 31, inner, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(send(inner, WM_COMMAND, MAKEWPARAM(31, EN_SETFOCUS), (LPARAM)edit), 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 31);
    EXPECT_EQ(state().event_type, EN_SETFOCUS);
    EXPECT_EQ(state().event_window, inner) << "not replaced by the top-level window";

    // The real control: its change notification is the last it sends.
    state().recorded_code = 0;
    clear_message_log();
    SetWindowTextA(edit, "abc");
    EXPECT_EQ(logged_sequence({WM_COMMAND}),
              "inner WM_COMMAND " + hex(MAKEWPARAM(31, EN_UPDATE)) + " " + hex((uintptr_t)edit) +
                  "; inner WM_COMMAND " + hex(MAKEWPARAM(31, EN_CHANGE)) + " " +
                  hex((uintptr_t)edit));
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_type, EN_CHANGE);
    DestroyWindow(edit);

    // A notification code of 0 still comes from a control, not a menu.
    HWND button = make_control("BUTTON", BS_PUSHBUTTON, 32, inner, 10, 40, 60, 20);
    ASSERT_NE(button, nullptr);
    state().recorded_code = 0;
    send(button, BM_CLICK, 0, 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 32);
    EXPECT_EQ(state().event_type, BN_CLICKED);
    DestroyWindow(button);
}

TEST_F(Events, ControlIdentifierMinus10000MakesAMenuEvent) {
    HWND edit = make_control("EDIT", 0, -10000, main, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(control_identifier(edit), -10000);
    SetWindowTextA(edit, "x");
    EXPECT_EQ(state().recorded_code, EVENT_MENU);
    EXPECT_EQ(state().event_gadget, (intptr_t)(WORD)-10000);
    EXPECT_EQ(state().event_type, EN_CHANGE);
    EXPECT_EQ(state().event_window, main);
    DestroyWindow(edit);
}

TEST_F(Events, ControlIdentifiersKeepTheirFullWidth) {
    // An ANY_NUMBER gadget's identifier is an address, wider than 32 bits
    // on 64-bit Windows.
    const intptr_t wide = sizeof(intptr_t) > 4 ? (intptr_t)0x123456789aLL : (intptr_t)0x1234567;
    HWND edit = make_control("EDIT", 0, wide, main, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    SetWindowTextA(edit, "x");
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, wide);
    HWND bar = make_control("SCROLLBAR", SBS_HORZ, wide, inner, 10, 40, 100, 16);
    ASSERT_NE(bar, nullptr);
    state().event_gadget = 0;
    send(inner, WM_HSCROLL, SB_LINERIGHT, (LPARAM)bar);
    EXPECT_EQ(state().event_gadget, wide);
    DestroyWindow(edit);
    DestroyWindow(bar);
}

TEST_F(Events, ListBoxNotificationsFollowTheListRule) {
    HWND list = make_control("LISTBOX", LBS_NOTIFY, 41, main, 10, 40, 100, 80);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(41, LBN_SELCHANGE), (LPARAM)list), 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_type, TYPE_LEFT_CLICK);
    EXPECT_STREQ(state().control_class_name, "ListBox");
    EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(41, LBN_DBLCLK), (LPARAM)list), 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_type, TYPE_LEFT_DOUBLE_CLICK);
    // Any other notification leaves no event, not even an earlier one.
    EXPECT_EQ(send(main, WM_COMMAND, MAKEWPARAM(41, LBN_SETFOCUS), (LPARAM)list), 0);
    EXPECT_EQ(state().recorded_code, 0);
    DestroyWindow(list);
}

TEST_F(Events, ScrollMessagesNameTheControlAndTheTopLevelWindow) {
    HWND bar = make_control("SCROLLBAR", SBS_HORZ, 51, inner, 10, 40, 100, 16);
    ASSERT_NE(bar, nullptr);
    state().event_type = 42;
    EXPECT_EQ(send(inner, WM_HSCROLL, SB_LINELEFT, (LPARAM)bar), 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 51);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(state().event_type, 42);
    // A window's own scroll bar has no control: gadget 0.
    state().recorded_code = 0;
    EXPECT_EQ(send(inner, WM_VSCROLL, SB_LINEDOWN, 0), 0);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 0);
    EXPECT_EQ(state().event_window, main);
    DestroyWindow(bar);
}

TEST_F(Events, IconCallbacksAreRepostedAndMouseButtonsMapToTypes) {
    const struct {
        LPARAM mouse;
        int32_t code;
        int32_t type;
    } cases[] = {
        {WM_LBUTTONUP, EVENT_ICON, TYPE_LEFT_CLICK},
        {WM_RBUTTONUP, EVENT_ICON, TYPE_RIGHT_CLICK},
        {WM_LBUTTONDBLCLK, EVENT_ICON, TYPE_LEFT_DOUBLE_CLICK},
        {WM_RBUTTONDBLCLK, EVENT_ICON, TYPE_RIGHT_DOUBLE_CLICK},
        {WM_MOUSEMOVE, 0, 42},
        {WM_LBUTTONDOWN, 0, 42},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mouse message " << c.mouse);
        settle();
        EXPECT_EQ(send(inner, MSG_ICON_CALLBACK, 7, c.mouse), 0);
        EXPECT_EQ(state().recorded_code, 0);
        MSG repost;
        ASSERT_TRUE(PeekMessageA(&repost, 0, 0, 0, PM_REMOVE));
        EXPECT_EQ(repost.hwnd, inner);
        EXPECT_EQ(repost.message, (UINT)MSG_ICON_REPOST);
        EXPECT_EQ(repost.wParam, (WPARAM)7);
        EXPECT_EQ(repost.lParam, c.mouse);
        // An event recorded earlier is cleared by a repost that makes none.
        state().recorded_code = EVENT_MOVE;
        state().event_type = 42;
        EXPECT_EQ(DispatchMessageA(&repost), 0);
        EXPECT_EQ(state().recorded_code, c.code);
        EXPECT_EQ(state().event_type, c.type);
        EXPECT_EQ(state().event_gadget, 7);
        EXPECT_EQ(state().event_window, inner);
    }
}

// One WM_NOTIFY case: the sending control, its code, and the type before.
struct NotifyCase {
    const char *what;
    HWND from;
    int code;
    int32_t type_before;
    bool records;
    int32_t type_after;
};

class Notifications : public Events {
  protected:
    HWND tree = 0, listview = 0, datetime = 0, calendar = 0, updown = 0, edit = 0, link = 0;
    HWND lookalike = 0;

    void SetUp() override {
        Events::SetUp();
        tree = make_control(WC_TREEVIEWA, 0, 61, inner, 0, 0, 60, 60);
        listview = make_control(WC_LISTVIEWA, LVS_LIST, 62, inner, 60, 0, 60, 60);
        datetime = make_control(DATETIMEPICK_CLASSA, 0, 63, inner, 120, 0, 100, 20);
        calendar = make_control(MONTHCAL_CLASSA, 0, 64, inner, 0, 60, 200, 160);
        updown = make_control(UPDOWN_CLASSA, 0, 65, inner, 220, 0, 20, 40);
        edit = make_control("EDIT", 0, 66, inner, 240, 0, 60, 20);
        link = make_control("SysLink", 0, 67, inner, 240, 40, 60, 20, "link");
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = process_instance;
        wc.lpszClassName = "sysTreeLookalike"; // case differs from "SysT"
        RegisterClassA(&wc);
        lookalike = make_control("sysTreeLookalike", 0, 68, inner, 240, 60, 20, 20);
        ASSERT_TRUE(tree && listview && datetime && calendar && updown && edit && link &&
                    lookalike);
        settle();
    }

    void check(const NotifyCase &c) {
        SCOPED_TRACE(c.what);
        NMUPDOWN n = {};
        n.hdr.hwndFrom = c.from;
        n.hdr.idFrom = c.from ? (UINT_PTR)control_identifier(c.from) : 90;
        n.hdr.code = (UINT)c.code;
        n.iDelta = -3;
        state().recorded_code = 0;
        state().event_type = c.type_before;
        state().event_gadget = 99;
        EXPECT_EQ(send(inner, WM_NOTIFY, n.hdr.idFrom, (LPARAM)&n), 0);
        EXPECT_EQ(state().recorded_code, c.records ? EVENT_GADGET : 0);
        EXPECT_EQ(state().event_type, c.type_after);
        EXPECT_EQ(state().event_gadget, c.records ? (intptr_t)n.hdr.idFrom : 99);
        EXPECT_EQ(state().event_window, c.records ? main : inner);
    }
};

TEST_F(Notifications, TreeAndListViewClicksMapToTypes) {
    for (HWND from : {tree, listview}) {
        check({"click", from, (int)NM_CLICK, -1, true, TYPE_LEFT_CLICK});
        check({"double click", from, (int)NM_DBLCLK, -1, true, TYPE_LEFT_DOUBLE_CLICK});
        check({"right click", from, (int)NM_RCLICK, -1, true, TYPE_RIGHT_CLICK});
        check({"right double click", from, (int)NM_RDBLCLK, -1, true, TYPE_RIGHT_DOUBLE_CLICK});
        check({"item activation", from, (int)LVN_ITEMACTIVATE, -1, true, TYPE_LEFT_DOUBLE_CLICK});
        check({"selection change alone", from, (int)TVN_SELCHANGEDA, -1, true, -1});
        check({"item change alone", from, (int)LVN_ITEMCHANGED, -1, true, -1});
        check({"selection change after a click", from, (int)TVN_SELCHANGEDA, 0, true, 0});
        check({"other code alone", from, (int)TVN_SELCHANGINGA, -1, false, -1});
        check({"other code after a click", from, (int)TVN_SELCHANGINGA, 0, true, 0});
    }
}

TEST_F(Notifications, OtherClassesAndCodes) {
    check({"date picked", datetime, (int)DTN_DATETIMECHANGE, 5, true, 5});
    check({"date picker click", datetime, (int)NM_CLICK, -1, false, -1});
    check({"calendar selection", calendar, (int)MCN_SELCHANGE, 5, true, 5});
    check({"calendar other", calendar, (int)DTN_DATETIMECHANGE, -1, false, -1});
    check({"up-down", updown, (int)UDN_DELTAPOS, -1, true, -3});
    check({"up-down delta from any class", edit, (int)UDN_DELTAPOS, 0, true, -3});
    check({"unreadable class", 0, (int)UDN_DELTAPOS, -1, true, -3});
    check({"unreadable class, click", 0, (int)NM_CLICK, -1, false, -1});
    check({"edit click", edit, (int)NM_CLICK, -1, false, -1});
    check({"prefixes are case-sensitive", lookalike, (int)NM_CLICK, -1, false, -1});
    check({"any class beginning SysL", link, (int)NM_CLICK, -1, true, TYPE_LEFT_CLICK});
}

TEST_F(Events, NotificationWithoutHeaderIsIgnored) {
    EXPECT_EQ(send(main, WM_NOTIFY, 0, 0), 0);
    EXPECT_EQ(state().recorded_code, 0);
}

// ---------------------------------------------------------------------------
// Waiting: messages posted to real windows and controls.

TEST_F(Events, RawMessagesComeBackAsTheirOwnNumbers) {
    PostMessageA(main, WM_NULL, 0, 0);
    EXPECT_EQ(wait(), EVENT_NONE);

    state().event_type = 42;
    PostMessageA(main, WM_USER + 1, 0x31, 0x32);
    EXPECT_EQ(wait(), WM_USER + 1);
    EXPECT_EQ(state().event_type, TYPE_NONE);
    EXPECT_EQ(state().event_wparam, (WPARAM)0x31);
    EXPECT_EQ(state().event_lparam, (LPARAM)0x32);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(state().active_window, main);

    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 5, 0);
    EXPECT_EQ(wait(), WM_QUIT);
    EXPECT_EQ(state().event_wparam, (WPARAM)5);
    EXPECT_EQ(state().event_window, main) << "as the last translation left it";
}

TEST_F(Events, KeysInAFieldReachTheFieldAndItsChangeComesBack) {
    HWND edit = make_control("EDIT", 0, 31, main, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    record_control_messages(edit);
    name_window(edit, "edit");
    SetFocus(edit);
    settle();
    PostMessageA(edit, WM_KEYDOWN, 'A', 0x001E0001);
    EXPECT_EQ(wait(), WM_KEYDOWN);
    // The key message made a character message, which changes the text.
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 31);
    EXPECT_EQ(state().event_type, EN_CHANGE);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(logged_sequence({WM_KEYDOWN, WM_CHAR}, false), "edit WM_KEYDOWN; edit WM_CHAR");
    char text[8] = {0};
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "a");
    DestroyWindow(edit);
}

TEST_F(Events, CloseBoxGivesCloseEventAndTheWindowStays) {
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(wait(), EVENT_CLOSE);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(logged_sequence({WM_CLOSE}, false), "main WM_CLOSE");
    EXPECT_TRUE(IsWindow(main));
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait(), EVENT_CLOSE);
    EXPECT_TRUE(IsWindow(main));
}

TEST_F(Events, EventRecordedBetweenWaitsComesBackFromTheNextWait) {
    HWND edit = make_control("EDIT", 0, 31, main, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    settle();
    SetWindowTextA(edit, "12");
    PostMessageA(main, WM_USER, 0, 0);
    EXPECT_EQ(wait(), EVENT_GADGET) << "the retrieved message records nothing";
    EXPECT_EQ(state().event_gadget, 31);
    EXPECT_EQ(state().event_type, TYPE_NONE) << "every wait starts without a type";

    // Unless the wait's own dispatch records another event.
    SetWindowTextA(edit, "34");
    PostMessageA(main, MSG_GADGET_FOCUS, 3, TYPE_FOCUS);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 3);
    EXPECT_EQ(state().event_type, TYPE_FOCUS);

    PostMessageA(main, WM_USER, 0, 0);
    EXPECT_EQ(wait(), WM_USER) << "a returned event is not returned again";
    DestroyWindow(edit);
}

TEST_F(Events, PendingEventIsReturnedWithoutRetrievingAMessage) {
    SetWindowPos(main, 0, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PostMessageA(main, WM_USER, 0x41, 0x42);
    state().event_gadget = 99;
    state().event_wparam = 0x51;
    EXPECT_EQ(wait(), EVENT_SIZE);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(state().event_type, TYPE_NONE);
    EXPECT_EQ(state().event_gadget, 99);
    EXPECT_EQ(state().event_wparam, (WPARAM)0x51);
    EXPECT_EQ(state().pending_code, 0);
    EXPECT_EQ(wait(), WM_USER) << "the posted message is still there";
    EXPECT_EQ(state().event_wparam, (WPARAM)0x41);
}

TEST_F(Events, PendingSlotKeepsTheLastEventAndDropsRecordedOnes) {
    send(main, WM_MOVE, 0, 0); // recorded
    SetWindowPos(inner, 0, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    send(main, WM_ACTIVATE, WA_ACTIVE, 0);
    PostMessageA(main, WM_USER, 0, 0);
    EXPECT_EQ(wait(), EVENT_ACTIVATE) << "the activation came last";
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(wait(), WM_USER) << "neither the size nor the move event is left";
}

TEST_F(Events, PendingEventOfADispatchComesAfterThatWaitsOwnResult) {
    // Maximising a window that has a maximise box moves and sizes it: its
    // WM_MOVE records a move event, its WM_SIZE leaves a size event pending.
    HWND zoomable = (HWND)tk_open_window(2, 20, 20, 200, 100,
                                         WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX, "zoomable");
    ASSERT_NE(zoomable, nullptr);
    ASSERT_EQ(GetActiveWindow(), zoomable) << "no activation comes with the maximising";
    settle();
    PostMessageA(zoomable, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_EQ(wait(), EVENT_MOVE);
    EXPECT_TRUE(IsZoomed(zoomable));
    EXPECT_EQ(wait(), EVENT_SIZE);
    EXPECT_EQ(state().event_window, zoomable);
    EXPECT_EQ(state().event_type, TYPE_NONE);
}

TEST_F(Events, PendingEventsOfCreationComeFromTheFirstWait) {
    clear_message_log();
    intptr_t id = tk_open_window(ANY_NUMBER, 40, 40, 100, 60, 0, "new");
    ASSERT_NE(id, 0);
    HWND created = find_slot(&window_library.window_registry, id).readable->handle;
    // Whichever of the window's sizing and activation came last wins.
    int32_t expected = 0;
    for (size_t i = 0; i < logged_count(); i++) {
        const LoggedMessage &m = logged(i);
        if (m.window != created) continue;
        if (m.message == WM_SIZE && m.wparam != SIZE_MINIMIZED) expected = EVENT_SIZE;
        if (m.message == WM_ACTIVATE && LOWORD(m.wparam) != WA_INACTIVE) expected = EVENT_ACTIVATE;
    }
    ASSERT_NE(expected, 0);
    PostMessageA(main, WM_USER, 0, 0);
    EXPECT_EQ(wait(), expected);
    EXPECT_EQ(state().event_window, created);
    EXPECT_EQ(wait(), WM_USER);
}

TEST_F(Events, TreeViewThroughTheQueue) {
    HWND tree = make_control(WC_TREEVIEWA, TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS, 61, inner, 0, 0,
                             200, 150);
    ASSERT_NE(tree, nullptr);
    TVINSERTSTRUCTA ins = {};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = (char *)"first";
    HTREEITEM first = (HTREEITEM)send(tree, TVM_INSERTITEMA, 0, (LPARAM)&ins);
    ins.item.pszText = (char *)"second";
    HTREEITEM second = (HTREEITEM)send(tree, TVM_INSERTITEMA, 0, (LPARAM)&ins);
    ASSERT_TRUE(first && second);
    settle();

    // A selection change alone: no type.
    PostMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)first);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 61);
    EXPECT_EQ(state().event_type, TYPE_NONE);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(logged_sequence({WM_NOTIFY}),
              "inner WM_NOTIFY 3d " + std::to_string((int)TVN_SELCHANGINGA) +
                  "; inner WM_NOTIFY 3d " + std::to_string((int)TVN_SELCHANGEDA));

    // A click on the second item: the click comes first, then the
    // selection change, which keeps the click's type.
    RECT r;
    memcpy(&r, &second, sizeof second); // the item goes in, its rectangle comes out
    ASSERT_TRUE(send(tree, TVM_GETITEMRECT, TRUE, (LPARAM)&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    settle();
    PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_type, TYPE_LEFT_CLICK);
    EXPECT_EQ(state().event_gadget, 61);
    EXPECT_EQ((HTREEITEM)send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), second);
    std::string codes = logged_sequence({WM_NOTIFY});
    size_t click = codes.find(" " + std::to_string((int)NM_CLICK));
    size_t changed = codes.find(" " + std::to_string((int)TVN_SELCHANGEDA));
    EXPECT_NE(click, std::string::npos) << codes;
    EXPECT_NE(changed, std::string::npos) << codes;
    EXPECT_LT(click, changed) << codes;
    pump_messages();
    DestroyWindow(tree);
}

TEST_F(Events, ListViewItemChangeThroughTheQueue) {
    HWND list = make_control(WC_LISTVIEWA, LVS_LIST, 62, inner, 0, 0, 200, 150);
    ASSERT_NE(list, nullptr);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.pszText = (char *)"one";
    ASSERT_EQ(send(list, LVM_INSERTITEMA, 0, (LPARAM)&item), 0);
    settle();
    static LVITEMA selected; // read when the posted message is dispatched
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    PostMessageA(list, LVM_SETITEMSTATE, 0, (LPARAM)&selected);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 62);
    EXPECT_EQ(state().event_type, TYPE_NONE);
    EXPECT_EQ(state().event_window, main);
    DestroyWindow(list);
}

TEST_F(Events, UpDownArrowsGiveTheirDelta) {
    HWND updown = make_control(UPDOWN_CLASSA, 0, 65, inner, 10, 10, 20, 40);
    ASSERT_NE(updown, nullptr);
    send(updown, UDM_SETRANGE32, 0, 10);
    send(updown, UDM_SETPOS32, 0, 5);
    settle();
    for (int pass = 0; pass < 2; pass++) {
        LPARAM at = pass == 0 ? MAKELPARAM(10, 5) : MAKELPARAM(10, 35);
        PostMessageA(updown, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(updown, WM_LBUTTONUP, 0, at);
        EXPECT_EQ(wait(), EVENT_GADGET);
        EXPECT_EQ(state().event_gadget, 65);
        EXPECT_EQ(state().event_type, pass == 0 ? 1 : -1);
        EXPECT_EQ(state().event_window, main);
        EXPECT_EQ(send(updown, UDM_GETPOS32, 0, 0), pass == 0 ? 6 : 5);
        wait(); // the button release
    }
    DestroyWindow(updown);
}

TEST_F(Events, ListBoxThroughTheQueue) {
    HWND edit = make_control("EDIT", 0, 31, main, 150, 10, 100, 20);
    HWND list = make_control("LISTBOX", LBS_NOTIFY, 41, main, 10, 40, 100, 80);
    ASSERT_TRUE(edit && list);
    send(list, LB_ADDSTRING, 0, (LPARAM) "zero");
    send(list, LB_ADDSTRING, 0, (LPARAM) "one");
    int item_height = (int)send(list, LB_GETITEMHEIGHT, 0, 0);
    SetFocus(edit);
    settle();

    // Focus moving from the field to the list: the field's notification
    // is recorded, then the list's focus notification clears it.
    SetFocus(list);
    PostMessageA(main, WM_USER, 0, 0);
    EXPECT_EQ(wait(), WM_USER);

    LPARAM at = MAKELPARAM(5, item_height + item_height / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    // The list box reports the new selection when the button is released.
    EXPECT_EQ(wait(), WM_LBUTTONDOWN);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 41);
    EXPECT_EQ(state().event_type, TYPE_LEFT_CLICK);
    EXPECT_EQ(send(list, LB_GETCURSEL, 0, 0), 1);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_type, TYPE_LEFT_DOUBLE_CLICK);
    wait();
    DestroyWindow(list);
    DestroyWindow(edit);
}

TEST_F(Events, IconEventsThroughTheQueue) {
    EXPECT_EQ(send(main, MSG_ICON_CALLBACK, 5, WM_RBUTTONUP), 0);
    EXPECT_EQ(wait(), EVENT_ICON);
    EXPECT_EQ(state().event_type, TYPE_RIGHT_CLICK);
    EXPECT_EQ(state().event_gadget, 5);
    EXPECT_EQ(send(main, MSG_ICON_CALLBACK, 5, WM_MOUSEMOVE), 0);
    EXPECT_EQ(wait(), MSG_ICON_REPOST);
}

TEST_F(Events, GadgetFocusReportsGiveGadgetEvents) {
    EXPECT_EQ(send(inner, MSG_GADGET_FOCUS, 3, TYPE_FOCUS), (LRESULT)TYPE_FOCUS);
    EXPECT_EQ(state().recorded_code, EVENT_GADGET);
    EXPECT_EQ(state().event_window, inner);
    PostMessageA(main, MSG_GADGET_FOCUS, 4, TYPE_LOST_FOCUS);
    PostMessageA(main, MSG_GADGET_FOCUS, 3, TYPE_FOCUS);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 4);
    EXPECT_EQ(state().event_type, TYPE_LOST_FOCUS);
    EXPECT_EQ(wait(), EVENT_GADGET);
    EXPECT_EQ(state().event_gadget, 3);
    EXPECT_EQ(state().event_type, TYPE_FOCUS);
    EXPECT_EQ(state().event_window, main);
}

// ---------------------------------------------------------------------------
// Accelerators.

TEST_F(Events, AcceleratorTableIsFoundByTheActiveWindow) {
    HACCEL main_table = find_slot(&window_library.window_registry, 0).slot->accel_table;
    HACCEL inner_table = find_slot(&window_library.window_registry, 1).slot->accel_table;
    ASSERT_TRUE(main_table && inner_table);
    EXPECT_EQ(find_accelerator_table(main), main_table);
    EXPECT_EQ(find_accelerator_table(inner), inner_table);
    intptr_t id = tk_open_window(ANY_NUMBER, 50, 50, 80, 40, WINDOW_HIDDEN, "dynamic");
    ASSERT_NE(id, 0);
    ObjectSlot *slot = find_slot(&window_library.window_registry, id).slot;
    EXPECT_EQ(find_accelerator_table(slot->handle), slot->accel_table);
    EXPECT_EQ(find_accelerator_table(0), nullptr);
    HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
    EXPECT_EQ(find_accelerator_table(plain), nullptr);
    DestroyWindow(plain);
}

TEST_F(Events, PlainTabWithARichEditFocusedFindsNoTable) {
    HWND rich = make_control("RichEdit20A", 0, 71, main, 10, 10, 100, 20);
    HWND edit = make_control("EDIT", 0, 72, main, 10, 40, 100, 20);
    ASSERT_TRUE(rich && edit);
    HACCEL table = find_slot(&window_library.window_registry, 0).slot->accel_table;
    SetFocus(rich);
    set_keys_down({VK_TAB});
    EXPECT_EQ(find_accelerator_table(main), nullptr);
    for (int modifier : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
        set_keys_down({VK_TAB, modifier});
        EXPECT_EQ(find_accelerator_table(main), table) << modifier;
    }
    release_all_keys();
    EXPECT_EQ(find_accelerator_table(main), table) << "Tab not down";
    SetFocus(edit);
    set_keys_down({VK_TAB});
    EXPECT_EQ(find_accelerator_table(main), table);
    SetFocus(0);
    EXPECT_EQ(find_accelerator_table(main), table) << "no focus: no class name";
    DestroyWindow(rich);
    DestroyWindow(edit);
}

TEST_F(Events, TabInAFieldBecomesTheFocusCommand) {
    HWND edit = make_control("EDIT", WS_TABSTOP, 31, main, 10, 10, 100, 20);
    ASSERT_NE(edit, nullptr);
    record_control_messages(edit);
    name_window(edit, "edit");
    SetFocus(edit);
    settle();
    set_keys_down({VK_TAB});
    PostMessageA(edit, WM_KEYDOWN, VK_TAB, 0x000F0001);
    int32_t result = wait();
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}),
              "main WM_COMMAND " + hex(MAKEWPARAM(CMD_FOCUS_NEXT, 1)) + " 0");
    // Nothing, or the focus notification of whichever field has the focus.
    if (result != WM_KEYDOWN) {
        EXPECT_EQ(result, EVENT_GADGET);
        EXPECT_EQ(state().event_gadget, control_identifier(GetFocus()));
    }

    settle();
    set_keys_down({VK_TAB, VK_SHIFT});
    PostMessageA(edit, WM_KEYDOWN, VK_TAB, 0x000F0001);
    wait();
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}),
              "main WM_COMMAND " + hex(MAKEWPARAM(CMD_FOCUS_PREVIOUS, 1)) + " 0");
    DestroyWindow(edit);
}

TEST_F(Events, TabWithoutAnyFieldComesBackAsTheKeyMessage) {
    SetFocus(main);
    settle();
    set_keys_down({VK_TAB});
    PostMessageA(main, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(wait(), WM_KEYDOWN);
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}),
              "main WM_COMMAND " + hex(MAKEWPARAM(CMD_FOCUS_NEXT, 1)) + " 0");
}

TEST_F(Events, RichEditTakesPlainTabButNotShiftTab) {
    HWND rich = make_control("RichEdit20A", 0, 71, main, 10, 10, 100, 20);
    ASSERT_NE(rich, nullptr);
    record_control_messages(rich);
    name_window(rich, "rich");
    SetFocus(rich);
    settle();
    set_keys_down({VK_TAB});
    PostMessageA(rich, WM_KEYDOWN, VK_TAB, 0x000F0001);
    wait();
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}), "rich WM_KEYDOWN 9 f0001");

    settle();
    set_keys_down({VK_TAB, VK_SHIFT});
    PostMessageA(rich, WM_KEYDOWN, VK_TAB, 0x000F0001);
    wait();
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}),
              "main WM_COMMAND " + hex(MAKEWPARAM(CMD_FOCUS_PREVIOUS, 1)) + " 0");
    DestroyWindow(rich);
}

TEST_F(Events, OtherActiveWindowsGetNoAcceleratorTranslation) {
    HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 400, 400, 100, 50, 0, 0,
                                 process_instance, 0);
    ASSERT_NE(plain, nullptr);
    HWND edit = make_control("EDIT", WS_TABSTOP, 31, plain, 0, 0, 100, 20);
    record_control_messages(edit);
    name_window(edit, "edit");
    SetActiveWindow(plain);
    SetFocus(edit);
    ASSERT_EQ(GetActiveWindow(), plain);
    settle();
    set_keys_down({VK_TAB});
    PostMessageA(edit, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(wait(), WM_KEYDOWN);
    EXPECT_EQ(state().active_window, plain);
    EXPECT_EQ(logged_sequence({WM_COMMAND, WM_KEYDOWN}), "edit WM_KEYDOWN 9 f0001");
    DestroyWindow(plain);
}

// ---------------------------------------------------------------------------
// A translation that resumes after nested ones works on its own message.

HWND nested_target;

// Sends a message to another toolkit window before letting the translation
// of the outer message go on, as the keyboard-sizing filter may do.
LRESULT CALLBACK nesting_callback(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    record_toolkit_message(window, message, wparam, lparam);
    if (window != nested_target && message != WM_GETTEXT && message != WM_GETTEXTLENGTH)
        SendMessageA(nested_target, WM_USER + 9, 0x99, 0x98);
    return CALLBACK_PASS;
}

TEST_F(Events, ResumedTranslationWorksOnItsOwnMessage) {
    nested_target = inner;
    state().window_callback = nesting_callback;

    EXPECT_EQ(send(main, MSG_ICON_CALLBACK, 6, WM_LBUTTONUP), 0);
    EXPECT_EQ(state().event_window, main);
    EXPECT_EQ(state().event_message, (UINT)MSG_ICON_CALLBACK);
    EXPECT_EQ(state().event_wparam, (WPARAM)6);
    EXPECT_EQ(state().event_lparam, (LPARAM)WM_LBUTTONUP);
    MSG repost;
    ASSERT_TRUE(PeekMessageA(&repost, 0, MSG_ICON_REPOST, MSG_ICON_REPOST, PM_REMOVE));
    EXPECT_EQ(repost.hwnd, main) << "reposted to the window that was called";
    EXPECT_EQ(repost.wParam, (WPARAM)6);
    EXPECT_EQ(repost.lParam, (LPARAM)WM_LBUTTONUP);

    EXPECT_EQ(send(main, WM_SIZE, SIZE_RESTORED, 0), (LRESULT)main);
    EXPECT_EQ(state().pending_window, main);
    EXPECT_EQ(send(main, MSG_GADGET_FOCUS, 3, TYPE_FOCUS), (LRESULT)TYPE_FOCUS);
    EXPECT_EQ(state().event_gadget, 3);
    EXPECT_EQ(state().event_type, TYPE_FOCUS);
    EXPECT_EQ(state().event_window, main);

    // The default procedure gets the outer message too.
    EXPECT_TRUE(SetWindowTextA(main, "renamed"));
    char title[20] = {0};
    GetWindowTextA(main, title, sizeof title);
    EXPECT_STREQ(title, "renamed");
    GetWindowTextA(inner, title, sizeof title);
    EXPECT_STREQ(title, "inner");
    EXPECT_NE(logged_sequence({WM_USER + 9}, false), "");
    state().window_callback = record_toolkit_message;
}

} // namespace
