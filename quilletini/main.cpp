// quilletini: reads and writes keys of existing settings files, prints a text file.
#include <windows.h>

#include <stdlib.h>

#include "user_context.h"

namespace {

void release_globals()
{
    release_user_context();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    load_user_context();
    atexit(release_globals);
    return 0;
}
