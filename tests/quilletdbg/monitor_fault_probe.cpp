// Test helper: the real monitor, plus a thread that can make the monitor's next read of the
// channel buffer fault, once. The view's page becomes a guard page: the first access raises
// a guard page violation (a fault nothing handles) and the system takes the guard off again.
#include <windows.h>

#include "channel_setup.h"
#include "monitor_startup.h"
#include "traffic_names.h"

namespace {

DWORD WINAPI fault_probe(void*)
{
    HANDLE arm = CreateEventW(nullptr, FALSE, FALSE, FAULT_PROBE_ARM_EVENT);
    HANDLE armed = CreateEventW(nullptr, FALSE, FALSE, FAULT_PROBE_ARMED_EVENT);
    for (;;) {
        WaitForSingleObject(arm, INFINITE);
        DWORD old = 0;
        if (channel.view != nullptr &&
            VirtualProtect(const_cast<char*>(channel.view), 1, PAGE_READONLY | PAGE_GUARD, &old))
            SetEvent(armed);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CloseHandle(CreateThread(nullptr, 0, fault_probe, nullptr, 0, nullptr));
    return run_monitor(argc, argv);
}
