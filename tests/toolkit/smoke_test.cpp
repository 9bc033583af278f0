#include <gtest/gtest.h>
#include "tests/support/toolkit_env.h"

TEST(Harness, RealWindowsUnderWine) {
    start_toolkit_for_tests();
    HWND edit =
        CreateWindowExA(0, "EDIT", "abc", WS_POPUP, 0, 0, 50, 20, 0, 0, process_instance, 0);
    ASSERT_NE(edit, nullptr);
    char text[8] = {0};
    EXPECT_EQ(GetWindowTextA(edit, text, sizeof text), 3);
    EXPECT_STREQ(text, "abc");
    DestroyWindow(edit);
}
