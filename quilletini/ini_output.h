// quilletini prints straight through the runtime's wide output; this is its failure notice.
#pragma once

#include <windows.h>

// "Error: Opening file failed. Reason: " with code, the user context and the system's text.
void print_failure(DWORD code);
