// The program's spine: start-up, the event loop and shutdown.
#pragma once

// Recomputes the result field from the three input fields.
void recalculate();
// Starts everything, runs the loop until the window is closed and takes
// everything down again. Returns the process exit code: 0, or 1 when the
// start-up could not make what the loop needs (then the loop never runs) or
// when the loop could no longer retrieve messages.
int run_calculator();
