// The heading of every reported file and, as set, its properties block.
#pragma once

#include <windows.h>

// anchor: the name of the file's HTML anchor; null for the file-name part of path.
void print_file_properties(const wchar_t* path, const wchar_t* anchor = nullptr);

// The heading alone: "File Version Info for:" and the path (in HTML mode with the Back
// button, the anchor and the span).
void print_file_heading(const wchar_t* path, const wchar_t* anchor = nullptr);

// The context text of that notice.
extern const wchar_t UNOPENABLE_FILE_TEXT[];

// The notice that follows the heading of a file that cannot be opened.
void print_unopenable_file(DWORD code);
