// Console text colours: set one, print, restore the one that was there before.
#pragma once

#include <windows.h>

// Remembered between set_text_color and restore_text_color; one per program.
struct ColorState {
    HANDLE console;
    CONSOLE_SCREEN_BUFFER_INFO info;
};

extern ColorState color_state;

// Off: both routines do nothing, for a run whose standard output carries a document for
// programs (CSV), which no console attribute may touch.
extern bool text_colors_enabled;

// Shows the attribute in its bright form (the intensity bit is added).
void set_text_color(WORD attribute);
void restore_text_color();
