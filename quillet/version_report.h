// The version resource report: every translation with its language and string entries.
#pragma once

#include <windows.h>

// Prints the report of path, or its failure lines; never stops the program.
void show_version_info(const wchar_t* path);

// Copies input without leading and trailing blanks (U+0020 only) into output and returns
// output. output may be input itself; it needs room for input's text and terminator.
// One report line in its colour, followed by "<br>" in HTML mode; value (from a file or the
// system) is escaped for the document there.
void print_colored_line(WORD color, const wchar_t* format, const wchar_t* value);

wchar_t* trim_spaces(wchar_t* input, wchar_t* output);
