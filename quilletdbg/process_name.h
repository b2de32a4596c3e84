// The executable name of a process, by its ID.
#pragma once

#include <windows.h>

// Writes the bare executable name of the process into name (TEXT_CHARS), or "N/A" when no
// running process has that ID or the process list cannot be read.
void lookup_process_name(DWORD process_id, wchar_t* name);
