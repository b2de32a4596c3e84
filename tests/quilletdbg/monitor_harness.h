// Starting and ending the monitor in the end-to-end tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "system_text.h"

struct MonitorRun {
    Spawned child;
    bool on_console = false;
    bool running = false;
};

std::wstring monitor_exe();
std::wstring traffic_exe();

// Starts the monitor in a process group of its own, its output in a pipe or, with on_console,
// on the test's console. Waits until the channel is taken; false when that did not happen.
bool start_monitor(MonitorRun& run, const std::wstring& program, const std::vector<std::wstring>& args,
                   bool on_console = false);

// Waits until the monitor's piped output contains text.
bool wait_for_output(const MonitorRun& run, const std::string& text, DWORD timeout_ms = 20000);

// Waits until the test's console shows text.
bool wait_for_console(const std::wstring& text, DWORD timeout_ms = 20000);

// Ends the monitor with Ctrl+C and collects what it printed.
RunResult stop_monitor(MonitorRun& run);

// Runs the traffic sender to its end.
RunResult send_traffic(const std::vector<std::wstring>& args);

// Starts a sender that sends its words and stays alive until finish_holder.
bool start_holder(Spawned& holder, const std::vector<std::wstring>& words);

// Lets the holder (and any other) end and collects it.
RunResult finish_holder(Spawned& holder);
