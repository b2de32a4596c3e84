// Test helper: calls fail_initialization with the code and context text from its command
// line (and prints through the monitor's routine first), so the tests can watch it end.
#include <windows.h>

#include <stdlib.h>

#include "monitor_output.h"
#include "user_context.h"

int wmain(int argc, wchar_t** argv)
{
    load_user_context();
    if (argc > 3) {
        monitor_log = _wfopen(argv[3], L"a+");
    }
    qldbg_wprintf(L"before\n");
    fail_initialization(static_cast<DWORD>(_wtoi(argv[1])), argc > 2 ? argv[2] : L"");
}
