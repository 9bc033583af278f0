#include "toolkit/events.h"
#include "toolkit/sizing.h"
#include "toolkit/windows.h"

static EventState &events = window_library.events;

// Class names are compared on their first four bytes, case-sensitively; an
// unreadable name is empty and matches nothing.
static bool has_prefix(const char *name, const char prefix[5]) {
    for (int i = 0; i < 4; i++)
        if (name[i] != prefix[i]) return false;
    return true;
}

static void read_control_class(HWND control) {
    events.control_class_name[0] = 0;
    GetClassNameA(control, events.control_class_name, sizeof events.control_class_name);
}

HWND top_level_ancestor(HWND window) {
    for (HWND parent = GetParent(window); parent; parent = GetParent(window))
        window = parent;
    return window;
}

HACCEL find_accelerator_table(HWND window) {
    if ((GetKeyState(VK_TAB) & 0x80) && !(GetKeyState(VK_CONTROL) & 0x80) &&
        !(GetKeyState(VK_SHIFT) & 0x80) && !(GetKeyState(VK_MENU) & 0x80)) {
        // Rich edit controls take a plain Tab themselves.
        char name[5] = {0};
        GetClassNameA(GetFocus(), name, sizeof name);
        if (has_prefix(name, "Rich")) return 0;
    }
    if (!window) return 0;
    ObjectRegistry *registry = &window_library.window_registry;
    for (DynamicObjectNode *node = registry->dynamic_list; node; node = node->next)
        if (node->slot.handle == window) return node->slot.accel_table;
    if (registry->slots)
        for (int32_t n = 0; n < registry->capacity; n++)
            if (registry->slots[n].handle == window) return registry->slots[n].accel_table;
    return 0;
}

int32_t tk_wait_event() {
    events.event_type = TYPE_NONE;
    if (events.pending_code) {
        int32_t code = events.pending_code;
        events.event_window = events.pending_window;
        events.pending_code = 0;
        events.recorded_code = 0;
        return code;
    }
    // Nothing was retrieved: dispatching `retrieved` would hand the previous
    // message out a second time, a typed key twice.
    if (GetMessageA(&events.retrieved, 0, 0, 0) == -1) return EVENT_FAILED;
    // Kept apart from `retrieved`, which a wait nested in the dispatch
    // would overwrite.
    MSG own = events.retrieved;
    events.active_window = GetActiveWindow();
    HACCEL table = find_accelerator_table(events.active_window);
    if (!table || !TranslateAcceleratorA(events.active_window, table, &events.retrieved)) {
        TranslateMessage(&events.retrieved);
        DispatchMessageA(&events.retrieved);
    }
    int32_t result = events.recorded_code;
    if (result == 0) {
        result = (int32_t)own.message;
        events.event_wparam = own.wParam;
        events.event_lparam = own.lParam;
    }
    events.recorded_code = 0;
    return result;
}

LRESULT CALLBACK tk_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = tk_translate_message(window, message, wparam, lparam);
    if (result == NOT_HANDLED) return DefWindowProcA(window, message, wparam, lparam);
    return result;
}

static void record_gadget_from_top(intptr_t gadget) {
    events.recorded_code = EVENT_GADGET;
    events.event_gadget = gadget;
    events.event_window = top_level_ancestor(events.event_window);
}

static LRESULT translate_notification(const NMHDR *header) {
    if (!header) return 0;
    read_control_class(header->hwndFrom);
    const char *name = events.control_class_name;
    UINT code = header->code;
    if (has_prefix(name, "SysT") || has_prefix(name, "SysL")) {
        switch (code) {
        case NM_CLICK: events.event_type = TYPE_LEFT_CLICK; break;
        case NM_DBLCLK: events.event_type = TYPE_LEFT_DOUBLE_CLICK; break;
        case NM_RCLICK: events.event_type = TYPE_RIGHT_CLICK; break;
        case NM_RDBLCLK: events.event_type = TYPE_RIGHT_DOUBLE_CLICK; break;
        case LVN_ITEMACTIVATE: events.event_type = TYPE_LEFT_DOUBLE_CLICK; break;
        default: break;
        }
        if (events.event_type != TYPE_NONE || code == TVN_SELCHANGEDA || code == LVN_ITEMCHANGED) {
            record_gadget_from_top((intptr_t)header->idFrom);
            return 0;
        }
    }
    if ((has_prefix(name, "SysD") && code == DTN_DATETIMECHANGE) ||
        (has_prefix(name, "SysM") && code == MCN_SELCHANGE)) {
        record_gadget_from_top((intptr_t)header->idFrom);
        return 0;
    }
    if (code == UDN_DELTAPOS) {
        record_gadget_from_top((intptr_t)header->idFrom);
        events.event_type = ((const NMUPDOWN *)header)->iDelta;
    }
    return 0;
}

static LRESULT translate_control_command(WPARAM wparam, HWND control) {
    events.recorded_code = EVENT_GADGET;
    events.event_type = HIWORD(wparam);
    events.event_gadget = control_identifier(control);
    if (events.event_gadget == -10000) {
        events.recorded_code = EVENT_MENU;
        events.event_gadget = LOWORD(wparam);
    }
    read_control_class(control);
    if (has_prefix(events.control_class_name, "List")) {
        if (events.event_type == LBN_SELCHANGE)
            events.event_type = TYPE_LEFT_CLICK;
        else if (events.event_type != LBN_DBLCLK)
            events.recorded_code = 0;
    }
    return 0;
}

static LRESULT translate_command(WPARAM wparam, LPARAM lparam) {
    if (lparam) return translate_control_command(wparam, (HWND)lparam);
    if (HIWORD(wparam) != 0) {
        // Only the accelerators' commands cycle the focus; a menu item with
        // the same identifier is an ordinary menu event.
        if (LOWORD(wparam) == CMD_FOCUS_NEXT) {
            tk_focus_next();
            return 0;
        }
        if (LOWORD(wparam) == CMD_FOCUS_PREVIOUS) {
            tk_focus_previous();
            return 0;
        }
    }
    events.recorded_code = EVENT_MENU;
    events.event_gadget = LOWORD(wparam);
    return HIWORD(wparam) ? (LRESULT)(wparam & ~(WPARAM)0xFFFF) : 0;
}

static LRESULT translate_icon_repost(WPARAM wparam, LPARAM lparam) {
    events.event_gadget = (intptr_t)wparam;
    switch (lparam) {
    case WM_LBUTTONUP: events.event_type = TYPE_LEFT_CLICK; break;
    case WM_RBUTTONUP: events.event_type = TYPE_RIGHT_CLICK; break;
    case WM_LBUTTONDBLCLK: events.event_type = TYPE_LEFT_DOUBLE_CLICK; break;
    case WM_RBUTTONDBLCLK: events.event_type = TYPE_RIGHT_DOUBLE_CLICK; break;
    default: events.recorded_code = 0; return 0;
    }
    events.recorded_code = EVENT_ICON;
    return 0;
}

static void store_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    events.event_window = window;
    events.event_message = message;
    events.event_wparam = wparam;
    events.event_lparam = lparam;
}

LRESULT tk_translate_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    store_message(window, message, wparam, lparam);
    LRESULT result = sizing_filter(window, message, wparam, lparam);
    if (result != NOT_HANDLED) return result;
    if (events.window_callback) {
        result = events.window_callback(window, message, wparam, lparam);
        if (result != CALLBACK_PASS) return result;
    }
    // The filter and the callback may have sent messages whose translations
    // overwrote the stored ones; this translation is about its own message.
    store_message(window, message, wparam, lparam);

    switch (message) {
    case WM_MOVE: events.recorded_code = EVENT_MOVE; return 0;
    case WM_SIZE:
        if (wparam == SIZE_MINIMIZED) return NOT_HANDLED;
        events.pending_code = EVENT_SIZE;
        events.pending_window = window;
        return (LRESULT)window;
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) {
            events.pending_code = EVENT_ACTIVATE;
            events.pending_window = window;
        }
        return 1;
    case WM_CLOSE: events.recorded_code = EVENT_CLOSE; return 0;
    case WM_NOTIFY: return translate_notification((const NMHDR *)lparam);
    case WM_COMMAND: return translate_command(wparam, lparam);
    case WM_HSCROLL:
    case WM_VSCROLL: record_gadget_from_top(control_identifier((HWND)lparam)); return 0;
    case MSG_ICON_CALLBACK: PostMessageA(window, MSG_ICON_REPOST, wparam, lparam); return 0;
    case MSG_ICON_REPOST: return translate_icon_repost(wparam, lparam);
    case MSG_GADGET_FOCUS:
        events.recorded_code = EVENT_GADGET;
        events.event_gadget = (intptr_t)wparam;
        events.event_type = (int32_t)lparam;
        return lparam;
    default: return NOT_HANDLED;
    }
}
