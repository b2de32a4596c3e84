// A real console for the tests: the test process owns it, the tools started with
// RunOptions::share_console write to it, and the test reads characters and attributes back
// and types keys into it.
#pragma once

#include <windows.h>

#include <string>

// Replaces the test's console (if any) with a new one and clears it. False without a console.
bool console_fresh();

// Blanks the whole screen buffer and homes the cursor.
void console_clear();

// One row of the screen buffer, trailing blanks removed.
std::wstring console_row(int row);

// All rows up to the cursor's row, joined with "\n".
std::wstring console_text();

// Where text first appears on the screen; false when it does not.
bool console_find(const std::wstring& text, COORD& at);

// The attribute of the character cell at row, column.
WORD console_attribute(int row, int column);

// Types the characters as key presses into the console input.
void console_type(const std::wstring& keys);

// Points this process's standard output at the console (true) or back where it was (false).
void console_route_stdout(bool to_console);

// Inheritable handles of the console's input and output, for a child that shares the console.
HANDLE console_input_handle();
HANDLE console_output_handle();
