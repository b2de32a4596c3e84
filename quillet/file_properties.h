// The heading of every reported file and, as set, its properties block.
#pragma once

void print_file_properties(const wchar_t* path);
