// The system's text for an error code.
#pragma once

#include <windows.h>

// Prints the system's message text for code in bright red through the tool's print routine,
// or "UNKNOWN_ERROR_CODE\n" when the system has none. No label, no line end of its own.
void print_error_detail(DWORD code);

// Commits the routine's copy buffer; replaceable so that a failed commit can be exercised.
extern void* (*error_detail_commit)(SIZE_T bytes);
