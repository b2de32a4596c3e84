// The log file beside the program.
#pragma once

#include "text_helpers.h"

// Where the log file is (empty until "-log" asks for one).
extern wchar_t monitor_log_path[TEXT_CHARS];

// Opens the log for appending and writes the run's separator line into it, or prints why it
// could not be opened; the monitor runs on either way.
void open_monitor_log();

// Flushes and closes the log; later prints reach the console only.
void close_monitor_log();
