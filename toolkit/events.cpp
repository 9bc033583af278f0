#include "toolkit/events.h"

HWND top_level_ancestor(HWND window) {
    for (HWND parent = GetParent(window); parent; parent = GetParent(window))
        window = parent;
    return window;
}
