// The console window: topmost placement and clearing the screen.
#pragma once

#include <windows.h>

// The window that "-top" made topmost, and SetWindowPos's result (1 when it did).
extern HWND console_window;
extern int topmost_result;

// The window whose title is the console's current title, or null.
HWND find_console_window();

// Makes the console window topmost and gives the title its " [TOPMOST]" tail.
void make_console_topmost();

// Takes the topmost placement back, if make_console_topmost achieved it.
void undo_console_topmost();

// Clears the console screen buffer through the command interpreter's "cls".
void clear_console_screen();
