// quilletdbg: shows what every process on the machine sends to the debugger output channel.
#include "monitor_startup.h"

int wmain(int argc, wchar_t** argv)
{
    return run_monitor(argc, argv);
}
