#include "toolkit/focus.h"

FocusCycle focus_cycle;

// Not wired yet: Tab and Shift+Tab leave the focus where it is.
void tk_focus_next() {}
void tk_focus_previous() {}
