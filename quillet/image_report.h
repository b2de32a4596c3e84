// The image sections of the version report: checksums and image header fields, from
// ImageHlp.dll loaded at run time.
#pragma once

#include <windows.h>

bool imagehlp_available();

// Loads ImageHlp.dll and looks up name; returns the library handle (null when it is missing).
HMODULE get_imagehlp_function(const char* name, FARPROC* function);

void print_image_checksums(const wchar_t* path);
void print_image_internal_information(const wchar_t* path);
