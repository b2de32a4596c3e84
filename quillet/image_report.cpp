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
    const IMAGE_FILE_HEADER& file = headers->FileHeader;
    const IMAGE_OPTIONAL_HEADER& optional = headers->OptionalHeader;
    print_field(L"-- Image Characteristics: %d --\n", file.Characteristics);
    print_field(L"-- Machine: %d --\n", file.Machine);
    print_field(L"-- Subsystem: %d --\n", optional.Subsystem);
    print_field(L"-- Major Linker Version: %d --\n", optional.MajorLinkerVersion);
    print_field(L"-- Minor Linker Version: %d --\n", optional.MinorLinkerVersion);
    print_field(L"-- Major Image Version: %d --\n", optional.MajorImageVersion);
    print_field(L"-- Minor Image Version: %d --\n", optional.MinorImageVersion);
    print_field(L"-- Major Operating System Version: %d --\n", optional.MajorOperatingSystemVersion);
    print_field(L"-- Minor Operating System Version: %d --\n", optional.MinorOperatingSystemVersion);
    print_field(L"-- Major Subsystem Version: %d --\n", optional.MajorSubsystemVersion);
    print_field(L"-- Minor Subsystem Version: %d --\n", optional.MinorSubsystemVersion);
    print_field(L"-- Image Magic: %d --\n", optional.Magic);
    print_field(L"-- Image Checksum: %d --\n", optional.CheckSum);
    print_field(L"-- Image Dll Characteristics: %d --\n", optional.DllCharacteristics);
}

void header_job(void* context)
{
    HeaderJob& job = *static_cast<HeaderJob*>(context);
    if (job.map_and_load(job.narrow_path, nullptr, &job.image, FALSE, TRUE) != 1)
        return;
    job.mapped = true;
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

void print_image_checksums(const wchar_t* path)
{
    FARPROC function = nullptr;
    HMODULE library = get_imagehlp_function("MapFileAndCheckSumW", &function);
    if (library != nullptr)
        function = GetProcAddress(library, "MapFileAndCheckSumW");
    if (library == nullptr || function == nullptr) {
        if (library != nullptr)
            FreeLibrary(library);
        return;
    }

    // A damaged header can make the function fault; that counts as a failure like any other.
    ChecksumJob job = {reinterpret_cast<MapFileAndCheckSumProc>(function), path, 0, 0, 1};
    if (!run_guarded(checksum_job, &job) || job.result != CHECKSUM_SUCCESS) {
        FreeLibrary(library);
        return;
    }

    set_text_color(7);
    ql_wprintf(L"[Checksums]\n");
    print_html_break();
    restore_text_color();
    set_text_color(2);
    ql_wprintf(L"-- Header Sum: %d --\n", static_cast<int>(job.header_sum));
    print_html_break();
    ql_wprintf(L"-- Computed Sum: %d --\n", static_cast<int>(job.computed_sum));
    print_html_break();
    restore_text_color();
    FreeLibrary(library);
}

void print_image_internal_information(const wchar_t* path)
{
    char* narrow_path = narrow_full_path(path);
    if (narrow_path == nullptr)
        return;

    FARPROC function = nullptr;
    HMODULE library = get_imagehlp_function("MapAndLoad", &function);
    if (library != nullptr)
        function = GetProcAddress(library, "MapAndLoad");
    if (library != nullptr && function != nullptr) {
        HeaderJob job = {};
        job.map_and_load = reinterpret_cast<MapAndLoadProc>(function);
        job.narrow_path = narrow_path;
        if (!run_guarded(header_job, &job)) {
            print_failure(GetLastError(), L"print_image_internal_information::UNKNOWN");
            print_html_break();
        }
        if (job.mapped)
            unmap_image(&job.image);
    }
    free(narrow_path);
}
