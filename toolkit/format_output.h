// The formatting core shared by the console tools' print routines.
#pragma once

#include <stdarg.h>
#include <wchar.h>

// Longest text the platform formatter puts into an echo copy.
const int ECHO_COPY_LIMIT = 1024;

// Prints format and args to standard output and formats the same text again into copy (at
// least ECHO_COPY_LIMIT + 1 characters), cut after ECHO_COPY_LIMIT characters. Returns the
// console print's result.
//
// The text is first measured in memory: a bad argument faults there, while no stream lock is
// held, so a caller's fault guard leaves standard output usable. Call it inside run_guarded.
int print_with_copy(const wchar_t* format, va_list args, wchar_t* copy);
