#include "monitor_log.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>
#include <wchar.h>

#include "error_detail.h"
#include "monitor_output.h"
#include "text_color.h"

wchar_t monitor_log_path[TEXT_CHARS] = {};

namespace {

const int STAMP_CHARS = 100;

} // namespace

void print_open_failure(const wchar_t* path, DWORD code)
{
    qldbg_wprintf(L"Could not open \"%ls\" for wirting.\n", path);
    print_failure_reason(code);
}

void print_failure_reason(DWORD code)
{
    qldbg_wprintf(L"Reason: ");
    set_text_color(4);
    qldbg_wprintf(L"%d\n", static_cast<int>(code));
    restore_text_color();
    qldbg_wprintf(L"Error Detail: ");
    print_error_detail(code);
    qldbg_wprintf(L"\n");
}

void open_monitor_log()
{
    get_program_file_path(L".log", monitor_log_path);
    reopen_monitor_log(true);
}

void reopen_monitor_log(bool separator)
{
    wchar_t stamp[STAMP_CHARS] = {};
    format_time_now(stamp, STAMP_CHARS);

    // Other programs may read the log (or write to it) while the monitor runs.
    monitor_log = _wfsopen(monitor_log_path, L"a+", _SH_DENYNO);
    if (monitor_log == nullptr) {
        print_open_failure(monitor_log_path, GetLastError());
        return;
    }
    if (separator)
        fwprintf(monitor_log, L"-----------------%ls-----------------\n", stamp);
}

void close_monitor_log()
{
    FILE* log = monitor_log;
    monitor_log = nullptr;
    if (log != nullptr) {
        fflush(log);
        fclose(log);
    }
}
