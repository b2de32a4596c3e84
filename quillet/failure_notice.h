// quillet's failure notice: what failed, the code, who ran the tool, the system's text.
#pragma once

#include <windows.h>

void print_failure(DWORD code, const wchar_t* context);
