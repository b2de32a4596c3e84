#include "text_color.h"

ColorState color_state = {};
bool text_colors_enabled = true;

void set_text_color(WORD attribute)
{
    if (!text_colors_enabled)
        return;
    color_state.console = GetStdHandle(STD_OUTPUT_HANDLE);
    // Not a console (redirected output): the read fails and the old state stays.
    GetConsoleScreenBufferInfo(color_state.console, &color_state.info);
    SetConsoleTextAttribute(color_state.console, static_cast<WORD>(attribute | FOREGROUND_INTENSITY));
}

void restore_text_color()
{
    if (!text_colors_enabled)
        return;
    SetConsoleTextAttribute(color_state.console, color_state.info.wAttributes);
}
