// Event retrieval and translation: platform messages in, toolkit events out.
#pragma once
#include "toolkit/toolkit.h"

// Window-procedure sentinels.
const LRESULT NOT_HANDLED = (LRESULT)0xD0D0D0D1u;
const LRESULT CALLBACK_PASS = (LRESULT)0xE0E0E0E1u;

// Private window messages.
enum : UINT {
    MSG_ICON_CALLBACK = 12501,
    MSG_ICON_REPOST = 12502,
    MSG_GADGET_FOCUS = 13103,
};

// Accelerator commands.
enum : WORD {
    CMD_FOCUS_NEXT = 1212,
    CMD_FOCUS_PREVIOUS = 1213,
};

struct EventState {
    int32_t recorded_code; // recorded since the last wait ended; 0: none
    int32_t event_type;
    HWND event_window;
    intptr_t event_gadget;
    UINT event_message;
    WPARAM event_wparam;
    LPARAM event_lparam;
    WNDPROC window_callback; // never set by this program
    MSG retrieved;
    HWND active_window;
    int32_t pending_code; // returned by the next wait without retrieving
    HWND pending_window;
    char control_class_name[50];
};

LRESULT CALLBACK tk_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT tk_translate_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
HACCEL find_accelerator_table(HWND window);
HWND top_level_ancestor(HWND window);
