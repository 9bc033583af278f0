// The program's start-up, loop and shutdown run in the test's own process,
// and the recalculation's use of the text work buffer.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "app/calculator.h"
#include "app/form.h"
#include "calc/characteristic.h"
#include "platform/text_buffer.h"
#include "tests/support/toolkit_env.h"
#include "toolkit/toolkit.h"

namespace {

std::string text_of(HWND window) {
    char text[64] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Refuses to create the toolkit's windows.
LRESULT CALLBACK refuse_windows(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND) {
        const char *name = ((CBT_CREATEWNDA *)lparam)->lpcs->lpszClass;
        if (HIWORD((ULONG_PTR)name) && strncmp(name, "WindowClass_", 12) == 0) return 1;
    }
    return CallNextHookEx(0, code, wparam, lparam);
}

TEST(Calculator, EndsWithAnErrorWhenTheWindowCannotBeMade) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, refuse_windows, 0, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    // Returns instead of waiting for events that never come.
    int exit_code = run_calculator();
    UnhookWindowsHookEx(hook);
    EXPECT_NE(exit_code, 0);
    EXPECT_EQ(main_heap, nullptr);
    EXPECT_EQ(text_work_buffer.start, nullptr);
}

// What the running program showed, seen from a timer inside its loop.
struct Observed {
    int ticks = 0;
    std::string initial_result;
    std::string result;
    std::string buffer_start;
    bool cursor_at_start = false;
    HWND window = 0;
    HWND result_field = 0;
    int result_writes = 0;
};
Observed observed;

LRESULT CALLBACK count_result_writes(int code, WPARAM wparam, LPARAM lparam) {
    const CWPSTRUCT *call = (const CWPSTRUCT *)lparam;
    if (code == HC_ACTION && call->message == WM_SETTEXT && call->hwnd == observed.result_field)
        ++observed.result_writes;
    return CallNextHookEx(0, code, wparam, lparam);
}

// Timer messages come only while nothing else waits, so every tick also
// shows that the loop has gone quiet.
void CALLBACK drive_program(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = FindWindowA("WindowClass_0", "Corvane - KANDU");
    if (!window) return;
    switch (observed.ticks++) {
    case 0:
        observed.window = window;
        observed.result_field = GetDlgItem(window, FIELD_RESULT);
        observed.initial_result = text_of(observed.result_field);
        // Change notifications make the gadget event of this wait.
        SetWindowTextA(GetDlgItem(window, FIELD_DISPLAYED), "200");
        SetWindowTextA(GetDlgItem(window, FIELD_REAL), "250");
        break;
    case 1:
        observed.result = text_of(observed.result_field);
        observed.cursor_at_start = text_work_buffer.cursor == text_work_buffer.start;
        observed.buffer_start = text_work_buffer.start;
        break;
    case 4: PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    }
}

// Closes the window when the ticks stop coming, so that a loop that never
// goes quiet makes the test fail instead of hang.
DWORD WINAPI close_when_stuck(void *finished) {
    if (WaitForSingleObject((HANDLE)finished, 30000) == WAIT_TIMEOUT)
        PostMessageA(FindWindowA("WindowClass_0", "Corvane - KANDU"), WM_CLOSE, 0, 0);
    return 0;
}

TEST(Calculator, RunsUntilClosedAndEndsWithExitCodeZero) {
    observed = Observed();
    HANDLE finished = CreateEventA(0, TRUE, FALSE, 0);
    HANDLE watchdog = CreateThread(0, 0, close_when_stuck, finished, 0, 0);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, count_result_writes, 0, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(0, 0, 200, drive_program);
    ASSERT_NE(timer, 0u);
    int exit_code = run_calculator();
    KillTimer(0, timer);
    UnhookWindowsHookEx(hook);
    SetEvent(finished);
    WaitForSingleObject(watchdog, INFINITE);
    CloseHandle(watchdog);
    CloseHandle(finished);
    EXPECT_EQ(exit_code, 0);
    EXPECT_EQ(observed.ticks, 5);
    EXPECT_EQ(observed.initial_result, "");
    EXPECT_EQ(observed.result, "880");
    // One change, one write: the result's own change report brings one more
    // recalculation, which finds the text already shown.
    EXPECT_EQ(observed.result_writes, 1);
    // Each text was written at the buffer's start and the cursor put back.
    EXPECT_TRUE(observed.cursor_at_start);
    EXPECT_EQ(observed.buffer_start, "880");
    EXPECT_FALSE(IsWindow(observed.window));
    EXPECT_EQ(main_heap, nullptr);
}

class Recalculation : public ::testing::Test {
  protected:
    void SetUp() override {
        restart_toolkit_for_tests();
        if (!characteristic_table)
            characteristic_table = (CharacteristicTable *)HeapAlloc(main_heap, HEAP_ZERO_MEMORY,
                                                                    sizeof(CharacteristicTable));
        fill_characteristic_table();
        ASSERT_EQ(build_form(), FORM_BUILT);
        window = tk_current_window();
    }
    void TearDown() override {
        tk_close_all_windows();
        pump_messages();
    }
    std::string result_for(const char *coeff, const char *displayed, const char *real) {
        tk_set_text(FIELD_COEFF, coeff);
        tk_set_text(FIELD_DISPLAYED, displayed);
        tk_set_text(FIELD_REAL, real);
        recalculate();
        return text_of(GetDlgItem(window, FIELD_RESULT));
    }
    HWND window = 0;
};

TEST_F(Recalculation, WritesTheCoefficientOrOutOfRange) {
    EXPECT_EQ(result_for("1100", "200", "250"), "880");
    EXPECT_EQ(result_for("700", "200", "250"), "560");
    EXPECT_EQ(result_for("700", "501", "250"), "out of range");
    EXPECT_EQ(result_for("1100", "150", "150"), "1100");
    EXPECT_EQ(result_for("", "", ""), "out of range");
}

TEST_F(Recalculation, LeavesTheWorkBufferCursorWhereItWas) {
    // The cursor need not stand at the buffer's start.
    char *base = text_work_buffer.start + 100;
    memset(text_work_buffer.start, 'x', 200);
    text_work_buffer.cursor = base;
    EXPECT_EQ(result_for("700", "200", "250"), "560");
    EXPECT_EQ(text_work_buffer.cursor, base);
    // Every text went to the cursor: the result's digits are there last.
    EXPECT_STREQ(base, "560");
    EXPECT_EQ(base[-1], 'x');
    text_work_buffer.cursor = text_work_buffer.start;
}

} // namespace
