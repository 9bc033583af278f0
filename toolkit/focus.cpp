#include "toolkit/focus.h"

FocusCycle focus_cycle;

// A window the focus may stop at: enabled, visible and a tab stop.
static bool is_candidate(HWND window) {
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP);
}

BOOL CALLBACK visit_next_candidate(HWND window, LPARAM start) {
    if (!is_candidate(window)) return TRUE;
    if (focus_cycle.start_passed) {
        focus_cycle.start_passed = 0;
        SetFocus(window);
        return FALSE;
    }
    if (!start) {
        SetFocus(window);
        return FALSE;
    }
    if (window == (HWND)start) focus_cycle.start_passed = 1;
    return TRUE;
}

BOOL CALLBACK visit_previous_candidate(HWND window, LPARAM start) {
    if (!is_candidate(window)) return TRUE;
    if (window == (HWND)start && focus_cycle.previous_candidate) {
        HWND previous = focus_cycle.previous_candidate;
        focus_cycle.previous_done = 1;
        focus_cycle.previous_candidate = window;
        SetFocus(previous);
        return FALSE;
    }
    focus_cycle.previous_candidate = window;
    return TRUE;
}

void tk_focus_next() {
    focus_cycle.cycle_start = 0;
    focus_cycle.start_passed = 0;
    HWND active = GetActiveWindow();
    // Without an active window EnumChildWindows would walk every top-level
    // window of the desktop instead of a window's controls.
    if (!active) return;
    HWND focus = GetFocus();
    // A focus window that is no candidate is never met by the walk, so it
    // counts as no start at all: the first candidate takes the focus, as the
    // last one does for Shift+Tab.
    if (IsChild(active, focus) && is_candidate(focus)) focus_cycle.cycle_start = focus;
    EnumChildWindows(active, visit_next_candidate, (LPARAM)focus_cycle.cycle_start);
    // The walk reached the start with no candidate after it: wrap around.
    if (focus_cycle.start_passed)
        EnumChildWindows(active, visit_next_candidate, (LPARAM)focus_cycle.cycle_start);
}

void tk_focus_previous() {
    HWND active = GetActiveWindow();
    HWND focus = GetFocus();
    focus_cycle.previous_candidate = 0;
    focus_cycle.previous_done = 0;
    if (!active) return;
    HWND start = IsChild(active, focus) ? focus : 0;
    EnumChildWindows(active, visit_previous_candidate, (LPARAM)start);
    // The walk ended without moving the focus; it stopped on the last candidate.
    if (!focus_cycle.previous_done && focus_cycle.previous_candidate)
        SetFocus(focus_cycle.previous_candidate);
}
