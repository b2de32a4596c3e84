// One file's report may fail, the run over many files goes on. A step of a report that throws
// (an allocation the machine refused, above all) ends that step with a failure notice under
// the step's routine name, as a failed system call would; what it printed before stays.
#pragma once

#include <windows.h>

// Inside a catch block: ERROR_NOT_ENOUGH_MEMORY for std::bad_alloc, ERROR_INTERNAL_ERROR for
// anything else.
DWORD caught_exception_code();

// The notice for what a step threw (in a CSV run, its Error entry), and "<br>" in HTML mode.
void print_caught_failure(const wchar_t* routine);

// Runs step(); false when it threw, its notice printed.
template <typename Step> bool run_report_step(const wchar_t* routine, Step step)
{
    try {
        step();
        return true;
    } catch (...) {
        print_caught_failure(routine);
    }
    return false;
}
