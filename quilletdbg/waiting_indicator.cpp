#include "waiting_indicator.h"

#include "monitor_output.h"
#include "output_lock.h"

volatile LONG first_message_arrived = 0;

namespace {

const wchar_t PAUSE_EVENT_NAME[] = L"{6F1B27C4-9A3E-4d82-B5C1-0E47D93A6B2F}";
const DWORD PAUSE_MS = 1000;

HANDLE indicator_thread = nullptr;
DWORD indicator_id = 0;

void print_dot()
{
    hold_console_and_output();
    qldbg_wprintf(L".");
    flush_monitor_output();
    release_console_and_output();
}

// One second, which any process may cut short by setting the named event.
void pause_a_second()
{
    HANDLE pause = CreateEventW(nullptr, TRUE, FALSE, PAUSE_EVENT_NAME);
    if (pause == nullptr) {
        // The name is taken by another kind of object: without this the dots would race.
        Sleep(PAUSE_MS);
        return;
    }
    WaitForSingleObject(pause, PAUSE_MS);
    CloseHandle(pause);
}

DWORD WINAPI waiting_indicator(void*)
{
    for (;;) {
        print_dot();
        pause_a_second();
        // Its own pseudo handle: after a restart of the loop the stored handle names the
        // newer indicator, which must go on.
        if (first_message_arrived == 1)
            TerminateThread(GetCurrentThread(), 0);
    }
}

} // namespace

void start_waiting_indicator()
{
    if (indicator_thread != nullptr)
        CloseHandle(indicator_thread);
    indicator_thread = CreateThread(nullptr, 0, waiting_indicator, nullptr, 0, &indicator_id);
}
