// Runs over several files: "-m" with a list of paths, "-d" with a wildcard pattern.
#pragma once

#include <windows.h>

// Both read the stored command line and return the exit code.
DWORD run_multiple_files();
DWORD run_directory();

// path without its last element (a root keeps its backslash), into a 260-character buffer.
wchar_t* get_directory_part(const wchar_t* path, wchar_t* out);

// The failure that ends either run: "Could not get Information for Files.", the system's text
// for code, and detail.
void print_run_failure(DWORD code, const wchar_t* detail);

// Details of that failure, and the Error text of a folder a walk could not list.
extern const wchar_t NO_FILE_NAMES[];
extern const wchar_t NOT_A_PATTERN[];
extern const wchar_t UNLISTABLE_FOLDER[];
