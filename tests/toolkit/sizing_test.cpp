// Keyboard and mouse sizing of toolkit windows, against real windows: what
// the sizing sends to the window, where the window and the cursor end up.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "tests/support/toolkit_env.h"
#include "toolkit/events.h"
#include "toolkit/sizing.h"

bool operator==(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool operator==(const POINT &a, const POINT &b) {
    return a.x == b.x && a.y == b.y;
}
void PrintTo(const RECT &r, std::ostream *os) {
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
void PrintTo(const POINT &p, std::ostream *os) {
    *os << "(" << p.x << "," << p.y << ")";
}

namespace {

// One message that reached a sized window's procedure.
struct Seen {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    RECT rect; // WM_SIZING: the rectangle as it arrived
};
std::vector<Seen> seen;

// What the windows' own handling does.
struct Handling {
    bool limits; // WM_GETMINMAXINFO from the sizing: set the track sizes below
    POINT min_track;
    POINT max_track;
    int sizing_calls; // WM_SIZING: how many of them to change
    int widen_left;   // ... by moving the left side this far out
    HWND doomed;      // destroys itself when the sizing asks for its limits
};
Handling handling;

// Subclasses a toolkit window: records, hands on to the toolkit's window
// procedure, then plays the window's own part.
LRESULT CALLBACK sized_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Only the sizing's own request for the limits; MoveWindow asks too.
    bool own_limits = message == WM_GETMINMAXINFO && lparam == (LPARAM)&sizing_state.limits;
    if (own_limits || message == WM_LBUTTONDOWN || message == WM_SIZING ||
        message == WM_ENTERSIZEMOVE || message == WM_EXITSIZEMOVE) {
        Seen s = {window, message, wparam, lparam, {}};
        if (message == WM_SIZING) s.rect = *(RECT *)lparam;
        seen.push_back(s);
    }
    WNDPROC next = (WNDPROC)GetWindowLongPtrA(window, GWLP_USERDATA);
    LRESULT result = CallWindowProcA(next, window, message, wparam, lparam);
    if (own_limits && handling.limits) {
        MINMAXINFO *info = (MINMAXINFO *)lparam;
        info->ptMinTrackSize = handling.min_track;
        info->ptMaxTrackSize = handling.max_track;
    }
    if (own_limits && window == handling.doomed) DestroyWindow(window);
    if (message == WM_SIZING && handling.sizing_calls > 0) {
        handling.sizing_calls--;
        ((RECT *)lparam)->left -= handling.widen_left;
        result = TRUE;
    }
    return result;
}

void record(HWND window) {
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)sized_window_proc));
}

std::string names(const std::vector<Seen> &list) {
    std::string out;
    for (const Seen &s : list) {
        if (!out.empty()) out += " ";
        switch (s.message) {
        case WM_GETMINMAXINFO: out += "GETMINMAXINFO"; break;
        case WM_LBUTTONDOWN: out += "LBUTTONDOWN"; break;
        case WM_SIZING: out += "SIZING" + std::to_string(s.wparam); break;
        case WM_ENTERSIZEMOVE: out += "ENTERSIZEMOVE"; break;
        case WM_EXITSIZEMOVE: out += "EXITSIZEMOVE"; break;
        default: out += std::to_string(s.message);
        }
    }
    return out;
}

std::string seen_names() {
    std::string out = names(seen);
    seen.clear();
    return out;
}

RECT window_rect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}
POINT cursor() {
    POINT p;
    GetCursorPos(&p);
    return p;
}
RECT shifted(RECT r, int dl, int dt, int dr, int db) {
    return {r.left + dl, r.top + dt, r.right + dr, r.bottom + db};
}

// Delivers the posted sizing notices (and nothing else: mouse moves that
// the platform queues for cursor changes stay in the queue).
void deliver_notices() {
    MSG msg;
    while (PeekMessageA(&msg, 0, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE, PM_REMOVE))
        DispatchMessageA(&msg);
}

void set_left_button_state(BYTE state) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_LBUTTON] = state;
    SetKeyboardState(keys);
}

const RECT HOME = {100, 100, 500, 400};
const POINT INSIDE = {300, 250};

// Two sizable toolkit windows serve every case (Wine without a window
// manager can wait seconds for a managed top-level window to go away).
class Sizing : public ::testing::Test {
  protected:
    static HWND top, other;
    static BOOL drag_full_before;

    static void SetUpTestSuite() {
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &drag_full_before, 0);
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, 0, 0);
        restart_toolkit_for_tests();
        const uint32_t sizable = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        top = (HWND)tk_open_window(1, 100, 100, 300, 200, sizable, "sized");
        other = (HWND)tk_open_window(2, 600, 100, 300, 200, sizable, "other");
        if (top) record(top);
        if (other) record(other);
    }
    static void TearDownTestSuite() {
        tk_close_all_windows();
        pump_messages();
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, drag_full_before, 0, 0);
    }

    void SetUp() override {
        ASSERT_NE(top, nullptr);
        ASSERT_NE(other, nullptr);
        BOOL on = FALSE;
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0);
        ASSERT_TRUE(on);
        set_left_button_state(0);
        MoveWindow(top, HOME.left, HOME.top, HOME.right - HOME.left, HOME.bottom - HOME.top, TRUE);
        MoveWindow(other, 600, 100, 300, 250, TRUE);
        SetCursorPos(INSIDE.x, INSIDE.y);
        pump_messages();
        ASSERT_EQ(window_rect(top), HOME);
        ASSERT_EQ(cursor(), INSIDE);
        handling = Handling();
        seen.clear();
    }

    void TearDown() override {
        // A case that failed half-way must not leave a sizing behind.
        if (sizing_active) sizing_filter(sizing_window, WM_KEYDOWN, VK_ESCAPE, 0);
        set_left_button_state(0);
        pump_messages();
    }

    static LRESULT key(WPARAM vk, HWND window = top) {
        return sizing_filter(window, WM_KEYDOWN, vk, 0);
    }
    static LRESULT request(WPARAM command, HWND window = top) {
        return sizing_filter(window, WM_SYSCOMMAND, command, 0);
    }
    // A mouse move to a client point of the window.
    static LRESULT mouse_at(int x, int y, HWND window = top) {
        return sizing_filter(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }

    // A keyboard start followed by the arrow keys that choose `edge`.
    void choose(int edge) {
        ASSERT_EQ(request(SC_SIZE), 0);
        switch (edge) {
        case WMSZ_LEFT: key(VK_LEFT); break;
        case WMSZ_RIGHT: key(VK_RIGHT); break;
        case WMSZ_TOP: key(VK_UP); break;
        case WMSZ_BOTTOM: key(VK_DOWN); break;
        case WMSZ_TOPLEFT:
            key(VK_LEFT);
            key(VK_UP);
            break;
        case WMSZ_TOPRIGHT:
            key(VK_RIGHT);
            key(VK_UP);
            break;
        case WMSZ_BOTTOMLEFT:
            key(VK_LEFT);
            key(VK_DOWN);
            break;
        case WMSZ_BOTTOMRIGHT:
            key(VK_RIGHT);
            key(VK_DOWN);
            break;
        }
        ASSERT_EQ(sizing_state.edge, edge);
        seen.clear();
    }

    // Escape, then checks the window is home and the sizing over.
    void escape_home() {
        EXPECT_EQ(key(VK_ESCAPE), 0);
        EXPECT_EQ(sizing_active, 0);
        EXPECT_EQ(window_rect(top), HOME);
        SetCursorPos(INSIDE.x, INSIDE.y);
        deliver_notices();
        seen.clear();
    }

    // An arrow key that must choose: edge and cursor change, the window and
    // rect do not, nothing is sent.
    void expect_choose(WPARAM vk, int edge, POINT at) {
        RECT before = sizing_state.rect;
        EXPECT_EQ(key(vk), NOT_HANDLED);
        EXPECT_EQ(sizing_state.edge, edge);
        EXPECT_EQ(cursor(), at);
        EXPECT_EQ(sizing_state.rect, before);
        EXPECT_EQ(window_rect(top), before);
        EXPECT_EQ(seen_names(), "");
    }

    // An arrow key that must step: the cursor moves 10 pixels, the window
    // receives WM_SIZING for the unchanged edge and takes `after`.
    void expect_step(WPARAM vk, int dx, int dy, RECT after) {
        POINT p = cursor();
        int edge = sizing_state.edge;
        EXPECT_EQ(key(vk), NOT_HANDLED);
        EXPECT_EQ(sizing_state.edge, edge);
        EXPECT_EQ(cursor(), (POINT{p.x + dx, p.y + dy}));
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].message, (UINT)WM_SIZING);
        EXPECT_EQ(seen[0].wparam, (WPARAM)edge);
        EXPECT_EQ(seen[0].lparam, (LPARAM)&sizing_state.rect);
        EXPECT_EQ(seen[0].rect, after);
        EXPECT_EQ(sizing_state.rect, after);
        EXPECT_EQ(window_rect(top), after);
        seen.clear();
    }
};

HWND Sizing::top;
HWND Sizing::other;
BOOL Sizing::drag_full_before;

TEST_F(Sizing, KeyboardStartAsksLimitsPressesTheButtonCapturesAndPostsTheEntry) {
    EXPECT_EQ(request(SC_SIZE), 0);
    EXPECT_EQ(sizing_active, 1);
    EXPECT_EQ(sizing_window, top);
    EXPECT_EQ(sizing_state.edge, 0);
    EXPECT_EQ(sizing_state.from_keyboard, 1);
    EXPECT_EQ(sizing_state.saved_cursor, INSIDE);
    EXPECT_EQ(sizing_state.rect, HOME);
    EXPECT_EQ(sizing_state.start_rect, HOME);
    EXPECT_EQ(GetCapture(), top);
    ASSERT_EQ(seen_names(), "GETMINMAXINFO LBUTTONDOWN");
    deliver_notices();
    EXPECT_EQ(seen_names(), "ENTERSIZEMOVE");
    EXPECT_EQ(cursor(), INSIDE); // the shape changes, not the place

    const MINMAXINFO &l = sizing_state.limits;
    EXPECT_EQ(l.ptMinTrackSize,
              (POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)}));
    EXPECT_EQ(l.ptMaxTrackSize,
              (POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)}));
    EXPECT_EQ(l.ptMaxSize,
              (POINT{GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)}));
    // The caption's WS_BORDER decides the maximised position.
    EXPECT_EQ(l.ptMaxPosition,
              (POINT{GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)}));
    escape_home();
}

TEST_F(Sizing, SyntheticButtonPressOnlyWhenTheButtonStateIsZero) {
    request(SC_SIZE | WMSZ_LEFT);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].message, (UINT)WM_LBUTTONDOWN);
    EXPECT_EQ(seen[1].wparam, (WPARAM)MK_LBUTTON);
    EXPECT_EQ(seen[1].lparam, 0);
    escape_home();

    for (BYTE state : {0x80, 0x01, 0x81}) {
        set_left_button_state(state);
        EXPECT_EQ(request(SC_SIZE | WMSZ_LEFT), 0);
        EXPECT_EQ(seen_names(), "GETMINMAXINFO") << "button state " << (int)state;
        EXPECT_EQ(GetCapture(), top);
        escape_home();
    }
}

TEST_F(Sizing, RequestWhileFullWindowDraggingIsOffIsLeftToThePlatform) {
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, 0, 0);
    LRESULT result = request(SC_SIZE | WMSZ_RIGHT);
    LRESULT keyboard = request(SC_SIZE);
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, 0, 0);
    EXPECT_EQ(result, NOT_HANDLED);
    EXPECT_EQ(keyboard, NOT_HANDLED);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(seen_names(), "");
    EXPECT_NE(GetCapture(), top);
    deliver_notices();
    EXPECT_EQ(seen_names(), "");
}

TEST_F(Sizing, OnlyTheSizeCommandFamilyStartsASizing) {
    for (WPARAM command :
         std::initializer_list<WPARAM>{SC_MOVE, SC_MOVE | 2, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE,
                                       SC_KEYMENU, (WPARAM)0xE000, (WPARAM)0xF0F0})
        EXPECT_EQ(request(command), NOT_HANDLED) << std::hex << command;
    // The size command as some other message.
    EXPECT_EQ(sizing_filter(top, WM_COMMAND, SC_SIZE, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(top, WM_KEYDOWN, VK_LEFT, 0), NOT_HANDLED);
    EXPECT_EQ(mouse_at(5, 5), NOT_HANDLED);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(seen_names(), "");
    EXPECT_EQ(window_rect(top), HOME);

    // Every low nibble belongs to the family.
    EXPECT_EQ(request(SC_SIZE | 0xF), 0);
    EXPECT_EQ(sizing_state.edge, 15);
    escape_home();
}

TEST_F(Sizing, MouseStartDragsTheSideFromTheCursorPointAlone) {
    POINT origin = {0, 0};
    ClientToScreen(top, &origin);
    ASSERT_EQ(request(SC_SIZE | WMSZ_LEFT), 0);
    EXPECT_EQ(sizing_state.from_keyboard, 0);
    seen.clear();
    // Left of the client area: a negative client x.
    EXPECT_EQ(mouse_at(-30, 40), 0);
    RECT after = {origin.x - 30, HOME.top, HOME.right, HOME.bottom};
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wparam, (WPARAM)WMSZ_LEFT);
    EXPECT_EQ(seen[0].rect, after);
    EXPECT_EQ(window_rect(top), after);
    seen.clear();
    POINT q = {-5, 0}; // the client origin has moved with the left side
    ClientToScreen(top, &q);
    EXPECT_EQ(mouse_at(-5, 0), 0);
    after.left = q.x;
    EXPECT_EQ(window_rect(top), after);
    EXPECT_EQ(cursor(), INSIDE); // mouse moves never place the cursor
    seen.clear();

    EXPECT_EQ(sizing_filter(top, WM_LBUTTONUP, 0, 0), 0);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_NE(GetCapture(), top);
    EXPECT_EQ(window_rect(top), after);
    EXPECT_EQ(cursor(), INSIDE);
    deliver_notices();
    EXPECT_EQ(seen_names(), "ENTERSIZEMOVE EXITSIZEMOVE");
}

TEST_F(Sizing, MouseStartAtTheBottomRightCornerMovesBothSidesPlusTwo) {
    ASSERT_EQ(request(SC_SIZE | WMSZ_BOTTOMRIGHT), 0);
    POINT p = {250, 200};
    POINT screen = p;
    ClientToScreen(top, &screen);
    EXPECT_EQ(mouse_at(p.x, p.y), 0);
    EXPECT_EQ(window_rect(top), (RECT{HOME.left, HOME.top, screen.x + 2, screen.y + 2}));
    EXPECT_EQ(sizing_filter(top, WM_LBUTTONUP, 0, 0), 0);
}

TEST_F(Sizing, ArrowsAfterAKeyboardStartChooseTheSidePointedTo) {
    const RECT &r = HOME;
    const POINT p = INSIDE;
    struct {
        WPARAM vk;
        int edge;
        POINT at;
    } rows[] = {
        {VK_LEFT, WMSZ_LEFT, {r.left, p.y}},
        {VK_UP, WMSZ_TOP, {p.x, r.top}},
        {VK_RIGHT, WMSZ_RIGHT, {r.right - 2, p.y}},
        {VK_DOWN, WMSZ_BOTTOM, {p.x, r.bottom - 2}},
    };
    for (auto &row : rows) {
        ASSERT_EQ(request(SC_SIZE), 0);
        seen.clear();
        expect_choose(row.vk, row.edge, row.at);
        escape_home();
    }
}

TEST_F(Sizing, ArrowsAcrossAChosenSideChooseTheCorner) {
    const RECT &r = HOME;
    struct {
        int side;
        WPARAM vk;
        int corner;
        POINT at;
    } rows[] = {
        {WMSZ_LEFT, VK_UP, WMSZ_TOPLEFT, {r.left + 2, r.top + 2}},
        {WMSZ_LEFT, VK_DOWN, WMSZ_BOTTOMLEFT, {r.left, r.bottom - 2}},
        {WMSZ_RIGHT, VK_UP, WMSZ_TOPRIGHT, {r.right - 2, r.top}},
        {WMSZ_RIGHT, VK_DOWN, WMSZ_BOTTOMRIGHT, {r.right - 2, r.bottom - 2}},
        {WMSZ_TOP, VK_LEFT, WMSZ_TOPLEFT, {r.left + 2, r.top + 2}},
        {WMSZ_TOP, VK_RIGHT, WMSZ_TOPRIGHT, {r.right - 2, r.top}},
        {WMSZ_BOTTOM, VK_LEFT, WMSZ_BOTTOMLEFT, {r.left, r.bottom - 2}},
        {WMSZ_BOTTOM, VK_RIGHT, WMSZ_BOTTOMRIGHT, {r.right - 2, r.bottom - 2}},
    };
    for (auto &row : rows) {
        choose(row.side);
        expect_choose(row.vk, row.corner, row.at);
        escape_home();
    }
}

// Once chosen, the side or corner follows the cursor: each step moves the
// cursor 10 pixels and the side(s) with it.
TEST_F(Sizing, ArrowsAlongAChosenSideStep) {
    const RECT &h = HOME;
    choose(WMSZ_LEFT);
    expect_step(VK_LEFT, -10, 0, shifted(h, -10, 0, 0, 0));
    expect_step(VK_RIGHT, 10, 0, h);
    expect_step(VK_RIGHT, 10, 0, shifted(h, 10, 0, 0, 0));
    escape_home();

    choose(WMSZ_RIGHT);
    expect_step(VK_RIGHT, 10, 0, shifted(h, 0, 0, 10, 0));
    expect_step(VK_LEFT, -10, 0, h);
    escape_home();

    choose(WMSZ_TOP);
    expect_step(VK_UP, 0, -10, shifted(h, 0, -10, 0, 0));
    expect_step(VK_DOWN, 0, 10, h);
    escape_home();

    choose(WMSZ_BOTTOM);
    expect_step(VK_DOWN, 0, 10, shifted(h, 0, 0, 0, 10));
    expect_step(VK_UP, 0, -10, h);
    escape_home();
}

TEST_F(Sizing, EveryArrowStepsOnceACornerIsChosen) {
    const RECT &h = HOME;
    choose(WMSZ_TOPLEFT);
    expect_step(VK_LEFT, -10, 0, shifted(h, -10, 0, 0, 0));
    expect_step(VK_UP, 0, -10, shifted(h, -10, -10, 0, 0));
    expect_step(VK_RIGHT, 10, 0, shifted(h, 0, -10, 0, 0));
    expect_step(VK_DOWN, 0, 10, h);
    escape_home();

    choose(WMSZ_TOPRIGHT);
    expect_step(VK_RIGHT, 10, 0, shifted(h, 0, 0, 10, 0));
    expect_step(VK_UP, 0, -10, shifted(h, 0, -10, 10, 0));
    expect_step(VK_LEFT, -10, 0, shifted(h, 0, -10, 0, 0));
    expect_step(VK_DOWN, 0, 10, h);
    escape_home();

    choose(WMSZ_BOTTOMLEFT);
    expect_step(VK_DOWN, 0, 10, shifted(h, 0, 0, 0, 10));
    expect_step(VK_LEFT, -10, 0, shifted(h, -10, 0, 0, 10));
    expect_step(VK_UP, 0, -10, shifted(h, -10, 0, 0, 0));
    expect_step(VK_RIGHT, 10, 0, h);
    escape_home();

    choose(WMSZ_BOTTOMRIGHT);
    expect_step(VK_DOWN, 0, 10, shifted(h, 0, 0, 0, 10));
    expect_step(VK_RIGHT, 10, 0, shifted(h, 0, 0, 10, 10));
    expect_step(VK_UP, 0, -10, shifted(h, 0, 0, 10, 0));
    expect_step(VK_LEFT, -10, 0, h);
    escape_home();
}

TEST_F(Sizing, EdgeCodesNineToFifteenMoveNothingButStillStepTheCursor) {
    for (int edge = 9; edge <= 15; ++edge) {
        ASSERT_EQ(request(SC_SIZE | edge), 0);
        seen.clear();
        expect_step(VK_LEFT, -10, 0, HOME);
        expect_step(VK_DOWN, 0, 10, HOME);
        EXPECT_EQ(mouse_at(1, 1), 0);
        EXPECT_EQ(seen_names(), "SIZING" + std::to_string(edge));
        EXPECT_EQ(window_rect(top), HOME);
        escape_home();
    }
}

TEST_F(Sizing, MouseMovesAfterAKeyboardStartKeepTheRectAndEndTheCursorReturn) {
    ASSERT_EQ(request(SC_SIZE), 0);
    seen.clear();
    EXPECT_EQ(mouse_at(7, 9), 0);
    EXPECT_EQ(seen_names(), "SIZING0");
    EXPECT_EQ(window_rect(top), HOME);
    EXPECT_EQ(sizing_state.from_keyboard, 0);
    // A side chosen now still follows the keys; the end leaves the cursor.
    key(VK_RIGHT);
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, 0, 0, 10, 0));
    POINT there = cursor();
    EXPECT_EQ(key(VK_RETURN), 0);
    EXPECT_EQ(cursor(), there);
    EXPECT_EQ(window_rect(top), shifted(HOME, 0, 0, 10, 0));
}

TEST_F(Sizing, EnterAfterAKeyboardStartPutsTheCursorBack) {
    ASSERT_EQ(request(SC_SIZE), 0);
    EXPECT_EQ(key(VK_RETURN), 0);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(cursor(), INSIDE);
    EXPECT_EQ(window_rect(top), HOME);
    deliver_notices();
    EXPECT_EQ(seen_names(), "GETMINMAXINFO LBUTTONDOWN ENTERSIZEMOVE EXITSIZEMOVE");

    // Keys alone keep the cursor's return: the new size stays, the cursor
    // goes back where it was when the sizing began.
    choose(WMSZ_BOTTOM);
    expect_step(VK_DOWN, 0, 10, shifted(HOME, 0, 0, 0, 10));
    EXPECT_EQ(key(VK_RETURN), 0);
    EXPECT_EQ(cursor(), INSIDE);
    EXPECT_EQ(window_rect(top), shifted(HOME, 0, 0, 0, 10));
    EXPECT_NE(GetCapture(), top);
}

TEST_F(Sizing, EscapeRestoresTheStartWithoutSizingMessage) {
    choose(WMSZ_BOTTOMRIGHT);
    key(VK_RIGHT);
    key(VK_DOWN);
    key(VK_DOWN);
    RECT stepped = shifted(HOME, 0, 0, 10, 20);
    ASSERT_EQ(window_rect(top), stepped);
    seen.clear();
    EXPECT_EQ(key(VK_ESCAPE), 0);
    EXPECT_EQ(window_rect(top), HOME);
    EXPECT_EQ(sizing_state.rect, stepped); // not reset
    EXPECT_EQ(sizing_active, 0);
    EXPECT_NE(GetCapture(), top);
    EXPECT_EQ(cursor(), INSIDE);
    deliver_notices();
    // One end, one notice: the end's own capture release ends nothing more.
    EXPECT_EQ(seen_names(), "ENTERSIZEMOVE EXITSIZEMOVE");
}

TEST_F(Sizing, OtherKeysAndMessagesDuringASizingPassOn) {
    choose(WMSZ_RIGHT);
    for (WPARAM vk : std::initializer_list<WPARAM>{VK_SPACE, VK_TAB, VK_HOME, (WPARAM)'A', VK_F4})
        EXPECT_EQ(key(vk), NOT_HANDLED) << vk;
    EXPECT_EQ(sizing_filter(top, WM_KEYUP, VK_RETURN, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(top, WM_CHAR, VK_ESCAPE, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(top, WM_RBUTTONUP, 0, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(top, WM_LBUTTONDOWN, 0, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(top, WM_PAINT, 0, 0), NOT_HANDLED);
    EXPECT_EQ(sizing_active, 1);
    EXPECT_EQ(sizing_state.edge, WMSZ_RIGHT);
    EXPECT_EQ(window_rect(top), HOME);
    EXPECT_EQ(seen_names(), "");
    escape_home();
}

TEST_F(Sizing, SecondRequestDuringASizingChangesNothing) {
    choose(WMSZ_LEFT);
    key(VK_LEFT);
    RECT stepped = shifted(HOME, -10, 0, 0, 0);
    POINT at = cursor();
    seen.clear();
    EXPECT_EQ(request(SC_SIZE | WMSZ_BOTTOM), NOT_HANDLED);
    EXPECT_EQ(request(SC_SIZE), NOT_HANDLED);
    EXPECT_EQ(request(SC_SIZE, other), NOT_HANDLED);
    EXPECT_EQ(seen_names(), "");
    EXPECT_EQ(sizing_state.edge, WMSZ_LEFT);
    EXPECT_EQ(sizing_state.start_rect, HOME);
    EXPECT_EQ(sizing_state.rect, stepped);
    EXPECT_EQ(sizing_state.saved_cursor, INSIDE);
    EXPECT_EQ(cursor(), at);
    EXPECT_EQ(GetCapture(), top);
    escape_home();
}

TEST_F(Sizing, TrackLimitsFromTheWindowHoldForTheWholeSizing) {
    handling.limits = true;
    handling.min_track = {380, 285};
    handling.max_track = {420, 315};
    choose(WMSZ_LEFT);
    EXPECT_EQ(sizing_state.limits.ptMinTrackSize, handling.min_track);
    // Narrower: the left side stops at the minimum width, the cursor does not.
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, 10, 0, 0, 0));
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, 20, 0, 0, 0));
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, 20, 0, 0, 0));
    EXPECT_EQ(cursor().x, HOME.left + 30);
    // Wider: back through and out to the maximum.
    expect_step(VK_LEFT, -10, 0, shifted(HOME, 20, 0, 0, 0));
    expect_step(VK_LEFT, -10, 0, shifted(HOME, 10, 0, 0, 0));
    expect_step(VK_LEFT, -10, 0, HOME);
    expect_step(VK_LEFT, -10, 0, shifted(HOME, -10, 0, 0, 0));
    expect_step(VK_LEFT, -10, 0, shifted(HOME, -20, 0, 0, 0));
    expect_step(VK_LEFT, -10, 0, shifted(HOME, -20, 0, 0, 0));
    escape_home();

    // Heights, through the bottom side, with the limits of a new sizing.
    handling.min_track = {300, 290};
    handling.max_track = {500, 310};
    choose(WMSZ_BOTTOM);
    expect_step(VK_UP, 0, -10, shifted(HOME, 0, 0, 0, -10));
    expect_step(VK_UP, 0, -10, shifted(HOME, 0, 0, 0, -10));
    expect_step(VK_DOWN, 0, 10, shifted(HOME, 0, 0, 0, -10));
    expect_step(VK_DOWN, 0, 10, HOME);
    expect_step(VK_DOWN, 0, 10, shifted(HOME, 0, 0, 0, 10));
    expect_step(VK_DOWN, 0, 10, shifted(HOME, 0, 0, 0, 10));
    escape_home();

    // A corner: both sides meet their limits independently.
    handling.min_track = {390, 200};
    handling.max_track = {600, 305};
    choose(WMSZ_TOPRIGHT);
    expect_step(VK_LEFT, -10, 0, shifted(HOME, 0, 0, -10, 0));
    expect_step(VK_LEFT, -10, 0, shifted(HOME, 0, 0, -10, 0));
    expect_step(VK_UP, 0, -10, shifted(HOME, 0, -5, -10, 0));
    escape_home();
}

// Limits that contradict each other: the minimum is tested first and wins.
TEST_F(Sizing, MinimumWinsOverAContradictingMaximum) {
    handling.limits = true;
    handling.min_track = {450, 350};
    handling.max_track = {350, 250};
    choose(WMSZ_BOTTOMRIGHT);
    expect_step(VK_RIGHT, 10, 0, {HOME.left, HOME.top, HOME.left + 450, HOME.top + 350});
    escape_home();
    choose(WMSZ_TOPLEFT);
    expect_step(VK_LEFT, -10, 0, {HOME.right - 450, HOME.bottom - 350, HOME.right, HOME.bottom});
    escape_home();
}

TEST_F(Sizing, WindowThatChangesTheRectIsMovedThereAndTheNextStepStartsFromIt) {
    handling.sizing_calls = 1;
    handling.widen_left = 7;
    choose(WMSZ_RIGHT);
    key(VK_RIGHT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rect, shifted(HOME, 0, 0, 10, 0)); // as it was sent
    RECT changed = shifted(HOME, -7, 0, 10, 0);
    EXPECT_EQ(sizing_state.rect, changed);
    EXPECT_EQ(window_rect(top), changed);
    seen.clear();
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, -7, 0, 20, 0));
    // Escape restores the start, not the changed rectangle.
    escape_home();
}

TEST_F(Sizing, ChildWindowIsMovedInItsParentsCoordinates) {
    HWND child = CreateWindowExA(0, "TemplateClass", "", WS_CHILD | WS_VISIBLE | WS_THICKFRAME, 20,
                                 30, 150, 100, top, 0, process_instance, 0);
    ASSERT_NE(child, nullptr);
    record(child);
    RECT start = window_rect(child);
    POINT client = {0, 0};
    ClientToScreen(top, &client);
    ASSERT_EQ(start.left, client.x + 20);

    ASSERT_EQ(request(SC_SIZE, child), 0);
    EXPECT_EQ(sizing_state.start_rect, start);
    EXPECT_EQ(key(VK_RIGHT, child), NOT_HANDLED);
    EXPECT_EQ(cursor(), (POINT{start.right - 2, INSIDE.y}));
    key(VK_RIGHT, child);
    key(VK_DOWN, child); // corner
    key(VK_DOWN, child);
    RECT stepped = shifted(start, 0, 0, 10, 10);
    EXPECT_EQ(sizing_state.rect, stepped); // screen coordinates
    EXPECT_EQ(window_rect(child), stepped);
    RECT in_parent = stepped;
    MapWindowPoints(0, top, (POINT *)&in_parent, 2);
    EXPECT_EQ(in_parent, (RECT{20, 30, 180, 140}));

    EXPECT_EQ(key(VK_ESCAPE, child), 0);
    EXPECT_EQ(window_rect(child), start);
    EXPECT_EQ(window_rect(top), HOME);
    DestroyWindow(child);
}

// The maximised position offered with the limits follows the window's frame.
TEST_F(Sizing, MaximisedPositionFollowsTheFrame) {
    struct {
        DWORD style, ex_style;
        POINT expected;
    } rows[] = {
        {WS_BORDER, 0, {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)}},
        {WS_BORDER | WS_THICKFRAME,
         WS_EX_WINDOWEDGE,
         {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)}},
        // The platform keeps the window-edge bit only on a window with a frame.
        {WS_THICKFRAME,
         WS_EX_WINDOWEDGE,
         {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)}},
        {WS_DLGFRAME, WS_EX_WINDOWEDGE, {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)}},
        {0, 0, {0, 0}},
    };
    for (auto &row : rows) {
        HWND child = CreateWindowExA(0, "TemplateClass", "", WS_CHILD | WS_VISIBLE | row.style, 20,
                                     30, 150, 100, top, 0, process_instance, 0);
        ASSERT_NE(child, nullptr);
        SetWindowLongA(child, GWL_EXSTYLE, row.ex_style);
        ASSERT_EQ((DWORD)GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_WINDOWEDGE, row.ex_style)
            << std::hex << row.style;
        ASSERT_EQ(request(SC_SIZE | WMSZ_LEFT, child), 0);
        EXPECT_EQ(sizing_state.limits.ptMaxPosition, row.expected) << std::hex << row.style;
        EXPECT_EQ(sizing_state.limits.ptReserved, (POINT{0, 0}));
        EXPECT_EQ(sizing_filter(child, WM_LBUTTONUP, 0, 0), 0);
        DestroyWindow(child);
    }
}

// The sizing belongs to its window: what is addressed to another window
// passes on and moves nothing.
TEST_F(Sizing, MessagesForAnotherWindowPassOn) {
    RECT other_home = window_rect(other);
    choose(WMSZ_RIGHT);
    POINT at = cursor();
    EXPECT_EQ(mouse_at(5, 5, other), NOT_HANDLED);
    EXPECT_EQ(key(VK_LEFT, other), NOT_HANDLED);
    EXPECT_EQ(key(VK_RETURN, other), NOT_HANDLED);
    EXPECT_EQ(key(VK_ESCAPE, other), NOT_HANDLED);
    EXPECT_EQ(sizing_filter(other, WM_LBUTTONUP, 0, 0), NOT_HANDLED);
    EXPECT_EQ(seen_names(), "");
    EXPECT_EQ(sizing_active, 1);
    EXPECT_EQ(sizing_state.edge, WMSZ_RIGHT);
    EXPECT_EQ(sizing_state.from_keyboard, 1);
    EXPECT_EQ(cursor(), at);
    EXPECT_EQ(window_rect(top), HOME);
    EXPECT_EQ(window_rect(other), other_home);
    // The sized window still answers.
    expect_step(VK_RIGHT, 10, 0, shifted(HOME, 0, 0, 10, 0));
    EXPECT_EQ(key(VK_RETURN), 0);
    EXPECT_EQ(window_rect(other), other_home);
}

TEST_F(Sizing, LosingTheCaptureEndsTheSizingKeepingTheSize) {
    choose(WMSZ_RIGHT);
    key(VK_RIGHT);
    RECT stepped = shifted(HOME, 0, 0, 10, 0);
    SetCapture(other);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(window_rect(top), stepped);
    EXPECT_EQ(cursor(), INSIDE); // began from the keyboard
    ReleaseCapture();
    deliver_notices();
    EXPECT_EQ(seen_names(), "SIZING2 ENTERSIZEMOVE EXITSIZEMOVE");
    // A later mouse move over the window moves nothing.
    EXPECT_EQ(mouse_at(-50, -50), NOT_HANDLED);
    EXPECT_EQ(window_rect(top), stepped);

    // From the mouse: released by someone else, the cursor stays.
    ASSERT_EQ(request(SC_SIZE | WMSZ_BOTTOM), 0);
    SetCursorPos(400, 500);
    ReleaseCapture();
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(cursor(), (POINT{400, 500}));
    EXPECT_EQ(sizing_filter(top, WM_LBUTTONUP, 0, 0), NOT_HANDLED);
    deliver_notices();
    EXPECT_EQ(seen_names(), "GETMINMAXINFO LBUTTONDOWN ENTERSIZEMOVE EXITSIZEMOVE");
}

TEST_F(Sizing, DestroyingTheSizedWindowEndsTheSizing) {
    HWND child = CreateWindowExA(0, "TemplateClass", "", WS_CHILD | WS_VISIBLE | WS_THICKFRAME, 20,
                                 30, 150, 100, top, 0, process_instance, 0);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(request(SC_SIZE, child), 0);
    key(VK_LEFT, child);
    ASSERT_FALSE(cursor() == INSIDE);
    DestroyWindow(child);
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(cursor(), INSIDE);

    // A window that destroys itself while the sizing asks for its limits:
    // the cursor stays, not sent back to where the keyboard sizing began.
    HWND doomed = CreateWindowExA(0, "TemplateClass", "", WS_CHILD | WS_VISIBLE | WS_THICKFRAME, 20,
                                  30, 150, 100, top, 0, process_instance, 0);
    ASSERT_NE(doomed, nullptr);
    record(doomed);
    handling.doomed = doomed;
    SetCursorPos(400, 500);
    EXPECT_EQ(request(SC_SIZE | WMSZ_LEFT, doomed), 0);
    EXPECT_FALSE(IsWindow(doomed));
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(cursor(), (POINT{400, 500}));

    // Another window's mouse moves are its own again, and it can be sized.
    EXPECT_EQ(mouse_at(-50, -50), NOT_HANDLED);
    EXPECT_EQ(window_rect(top), HOME);
    seen.clear();
    EXPECT_EQ(request(SC_SIZE | WMSZ_LEFT), 0);
    EXPECT_EQ(seen_names(), "GETMINMAXINFO LBUTTONDOWN");
    EXPECT_EQ(sizing_window, top);
    EXPECT_EQ(sizing_filter(top, WM_LBUTTONUP, 0, 0), 0);
}

// The whole path: the request through the toolkit's window procedure, keys
// through the queue and tk_wait_event.
TEST_F(Sizing, ThroughTheToolkitWindowProcedureAndTheQueue) {
    // Should the request reach the platform's own sizing loop instead, this
    // queued Escape ends it rather than leaving the test waiting.
    PostMessageA(top, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(SendMessageA(top, WM_SYSCOMMAND, SC_SIZE, 0), 0);
    ASSERT_EQ(sizing_active, 1);
    ASSERT_EQ(GetCapture(), top);
    MSG msg;
    while (PeekMessageA(&msg, 0, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
    } // the guard
    PostMessageA(top, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(top, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(top, WM_KEYDOWN, VK_RETURN, 0);
    for (int i = 0; i < 50 && sizing_active; ++i) {
        PostMessageA(top, WM_NULL, 0, 0); // never blocks
        tk_wait_event();
    }
    EXPECT_EQ(sizing_active, 0);
    EXPECT_EQ(window_rect(top), shifted(HOME, 0, 0, 0, 10));
    EXPECT_EQ(cursor(), INSIDE);
    pump_messages();
    EXPECT_EQ(seen_names(), "GETMINMAXINFO LBUTTONDOWN ENTERSIZEMOVE SIZING6 EXITSIZEMOVE");
}

} // namespace
