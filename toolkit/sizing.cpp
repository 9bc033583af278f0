#include "toolkit/sizing.h"
#include "toolkit/events.h"

SizingState sizing_state;
int32_t sizing_active;
HWND sizing_window;

// Set while an end is under way: its own ReleaseCapture sends
// WM_CAPTURECHANGED back here, which must not end the sizing a second time.
static int32_t sizing_ending;

enum SizingEnd { END_KEEP, END_RESTORE, END_CAPTURE_LOST, END_DESTROYED };

static HCURSOR load_system_cursor(WORD cursor_id) {
    return (HCURSOR)LoadImageA(0, MAKEINTRESOURCEA(cursor_id), IMAGE_CURSOR, 0, 0,
                               LR_SHARED | LR_DEFAULTSIZE);
}

void set_sizing_cursor(WORD cursor_id, int x, int y) {
    SetCursorPos(x, y);
    SetCursor(load_system_cursor(cursor_id));
}

void move_window_to_rect(HWND window, RECT r) {
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(0, GetParent(window), (POINT *)&r, 2);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void apply_sizing_point(int x, int y) {
    RECT &r = sizing_state.rect;
    const POINT &min = sizing_state.limits.ptMinTrackSize;
    const POINT &max = sizing_state.limits.ptMaxTrackSize;
    int32_t edge = sizing_state.edge;
    if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT) {
        r.left = edge == WMSZ_TOPLEFT ? x - 2 : x;
        if (r.right - r.left < min.x)
            r.left = r.right - min.x;
        else if (r.right - r.left > max.x)
            r.left = r.right - max.x;
    }
    if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT) {
        r.right = x + 2;
        if (r.right - r.left < min.x)
            r.right = r.left + min.x;
        else if (r.right - r.left > max.x)
            r.right = r.left + max.x;
    }
    if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT) {
        r.top = edge == WMSZ_TOPLEFT ? y - 2 : y;
        if (r.bottom - r.top < min.y)
            r.top = r.bottom - min.y;
        else if (r.bottom - r.top > max.y)
            r.top = r.bottom - max.y;
    }
    if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT) {
        r.bottom = y + 2;
        if (r.bottom - r.top < min.y)
            r.bottom = r.top + min.y;
        else if (r.bottom - r.top > max.y)
            r.bottom = r.top + max.y;
    }
}

void step_sizing_cursor(HWND window, int x, int y) {
    SetCursorPos(x, y);
    apply_sizing_point(x, y);
    SendMessageA(window, WM_SIZING, (WPARAM)sizing_state.edge, (LPARAM)&sizing_state.rect);
    move_window_to_rect(window, sizing_state.rect);
}

static LRESULT begin_sizing(HWND window, WPARAM wparam) {
    // A failed query leaves the answer off, so the platform sizes the window.
    UINT drag_full = 0;
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &drag_full, 0);
    if (!drag_full) return NOT_HANDLED;

    SizingState &s = sizing_state;
    sizing_active = 1;
    sizing_window = window;
    // A sizing that ends inside the messages sent below must not put the
    // cursor back where an earlier keyboard sizing found it.
    s.from_keyboard = 0;
    s.edge = (int32_t)(wparam & 0xF);
    GetWindowRect(window, &s.rect);
    GetWindowRect(window, &s.start_rect);

    s.limits.ptReserved.x = 0;
    s.limits.ptReserved.y = 0;
    s.limits.ptMaxSize.x = GetSystemMetrics(SM_CXMAXIMIZED);
    s.limits.ptMaxSize.y = GetSystemMetrics(SM_CYMAXIMIZED);
    if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER) {
        s.limits.ptMaxPosition.x = GetSystemMetrics(SM_CXBORDER);
        s.limits.ptMaxPosition.y = GetSystemMetrics(SM_CYBORDER);
    } else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE) {
        s.limits.ptMaxPosition.x = GetSystemMetrics(SM_CXEDGE);
        s.limits.ptMaxPosition.y = GetSystemMetrics(SM_CYEDGE);
    } else {
        s.limits.ptMaxPosition.x = 0;
        s.limits.ptMaxPosition.y = 0;
    }
    s.limits.ptMinTrackSize.x = GetSystemMetrics(SM_CXMINTRACK);
    s.limits.ptMinTrackSize.y = GetSystemMetrics(SM_CYMINTRACK);
    s.limits.ptMaxTrackSize.x = GetSystemMetrics(SM_CXMAXTRACK);
    s.limits.ptMaxTrackSize.y = GetSystemMetrics(SM_CYMAXTRACK);

    SendMessageA(window, WM_GETMINMAXINFO, 0, (LPARAM)&s.limits);
    // The window's own handling may have ended the sizing (destroyed itself).
    if (!sizing_active || sizing_window != window) return 0;
    if (GetKeyState(VK_LBUTTON) == 0) {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        if (!sizing_active || sizing_window != window) return 0;
    }
    SetCapture(window);
    PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
    if (s.edge == 0) {
        s.from_keyboard = 1;
        GetCursorPos(&s.saved_cursor);
        SetCursor(load_system_cursor((WORD)(UINT_PTR)IDC_SIZEALL));
    } else {
        s.from_keyboard = 0;
    }
    return 0;
}

static void end_sizing(HWND window, SizingEnd how) {
    sizing_ending = 1;
    if (how == END_KEEP || how == END_RESTORE)
        ReleaseCapture();
    else if (how == END_DESTROYED && GetCapture() == window)
        ReleaseCapture();
    if (how == END_RESTORE) move_window_to_rect(window, sizing_state.start_rect);
    // A window being destroyed would never retrieve the notice.
    if (how != END_DESTROYED) PostMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    sizing_active = 0;
    sizing_window = 0;
    sizing_ending = 0;
    if (sizing_state.from_keyboard)
        SetCursorPos(sizing_state.saved_cursor.x, sizing_state.saved_cursor.y);
}

static void arrow_key(HWND window, WPARAM key) {
    POINT p;
    GetCursorPos(&p);
    const RECT &r = sizing_state.rect;
    int32_t &edge = sizing_state.edge;
    const WORD WE = (WORD)(UINT_PTR)IDC_SIZEWE, NS = (WORD)(UINT_PTR)IDC_SIZENS;
    const WORD NWSE = (WORD)(UINT_PTR)IDC_SIZENWSE, NESW = (WORD)(UINT_PTR)IDC_SIZENESW;

    // Choosing a side or corner puts the cursor on its edge point, which
    // applying leaves the rectangle unchanged.
    switch (edge) {
    case 0:
        switch (key) {
        case VK_LEFT:
            edge = WMSZ_LEFT;
            set_sizing_cursor(WE, r.left, p.y);
            return;
        case VK_UP:
            edge = WMSZ_TOP;
            set_sizing_cursor(NS, p.x, r.top);
            return;
        case VK_RIGHT:
            edge = WMSZ_RIGHT;
            set_sizing_cursor(WE, r.right - 2, p.y);
            return;
        case VK_DOWN:
            edge = WMSZ_BOTTOM;
            set_sizing_cursor(NS, p.x, r.bottom - 2);
            return;
        }
        return;
    case WMSZ_LEFT:
        if (key == VK_UP) {
            edge = WMSZ_TOPLEFT;
            set_sizing_cursor(NWSE, r.left + 2, r.top + 2);
            return;
        }
        if (key == VK_DOWN) {
            edge = WMSZ_BOTTOMLEFT;
            set_sizing_cursor(NESW, r.left, r.bottom - 2);
            return;
        }
        break;
    case WMSZ_RIGHT:
        if (key == VK_UP) {
            edge = WMSZ_TOPRIGHT;
            set_sizing_cursor(NESW, r.right - 2, r.top);
            return;
        }
        if (key == VK_DOWN) {
            edge = WMSZ_BOTTOMRIGHT;
            set_sizing_cursor(NWSE, r.right - 2, r.bottom - 2);
            return;
        }
        break;
    case WMSZ_TOP:
        if (key == VK_LEFT) {
            edge = WMSZ_TOPLEFT;
            set_sizing_cursor(NWSE, r.left + 2, r.top + 2);
            return;
        }
        if (key == VK_RIGHT) {
            edge = WMSZ_TOPRIGHT;
            set_sizing_cursor(NESW, r.right - 2, r.top);
            return;
        }
        break;
    case WMSZ_BOTTOM:
        if (key == VK_LEFT) {
            edge = WMSZ_BOTTOMLEFT;
            set_sizing_cursor(NESW, r.left, r.bottom - 2);
            return;
        }
        if (key == VK_RIGHT) {
            edge = WMSZ_BOTTOMRIGHT;
            set_sizing_cursor(NWSE, r.right - 2, r.bottom - 2);
            return;
        }
        break;
    }
    switch (key) {
    case VK_LEFT: step_sizing_cursor(window, p.x - 10, p.y); break;
    case VK_UP: step_sizing_cursor(window, p.x, p.y - 10); break;
    case VK_RIGHT: step_sizing_cursor(window, p.x + 10, p.y); break;
    case VK_DOWN: step_sizing_cursor(window, p.x, p.y + 10); break;
    }
}

LRESULT sizing_filter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!sizing_active) {
        if (message != WM_SYSCOMMAND || (wparam & 0xFFF0) != SC_SIZE) return NOT_HANDLED;
        return begin_sizing(window, wparam);
    }

    // The end of a sizing concerns only the window being sized.
    if (window != sizing_window || sizing_ending) return NOT_HANDLED;
    switch (message) {
    case WM_MOUSEMOVE: {
        sizing_state.from_keyboard = 0;
        POINT pt = {(short)LOWORD(lparam), (short)HIWORD(lparam)};
        MapWindowPoints(window, 0, &pt, 1);
        apply_sizing_point(pt.x, pt.y);
        SendMessageA(window, WM_SIZING, (WPARAM)sizing_state.edge, (LPARAM)&sizing_state.rect);
        move_window_to_rect(window, sizing_state.rect);
        return 0;
    }
    case WM_KEYDOWN:
        switch (wparam) {
        case VK_RETURN: end_sizing(window, END_KEEP); return 0;
        case VK_ESCAPE: end_sizing(window, END_RESTORE); return 0;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: arrow_key(window, wparam); return NOT_HANDLED;
        }
        return NOT_HANDLED;
    case WM_LBUTTONUP: end_sizing(window, END_KEEP); return 0;
    case WM_CAPTURECHANGED:
        // Still ours when the capture merely moved to the same window.
        if ((HWND)lparam != window) end_sizing(window, END_CAPTURE_LOST);
        return NOT_HANDLED;
    case WM_DESTROY:
    case WM_NCDESTROY: end_sizing(window, END_DESTROYED); return NOT_HANDLED;
    }
    return NOT_HANDLED;
}
