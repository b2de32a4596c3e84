#include "ctrl_handler.h"

#include <stdio.h>
#include <stdlib.h>

#include "channel_setup.h"
#include "console_window.h"
#include "display_queue.h"
#include "message_sinks.h"
#include "monitor_log.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "syslog_forward.h"

namespace {

// What the forwarders and the painting of the queue share at the end.
const DWORD FINISH_MS = 3000;

} // namespace

BOOL WINAPI monitor_ctrl_handler(DWORD event)
{
    DWORD deadline = GetTickCount() + FINISH_MS;
    // The forwarders work on while the capture stops and the console is painted.
    close_forwarders();
    hold_output_until(deadline);
    finish_display(deadline);
    finish_message_sinks(deadline);
    flush_monitor_output();
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
