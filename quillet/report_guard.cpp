#include "report_guard.h"

#include <new>

#include "failure_notice.h"
#include "report_output.h"

DWORD caught_exception_code()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

void print_caught_failure(const wchar_t* routine)
{
    DWORD code = caught_exception_code();
    // The notice itself allocates; a machine that has nothing left gets the code alone.
    try {
        print_failure(code, routine);
        print_html_break();
    } catch (...) {
    }
    SetLastError(code);
}
