// The calculator form built in the test's own process: the window, every
// gadget as the platform sees it, and the tooltips.
#include <gtest/gtest.h>
#include <map>
#include <string>
#include "app/form.h"
#include "tests/support/toolkit_env.h"
#include "toolkit/gadgets.h"

namespace {

struct ExpectedGadget {
    int number;
    const char *class_name;
    DWORD style;
    DWORD ex_style;
    int x, y, width, height;
    const char *text;
};

const DWORD LABEL = WS_CHILD | WS_VISIBLE | WS_GROUP;                               // 0x50020000
const DWORD FIELD = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL; // 0x50030080

// In the order in which the platform lists the window's children.
const ExpectedGadget FORM[] = {
    {0, "Static", LABEL, 0, 20, 20, 130, 20, "actual temp. coeff."},
    {3, "Edit", FIELD, WS_EX_CLIENTEDGE, 150, 20, 70, 20, "1100"},
    {1, "Static", LABEL, 0, 20, 50, 130, 20, "displayed temperature"},
    {4, "Edit", FIELD, WS_EX_CLIENTEDGE, 150, 50, 70, 20, "150"},
    {2, "Static", LABEL, 0, 20, 80, 130, 20, "real temperature"},
    {5, "Edit", FIELD, WS_EX_CLIENTEDGE, 150, 80, 70, 20, "150"},
    {6, "Static", LABEL, 0, 20, 110, 120, 20, "adjust temp. coeff to"},
    {7, "Edit", FIELD | ES_READONLY, WS_EX_CLIENTEDGE, 150, 110, 70, 20, ""},
};

std::string text_of(HWND window) {
    char text[256] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class Form : public ::testing::Test {
  protected:
    void SetUp() override {
        restart_toolkit_for_tests();
        ASSERT_EQ(build_form(), FORM_BUILT);
        window = tk_current_window();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        tk_close_all_windows();
        pump_messages();
    }
    HWND window = 0;
};

TEST_F(Form, WindowStandsAtItsPlaceWithItsTitleAndClientSize) {
    char name[64];
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, "WindowClass_0");
    EXPECT_EQ(text_of(window), "Corvane - KANDU");
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    EXPECT_EQ(outer.left, 230);
    EXPECT_EQ(outer.top, 202);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 152);
    DWORD style = (DWORD)GetWindowLongPtrA(window, GWL_STYLE);
    const DWORD wanted = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    EXPECT_EQ(style & wanted, wanted);
    // Fixed size: no sizing border, no maximise or minimise boxes.
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_CHILD), 0u);
    EXPECT_EQ(GetParent(window), nullptr);
    // The class carries the program's icon.
    EXPECT_NE(GetClassLongPtrA(window, GCLP_HICON), 0);
}

TEST_F(Form, EveryGadgetAsListedInCreationOrder) {
    HWND child = GetWindow(window, GW_CHILD);
    for (const ExpectedGadget &g : FORM) {
        SCOPED_TRACE(g.number);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(control_identifier(child), g.number);
        char name[32];
        GetClassNameA(child, name, sizeof name);
        EXPECT_STRCASEEQ(name, g.class_name);
        EXPECT_EQ((DWORD)GetWindowLongPtrA(child, GWL_STYLE), g.style);
        EXPECT_EQ((DWORD)GetWindowLongPtrA(child, GWL_EXSTYLE), g.ex_style);
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(0, window, (POINT *)&r, 2);
        EXPECT_EQ(r.left, g.x);
        EXPECT_EQ(r.top, g.y);
        EXPECT_EQ(r.right - r.left, g.width);
        EXPECT_EQ(r.bottom - r.top, g.height);
        EXPECT_EQ(text_of(child), g.text);
        EXPECT_EQ((HGDIOBJ)SendMessageA(child, WM_GETFONT, 0, 0), GetStockObject(DEFAULT_GUI_FONT));
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr); // nothing else in the window
}

TEST_F(Form, ResultFieldRefusesTyping) {
    HWND result = GetDlgItem(window, FIELD_RESULT);
    HWND coeff = GetDlgItem(window, FIELD_COEFF);
    SendMessageA(result, WM_CHAR, '5', 0);
    SendMessageA(coeff, WM_CHAR, '5', 0);
    EXPECT_EQ(text_of(result), "");
    EXPECT_EQ(text_of(coeff), "51100");
}

TEST_F(Form, EachFieldHasItsTooltip) {
    ASSERT_NE(tooltip_window, nullptr);
    ASSERT_EQ(SendMessageA(tooltip_window, TTM_GETTOOLCOUNT, 0, 0), 4);
    std::map<int, std::string> tips;
    for (int i = 0; i < 4; ++i) {
        char text[256] = {0};
        TOOLINFOA tool = {};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageA(tooltip_window, TTM_ENUMTOOLSA, i, (LPARAM)&tool));
        EXPECT_EQ(tool.hwnd, window);
        EXPECT_TRUE(tool.uFlags & TTF_IDISHWND);
        tips[(int)control_identifier((HWND)tool.uId)] = text;
    }
    std::map<int, std::string> expected = {
        {3, "temperature coefficient in the controller's menue"},
        {4, "temperature on the controller's display"},
        {5, "measuered temperature of the heater"},
        {7, "type this value in the controller's menue"},
    };
    EXPECT_EQ(tips, expected);
}

TEST_F(Form, BuildingAgainReplacesEverything) {
    HWND first = window;
    ASSERT_EQ(build_form(), FORM_BUILT);
    EXPECT_FALSE(IsWindow(first));
    window = tk_current_window();
    int children = 0;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        ++children;
    EXPECT_EQ(children, 8);
    EXPECT_EQ(SendMessageA(tooltip_window, TTM_GETTOOLCOUNT, 0, 0), 4);
}

} // namespace
