// Records what reaches window procedures, in the manner of Wine's own
// message-sequence tests: toolkit windows through the toolkit's window
// callback, controls through a recording subclass. Sequences are compared as
// text so that a mismatch shows both sides readably.
#pragma once
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>
#include "platform/platform.h"

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    // For WM_NOTIFY: the header's identifier and code, read when logged.
    UINT_PTR notify_id;
    int notify_code;
};

void clear_message_log();
size_t logged_count();
const LoggedMessage &logged(size_t index);

// Names a window in sequences; unnamed windows appear as "?".
void name_window(HWND window, const char *name);
void forget_window_names();

// Set as EventState's window_callback: logs the message and lets the
// translation go on.
LRESULT CALLBACK record_toolkit_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The creation record of the last WM_NCCREATE that record_toolkit_message
// saw (the style, position and size given to CreateWindowExA).
extern CREATESTRUCTA last_nccreate;
// Logs every message reaching the control before its own procedure.
void record_control_messages(HWND control);

// The log restricted to the given messages, one "window MESSAGE wparam
// lparam" entry per message (numbers in hex), separated by "; ". WM_NOTIFY
// shows "identifier code" instead, the code in signed decimal. With
// with_params false only "window MESSAGE" is given.
std::string logged_sequence(std::initializer_list<UINT> only, bool with_params = true);

// One entry of an expected sequence, written as logged_sequence writes one.
// An optional entry stands for a message that Windows may or may not send
// there (Wine's message tests mark such messages "optional"): the
// comparison takes it when the log has it at that place and skips it
// otherwise.
struct ExpectedMessage {
    std::string text;
    bool optional = false;
};
inline ExpectedMessage maybe_sent(std::string text) {
    return {std::move(text), true};
}
// Whether logged_sequence(only, with_params) is the expected sequence, each
// optional entry there or not; on failure both sequences are shown.
::testing::AssertionResult logged_sequence_matches(std::initializer_list<UINT> only,
                                                   bool with_params,
                                                   std::initializer_list<ExpectedMessage> expected);

// Number of blocks in use in a heap (HeapWalk).
int busy_heap_blocks(HANDLE heap);
