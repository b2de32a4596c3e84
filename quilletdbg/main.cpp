// quilletdbg: shows what every process on the machine sends to the debugger output channel.
#include <windows.h>

#include "monitor_output.h"
#include "text_helpers.h"
#include "user_context.h"

int wmain(int argc, wchar_t** argv)
{
    store_command_line(argc, argv);
    wchar_t stem[TEXT_CHARS];
    get_program_path_stem(stem);
    load_user_context();
    return 0;
}
