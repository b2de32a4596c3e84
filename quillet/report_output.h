// quillet's print routine: the console, then the debugger channel and the log as set.
#pragma once

// On only in a directory run with "-html".
extern bool html_mode;

// On in a directory or multiple-file run with "-csv" or "-json": ql_wprintf then prints to
// standard error and not into the log, and standard output and the log get
// ql_print_document's text.
extern bool csv_mode;

// On with "-json" (which wins over "-csv"): the document is JSON Lines.
extern bool json_mode;

// Prints a wide printf-style format (wide strings as %ls, wide characters as %lc) with its
// arguments. Never pass a value from a file or the system as the format.
int ql_wprintf(const wchar_t* format, ...);

// Prints text as it is to standard output, the debugger channel (cut as every echo) and the
// log (whole) as set, in every mode: one piece of a CSV document.
int ql_print_document(const wchar_t* text);

// Prints "<br>" when HTML mode is on.
void print_html_break();
