#include "toolkit/windows.h"
WindowLibrary window_library;
void tk_init_windows() {}
void tk_close_all_windows() {}
