// The hexadecimal view of a file's bytes.
#pragma once

#include <windows.h>

// Fifteen bytes to a line as two-digit hexadecimal numbers, each line followed by the same
// bytes as text.
void print_hex_view(const wchar_t* path, const unsigned char* bytes, DWORD count);
