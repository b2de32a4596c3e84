// The banner every report starts with (and the HTML head), and the times printed at exit.
#pragma once

// Stamped at start when PrintProcessingTimeInformation is 1, and at exit.
extern wchar_t start_time_text[];
extern wchar_t termination_time_text[];

void print_banner();

// Registered with atexit first thing; prints start and termination time when asked to.
void print_exit_times();

// The current UTC time as "h:m:s:ms" without leading zeros into a 260-character text.
void format_current_time(wchar_t* text);

// The machine facts of the banner, each printed as plain text without a line end.
void print_user_name();
void print_computer_name();
void print_system_directory();
void print_windows_version();
