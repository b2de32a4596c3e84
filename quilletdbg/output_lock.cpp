#include "output_lock.h"

namespace {

const DWORD RETRY_MS = 1;

// Each lock is the ID of the thread that holds it, 0 while it is free. A kernel mutex would
// cost two round trips to the system per message under Wine; the locks are rarely contended,
// so a waiter simply retries.
volatile LONG output_holder = 0;
volatile LONG console_holder = 0;

bool try_hold(volatile LONG& holder)
{
    return InterlockedCompareExchange(&holder, static_cast<LONG>(GetCurrentThreadId()), 0) == 0;
}

bool hold_until(volatile LONG& holder, DWORD deadline)
{
    while (!try_hold(holder)) {
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0)
            return false;
        Sleep(RETRY_MS);
    }
    return true;
}

void hold(volatile LONG& holder)
{
    while (!try_hold(holder))
        Sleep(RETRY_MS);
}

// Without effect when this thread does not hold it, as after a fault outside a print.
void release(volatile LONG& holder)
{
    InterlockedCompareExchange(&holder, 0, static_cast<LONG>(GetCurrentThreadId()));
}

} // namespace

void hold_output()
{
    hold(output_holder);
}

void release_output()
{
    release(output_holder);
}

void hold_output_until(DWORD deadline)
{
    hold_until(output_holder, deadline);
}

void hold_console()
{
    hold(console_holder);
}

void release_console()
{
    release(console_holder);
}

bool hold_console_until(DWORD deadline)
{
    return hold_until(console_holder, deadline);
}

void hold_console_and_output()
{
    hold(console_holder);
    hold(output_holder);
}

void release_console_and_output()
{
    release(output_holder);
    release(console_holder);
}
