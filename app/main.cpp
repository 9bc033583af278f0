// The process entry: no C runtime start-up, no arguments, never returns.
#include "app/calculator.h"
#include "platform/dll_search.h"
#include "platform/platform.h"

// Windows may enter with a stack aligned to 4 bytes only; SSE code wants 16.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void kandu_entry() {
    // Before anything loads a DLL: the common controls and what they load.
    restrict_dll_search();
    ExitProcess((UINT)run_calculator());
}
