// Tab and Shift+Tab: the keyboard focus moves through the tab stops of the
// active window, wrapping at either end.
#pragma once
#include "toolkit/toolkit.h"

struct FocusCycle {
    HWND cycle_start;
    int start_passed;
    HWND previous_candidate;
    int previous_done;
};

extern FocusCycle focus_cycle;

BOOL CALLBACK visit_next_candidate(HWND window, LPARAM start);
BOOL CALLBACK visit_previous_candidate(HWND window, LPARAM start);
