// Numbered top-level windows, each with a class and Tab accelerators of its own.
#pragma once
#include "toolkit/events.h"
#include "toolkit/registry.h"

struct WindowLibrary {
    ObjectRegistry window_registry;
    EventState events;
    WNDCLASSA window_class_template;
    char class_name_buffer[100];
    HWND current_window;
};

extern WindowLibrary window_library;

void format_class_name(intptr_t identifier);
void create_accelerators(intptr_t identifier);
