// Gadgets against real controls under Wine: what reaches the controls'
// procedures, what is posted to their windows, and what the registry holds.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "tests/support/toolkit_env.h"
#include "platform/text_buffer.h"
#include "toolkit/events.h"
#include "toolkit/gadgets.h"

namespace {

struct Message {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

std::vector<Message> class_log;     // what reached the recorded controls' class procedures
std::vector<WNDPROC> recorded_next; // indexed in step with recorded_windows
std::vector<HWND> recorded_windows;

// Whether a focus report waited in the queue when the class procedure got
// WM_SETFOCUS; -1 until it does.
int report_queued_at_setfocus = -1;

// Stands between gadget_subclass_proc and the control's class procedure.
LRESULT CALLBACK class_recorder(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    class_log.push_back({window, message, wparam, lparam});
    if (message == WM_SETFOCUS) {
        MSG report;
        report_queued_at_setfocus =
            PeekMessageA(&report, 0, MSG_GADGET_FOCUS, MSG_GADGET_FOCUS, PM_NOREMOVE) ? 1 : 0;
    }
    for (size_t i = 0; i < recorded_windows.size(); ++i)
        if (recorded_windows[i] == window)
            return CallWindowProcA(recorded_next[i], window, message, wparam, lparam);
    return DefWindowProcA(window, message, wparam, lparam);
}

ObjectRegistry *registry() {
    return &gadget_library.gadget_registry;
}

ObjectSlot *live_slot(intptr_t identifier) {
    return find_slot(registry(), identifier).slot;
}

HWND handle_of(intptr_t identifier) {
    ObjectSlot *slot = live_slot(identifier);
    return slot ? slot->handle : 0;
}

// Routes the gadget's class-procedure stage through class_recorder.
void record_class_stage(intptr_t identifier) {
    ObjectSlot *slot = live_slot(identifier);
    ASSERT_NE(slot, nullptr);
    recorded_windows.push_back(slot->handle);
    recorded_next.push_back(slot->class_proc);
    slot->class_proc = class_recorder;
}

bool logged(HWND window, UINT message) {
    for (const Message &m : class_log)
        if (m.window == window && m.message == message) return true;
    return false;
}

// Removes and returns every MSG_GADGET_FOCUS waiting in the queue.
std::vector<MSG> take_focus_reports() {
    std::vector<MSG> reports;
    MSG msg;
    while (PeekMessageA(&msg, 0, MSG_GADGET_FOCUS, MSG_GADGET_FOCUS, PM_REMOVE))
        reports.push_back(msg);
    return reports;
}

int children_with_id(HWND parent, intptr_t id) {
    int count = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (control_identifier(child) == id) ++count;
    return count;
}

// CBT hook: creations and destructions of windows, in order.
std::vector<std::pair<int, HWND>> cbt_log;
LRESULT CALLBACK cbt_recorder(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND) cbt_log.push_back({code, (HWND)wparam});
    return CallNextHookEx(0, code, wparam, lparam);
}

LRESULT CALLBACK plain_parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(window, message, wparam, lparam);
}

// A plain top-level window that is not a toolkit window, so that what the
// gadgets post stays in the queue for the test to read.
HWND open_plain_parent() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = plain_parent_proc;
        wc.hInstance = process_instance;
        wc.lpszClassName = "GadgetTestParent";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "GadgetTestParent", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                           10, 300, 200, 0, 0, process_instance, 0);
}

class Gadgets : public ::testing::Test {
  protected:
    void SetUp() override {
        restart_toolkit_for_tests();
        class_log.clear();
        recorded_next.clear();
        recorded_windows.clear();
        parent = open_plain_parent();
        ASSERT_NE(parent, nullptr);
        ASSERT_EQ(tk_begin_gadgets(parent), parent);
    }
    void TearDown() override {
        if (IsWindow(parent)) DestroyWindow(parent);
        if (IsWindow(other)) DestroyWindow(other);
        pump_messages();
    }
    HWND parent = 0;
    HWND other = 0;
};

TEST_F(Gadgets, KindsGetTheirClassesStylesFontAndProcedures) {
    HWND label = (HWND)tk_create_label(0, 1, 2, 30, 20, "label");
    HWND field = (HWND)tk_create_field(1, 40, 2, 50, 20, "field");
    HWND borderless = (HWND)tk_create_field(2, 1, 30, 50, 20, "", FIELD_BORDERLESS);
    HWND read_only = (HWND)tk_create_field(3, 60, 30, 50, 20, "", ES_READONLY);
    ASSERT_TRUE(label && field && borderless && read_only);

    char name[32];
    GetClassNameA(label, name, sizeof name);
    EXPECT_STRCASEEQ(name, "STATIC");
    GetClassNameA(field, name, sizeof name);
    EXPECT_STRCASEEQ(name, "EDIT");

    EXPECT_EQ((DWORD)GetWindowLongPtrA(label, GWL_STYLE), 0x50020000u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(label, GWL_EXSTYLE), 0u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(field, GWL_STYLE), 0x50030080u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(field, GWL_EXSTYLE), (DWORD)WS_EX_CLIENTEDGE);
    // The borderless bit is WS_GROUP, which fields carry anyway: only the
    // client edge goes.
    EXPECT_EQ((DWORD)GetWindowLongPtrA(borderless, GWL_STYLE), 0x50030080u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(borderless, GWL_EXSTYLE), 0u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(read_only, GWL_STYLE), 0x50030880u);
    EXPECT_EQ((DWORD)GetWindowLongPtrA(read_only, GWL_EXSTYLE), (DWORD)WS_EX_CLIENTEDGE);

    // The read-only field takes no typing; an ordinary one does.
    SendMessageA(read_only, WM_CHAR, '7', 0);
    SendMessageA(field, WM_CHAR, '7', 0);
    char text[16];
    GetWindowTextA(read_only, text, sizeof text);
    EXPECT_STREQ(text, "");
    GetWindowTextA(field, text, sizeof text);
    EXPECT_STREQ(text, "7field");

    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    EXPECT_EQ((HGDIOBJ)SendMessageA(label, WM_GETFONT, 0, 0), font);
    EXPECT_EQ((HGDIOBJ)SendMessageA(field, WM_GETFONT, 0, 0), font);

    // Field: focus layer over the gadget layer over the class; label: the
    // gadget layer over the class.
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(label, GWLP_WNDPROC), gadget_subclass_proc);
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(field, GWLP_WNDPROC), field_focus_proc);
    EXPECT_EQ(focus_next_proc, gadget_subclass_proc);
    EXPECT_EQ(live_slot(1)->ops, &gadget_library.field_ops);
    EXPECT_EQ(live_slot(0)->ops, &gadget_library.label_ops);
    EXPECT_NE(live_slot(1)->class_proc, nullptr);
    EXPECT_NE(live_slot(1)->class_proc, gadget_subclass_proc);

    // The platform's child identifier is the number.
    EXPECT_EQ(control_identifier(label), 0);
    EXPECT_EQ(control_identifier(read_only), 3);
    RECT r;
    GetWindowRect(field, &r);
    MapWindowPoints(0, parent, (POINT *)&r, 2);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right - r.left, 50);
    EXPECT_EQ(r.bottom - r.top, 20);
}

TEST_F(Gadgets, EveryMessageReachesTheClassProcedureUntilNcDestroy) {
    HWND field = (HWND)tk_create_field(4, 0, 0, 50, 20, "abc");
    record_class_stage(4);
    SendMessageA(field, WM_USER + 5, 11, 22);
    ASSERT_FALSE(class_log.empty());
    EXPECT_EQ(class_log.back().message, (UINT)WM_USER + 5);
    EXPECT_EQ(class_log.back().wparam, (WPARAM)11);
    EXPECT_EQ(class_log.back().lparam, (LPARAM)22);

    // A control that names no gadget is handled by the default procedure.
    SetWindowLongPtrA(field, GWLP_ID, 25);
    class_log.clear();
    SendMessageA(field, WM_USER + 6, 0, 0);
    EXPECT_FALSE(logged(field, WM_USER + 6));
    SetWindowLongPtrA(field, GWLP_ID, 4);

    class_log.clear();
    EXPECT_NE(tk_free_gadget(4), 0);
    EXPECT_FALSE(IsWindow(field));
    ASSERT_FALSE(class_log.empty());
    EXPECT_EQ(class_log.back().message, (UINT)WM_NCDESTROY);
    EXPECT_EQ(live_slot(4), nullptr);
}

TEST_F(Gadgets, CreatingANumberAgainReplacesTheGadgetInAnyWindow) {
    HWND first = (HWND)tk_create_field(3, 0, 0, 50, 20, "first");
    ASSERT_NE(first, nullptr);
    record_class_stage(3);

    HHOOK hook = SetWindowsHookExA(WH_CBT, cbt_recorder, 0, GetCurrentThreadId());
    cbt_log.clear();
    HWND second = (HWND)tk_create_field(3, 0, 30, 50, 20, "second");
    UnhookWindowsHookEx(hook);

    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(logged(first, WM_NCDESTROY));
    // The old control is gone before the new one is made.
    ASSERT_EQ(cbt_log.size(), 2u);
    EXPECT_EQ(cbt_log[0].first, HCBT_DESTROYWND);
    EXPECT_EQ(cbt_log[0].second, first);
    EXPECT_EQ(cbt_log[1].first, HCBT_CREATEWND);
    EXPECT_EQ(handle_of(3), second);
    EXPECT_EQ(children_with_id(parent, 3), 1);

    // The same number in another window takes the gadget out of this one.
    other = open_plain_parent();
    tk_begin_gadgets(other);
    HWND third = (HWND)tk_create_label(3, 0, 0, 50, 20, "third");
    ASSERT_NE(third, nullptr);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(children_with_id(parent, 3), 0);
    EXPECT_EQ(children_with_id(other, 3), 1);
    EXPECT_EQ(handle_of(3), third);
    char text[16];
    tk_set_text(3, "again");
    GetWindowTextA(third, text, sizeof text);
    EXPECT_STREQ(text, "again");
}

TEST_F(Gadgets, SlotsAreReleasedWhoeverDestroysTheControl) {
    // The toolkit's own window: closing it destroys its gadgets with it.
    intptr_t window = tk_open_window(7, 50, 50, 200, 100, 0, "gadgets");
    ASSERT_NE(window, 0);
    ASSERT_EQ(tk_begin_gadgets(tk_current_window()), tk_current_window());
    tk_create_label(0, 0, 0, 50, 20, "a");
    tk_create_field(1, 0, 30, 50, 20, "b");
    intptr_t dynamic = tk_create_field(ANY_NUMBER, 0, 60, 50, 20, "c");
    ASSERT_NE(live_slot(dynamic), nullptr);
    ASSERT_NE(registry()->dynamic_list, nullptr);
    tk_close_window(7);
    EXPECT_EQ(live_slot(0), nullptr);
    EXPECT_EQ(live_slot(1), nullptr);
    EXPECT_EQ(registry()->dynamic_list, nullptr);

    // The numbers are free at once: nothing is destroyed to reuse them.
    tk_begin_gadgets(parent);
    HHOOK hook = SetWindowsHookExA(WH_CBT, cbt_recorder, 0, GetCurrentThreadId());
    cbt_log.clear();
    HWND again = (HWND)tk_create_field(1, 0, 0, 50, 20, "again");
    UnhookWindowsHookEx(hook);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(cbt_log.size(), 1u);
    EXPECT_EQ(cbt_log[0].first, HCBT_CREATEWND);

    // Destroyed by someone else than the toolkit.
    DestroyWindow(again);
    EXPECT_EQ(live_slot(1), nullptr);
    EXPECT_EQ(tk_free_gadget(1), 0);
}

TEST_F(Gadgets, OperationsOnNumbersWithoutGadgets) {
    EXPECT_EQ(tk_free_gadget(9), 0);
    EXPECT_EQ(tk_free_gadget(500), 0); // beyond the registry
    EXPECT_EQ(tk_set_text(9, "x"), 0);
    EXPECT_EQ(tk_set_tooltip(9, "x"), 0);

    char *start = text_work_buffer.cursor;
    memset(start, 'x', 8);
    EXPECT_EQ(tk_get_text(9), start);
    EXPECT_EQ(start[0], 0);
    EXPECT_EQ(text_work_buffer.cursor, start);

    // A destroyed dynamic gadget's identifier names nothing any more.
    intptr_t dynamic = tk_create_label(ANY_NUMBER, 0, 0, 20, 20, "d");
    ASSERT_NE(dynamic, 0);
    EXPECT_NE(tk_free_gadget(dynamic), 0);
    EXPECT_EQ(tk_free_gadget(dynamic), 0);
    EXPECT_EQ(registry()->dynamic_list, nullptr);
}

TEST_F(Gadgets, GetTextWritesAtTheCursorAndCutsLongTexts) {
    char *start = text_work_buffer.cursor;
    memset(start, 'x', 40);
    tk_create_field(1, 0, 0, 50, 20, "");
    char *end = tk_get_text(1);
    EXPECT_EQ(end, start);
    EXPECT_EQ(start[0], 0);
    EXPECT_EQ(start[1], 'x');
    EXPECT_EQ(text_work_buffer.cursor, start);

    tk_create_label(2, 0, 30, 50, 20, "1234");
    end = tk_get_text(2);
    EXPECT_EQ(end, start + 4);
    EXPECT_EQ(text_work_buffer.cursor, end);
    EXPECT_STREQ(start, "1234");
    text_work_buffer.cursor = start;

    std::string long_text(40000, 'a');
    memset(start, 'x', 32010);
    ASSERT_NE(tk_set_text(1, long_text.c_str()), 0);
    end = tk_get_text(1);
    EXPECT_EQ(end, start + 31999);
    EXPECT_EQ(start[31998], 'a');
    EXPECT_EQ(start[31999], 0);
    EXPECT_EQ(start[32000], 'x'); // nothing beyond the 32000 bytes
    EXPECT_EQ(strspn(start, "a"), 31999u);
    text_work_buffer.cursor = start;
}

TEST_F(Gadgets, FocusReportsLostBeforeGainedToTheTopLevelWindow) {
    HWND label = (HWND)tk_create_label(0, 0, 0, 50, 20, "label");
    HWND coeff = (HWND)tk_create_field(3, 0, 30, 50, 20, "3");
    HWND displayed = (HWND)tk_create_field(4, 0, 60, 50, 20, "4");
    // A field inside an inner window still reports to the top-level one.
    HWND inner = CreateWindowExA(0, "GadgetTestParent", "", WS_CHILD | WS_VISIBLE, 100, 0, 100, 100,
                                 parent, 0, process_instance, 0);
    tk_begin_gadgets(inner);
    intptr_t nested = tk_create_field(ANY_NUMBER, 0, 0, 50, 20, "n");
    ASSERT_TRUE(label && coeff && displayed && nested);
    SetActiveWindow(parent);
    take_focus_reports();

    SetFocus(coeff);
    SetFocus(displayed);
    SetFocus(label); // labels report nothing
    SetFocus(handle_of(nested));
    SetFocus(coeff);
    std::vector<MSG> reports = take_focus_reports();

    struct Expected {
        intptr_t gadget;
        int32_t type;
    } expected[] = {{3, TYPE_FOCUS},      {3, TYPE_LOST_FOCUS}, {4, TYPE_FOCUS},
                    {4, TYPE_LOST_FOCUS}, {nested, TYPE_FOCUS}, {nested, TYPE_LOST_FOCUS},
                    {3, TYPE_FOCUS}};
    ASSERT_EQ(reports.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < reports.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reports[i].hwnd, parent);
        EXPECT_EQ((intptr_t)reports[i].wParam, expected[i].gadget);
        EXPECT_EQ((int32_t)reports[i].lParam, expected[i].type);
    }
}

TEST_F(Gadgets, FocusReportIsPostedBeforeTheControlSeesTheFocus) {
    HWND field = (HWND)tk_create_field(5, 0, 0, 50, 20, "");
    record_class_stage(5);
    SetActiveWindow(parent);
    take_focus_reports();
    report_queued_at_setfocus = -1;
    SetFocus(field);
    EXPECT_EQ(report_queued_at_setfocus, 1);
    EXPECT_EQ(take_focus_reports().size(), 1u);
}

TEST_F(Gadgets, TooltipsAreReplacedAndCounted) {
    HWND coeff = (HWND)tk_create_field(3, 0, 0, 50, 20, "");
    HWND real = (HWND)tk_create_field(5, 0, 30, 50, 20, "");
    ASSERT_NE(tk_set_tooltip(3, "first text"), 0);
    ASSERT_NE(tooltip_window, nullptr);
    HWND tips = tooltip_window;
    ASSERT_NE(tk_set_tooltip(5, "real"), 0);
    ASSERT_NE(tk_set_tooltip(3, "second text"), 0);
    EXPECT_EQ(tooltip_window, tips); // one tooltip window for all gadgets
    ASSERT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 2);

    bool saw_coeff = false, saw_real = false;
    for (int i = 0; i < 2; ++i) {
        char text[256] = {0};
        TOOLINFOA tool = {};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageA(tips, TTM_ENUMTOOLSA, i, (LPARAM)&tool));
        EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), (UINT)(TTF_IDISHWND | TTF_SUBCLASS));
        EXPECT_EQ(tool.hwnd, parent);
        if ((HWND)tool.uId == coeff) {
            saw_coeff = true;
            EXPECT_STREQ(text, "second text");
        } else if ((HWND)tool.uId == real) {
            saw_real = true;
            EXPECT_STREQ(text, "real");
        }
    }
    EXPECT_TRUE(saw_coeff && saw_real);

    char name[32];
    GetClassNameA(tips, name, sizeof name);
    EXPECT_STREQ(name, "tooltips_class32");
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(tips, GWLP_WNDPROC), tooltip_window_proc);
    EXPECT_TRUE(GetWindowLongPtrA(tips, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindowLongPtrA(tips, GWL_STYLE) & (TTS_NOPREFIX | TTS_ALWAYSTIP),
              TTS_NOPREFIX | TTS_ALWAYSTIP);

    // A destroyed gadget leaves no tool behind, whatever destroyed it.
    tk_create_field(3, 0, 0, 50, 20, "");
    EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    DestroyWindow(parent);
    EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(Gadgets, FirstTooltipCallMakesTheWindowEvenWithoutAGadget) {
    if (tooltip_window) DestroyWindow(tooltip_window);
    tooltip_window = 0;
    EXPECT_EQ(tk_set_tooltip(12, "nobody"), 0);
    ASSERT_NE(tooltip_window, nullptr);
    EXPECT_TRUE(IsWindow(tooltip_window));
    EXPECT_EQ(SendMessageA(tooltip_window, TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(Gadgets, WithoutAParentNothingIsCreated) {
    HWND field = (HWND)tk_create_field(1, 0, 0, 50, 20, "kept");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(tk_begin_gadgets(0), nullptr);
    EXPECT_EQ(gadget_library.gadget_parent, nullptr);
    EXPECT_EQ(tk_create_label(2, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(live_slot(2), nullptr);
    EXPECT_EQ(tk_create_field(6, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(live_slot(6), nullptr);
    // A dynamic creation still hands out its identifier, which names nothing.
    intptr_t dynamic = tk_create_field(ANY_NUMBER, 0, 0, 50, 20, "x");
    EXPECT_NE(dynamic, 0);
    EXPECT_EQ(live_slot(dynamic), nullptr);

    // The failures leave the existing field's chain intact.
    EXPECT_EQ(focus_next_proc, gadget_subclass_proc);
    SetActiveWindow(parent);
    take_focus_reports();
    SetFocus(field);
    std::vector<MSG> reports = take_focus_reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].wParam, (WPARAM)1);
    char text[8];
    GetWindowTextA(field, text, sizeof text);
    EXPECT_STREQ(text, "kept");
}

// Hooks of the fields' kind; labels keep the default path.
HWND hook_seen;
const char *hook_text;
char hook_buffer[] = "hooked";
intptr_t free_hook(HWND gadget) {
    hook_seen = gadget;
    return 77;
}
char *get_text_hook(HWND gadget) {
    hook_seen = gadget;
    return hook_buffer;
}
intptr_t set_text_hook(HWND gadget, const char *text) {
    hook_seen = gadget;
    hook_text = text;
    return 88;
}

TEST_F(Gadgets, KindHooksReplaceTheDefaultOperations) {
    static_assert(offsetof(GadgetOps, free) == 0, "entry 0");
    static_assert(offsetof(GadgetOps, get_text) == 3 * sizeof(void *), "entry 3");
    static_assert(offsetof(GadgetOps, set_text) == 4 * sizeof(void *), "entry 4");
    static_assert(sizeof(GadgetOps) == 27 * sizeof(void *), "27 entries");

    HWND field = (HWND)tk_create_field(1, 0, 0, 50, 20, "field");
    HWND label = (HWND)tk_create_label(2, 0, 30, 50, 20, "label");
    gadget_library.field_ops.free = free_hook;
    gadget_library.field_ops.get_text = get_text_hook;
    gadget_library.field_ops.set_text = set_text_hook;

    hook_seen = 0;
    EXPECT_EQ(tk_get_text(1), hook_buffer);
    EXPECT_EQ(hook_seen, field);
    EXPECT_EQ(tk_set_text(1, "new"), 88);
    EXPECT_STREQ(hook_text, "new");
    char text[16];
    GetWindowTextA(field, text, sizeof text);
    EXPECT_STREQ(text, "field");
    EXPECT_EQ(tk_free_gadget(1), 77);
    EXPECT_TRUE(IsWindow(field));
    gadget_library.field_ops = GadgetOps();

    hook_seen = 0;
    char *start = text_work_buffer.cursor;
    EXPECT_EQ(tk_get_text(2), start + 5);
    text_work_buffer.cursor = start;
    EXPECT_NE(tk_set_text(2, "plain"), 0);
    EXPECT_NE(tk_free_gadget(2), 0);
    EXPECT_FALSE(IsWindow(label));
    EXPECT_EQ(hook_seen, nullptr);

    // Start-up empties the tables again.
    EXPECT_NE(tk_free_gadget(1), 0);
    gadget_library.field_ops.reserved_5_26[21] = (void *)free_hook;
    gadget_library.label_ops.set_text = set_text_hook;
    tk_init_gadgets();
    const char *ops = (const char *)&gadget_library.label_ops;
    for (size_t i = 0; i < 2 * sizeof(GadgetOps); ++i)
        ASSERT_EQ(ops[i], 0) << i;
}

} // namespace
