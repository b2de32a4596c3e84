#include "console_window.h"

#include <process.h>
#include <stdlib.h>

#include "monitor_banner.h"

HWND console_window = nullptr;
int topmost_result = 0;

namespace {

const int TITLE_CHARS = 1024;

} // namespace

HWND find_console_window()
{
    wchar_t title[TITLE_CHARS] = {};
    GetConsoleTitleW(title, TITLE_CHARS);
    return FindWindowW(nullptr, title);
}

void make_console_topmost()
{
    console_window = find_console_window();
    topmost_result = SetWindowPos(console_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetConsoleTitleW(MONITOR_TOPMOST_TITLE);
}

void undo_console_topmost()
{
    if (topmost_result == 1)
        SetWindowPos(console_window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void clear_console_screen()
{
    _wsystem(L"cls");
}
