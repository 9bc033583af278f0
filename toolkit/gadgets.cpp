#include "toolkit/gadgets.h"
#include "toolkit/events.h"
#include "platform/text_buffer.h"

GadgetLibrary gadget_library;
HWND tooltip_window;
WNDPROC tooltip_next_proc;
WNDPROC focus_next_proc;

namespace {

const DWORD LABEL_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
const DWORD FIELD_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
const int GADGET_REGISTRY_CAPACITY = 30;
// GetWindowTextA's limit, the terminating zero included.
const int TEXT_LIMIT = 32000;

ObjectRegistry *gadgets() {
    return &gadget_library.gadget_registry;
}

// Installs proc as the window's procedure; returns the one it replaced.
WNDPROC subclass(HWND window, WNDPROC proc) {
    return (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)proc);
}

void fill_tool(TOOLINFOA *tool, HWND gadget, const char *text) {
    ZeroMemory(tool, sizeof *tool);
    // The first-version size: older comctl32 builds refuse larger records.
    tool->cbSize = TTTOOLINFOA_V1_SIZE;
    tool->uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool->hwnd = GetParent(gadget);
    tool->uId = (UINT_PTR)gadget;
    tool->lpszText = (LPSTR)text;
}

// A destroyed gadget must not stay a tool: the tooltip would keep its copy
// of the text and a dangling handle that a later window could be given.
void forget_tool(HWND gadget) {
    if (!tooltip_window) return;
    TOOLINFOA tool;
    fill_tool(&tool, gadget, 0);
    SendMessageA(tooltip_window, TTM_DELTOOLA, 0, (LPARAM)&tool);
}

// What is fixed for a kind of gadget; the caller gives the rest.
struct GadgetKind {
    const char *class_name;
    DWORD style;
    DWORD ex_style;
    const GadgetOps *ops;
    bool reports_focus;
};

const GadgetKind LABEL = {"STATIC", LABEL_STYLE, 0, &gadget_library.label_ops, false};
const GadgetKind FIELD = {"EDIT", FIELD_STYLE, WS_EX_CLIENTEDGE, &gadget_library.field_ops, true};

// flags are style bits added to the kind's; FIELD_BORDERLESS, the WS_GROUP
// bit that every kind's style holds anyway, also drops the client edge.
intptr_t create_gadget(const GadgetKind &kind, intptr_t number, int x, int y, int width, int height,
                       const char *text, uint32_t flags) {
    if (number < 0 && number != ANY_NUMBER) return 0;
    ObjectSlot *slot = reserve_slot(gadgets(), number);
    if (!slot) return 0;
    intptr_t identifier = number == ANY_NUMBER ? (intptr_t)slot : number;
    // The old gadget's WM_NCDESTROY releases its slot before the new one is made.
    if (number != ANY_NUMBER) tk_free_gadget(number);

    DWORD ex_style = (flags & FIELD_BORDERLESS) ? 0 : kind.ex_style;
    HWND handle =
        CreateWindowExA(ex_style, kind.class_name, text, kind.style | flags, x, y, width, height,
                        gadget_library.gadget_parent, (HMENU)identifier, process_instance, 0);
    slot->handle = handle;
    slot->ops = kind.ops;
    if (!handle) return number == ANY_NUMBER ? identifier : 0;

    // Record the class procedure before the subclass can receive anything.
    slot->class_proc = (WNDPROC)GetWindowLongPtrA(handle, GWLP_WNDPROC);
    subclass(handle, gadget_subclass_proc);
    SendMessageA(handle, WM_SETFONT, (WPARAM)gadget_library.gadget_font, 1);
    // Every field's focus layer hands its messages on to the gadget layer,
    // which finds the field's class procedure in its slot. What a replacement
    // returns is not that when it failed (0), nor over a field whose gadget
    // layer could not be installed (the class's own): recording it would take
    // the gadget layer away from every field.
    if (kind.reports_focus && subclass(handle, field_focus_proc))
        focus_next_proc = gadget_subclass_proc;
    return number == ANY_NUMBER ? identifier : (intptr_t)handle;
}

void report_focus(HWND field, int32_t type) {
    PostMessageA(top_level_ancestor(field), MSG_GADGET_FOCUS, (WPARAM)control_identifier(field),
                 (LPARAM)type);
}

} // namespace

void tk_init_gadgets() {
    ZeroMemory(&gadget_library, sizeof gadget_library);
    init_registry(gadgets(), GADGET_REGISTRY_CAPACITY);
    gadget_library.gadget_font = GetStockObject(DEFAULT_GUI_FONT);
    load_common_controls();
}

HWND tk_begin_gadgets(HWND window) {
    gadget_library.gadget_parent = window;
    return window;
}

intptr_t tk_create_label(intptr_t number, int x, int y, int width, int height, const char *text) {
    return create_gadget(LABEL, number, x, y, width, height, text, 0);
}

intptr_t tk_create_field(intptr_t number, int x, int y, int width, int height, const char *text,
                         uint32_t flags) {
    return create_gadget(FIELD, number, x, y, width, height, text, flags);
}

char *tk_get_text(intptr_t number) {
    char *cursor = text_work_buffer.cursor;
    if (!cursor) return 0;
    SlotLookup found = find_slot(gadgets(), number);
    if (!found.slot) {
        // No gadget: an empty text, so that callers can always use it.
        *cursor = 0;
        return cursor;
    }
    if (found.slot->ops && found.slot->ops->get_text)
        return found.slot->ops->get_text(found.slot->handle);
    int count = GetWindowTextA(found.slot->handle, cursor, TEXT_LIMIT);
    if (count < 0) count = 0;
    if (count > TEXT_LIMIT - 1) count = TEXT_LIMIT - 1;
    cursor += count;
    *cursor = 0;
    text_work_buffer.cursor = cursor;
    return cursor;
}

intptr_t tk_set_text(intptr_t number, const char *text) {
    SlotLookup found = find_slot(gadgets(), number);
    if (!found.slot) return 0;
    if (found.slot->ops && found.slot->ops->set_text)
        return found.slot->ops->set_text(found.slot->handle, text);
    return SetWindowTextA(found.slot->handle, text);
}

intptr_t tk_free_gadget(intptr_t number) {
    SlotLookup found = find_slot(gadgets(), number);
    if (!found.slot) return 0;
    if (found.slot->ops && found.slot->ops->free) return found.slot->ops->free(found.slot->handle);
    return DestroyWindow(found.slot->handle);
}

intptr_t tk_set_tooltip(intptr_t number, const char *text) {
    if (!tooltip_window) {
        tooltip_window = CreateWindowExA(
            WS_EX_TOPMOST, TOOLTIPS_CLASSA, 0, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, process_instance, 0);
        if (tooltip_window) tooltip_next_proc = subclass(tooltip_window, tooltip_window_proc);
    }
    SlotLookup found = find_slot(gadgets(), number);
    if (!found.slot) return 0;
    TOOLINFOA tool;
    fill_tool(&tool, found.slot->handle, text);
    SendMessageA(tooltip_window, TTM_DELTOOLA, 0, (LPARAM)&tool);
    return SendMessageA(tooltip_window, TTM_ADDTOOLA, 0, (LPARAM)&tool);
}

LRESULT CALLBACK gadget_subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    intptr_t identifier = control_identifier(window);
    SlotLookup found = find_slot(gadgets(), identifier);
    if (!found.slot) return DefWindowProcA(window, message, wparam, lparam);
    // Read before the release: a dynamic gadget's slot goes with its node.
    WNDPROC class_proc = found.slot->class_proc;
    if (message == WM_NCDESTROY) {
        forget_tool(window);
        release_slot(gadgets(), identifier);
    }
    return CallWindowProcA(class_proc, window, message, wparam, lparam);
}

LRESULT CALLBACK field_focus_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Posted, not sent: the window learns of the change on a later wait.
    if (message == WM_SETFOCUS) report_focus(window, TYPE_FOCUS);
    if (message == WM_KILLFOCUS) report_focus(window, TYPE_LOST_FOCUS);
    return CallWindowProcA(focus_next_proc, window, message, wparam, lparam);
}

LRESULT CALLBACK tooltip_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Keeps the tip above windows that were raised after it appeared.
    if (message == WM_PAINT)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    return CallWindowProcA(tooltip_next_proc, window, message, wparam, lparam);
}
