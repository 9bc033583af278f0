#include "tests/support/message_log.h"
#include <map>
#include <stdio.h>
#include <vector>
#include "toolkit/events.h"

namespace {
std::vector<LoggedMessage> log_entries;
std::map<HWND, std::string> window_names;
std::map<HWND, WNDPROC> replaced_procs;

const char *message_name(UINT message) {
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_MOVE: return "WM_MOVE";
    case WM_SIZE: return "WM_SIZE";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_SETFOCUS: return "WM_SETFOCUS";
    case WM_KILLFOCUS: return "WM_KILLFOCUS";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_NOTIFY: return "WM_NOTIFY";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_HSCROLL: return "WM_HSCROLL";
    case WM_VSCROLL: return "WM_VSCROLL";
    case WM_USER: return "WM_USER";
    case WM_WINDOWPOSCHANGING: return "WM_WINDOWPOSCHANGING";
    case WM_WINDOWPOSCHANGED: return "WM_WINDOWPOSCHANGED";
    case MSG_ICON_CALLBACK: return "MSG_ICON_CALLBACK";
    case MSG_ICON_REPOST: return "MSG_ICON_REPOST";
    case MSG_GADGET_FOCUS: return "MSG_GADGET_FOCUS";
    default: return 0;
    }
}

void add_entry(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LoggedMessage entry = {window, message, wparam, lparam, 0, 0};
    if (message == WM_NOTIFY && lparam) {
        entry.notify_id = ((const NMHDR *)lparam)->idFrom;
        entry.notify_code = (int)((const NMHDR *)lparam)->code;
    }
    log_entries.push_back(entry);
}

LRESULT CALLBACK recording_subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    add_entry(window, message, wparam, lparam);
    WNDPROC next = replaced_procs[window];
    if (message == WM_NCDESTROY) replaced_procs.erase(window);
    return CallWindowProcA(next, window, message, wparam, lparam);
}
} // namespace

void clear_message_log() {
    log_entries.clear();
}
size_t logged_count() {
    return log_entries.size();
}
const LoggedMessage &logged(size_t index) {
    return log_entries.at(index);
}

void name_window(HWND window, const char *name) {
    window_names[window] = name;
}
void forget_window_names() {
    window_names.clear();
}

CREATESTRUCTA last_nccreate;

LRESULT CALLBACK record_toolkit_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    add_entry(window, message, wparam, lparam);
    if (message == WM_NCCREATE) last_nccreate = *(const CREATESTRUCTA *)lparam;
    return CALLBACK_PASS;
}

void record_control_messages(HWND control) {
    replaced_procs[control] =
        (WNDPROC)SetWindowLongPtrA(control, GWLP_WNDPROC, (LONG_PTR)recording_subclass);
}

namespace {
// The log restricted to `only`, one text per entry.
std::vector<std::string> logged_entries(std::initializer_list<UINT> only, bool with_params) {
    std::vector<std::string> entries;
    for (const LoggedMessage &e : log_entries) {
        bool wanted = false;
        for (UINT m : only)
            wanted = wanted || m == e.message;
        if (!wanted) continue;
        std::string out;
        auto name = window_names.find(e.window);
        out += name == window_names.end() ? "?" : name->second;
        char text[80];
        const char *message = message_name(e.message);
        if (message)
            snprintf(text, sizeof text, " %s", message);
        else
            snprintf(text, sizeof text, " %u", e.message);
        out += text;
        if (with_params && e.message == WM_NOTIFY) {
            snprintf(text, sizeof text, " %llx %d", (unsigned long long)e.notify_id, e.notify_code);
            out += text;
        } else if (with_params) {
            snprintf(text, sizeof text, " %llx %llx", (unsigned long long)e.wparam,
                     (unsigned long long)(uintptr_t)e.lparam);
            out += text;
        }
        entries.push_back(out);
    }
    return entries;
}

std::string joined(const std::vector<std::string> &entries) {
    std::string out;
    for (const std::string &entry : entries)
        out += (out.empty() ? "" : "; ") + entry;
    return out;
}

// Whether logged[i...] is expected[j...], each optional entry taken or
// skipped (both tried, as an optional entry may read like the next one).
bool matches_from(const std::vector<std::string> &logged, size_t i,
                  const std::vector<ExpectedMessage> &expected, size_t j) {
    if (j == expected.size()) return i == logged.size();
    if (i < logged.size() && logged[i] == expected[j].text &&
        matches_from(logged, i + 1, expected, j + 1))
        return true;
    return expected[j].optional && matches_from(logged, i, expected, j + 1);
}
} // namespace

std::string logged_sequence(std::initializer_list<UINT> only, bool with_params) {
    return joined(logged_entries(only, with_params));
}

::testing::AssertionResult
logged_sequence_matches(std::initializer_list<UINT> only, bool with_params,
                        std::initializer_list<ExpectedMessage> expected) {
    std::vector<std::string> logged = logged_entries(only, with_params);
    std::vector<ExpectedMessage> wanted(expected);
    if (matches_from(logged, 0, wanted, 0)) return ::testing::AssertionSuccess();
    std::string shown;
    for (const ExpectedMessage &e : wanted)
        shown += (shown.empty() ? "" : "; ") + e.text + (e.optional ? " (optional)" : "");
    return ::testing::AssertionFailure() << "logged: " << joined(logged) << "\nexpected: " << shown;
}

int busy_heap_blocks(HANDLE heap) {
    PROCESS_HEAP_ENTRY entry = {};
    int count = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) count++;
    HeapUnlock(heap);
    return count;
}
