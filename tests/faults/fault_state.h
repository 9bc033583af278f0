// What the failure sweep (sweep.cpp) and the stand-in DLL (standin.cpp) share
// through one named block of memory: the plan of a run, written by the sweep
// before it starts the program, and what the run did, written by the stand-in.
#pragma once
#include <windows.h>

// The stand-in finds the block under the name this environment variable holds;
// without it the stand-in only forwards, as if it were not there.
#define FAULT_STATE_VARIABLE "KANDU_FAULT_STATE"
// The stand-in's file name, written into the copy's import table.
#define STANDIN_DLL "standin.dll"

// How a failure is told to fail: the failure value alone only when the call is
// made with bad arguments, or also when memory or handles run out.
enum FaultClass { ARGUMENTS, EXHAUSTIBLE };

// Every platform function the stand-in can make fail, with its class. A new
// fallible import, or a function the program resolves at run time, gets a
// row here and a wrapper in standin.cpp; one that cannot fail gets a
// forwarding line in standin.def.
#define FALLIBLE_FUNCTIONS(X)                                                                      \
    X(HeapCreate, EXHAUSTIBLE)                                                                     \
    X(HeapAlloc, EXHAUSTIBLE)                                                                      \
    X(HeapReAlloc, EXHAUSTIBLE)                                                                    \
    X(HeapFree, ARGUMENTS)                                                                         \
    X(HeapDestroy, ARGUMENTS)                                                                      \
    X(GetModuleHandleA, ARGUMENTS)                                                                 \
    X(LoadLibraryA, EXHAUSTIBLE)                                                                   \
    X(GetProcAddress, ARGUMENTS)                                                                   \
    X(SetDefaultDllDirectories, ARGUMENTS)                                                         \
    X(GetStockObject, ARGUMENTS)                                                                   \
    X(RegisterClassA, EXHAUSTIBLE)                                                                 \
    X(UnregisterClassA, ARGUMENTS)                                                                 \
    X(CreateWindowExA, EXHAUSTIBLE)                                                                \
    X(DestroyWindow, ARGUMENTS)                                                                    \
    X(CreateAcceleratorTableA, EXHAUSTIBLE)                                                        \
    X(DestroyAcceleratorTable, ARGUMENTS)                                                          \
    X(LoadIconA, EXHAUSTIBLE)                                                                      \
    X(LoadCursorA, EXHAUSTIBLE)                                                                    \
    X(LoadImageA, EXHAUSTIBLE)                                                                     \
    X(GetWindowTextA, ARGUMENTS)                                                                   \
    X(SetWindowTextA, EXHAUSTIBLE)                                                                 \
    X(GetClassNameA, ARGUMENTS)                                                                    \
    X(GetWindowRect, ARGUMENTS)                                                                    \
    X(AdjustWindowRect, ARGUMENTS)                                                                 \
    X(GetCursorPos, ARGUMENTS)                                                                     \
    X(SetCursorPos, ARGUMENTS)                                                                     \
    X(GetSystemMetrics, ARGUMENTS)                                                                 \
    X(SystemParametersInfoA, ARGUMENTS)                                                            \
    X(PostMessageA, EXHAUSTIBLE)                                                                   \
    X(GetMessageA, ARGUMENTS)                                                                      \
    X(TranslateAcceleratorA, ARGUMENTS)                                                            \
    X(SetWindowLongA, ARGUMENTS)                                                                   \
    X(MapWindowPoints, ARGUMENTS)                                                                  \
    X(MoveWindow, ARGUMENTS)                                                                       \
    X(SetWindowPos, ARGUMENTS)                                                                     \
    X(EnumChildWindows, ARGUMENTS)                                                                 \
    X(ReleaseCapture, ARGUMENTS)

enum FallibleFunction : LONG {
#define FUNCTION_ID(name, kind) F_##name,
    FALLIBLE_FUNCTIONS(FUNCTION_ID)
#undef FUNCTION_ID
        FALLIBLE_FUNCTION_COUNT
};

enum FaultMode : LONG { FAULT_NONE, FAULT_ONCE, FAULT_FROM_THEN_ON };

const LONG ANY = -1;
// The message context before the program has retrieved its first message.
const LONG NO_MESSAGE_YET = 0xFFFF0;
// A key press no control acts on; the sweep presses it after each step's
// input with the step's number as its extra information, and the stand-in
// keeps the highest number among the releases the program retrieved. Wine's
// X11 driver can add releases of its own when it matches its key state to the
// X server's, which never saw these keys: those carry no number.
const WORD MARKER_KEY = VK_F24;

// One call: where in the program it was made and in which situation.
struct CallRecord {
    LONG function;
    DWORD site;     // return address, relative to the program's image base
    DWORD previous; // site of the fallible call before it, 0 for the first
    LONG message;   // the message the program retrieved last, or NO_MESSAGE_YET
    LONG failed;
};

// The plan begins at the nth fallible call when nth is set, else at the
// occurrence-th call whose fields match the situation (ANY matches anything).
struct FaultPlan {
    LONG mode;
    LONG nth;
    CallRecord situation;
    LONG occurrence;
    // From then on: only this function fails instead of every exhaustible one.
    LONG only;
};

const LONG TRACE_CAPACITY = 4096;

struct FaultState {
    FaultPlan plan;
    volatile LONG calls;         // fallible calls made so far
    volatile LONG triggered;     // number of the call at which the plan began, 0 for none
    volatile LONG first_failure; // number of the call that failed first, 0 for none
    volatile LONG failures;
    volatile LONG markers; // number of the last marker release the program retrieved
    volatile LONG exited;  // the program called ExitProcess
    volatile LONG exit_code;
    volatile LONG crash_code;       // an exception nobody handled, 0 for none
    volatile DWORD crash_site;      // where it happened, relative to the image base
    LONG accelerator_tables;        // made and not destroyed, at exit
    LONG program_windows;           // top-level windows of the program's classes, at exit
    LONG classes;                   // window classes of the program still registered, at exit
    LONG user_objects, gdi_objects; // GetGuiResources at exit
    char unknown_lookup[64];        // a run-time lookup of a function the stand-in does not know
    CallRecord trace[TRACE_CAPACITY];
};
