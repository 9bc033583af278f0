// Drives kandu.exe from another process the way a person would: real
// keyboard and mouse input (SendInput), texts read back with WM_GETTEXT.
// Every wait polls against a deadline; nothing sleeps a fixed time and hopes.
#pragma once
#include <string>
#include "platform/platform.h"

namespace driver {

// Generous: a 32-bit program may run under emulation, and the program
// sleeps 50 ms before taking each message.
const DWORD DEFAULT_DEADLINE_MS = 60000;

struct Kandu {
    PROCESS_INFORMATION process = {};
    HWND window = 0; // the calculator window, once found
};

// A path in Windows form: a Unix path is taken as drive Z:.
std::string windows_path(std::string path);
// The program's path in Windows form: the KANDU_EXE environment variable
// when set, else the path the build gave.
std::string kandu_path();

// Starts kandu.exe (the one at `path` when given) and waits until its window
// with all eight gadgets exists and the program waits for input. False (and
// the process ended) on failure.
bool start(Kandu *kandu, DWORD deadline_ms = DEFAULT_DEADLINE_MS, const char *path = 0);
// Asks the window to close through its system menu's close command.
void request_close(const Kandu &kandu);
// Waits for the process to end; its exit code in *exit_code.
bool wait_for_exit(const Kandu &kandu, DWORD *exit_code, DWORD deadline_ms = DEFAULT_DEADLINE_MS);
// Ends the process if it still runs and releases the handles.
void stop(Kandu *kandu);

// The process's top-level window of that class, or 0.
HWND find_window(DWORD process_id, const char *class_name);
// The window's child with that child identifier (a gadget number), or 0.
HWND gadget(HWND window, int number);
// A window's text, read with WM_GETTEXT (across processes).
std::string text_of(HWND window);
// The window that has the keyboard focus in the thread that owns `window`.
HWND focus_of(HWND window);

// Polls `done` until it is true or the deadline passes; returns its last value.
template <class Done> bool wait_until(Done done, DWORD deadline_ms = DEFAULT_DEADLINE_MS) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > deadline_ms) return done();
        Sleep(20);
    }
}
// Waits until the window's text is `expected`; false with the last text in
// *last (when given) otherwise.
bool wait_for_text(HWND window, const char *expected, std::string *last = 0,
                   DWORD deadline_ms = DEFAULT_DEADLINE_MS);
bool wait_for_focus(HWND window, HWND expected, DWORD deadline_ms = DEFAULT_DEADLINE_MS);

// Makes the window the foreground window, so that input goes to it.
bool bring_to_front(HWND window);
// One mouse event at a screen point. Every event carries its point: on Wine,
// the X server's echo of an earlier pointer move can come late, and an event
// without a point (or SetCursorPos before it) would then act elsewhere.
INPUT mouse_at(POINT at, DWORD flags);
// Moves the mouse over the middle of the window, as a person pointing at it.
void point_at(HWND window);
// Left click at a point of the window's client area.
void click(HWND window, int x, int y);
// Clicks into a field behind its text, which puts the caret at the end.
void click_field(HWND field);
// One key press and release, with Shift held when asked.
// `extra_info` goes with the key's press and release (GetMessageExtraInfo).
void press_key(WORD virtual_key, bool shift = false, ULONG_PTR extra_info = 0);
// Types the characters of `text` (letters, digits, space, '-', '.').
void type_text(const char *text);
// Clicks into the field, deletes its text with Backspace and types `text`.
void replace_text(HWND field, const char *text);

} // namespace driver
