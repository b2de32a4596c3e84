// The failure that ends a directory or multiple-file run, with or without a comparison.
#pragma once

#include <windows.h>

// "Could not get Information for Files.", the system's text for code, and detail.
void print_run_failure(DWORD code, const wchar_t* detail);

// Details of that failure, and the Error text of a folder a walk could not list.
extern const wchar_t NO_FILE_NAMES[];
extern const wchar_t NO_DIRECTORY_NAME[];
extern const wchar_t NOT_A_PATTERN[];
extern const wchar_t NOTHING_FOUND[];
extern const wchar_t UNLISTABLE_FOLDER[];
