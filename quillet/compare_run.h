// "-compare BASELINE" (also "-cmp") in a directory or multiple-file run: what changed since a
// CSV document that quillet wrote.
#pragma once

#include <windows.h>

// Index of the first "-compare" or "-cmp" from word first on, or -1.
int compare_word_index(int first);

// The runs with the compare word at index compare; each returns the exit code: 0 when every
// file is unchanged, 1 when anything differs, else the code of the failure that ended it.
DWORD compare_directory(int compare);
DWORD compare_listed_files(int compare);
