// The heading of every reported file and, as set, its properties block.
#pragma once

#include <windows.h>

void print_file_properties(const wchar_t* path);

// The heading alone: "File Version Info for:" and the path (in HTML mode with the Back
// button, the anchor and the span).
void print_file_heading(const wchar_t* path);

// The notice that follows the heading of a file that cannot be opened.
void print_unopenable_file(DWORD code);
