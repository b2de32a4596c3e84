// The monitor's print routines: the console, and the log file while it is open.
#pragma once

#include <windows.h>

#include <stdio.h>

// The monitor's log file, or null.
extern FILE* monitor_log;

// Wide printf-style format (%ls, %lc for wide values); never pass a value as the format.
int qldbg_wprintf(const wchar_t* format, ...);

// The same for the captured 8-bit message texts.
int qldbg_printf(const char* format, ...);

// The capture loop's writes, each message formatted once into one text per destination:
// bytes as they are to standard output (a console shows them in its output code page),
void write_output_bytes(const char* bytes, size_t length);
// wide text to standard output (the same as qldbg_wprintf's console print),
void write_output_wide(const wchar_t* text, size_t length);
// and bytes as they are into the log file, when it is open, in one write.
void write_log_bytes(const char* bytes, size_t length);

// Called with a message's bytes before they go into the log (the log's rotation), or null.
extern void (*before_log_write)(const char* bytes, size_t length);

// Hands what was printed so far to the console or file and to the log file, so that nothing
// printed is lost however the monitor ends.
void flush_monitor_output();

// The two user context lines under the banner.
void print_user_context();

// Prints the initialisation failure notice, waits for a key at the console and ends the
// process with code as its exit code.
[[noreturn]] void fail_initialization(DWORD code, const wchar_t* context);
