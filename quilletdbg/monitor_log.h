// The log file beside the program.
#pragma once

#include <windows.h>

#include "text_helpers.h"

// Where the log file is (empty until "-log" asks for one).
extern wchar_t monitor_log_path[TEXT_CHARS];

// Opens the log for appending and writes the run's separator line into it, or prints why it
// could not be opened; the monitor runs on either way.
void open_monitor_log();

// Opens the log at its path again after close_monitor_log, with the separator line when it
// starts a new file.
void reopen_monitor_log(bool separator);

// The notice for a file that could not be opened for writing; the monitor runs on without it.
void print_open_failure(const wchar_t* path, DWORD code);

// "Reason: " with the code in red, and "Error Detail: " with the system's text for it.
void print_failure_reason(DWORD code);

// Flushes and closes the log; later prints reach the console only.
void close_monitor_log();
