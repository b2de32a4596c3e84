// Who signed a file and when, as its signature (or the catalog that lists it) says.
#pragma once

#include <windows.h>

// "[Signer]", "[Issuer]" and "[Signed On]" (the time stamp, or "none") read from source: the
// signed file itself or the catalog that lists it. Nothing when no signer can be read.
void print_signer_lines(const wchar_t* source);
