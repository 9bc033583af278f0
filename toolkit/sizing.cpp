#include "toolkit/sizing.h"
#include "toolkit/events.h"

SizingState sizing_state;
int32_t sizing_active;
HWND sizing_window;

// Not wired yet: every message goes on to the translation.
LRESULT sizing_filter(HWND, UINT, WPARAM, LPARAM) { return NOT_HANDLED; }
