// Sizing a toolkit window by the toolkit itself, from mouse moves and arrow
// keys, while full-window dragging is on.
#pragma once
#include "toolkit/toolkit.h"

struct SizingState {
    MINMAXINFO limits;
    int32_t edge; // WMSZ_ code; 0: keyboard start, nothing chosen
    RECT start_rect;
    RECT rect; // screen coordinates; WM_SIZING points here
    POINT saved_cursor;
    int32_t from_keyboard;
};

extern SizingState sizing_state;
extern int32_t sizing_active;
extern HWND sizing_window; // the window being sized while active

// 0 when the message was consumed, otherwise NOT_HANDLED.
LRESULT sizing_filter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void set_sizing_cursor(WORD cursor_id, int x, int y);
void step_sizing_cursor(HWND window, int x, int y);
void apply_sizing_point(int x, int y);
void move_window_to_rect(HWND window, RECT r);
