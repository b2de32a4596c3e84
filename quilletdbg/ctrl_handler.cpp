#include "ctrl_handler.h"

#include <stdio.h>
#include <stdlib.h>

#include "channel_setup.h"
#include "console_window.h"
#include "display_queue.h"
#include "monitor_log.h"
#include "output_lock.h"

BOOL WINAPI monitor_ctrl_handler(DWORD event)
{
    DWORD start = GetTickCount();
    hold_output_for_exit();
    finish_display(start);
    // Straight to the console: the log never records the end of the run.
    wprintf(L"\nUser request termination.\n");
    release_channel();
    close_monitor_log();
    undo_console_topmost();
    exit(0);
}

void install_ctrl_handler()
{
    // Started in a process group of its own (as "start /b" does), the monitor would otherwise
    // inherit Ctrl+C switched off, and Ctrl+C is how it is meant to be ended.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(monitor_ctrl_handler, TRUE);
}
