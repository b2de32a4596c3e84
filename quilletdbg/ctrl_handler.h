// Ctrl+C, closing the window, log-off, shutdown: the monitor lets go of everything and ends.
#pragma once

#include <windows.h>

// Never returns: ends the process with exit code 0.
BOOL WINAPI monitor_ctrl_handler(DWORD event);

// Installs monitor_ctrl_handler (and what it needs).
void install_ctrl_handler();
