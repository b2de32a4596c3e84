// quilletini's print routine and its failure notice.
#pragma once

#include <windows.h>

// Prints a wide printf-style format (wide strings as %ls) with its arguments to standard
// output, every character of it: a console shows the text as it is, a redirected output
// receives it as UTF-8. Never pass a value from a file or the system as the format.
int ini_wprintf(const wchar_t* format, ...);

// "Error: Opening file failed. Reason: " with code, the user context and the system's text.
void print_failure(DWORD code);
