#include "toolkit/windows.h"
#include <string.h>

WindowLibrary window_library;

static const char WINDOW_CLASS_PREFIX[] = "WindowClass_";

void tk_init_windows() {
    memset(&window_library, 0, sizeof window_library);
    init_registry(&window_library.window_registry, 10);

    WNDCLASSA *t = &window_library.window_class_template;
    t->style = CS_DBLCLKS;
    t->lpfnWndProc = tk_window_proc;
    t->hInstance = process_instance;
    t->hIcon = LoadIconA(process_instance, MAKEINTRESOURCEA(1));
    t->hCursor = LoadCursorA(0, IDC_ARROW);
    t->hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    t->lpszClassName = "TemplateClass";
    RegisterClassA(t);
    // From now on every registration copies the template under the name
    // that the buffer holds at the time.
    t->lpszClassName = window_library.class_name_buffer;
}

void format_class_name(intptr_t identifier) {
    char *out = window_library.class_name_buffer;
    memcpy(out, WINDOW_CLASS_PREFIX, sizeof WINDOW_CLASS_PREFIX - 1);
    format_decimal(identifier, out + sizeof WINDOW_CLASS_PREFIX - 1);
}

// The platform style for the toolkit's window flags, and what to do with
// the window besides creating it.
struct DecodedFlags {
    DWORD style;
    int centring; // 0 none, 1 screen, 2 active window
    bool maximise;
};

static DecodedFlags decode_window_flags(uint32_t flags) {
    DecodedFlags d = {0, 0, false};
    if (flags & WINDOW_CENTER_SCREEN) {
        flags &= ~WINDOW_CENTER_SCREEN;
        d.centring = 1;
    }
    if (flags & WINDOW_CENTER_ACTIVE) {
        flags &= ~WINDOW_CENTER_ACTIVE;
        d.centring = 2;
    }
    if (flags == 0 || flags == WINDOW_HIDDEN) flags |= WS_CAPTION;
    if (flags & WINDOW_HIDDEN) {
        flags &= ~WINDOW_HIDDEN;
    } else {
        flags |= WS_VISIBLE;
        d.maximise = (flags & WS_MAXIMIZE) != 0;
    }
    d.style = flags;
    return d;
}

static void centre_on_screen(int outer_width, int outer_height, int *x, int *y) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN);
    int screen_height = GetSystemMetrics(SM_CYSCREEN);
    int w = outer_width < screen_width ? outer_width : screen_width;
    int h = outer_height < screen_height ? outer_height : screen_height;
    *x = screen_width / 2 - w / 2;
    *y = screen_height / 2 - h / 2;
}

static void centre_on_active(int outer_width, int outer_height, int *x, int *y) {
    HWND active = GetActiveWindow();
    RECT r;
    if (!active || !GetWindowRect(active, &r)) {
        centre_on_screen(outer_width, outer_height, x, y);
        return;
    }
    *x = r.left - outer_width / 2 + (r.right - r.left) / 2;
    *y = r.top - outer_height / 2 + (r.bottom - r.top) / 2;
    if (*x < 0) *x = 0;
    if (*y < 0) *y = 0;
}

intptr_t tk_open_window(intptr_t number, int x, int y, int width, int height, uint32_t flags,
                        const char *title, HWND owner) {
    ObjectRegistry *registry = &window_library.window_registry;
    ObjectSlot *slot = reserve_slot(registry, number);
    if (!slot) return 0;
    intptr_t identifier = number;
    if (number == ANY_NUMBER) {
        identifier = (intptr_t)slot;
    } else {
        tk_close_window(number);
        // Closing runs window procedures; take the slot afresh in case the
        // array moved meanwhile.
        slot = &registry->slots[number];
    }
    format_class_name(identifier);
    RegisterClassA(&window_library.window_class_template);

    DecodedFlags decoded = decode_window_flags(flags);
    RECT r = {x, y, x + width, y + height};
    AdjustWindowRect(&r, decoded.style, FALSE);
    int outer_width = r.right - r.left;
    int outer_height = r.bottom - r.top;
    if (decoded.centring == 1) centre_on_screen(outer_width, outer_height, &x, &y);
    if (decoded.centring == 2) centre_on_active(outer_width, outer_height, &x, &y);

    HWND handle = CreateWindowExA(0, window_library.class_name_buffer, title, decoded.style, x, y,
                                  outer_width, outer_height, owner, 0, process_instance, 0);
    if (number != ANY_NUMBER) slot = &registry->slots[number];
    slot->handle = handle;
    if (!handle) {
        // Leave nothing behind: no class, and no node for ANY_NUMBER.
        format_class_name(identifier);
        UnregisterClassA(window_library.class_name_buffer, process_instance);
        release_slot(registry, identifier);
        return 0;
    }
    window_library.current_window = handle;
    if (decoded.maximise) ShowWindow(handle, SW_MAXIMIZE);
    create_accelerators(identifier);
    return number == ANY_NUMBER ? identifier : (intptr_t)handle;
}

HWND tk_current_window() {
    return window_library.current_window;
}

void create_accelerators(intptr_t identifier) {
    ObjectSlot *slot = find_slot(&window_library.window_registry, identifier).slot;
    if (!slot) return;
    ACCEL *entries = (ACCEL *)HeapAlloc(main_heap, 0, 2 * sizeof(ACCEL));
    if (!entries) return;
    entries[0].fVirt = FVIRTKEY | FNOINVERT;
    entries[0].key = VK_TAB;
    entries[0].cmd = CMD_FOCUS_NEXT;
    entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
    entries[1].key = VK_TAB;
    entries[1].cmd = CMD_FOCUS_PREVIOUS;
    slot->accel_count = 2;
    slot->accel_entries = entries;
    slot->accel_table = CreateAcceleratorTableA(entries, 2);
}

void tk_close_window(intptr_t identifier) {
    ObjectRegistry *registry = &window_library.window_registry;
    HWND handle = find_slot(registry, identifier).readable->handle;
    if (!handle) return;
    HWND owner = GetWindow(handle, GW_OWNER);
    if (owner) SetActiveWindow(owner);
    DestroyWindow(handle);

    // The window procedures that ran meanwhile may have closed this window
    // themselves, or moved the array; look again.
    ObjectSlot *slot = find_slot(registry, identifier).slot;
    if (!slot || slot->handle != handle) return;
    format_class_name(identifier);
    UnregisterClassA(window_library.class_name_buffer, process_instance);
    if (slot->accel_count) {
        HeapFree(main_heap, 0, slot->accel_entries);
        DestroyAcceleratorTable(slot->accel_table);
        // A later window of this number must not find freed entries here.
        slot->accel_count = 0;
        slot->accel_entries = 0;
        slot->accel_table = 0;
    }
    release_slot(registry, identifier);
}

void tk_close_all_windows() {
    ObjectRegistry *registry = &window_library.window_registry;
    // Newest ANY_NUMBER window first. Start from the head each time: closing
    // one window may close others, so a saved next node could be gone.
    for (;;) {
        DynamicObjectNode *node = registry->dynamic_list;
        while (node && !node->slot.handle)
            node = node->next;
        if (!node) break;
        tk_close_window((intptr_t)&node->slot);
    }
    for (intptr_t n = registry->capacity - 1; n >= 0; n--)
        tk_close_window(n);
}
