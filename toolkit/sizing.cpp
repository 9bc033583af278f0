#include "toolkit/sizing.h"
#include "toolkit/events.h"

SizingState sizing_state;
int32_t sizing_active;
HWND sizing_window;

// Set while an end is under way: its own ReleaseCapture sends
// WM_CAPTURECHANGED back here, which must not end the sizing a second time.
static int32_t sizing_ending;

enum SizingEnd { END_KEEP, END_RESTORE, END_CAPTURE_LOST, END_DESTROYED };

const WORD SIZE_WE = (WORD)(UINT_PTR)IDC_SIZEWE, SIZE_NS = (WORD)(UINT_PTR)IDC_SIZENS;
const WORD SIZE_NWSE = (WORD)(UINT_PTR)IDC_SIZENWSE, SIZE_NESW = (WORD)(UINT_PTR)IDC_SIZENESW;
const WORD SIZE_ALL = (WORD)(UINT_PTR)IDC_SIZEALL;

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
        SetCursor(load_system_cursor(SIZE_ALL));
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

struct EdgePoint {
    WORD cursor;
    POINT at;
};

// Where choosing a code puts the cursor, and the shape shown there: the point
// that apply_sizing_point maps back onto the rectangle unchanged. A side
// keeps the cursor's other coordinate.
static EdgePoint edge_point(int32_t code, POINT p) {
    const RECT &r = sizing_state.rect;
    switch (code) {
    case WMSZ_LEFT: return {SIZE_WE, {r.left, p.y}};
    case WMSZ_RIGHT: return {SIZE_WE, {r.right - 2, p.y}};
    case WMSZ_TOP: return {SIZE_NS, {p.x, r.top}};
    case WMSZ_BOTTOM: return {SIZE_NS, {p.x, r.bottom - 2}};
    case WMSZ_TOPLEFT: return {SIZE_NWSE, {r.left + 2, r.top + 2}};
    case WMSZ_TOPRIGHT: return {SIZE_NESW, {r.right - 2, r.top}};
    case WMSZ_BOTTOMLEFT: return {SIZE_NESW, {r.left, r.bottom - 2}};
    case WMSZ_BOTTOMRIGHT: return {SIZE_NWSE, {r.right - 2, r.bottom - 2}};
    }
    return {SIZE_ALL, p}; // no side chosen
}

// A cell either chooses a code (a side, or the corner between the chosen side
// and the arrow) or steps the cursor, and with it the edge, by 10 pixels.
const int32_t STEP = -1;
const int32_t ANY_OTHER_EDGE = -1;

struct ArrowRow {
    int32_t edge_now;
    int32_t cell[4]; // VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN
};

// clang-format off
static const ArrowRow ARROW_TABLE[] = {
    // edge now       Left             Up             Right             Down
    {0,              {WMSZ_LEFT,       WMSZ_TOP,      WMSZ_RIGHT,       WMSZ_BOTTOM}},
    {WMSZ_LEFT,      {STEP,            WMSZ_TOPLEFT,  STEP,             WMSZ_BOTTOMLEFT}},
    {WMSZ_RIGHT,     {STEP,            WMSZ_TOPRIGHT, STEP,             WMSZ_BOTTOMRIGHT}},
    {WMSZ_TOP,       {WMSZ_TOPLEFT,    STEP,          WMSZ_TOPRIGHT,    STEP}},
    {WMSZ_BOTTOM,    {WMSZ_BOTTOMLEFT, STEP,          WMSZ_BOTTOMRIGHT, STEP}},
    {ANY_OTHER_EDGE, {STEP,            STEP,          STEP,             STEP}}, // corners; 9 to 15
};
// clang-format on

// The cursor's move on a step: Left, Up, Right, Down.
static const POINT ARROW_STEP[4] = {{-10, 0}, {0, -10}, {10, 0}, {0, 10}};

// Choosing moves the cursor only: no WM_SIZING, no move.
static void arrow_key(HWND window, WPARAM key) {
    POINT p;
    GetCursorPos(&p);
    int column = (int)(key - VK_LEFT);
    const ArrowRow *row = ARROW_TABLE;
    while (row->edge_now != sizing_state.edge && row->edge_now != ANY_OTHER_EDGE)
        ++row;
    int32_t code = row->cell[column];
    if (code == STEP) {
        step_sizing_cursor(window, p.x + ARROW_STEP[column].x, p.y + ARROW_STEP[column].y);
        return;
    }
    sizing_state.edge = code;
    EdgePoint e = edge_point(code, p);
    set_sizing_cursor(e.cursor, e.at.x, e.at.y);
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
