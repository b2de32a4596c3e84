// Prints its first word's file in the hexadecimal view, so the view can be watched on a console.
#include <windows.h>

#include "file_print.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 1;
    print_file_to_screen(argv[1], PRINT_HEX);
    return 0;
}
