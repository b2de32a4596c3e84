// Keeps the console control handler from ending the monitor halfway through a message.
//
// The capture loop holds the lock while it prints one message, the waiting indicator while it
// prints a dot; the handler takes it before it releases the channel and the log, and never
// gives it back, so whatever was being printed is complete in the output and the log.
#pragma once

void hold_output();
void release_output();

// For the control handler: waits until the current print is done, but not forever (a blocked
// console or pipe must not keep the monitor from ending).
void hold_output_for_exit();
