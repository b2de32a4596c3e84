#include "monitor_harness.h"

#include <stdio.h>

#include "console_harness.h"
#include "test_files.h"
#include "traffic_names.h"

namespace {

bool channel_taken()
{
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER");
    if (section == nullptr)
        return false;
    CloseHandle(section);
    return true;
}

bool still_running(const MonitorRun& run)
{
    return WaitForSingleObject(run.child.process.hProcess, 0) == WAIT_TIMEOUT;
}

} // namespace

std::wstring monitor_exe()
{
    return windows_path(QUILLETDBG_EXE);
}

std::wstring traffic_exe()
{
    return windows_path(TRAFFIC_SENDER_EXE);
}

bool start_monitor(MonitorRun& run, const std::wstring& program, const std::vector<std::wstring>& args, bool on_console)
{
    RunOptions options;
    options.share_console = on_console;
    options.new_process_group = true;
    run.on_console = on_console;
    run.running = spawn_program(run.child, program, args, options);
    if (!run.running)
        return false;
    for (int i = 0; i < 1000; ++i) {
        if (channel_taken())
            return true;
        if (!still_running(run))
            return false;
        Sleep(20);
    }
    return false;
}

bool wait_for_output(const MonitorRun& run, const std::string& text, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    std::string output;
    while ((output = peek_output(run.child)).find(text) == std::string::npos) {
        if (GetTickCount() - start > timeout_ms) {
            // What the monitor did show instead tells a lost message from a stalled monitor.
            size_t from = output.size() > 400 ? output.size() - 400 : 0;
            fprintf(stderr, "waited %lu ms for \"%s\"; the output (%lu bytes) ends with:\n%s\n",
                    static_cast<unsigned long>(timeout_ms), text.substr(0, 80).c_str(),
                    static_cast<unsigned long>(output.size()), output.substr(from).c_str());
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool wait_for_console(const std::wstring& text, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    COORD at;
    while (!console_find(text, at)) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        Sleep(20);
    }
    return true;
}

RunResult stop_monitor(MonitorRun& run)
{
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, run.child.process.dwProcessId);
    run.running = false;
    return finish_program(run.child, 15000);
}

RunResult send_traffic(const std::vector<std::wstring>& args)
{
    return run_program(traffic_exe(), args);
}

bool start_holder(Spawned& holder, const std::vector<std::wstring>& words)
{
    std::vector<std::wstring> args = {L"hold"};
    args.insert(args.end(), words.begin(), words.end());
    return spawn_program(holder, traffic_exe(), args);
}

RunResult finish_holder(Spawned& holder)
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, TRAFFIC_RELEASE_EVENT);
    SetEvent(release);
    RunResult result = finish_program(holder, 10000);
    CloseHandle(release);
    return result;
}
