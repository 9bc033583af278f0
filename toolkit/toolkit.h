// The window toolkit as the application sees it: windows and gadgets named
// by number, and events. Everything internal (registries, EventState, the
// library states) is in the units' own headers.
#pragma once
#include "platform/platform.h"

// Asks the toolkit to choose an identifier when creating an object.
const intptr_t ANY_NUMBER = -1;

// Window flags: a Win32 style in which three bits mean something of our own.
const uint32_t WINDOW_CENTER_SCREEN = 0x1;
const uint32_t WINDOW_CENTER_ACTIVE = 0x2;
const uint32_t WINDOW_HIDDEN = 0x10000000; // the WS_VISIBLE bit, opposite sense

// Field flag: no client edge.
const uint32_t FIELD_BORDERLESS = 0x20000;

// Event codes returned by tk_wait_event (any other value is the number of a
// platform message that made no event).
enum : int32_t {
    EVENT_FAILED = -1, // the platform could not deliver a message
    EVENT_NONE = 0,
    EVENT_MOVE = 3,
    EVENT_SIZE = 5,
    EVENT_CLOSE = 16,
    EVENT_GADGET = 13100,
    EVENT_MENU = 13101,
    EVENT_ICON = 13102,
    EVENT_ACTIVATE = 13104,
};

// Event types.
enum : int32_t {
    TYPE_NONE = -1,
    TYPE_LEFT_CLICK = 0,
    TYPE_RIGHT_CLICK = 1,
    TYPE_LEFT_DOUBLE_CLICK = 2,
    TYPE_RIGHT_DOUBLE_CLICK = 3,
    TYPE_FOCUS = 14000,
    TYPE_LOST_FOCUS = 14001,
};

// Object heap for the nodes of ANY_NUMBER objects; the main heap must exist.
bool create_object_heap();
void destroy_object_heap();

// Windows.
void tk_init_windows();
// Returns 0 on failure, the identifier for ANY_NUMBER, else the window handle.
intptr_t tk_open_window(intptr_t number, int x, int y, int width, int height, uint32_t flags,
                        const char *title, HWND owner = 0);
HWND tk_current_window();
void tk_close_window(intptr_t identifier);
void tk_close_all_windows();

// Events.
int32_t tk_wait_event();

// Gadgets.
void tk_init_gadgets();
HWND tk_begin_gadgets(HWND window);
// Return the control's handle, or the identifier for ANY_NUMBER.
intptr_t tk_create_label(intptr_t number, int x, int y, int width, int height, const char *text);
intptr_t tk_create_field(intptr_t number, int x, int y, int width, int height, const char *text,
                         uint32_t flags = 0);
// Writes the text at the text work buffer's cursor; returns the new cursor.
char *tk_get_text(intptr_t number);
intptr_t tk_set_text(intptr_t number, const char *text);
intptr_t tk_free_gadget(intptr_t number);
intptr_t tk_set_tooltip(intptr_t number, const char *text);

// Focus cycling (Tab and Shift+Tab).
void tk_focus_next();
void tk_focus_previous();
