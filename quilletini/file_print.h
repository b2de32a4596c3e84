// Printing a whole file to the console.
#pragma once

const int PRINT_PLAIN = 0;
const int PRINT_HEX = 1;

// Prints the file at path (shown as given, opened by its full path) in the mode, refusing
// executable images; a failed open or read prints the failure notice, and for access denied
// the owner lookup.
void print_file_to_screen(const wchar_t* path, int mode);
