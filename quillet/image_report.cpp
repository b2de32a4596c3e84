#include "image_report.h"

#include <imagehlp.h>

#include <stdlib.h>

#include "fault_guard.h"
#include "failure_notice.h"
#include "report_output.h"
#include "text_color.h"

namespace {

// ImageHlp.dll is never imported: without it (or without one of its functions) the tool still
// runs and leaves the section out.
typedef DWORD(WINAPI* MapFileAndCheckSumProc)(PCWSTR path, PDWORD header_sum, PDWORD computed_sum);
typedef BOOL(WINAPI* MapAndLoadProc)(PCSTR path, PCSTR search_path, PLOADED_IMAGE image, BOOL dot_dll, BOOL read_only);
typedef BOOL(WINAPI* UnMapAndLoadProc)(PLOADED_IMAGE image);

const wchar_t IMAGEHLP_NAME[] = L"ImageHlp.dll";

struct ChecksumJob {
    MapFileAndCheckSumProc map_file_and_check_sum;
    const wchar_t* path;
    DWORD header_sum;
    DWORD computed_sum;
    DWORD result;
};

void checksum_job(void* context)
{
    ChecksumJob& job = *static_cast<ChecksumJob*>(context);
    job.result = job.map_file_and_check_sum(job.path, &job.header_sum, &job.computed_sum);
}

struct HeaderJob {
    MapAndLoadProc map_and_load;
    const char* narrow_path;
    LOADED_IMAGE image;
    bool mapped;
    // Filled instead of printed when set.
    DWORD* values;
};

void print_field(const wchar_t* format, DWORD value)
{
    set_text_color(2);
    ql_wprintf(format, static_cast<int>(value));
    print_html_break();
    restore_text_color();
}

// The fields sit at the same offsets in PE32 and PE32+ headers, so one layout reads both.
void print_header_fields(const IMAGE_NT_HEADERS* headers)
{
    for (const ImageField& field : IMAGE_HEADER_FIELDS)
        print_field(field.format, field.value(headers));
}

void header_job(void* context)
{
    HeaderJob& job = *static_cast<HeaderJob*>(context);
    if (job.map_and_load(job.narrow_path, nullptr, &job.image, FALSE, TRUE) != 1)
        return;
    job.mapped = true;
    if (job.values != nullptr) {
        for (size_t index = 0; index < IMAGE_HEADER_FIELD_COUNT; ++index)
            job.values[index] = IMAGE_HEADER_FIELDS[index].value(job.image.FileHeader);
        return;
    }
    set_text_color(7);
    ql_wprintf(L"[ImageExtraInfo]\n");
    print_html_break();
    restore_text_color();
    print_header_fields(job.image.FileHeader);
}

// MapAndLoad searches for a relative name beside the program before the current directory,
// while every other report opens it in the current directory: the full path makes them agree.
char* narrow_full_path(const wchar_t* path)
{
    DWORD chars = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (chars == 0)
        return nullptr;
    wchar_t* full = static_cast<wchar_t*>(malloc(chars * sizeof(wchar_t)));
    char* narrow = nullptr;
    if (full != nullptr && GetFullPathNameW(path, chars, full, nullptr) < chars) {
        size_t bytes = wcstombs(nullptr, full, 0);
        if (bytes != static_cast<size_t>(-1)) {
            narrow = static_cast<char*>(malloc(bytes + 1));
            if (narrow != nullptr)
                wcstombs(narrow, full, bytes + 1);
        }
    }
    free(full);
    return narrow;
}

void unmap_image(LOADED_IMAGE* image)
{
    FARPROC function = nullptr;
    get_imagehlp_function("UnMapAndLoad", &function);
    if (function != nullptr)
        reinterpret_cast<UnMapAndLoadProc>(function)(image);
}

} // namespace

const ImageField IMAGE_HEADER_FIELDS[IMAGE_HEADER_FIELD_COUNT] = {
    {L"-- Image Characteristics: %d --\n", "imageCharacteristics",
     [](ImageHeaders h) -> DWORD { return h->FileHeader.Characteristics; }},
    {L"-- Machine: %d --\n", "machine", [](ImageHeaders h) -> DWORD { return h->FileHeader.Machine; }},
    {L"-- Subsystem: %d --\n", "subsystem", [](ImageHeaders h) -> DWORD { return h->OptionalHeader.Subsystem; }},
    {L"-- Major Linker Version: %d --\n", "majorLinkerVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MajorLinkerVersion; }},
    {L"-- Minor Linker Version: %d --\n", "minorLinkerVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MinorLinkerVersion; }},
    {L"-- Major Image Version: %d --\n", "majorImageVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MajorImageVersion; }},
    {L"-- Minor Image Version: %d --\n", "minorImageVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MinorImageVersion; }},
    {L"-- Major Operating System Version: %d --\n", "majorOperatingSystemVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MajorOperatingSystemVersion; }},
    {L"-- Minor Operating System Version: %d --\n", "minorOperatingSystemVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MinorOperatingSystemVersion; }},
    {L"-- Major Subsystem Version: %d --\n", "majorSubsystemVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MajorSubsystemVersion; }},
    {L"-- Minor Subsystem Version: %d --\n", "minorSubsystemVersion",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.MinorSubsystemVersion; }},
    {L"-- Image Magic: %d --\n", "imageMagic", [](ImageHeaders h) -> DWORD { return h->OptionalHeader.Magic; }},
    {L"-- Image Checksum: %d --\n", "imageChecksum",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.CheckSum; }},
    {L"-- Image Dll Characteristics: %d --\n", "imageDllCharacteristics",
     [](ImageHeaders h) -> DWORD { return h->OptionalHeader.DllCharacteristics; }},
};

bool imagehlp_available()
{
    HMODULE library = LoadLibraryW(IMAGEHLP_NAME);
    if (library == nullptr)
        return false;
    FreeLibrary(library);
    return true;
}

HMODULE get_imagehlp_function(const char* name, FARPROC* function)
{
    if (!imagehlp_available())
        return nullptr;
    HMODULE library = LoadLibraryW(IMAGEHLP_NAME);
    if (library == nullptr)
        return nullptr;
    *function = GetProcAddress(library, name);
    return library;
}

bool read_image_checksums(const wchar_t* path, DWORD& header_sum, DWORD& computed_sum)
{
    FARPROC function = nullptr;
    HMODULE library = get_imagehlp_function("MapFileAndCheckSumW", &function);
    if (library != nullptr)
        function = GetProcAddress(library, "MapFileAndCheckSumW");
    if (library == nullptr || function == nullptr) {
        if (library != nullptr)
            FreeLibrary(library);
        return false;
    }
    // A damaged header can make the function fault; that counts as a failure like any other.
    ChecksumJob job = {reinterpret_cast<MapFileAndCheckSumProc>(function), path, 0, 0, 1};
    bool read = run_guarded(checksum_job, &job) && job.result == CHECKSUM_SUCCESS;
    FreeLibrary(library);
    header_sum = job.header_sum;
    computed_sum = job.computed_sum;
    return read;
}

void print_image_checksums(const wchar_t* path)
{
    DWORD header_sum = 0, computed_sum = 0;
    if (!read_image_checksums(path, header_sum, computed_sum))
        return;
    set_text_color(7);
    ql_wprintf(L"[Checksums]\n");
    print_html_break();
    restore_text_color();
    set_text_color(2);
    ql_wprintf(L"-- Header Sum: %d --\n", static_cast<int>(header_sum));
    print_html_break();
    ql_wprintf(L"-- Computed Sum: %d --\n", static_cast<int>(computed_sum));
    print_html_break();
    restore_text_color();
}

namespace {

// Maps the image and prints its fields, or fills values; false when it could not be mapped.
// A fault on the way is the failure notice.
bool run_header_job(const wchar_t* path, DWORD* values)
{
    char* narrow_path = narrow_full_path(path);
    if (narrow_path == nullptr)
        return false;
    FARPROC function = nullptr;
    HMODULE library = get_imagehlp_function("MapAndLoad", &function);
    if (library != nullptr)
        function = GetProcAddress(library, "MapAndLoad");
    HeaderJob job = {};
    if (library != nullptr && function != nullptr) {
        job.map_and_load = reinterpret_cast<MapAndLoadProc>(function);
        job.narrow_path = narrow_path;
        job.values = values;
        if (!run_guarded(header_job, &job)) {
            print_failure(GetLastError(), L"print_image_internal_information::UNKNOWN");
            print_html_break();
            job.values = nullptr;
        }
        if (job.mapped)
            unmap_image(&job.image);
    }
    free(narrow_path);
    return job.mapped && job.values != nullptr;
}

} // namespace

void print_image_internal_information(const wchar_t* path)
{
    run_header_job(path, nullptr);
}

bool read_image_header_fields(const wchar_t* path, DWORD values[IMAGE_HEADER_FIELD_COUNT])
{
    return run_header_job(path, values);
}
