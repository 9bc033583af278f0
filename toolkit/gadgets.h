// Gadgets: labels and fields in toolkit windows, their texts, tooltips and
// focus reports.
#pragma once
#include "toolkit/registry.h"

typedef intptr_t (*GadgetFreeHook)(HWND gadget);
typedef char *(*GadgetGetTextHook)(HWND gadget);
typedef intptr_t (*GadgetSetTextHook)(HWND gadget, const char *text);

// Per-kind hooks that replace a default operation; null means the default.
// Only entries 0, 3 and 4 are read.
struct GadgetOps {
    GadgetFreeHook free;        // 0
    void *reserved_1_2[2];      // 1, 2
    GadgetGetTextHook get_text; // 3
    GadgetSetTextHook set_text; // 4
    void *reserved_5_26[22];    // 5 .. 26
};

struct GadgetLibrary {
    ObjectRegistry gadget_registry;
    HWND gadget_parent;
    HGDIOBJ gadget_font;
    GadgetOps label_ops;
    GadgetOps field_ops;
};

extern GadgetLibrary gadget_library;
extern HWND tooltip_window;
extern WNDPROC tooltip_next_proc;
extern WNDPROC focus_next_proc;

LRESULT CALLBACK gadget_subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK field_focus_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK tooltip_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
