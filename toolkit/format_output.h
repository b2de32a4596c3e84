// The formatting core shared by the console tools' print routines.
//
// Every text reaches standard output whole, whatever characters it holds: a console gets it as
// UTF-16, a redirected output (file or pipe) as UTF-8, whose ASCII bytes are those of the
// narrow output.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <wchar.h>

// Longest text the platform formatter puts into an echo copy.
const int ECHO_COPY_LIMIT = 1024;

// Formats format and args in memory and writes the text to standard output. Returns the
// number of characters written, negative when formatting or writing failed.
//
// The text is made completely before anything is written: a bad argument faults there, while
// no stream lock is held, so a caller's fault guard leaves standard output usable.
int print_formatted(const wchar_t* format, va_list args);

// The same into another standard stream (standard error): a console gets UTF-16, anything
// else UTF-8.
int print_formatted_to(FILE* stream, const wchar_t* format, va_list args);

// Writes length characters of text to standard output (see above). Returns length, or -1
// when the write failed. The thread's last error is left as it was: callers answer with it.
int write_standard_output(const wchar_t* text, size_t length);
int write_output(FILE* stream, const wchar_t* text, size_t length);

// Prints format and args to standard output (print_formatted) and formats the same text again
// into copy (at least ECHO_COPY_LIMIT + 1 characters), cut after ECHO_COPY_LIMIT characters.
// Returns the console print's result. Call it inside run_guarded.
int print_with_copy(const wchar_t* format, va_list args, wchar_t* copy);
int print_with_copy_to(FILE* stream, const wchar_t* format, va_list args, wchar_t* copy);
