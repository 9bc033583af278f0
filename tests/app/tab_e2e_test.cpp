// Tab and Shift+Tab in the running calculator, with real key input: the
// focus walks the four fields and never stops at a label.
#include <gtest/gtest.h>
#include "tests/app/driver.h"

namespace {

using driver::gadget;

class TabInKandu : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(driver::start(&kandu)) << driver::kandu_path();
        ASSERT_TRUE(driver::bring_to_front(kandu.window));
    }
    void TearDown() override { driver::stop(&kandu); }

    void focus_field(int number) {
        driver::click_field(gadget(kandu.window, number));
        ASSERT_TRUE(driver::wait_for_focus(kandu.window, gadget(kandu.window, number)));
    }

    // One key press, then the field that must have the focus.
    void expect_key_moves_to(bool shift, int number) {
        driver::press_key(VK_TAB, shift);
        HWND expected = gadget(kandu.window, number);
        EXPECT_TRUE(driver::wait_for_focus(kandu.window, expected))
            << (shift ? "Shift+Tab" : "Tab") << " should reach field " << number
            << "; the focus is on child " << GetDlgCtrlID(driver::focus_of(kandu.window));
    }

    driver::Kandu kandu;
};

TEST_F(TabInKandu, TabWalksTheFieldsAndWraps) {
    focus_field(3);
    for (int number : {4, 5, 7, 3, 4})
        expect_key_moves_to(false, number);
    // And back, from the middle.
    for (int number : {3, 7})
        expect_key_moves_to(true, number);
}

TEST_F(TabInKandu, ShiftTabWalksBackAndWraps) {
    focus_field(3);
    for (int number : {7, 5, 4, 3, 7})
        expect_key_moves_to(true, number);
}

} // namespace
