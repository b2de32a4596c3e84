#include "output_lock.h"

#include <windows.h>

namespace {

const DWORD EXIT_WAIT_MS = 3000;
const DWORD RETRY_MS = 1;

// The ID of the thread that holds the lock, 0 while it is free. A kernel mutex would cost two
// round trips to the system per message under Wine; the lock is rarely contended (a dot a
// second before the first message, the control handler once), so a waiter simply retries.
volatile LONG holder = 0;

bool try_hold()
{
    return InterlockedCompareExchange(&holder, static_cast<LONG>(GetCurrentThreadId()), 0) == 0;
}

} // namespace

void hold_output()
{
    while (!try_hold())
        Sleep(RETRY_MS);
}

void release_output()
{
    // Without effect when this thread does not hold it, as after a fault outside a print.
    InterlockedCompareExchange(&holder, 0, static_cast<LONG>(GetCurrentThreadId()));
}

void hold_output_for_exit()
{
    DWORD start = GetTickCount();
    while (!try_hold() && GetTickCount() - start < EXIT_WAIT_MS)
        Sleep(RETRY_MS);
}
