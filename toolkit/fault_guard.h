// Runs a piece of code so that a hardware fault inside it (an access violation, say) ends
// only that piece instead of the process.
//
// Only faults that nothing else handles are caught: exceptions that the system raises and
// handles on purpose (OutputDebugStringW raises one on every call) never reach the guard.
#pragma once

// Calls body(context). Returns true when it ran to its end, false when a fault ended it.
bool run_guarded(void (*body)(void* context), void* context);
