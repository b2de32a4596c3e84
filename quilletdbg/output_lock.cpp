#include "output_lock.h"

#include <windows.h>

namespace {

const DWORD EXIT_WAIT_MS = 3000;

HANDLE output_lock = nullptr;

} // namespace

void create_output_lock()
{
    if (output_lock == nullptr)
        output_lock = CreateMutexW(nullptr, FALSE, nullptr);
}

void hold_output()
{
    if (output_lock != nullptr)
        WaitForSingleObject(output_lock, INFINITE);
}

void release_output()
{
    // Fails without effect when this thread does not hold it, as after a fault outside a print.
    if (output_lock != nullptr)
        ReleaseMutex(output_lock);
}

void hold_output_for_exit()
{
    if (output_lock != nullptr)
        WaitForSingleObject(output_lock, EXIT_WAIT_MS);
}
