// quillet's print routine: the console, then the debugger channel and the log as set.
#pragma once

// On only in a directory run with "-html".
extern bool html_mode;

// Prints a wide printf-style format (wide strings as %ls, wide characters as %lc) with its
// arguments. Never pass a value from a file or the system as the format.
int ql_wprintf(const wchar_t* format, ...);

// Prints "<br>" when HTML mode is on.
void print_html_break();
