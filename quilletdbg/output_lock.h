// Two locks keep the monitor's writers apart.
//
// The console lock: one writer on the console at a time, so that no line is cut into a
// message and no colour changes between a text and its colours. The display thread takes it
// per batch; every other console write (the capture without "-queue", the dots, notices, loss
// lines) takes it too. With "-queue" the capture never takes it.
//
// The output lock: one message or notice at a time in the log (and a redirected output), and
// the console control handler's way of ending the monitor between two of them. The handler
// takes it and never gives it back, so whatever was being written is complete.
//
// A thread that needs both takes the console lock first.
#pragma once

#include <windows.h>

void hold_output();
void release_output();

// For the control handler: waits until the current write is done, but not past the tick
// count deadline (a blocked console or pipe must not keep the monitor from ending).
void hold_output_until(DWORD deadline);

void hold_console();
void release_console();
// False when the deadline passed first.
bool hold_console_until(DWORD deadline);

// Both, console first: a notice or a line that goes to the console and the log.
void hold_console_and_output();
void release_console_and_output();
