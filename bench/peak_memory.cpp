// Starts a program, waits for it and prints its peak memory as the system counted it.
//
//   peak_memory <program> [words...]
//
// The child shares this program's standard handles, so its output goes wherever the caller
// sent this program's output. The counters are read once the child has ended, before its
// handle is closed; they are also sampled while it runs, in case a platform forgets them
// when the process ends.
#include <windows.h>

#include <psapi.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

namespace {

const double MIB = 1024.0 * 1024.0;
const DWORD SAMPLE_MS = 5;

struct Peaks {
    SIZE_T working_set;
    SIZE_T pagefile;
};

// Quotes every word so that a path with blanks stays one word.
std::wstring command_line(int argc, wchar_t** argv)
{
    std::wstring line;
    for (int index = 1; index < argc; ++index) {
        if (index > 1)
            line += L' ';
        line += L'"';
        line += argv[index];
        line += L'"';
    }
    return line;
}

bool read_peaks(HANDLE process, Peaks& peaks)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, &counters, sizeof(counters)))
        return false;
    peaks.working_set = counters.PeakWorkingSetSize;
    peaks.pagefile = counters.PeakPagefileUsage;
    return true;
}

void keep_larger(Peaks& kept, const Peaks& seen)
{
    if (seen.working_set > kept.working_set)
        kept.working_set = seen.working_set;
    if (seen.pagefile > kept.pagefile)
        kept.pagefile = seen.pagefile;
}

bool start_child(int argc, wchar_t** argv, PROCESS_INFORMATION& child)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring line = command_line(argc, argv);
    return CreateProcessW(argv[1], &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child) != 0;
}

void print_peaks(const wchar_t* label, const Peaks& peaks)
{
    fwprintf(stderr, L"%ls: PeakWorkingSetSize=%.1f MiB PeakPagefileUsage=%.1f MiB\n", label, peaks.working_set / MIB,
             peaks.pagefile / MIB);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: peak_memory <program> [words...]\n");
        return 2;
    }
    PROCESS_INFORMATION child = {};
    if (!start_child(argc, argv, child)) {
        fwprintf(stderr, L"CreateProcessW failed: %lu\n", GetLastError());
        return 1;
    }
    Peaks sampled = {0, 0};
    Peaks seen = {0, 0};
    while (WaitForSingleObject(child.hProcess, SAMPLE_MS) == WAIT_TIMEOUT) {
        if (read_peaks(child.hProcess, seen))
            keep_larger(sampled, seen);
    }
    Peaks at_exit = {0, 0};
    bool read_at_exit = read_peaks(child.hProcess, at_exit);
    DWORD read_error = GetLastError();
    DWORD exit_code = 0;
    GetExitCodeProcess(child.hProcess, &exit_code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    if (read_at_exit)
        print_peaks(L"after exit", at_exit);
    else
        fwprintf(stderr, L"after exit: GetProcessMemoryInfo failed: %lu\n", read_error);
    print_peaks(L"sampled", sampled);
    fwprintf(stderr, L"exit code: %lu\n", exit_code);
    return 0;
}
