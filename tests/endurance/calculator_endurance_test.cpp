// The running calculator under a long stream of random real keystrokes and
// under huge pastes: the process stays up, the result is always a valid
// text and always what the calculation gives for the fields' texts, and the
// working set stays flat.
#include "tests/app/driver.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

const int FIELD_COEFF = 3, FIELD_DISPLAYED = 4, FIELD_REAL = 5, FIELD_RESULT = 7;
const unsigned SEED = 20240607u;
const int BATCH = 25;
// The program sleeps 50 ms before taking each message and a key makes two
// to four of them (the settle checks add their part), so 3,000 keys take
// about nine minutes whatever the machine: `make test` runs the first 150 of
// the stream; KANDU_ENDURANCE_KEYS=3000 runs all of it.
const int DEFAULT_KEYS = 150;
// What the program reads of a field at most.
const size_t MAX_FIELD_TEXT = 31999;

CharacteristicTable table;

void use_table() {
    if (characteristic_table) return;
    characteristic_table = &table;
    fill_characteristic_table();
}

std::string read_text(HWND window) {
    std::vector<char> text(120000, 0);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), (LPARAM)text.data(), SMTO_NORMAL,
                             20000, &copied))
        return "<no answer>";
    return text.data();
}

std::string expected_result(std::string coeff, std::string displayed, std::string real) {
    use_table();
    coeff.resize(std::min(coeff.size(), MAX_FIELD_TEXT));
    displayed.resize(std::min(displayed.size(), MAX_FIELD_TEXT));
    real.resize(std::min(real.size(), MAX_FIELD_TEXT));
    CoefficientOutcome outcome = compute_coefficient(
        parse_int(coeff.c_str()), parse_int(displayed.c_str()), parse_int(real.c_str()));
    if (!outcome.valid) return OUT_OF_RANGE_TEXT;
    char text[FORMAT_INT_MAX];
    format_int(outcome.value, text);
    return text;
}

bool valid_result_text(const std::string &text) {
    if (text == "out of range") return true;
    if (text.empty() || text.size() > 4) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int value = atoi(text.c_str());
    return text[0] != '0' && value % 10 == 0 && value >= 400 && value <= 4000;
}

struct Snapshot {
    std::string fields[3];
    std::string result;
};

// Fields, result, fields again: consistent when the fields did not change
// in between.
bool snapshot(HWND window, Snapshot *s) {
    const int numbers[3] = {FIELD_COEFF, FIELD_DISPLAYED, FIELD_REAL};
    for (int i = 0; i < 3; ++i)
        s->fields[i] = read_text(driver::gadget(window, numbers[i]));
    s->result = read_text(driver::gadget(window, FIELD_RESULT));
    for (int i = 0; i < 3; ++i)
        if (read_text(driver::gadget(window, numbers[i])) != s->fields[i]) return false;
    return true;
}

std::string describe(const Snapshot &s) {
    std::string shown[3];
    for (int i = 0; i < 3; ++i)
        shown[i] = s.fields[i].size() > 40 ? s.fields[i].substr(0, 40) + "... (" +
                                                 std::to_string(s.fields[i].size()) + " chars)"
                                           : s.fields[i];
    return "fields \"" + shown[0] + "\" \"" + shown[1] + "\" \"" + shown[2] + "\", result \"" +
           s.result + "\"";
}

// Waits until the program has taken all input: the texts stay the same over
// several reads and the result is what the calculation gives for the fields.
// Every result read on the way must be a valid text.
::testing::AssertionResult settles(HWND window) {
    Snapshot last, now;
    int stable = 0;
    DWORD start = GetTickCount();
    for (;;) {
        bool consistent = snapshot(window, &now);
        if (!valid_result_text(now.result))
            return ::testing::AssertionFailure() << "invalid result text: " << describe(now);
        bool same = consistent && now.result == last.result && now.fields[0] == last.fields[0] &&
                    now.fields[1] == last.fields[1] && now.fields[2] == last.fields[2];
        stable = same ? stable + 1 : 0;
        last = now;
        if (stable >= 3 &&
            now.result == expected_result(now.fields[0], now.fields[1], now.fields[2]))
            return ::testing::AssertionSuccess();
        if (GetTickCount() - start > driver::DEFAULT_DEADLINE_MS)
            return ::testing::AssertionFailure()
                   << "did not settle on the calculated result ("
                   << expected_result(now.fields[0], now.fields[1], now.fields[2])
                   << "): " << describe(now);
        Sleep(100);
    }
}

bool is_extended(WORD key) {
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN ||
           key == VK_DELETE || key == VK_HOME || key == VK_END;
}

void add_key(std::vector<INPUT> *inputs, WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = (WORD)MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (is_extended(key) ? KEYEVENTF_EXTENDEDKEY : 0);
    inputs->push_back(input);
}

void add_press(std::vector<INPUT> *inputs, WORD key, bool shift = false, bool control = false) {
    if (shift) add_key(inputs, VK_SHIFT, false);
    if (control) add_key(inputs, VK_CONTROL, false);
    add_key(inputs, key, false);
    add_key(inputs, key, true);
    if (control) add_key(inputs, VK_CONTROL, true);
    if (shift) add_key(inputs, VK_SHIFT, true);
}

void add_char(std::vector<INPUT> *inputs, char c) {
    SHORT scan = VkKeyScanA(c);
    if (scan != -1) add_press(inputs, (WORD)(scan & 0xFF), (scan & 0x100) != 0);
}

// One random key, weighted toward digits so that valid results come often.
void add_random_key(std::vector<INPUT> *inputs, unsigned *state) {
    *state = *state * 1103515245u + 12345u;
    unsigned r = (*state >> 8) % 100;
    unsigned pick = (*state >> 20);
    static const WORD arrows[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN};
    if (r < 45)
        add_char(inputs, (char)('0' + pick % 10));
    else if (r < 50)
        add_char(inputs, pick % 2 ? '-' : '+');
    else if (r < 58)
        add_char(inputs, (char)('a' + pick % 26));
    else if (r < 72)
        add_press(inputs, VK_BACK);
    else if (r < 78)
        add_press(inputs, VK_DELETE);
    else if (r < 88)
        add_press(inputs, arrows[pick % 4]);
    else if (r < 94)
        add_press(inputs, VK_TAB);
    else
        add_press(inputs, VK_TAB, true);
}

SIZE_T working_set(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters.WorkingSetSize;
}

bool still_running(const driver::Kandu &kandu) {
    return WaitForSingleObject(kandu.process.hProcess, 0) == WAIT_TIMEOUT;
}

class RunningCalculator : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(driver::start(&kandu));
        ASSERT_TRUE(driver::bring_to_front(kandu.window));
        // Away from the fields: no tooltip comes up in between.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    void TearDown() override {
        if (kandu.process.hProcess && still_running(kandu)) {
            driver::request_close(kandu);
            DWORD code = 99;
            EXPECT_TRUE(driver::wait_for_exit(kandu, &code));
            EXPECT_EQ(code, 0u);
        }
        driver::stop(&kandu);
    }
    // Puts the focus into a field by clicking it, then moves the pointer off.
    void focus_field(int number) {
        HWND field = driver::gadget(kandu.window, number);
        driver::click_field(field);
        ASSERT_TRUE(driver::wait_for_focus(kandu.window, field));
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    driver::Kandu kandu;
};

TEST_F(RunningCalculator, TakesThousandsOfRandomKeystrokes) {
    const char *set = getenv("KANDU_ENDURANCE_KEYS");
    int keys = set && atoi(set) > 0 ? atoi(set) : DEFAULT_KEYS;
    printf("random keys: %d, seed %u\n", keys, SEED);
    ASSERT_NO_FATAL_FAILURE(focus_field(FIELD_COEFF));
    ASSERT_TRUE(settles(kandu.window));
    unsigned state = SEED;
    SIZE_T early = 0;
    for (int sent = 0; sent < keys; sent += BATCH) {
        // The keys go to the window that is in front when they are sent.
        ASSERT_TRUE(driver::bring_to_front(kandu.window));
        std::vector<INPUT> inputs;
        for (int i = sent; i < keys && i < sent + BATCH; ++i)
            add_random_key(&inputs, &state);
        ASSERT_EQ(SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT)), inputs.size());
        ASSERT_TRUE(settles(kandu.window)) << "after " << sent + BATCH << " keys";
        ASSERT_TRUE(still_running(kandu));
        if (sent / BATCH == 1) early = working_set(kandu.process.hProcess);
    }
    SIZE_T late = working_set(kandu.process.hProcess);
    printf("working set after %d keys: %lu KiB, at the end: %lu KiB\n", 2 * BATCH,
           (unsigned long)(early / 1024), (unsigned long)(late / 1024));
    // Flat: a little room for pages the platform touches late (and, under
    // emulation, for translated code).
    if (early) {
        EXPECT_LE(late, early + early / 20 + 512 * 1024);
    }
}

// A 100,000-character text pasted with Ctrl+V into each input field.
TEST_F(RunningCalculator, HugePastesIntoEveryField) {
    std::string texts[3];
    texts[0] = "1300" + std::string(100000 - 4, 'x');
    texts[1] = std::string(100000, '7');
    texts[2] = "-" + std::string(99999, '0');
    const int fields[3] = {FIELD_COEFF, FIELD_DISPLAYED, FIELD_REAL};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(OpenClipboard(0));
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, texts[i].size() + 1);
        ASSERT_NE(memory, (HGLOBAL)0);
        memcpy(GlobalLock(memory), texts[i].c_str(), texts[i].size() + 1);
        GlobalUnlock(memory);
        ASSERT_NE(SetClipboardData(CF_TEXT, memory), (HANDLE)0);
        CloseClipboard();

        ASSERT_NO_FATAL_FAILURE(focus_field(fields[i]));
        ASSERT_TRUE(driver::bring_to_front(kandu.window));
        // Select the field's text and paste over it.
        std::vector<INPUT> inputs;
        add_press(&inputs, VK_HOME);
        add_press(&inputs, VK_END, true);
        add_press(&inputs, 'V', false, true);
        ASSERT_EQ(SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT)), inputs.size());
        HWND field = driver::gadget(kandu.window, fields[i]);
        ASSERT_TRUE(driver::wait_until([&] { return read_text(field).size() > 1000; }))
            << "field " << fields[i] << " did not take the paste";
        ASSERT_TRUE(settles(kandu.window)) << "after pasting into field " << fields[i];
        ASSERT_TRUE(still_running(kandu));
        std::string held = read_text(field);
        printf("field %d holds %u characters\n", fields[i], (unsigned)held.size());
        EXPECT_EQ(held, texts[i].substr(0, held.size())) << "field " << fields[i];
    }
}

} // namespace
