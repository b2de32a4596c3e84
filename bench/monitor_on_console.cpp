// The monitor's rate when it prints to a console: the monitor runs on a fresh console (the
// tests' console harness), the flood sender hands it the messages, and the sender's rate line
// goes to this program's standard output, as the benchmark reads it for output into a file.
//
//   monitor_on_console SENDERS COUNT [MONITOR [WORDS...]]
//
// MONITOR defaults to the build's quilletdbg.exe; WORDS are passed to it.
#include <windows.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "monitor_harness.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    // The new console may take over the standard handles; the report goes where they were.
    HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!console_fresh())
        return 3;
    std::wstring program = argc > 3 ? argv[3] : monitor_exe();
    std::vector<std::wstring> words(argv + (argc > 3 ? 4 : 3), argv + argc);
    MonitorRun monitor;
    if (!start_monitor(monitor, program, words, true))
        return 4;
    DWORD start = GetTickCount();
    RunResult flood = send_traffic({L"flood", argv[1], argv[2]});
    // The last message is handed over, not yet shown: let the monitor finish before the end.
    std::wstring last = L"flood 0:" + std::to_wstring(_wtoi(argv[2]) - 1);
    bool shown = wait_for_console(last, 60000);
    // How long the console took to show the burst (from the flood's start, Wine's process
    // start included; to about 20 ms, the harness's polling).
    std::string shown_after = "console shown after ms=" + std::to_string(GetTickCount() - start) + "\n";
    stop_monitor(monitor);
    DWORD written = 0;
    WriteFile(report, flood.out.data(), static_cast<DWORD>(flood.out.size()), &written, nullptr);
    WriteFile(report, shown_after.data(), static_cast<DWORD>(shown_after.size()), &written, nullptr);
    return shown && flood.exit_code == 0 ? 0 : 1;
}
