// quillet: reports what is compiled into a file.
#include <windows.h>

#include "report_output.h"
#include "settings.h"
#include "text_helpers.h"
#include "user_context.h"

int wmain(int argc, wchar_t** argv)
{
    store_command_line(argc, argv);
    load_settings();
    load_user_context();
    return 0;
}
