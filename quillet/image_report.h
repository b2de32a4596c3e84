// The image sections of the version report: checksums and image header fields, from
// ImageHlp.dll loaded at run time.
#pragma once

#include <windows.h>

#include <stddef.h>

bool imagehlp_available();

// Loads ImageHlp.dll and looks up name; returns the library handle (null when it is missing).
HMODULE get_imagehlp_function(const char* name, FARPROC* function);

void print_image_checksums(const wchar_t* path);
void print_image_internal_information(const wchar_t* path);

// One image header field: its line in the "[ImageExtraInfo]" section, its name in a JSON
// object, and where it lies in the headers.
typedef const IMAGE_NT_HEADERS* ImageHeaders;
struct ImageField {
    const wchar_t* format;
    const char* key;
    DWORD (*value)(ImageHeaders headers);
};

const size_t IMAGE_HEADER_FIELD_COUNT = 14;
extern const ImageField IMAGE_HEADER_FIELDS[IMAGE_HEADER_FIELD_COUNT];

// The values the sections print; false when there are none (no image, no ImageHlp.dll). A
// fault while the headers are read is reported through print_failure.
bool read_image_checksums(const wchar_t* path, DWORD& header_sum, DWORD& computed_sum);
bool read_image_header_fields(const wchar_t* path, DWORD values[IMAGE_HEADER_FIELD_COUNT]);
