// The version resource report: every translation with its language and string entries.
#pragma once

// Prints the report of path, or its failure lines; never stops the program.
void show_version_info(const wchar_t* path);

// Copies input without leading and trailing blanks (U+0020 only) into output and returns
// output. output may be input itself; it needs room for input's text and terminator.
wchar_t* trim_spaces(wchar_t* input, wchar_t* output);
