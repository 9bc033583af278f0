// Test set-up for toolkit tests under Wine: the process-wide state that the
// program's entry would create, made once per test executable.
#pragma once
#include "platform/platform.h"

// Creates the main heap and the object heap, starts the window and gadget
// sides and the text work buffer. Safe to call more than once.
void start_toolkit_for_tests();
// Closes every toolkit window and starts both sides afresh (new registries),
// so that each test begins from the start-up state.
void restart_toolkit_for_tests();
// Runs the thread's queue until it is empty, dispatching every message.
void pump_messages();
