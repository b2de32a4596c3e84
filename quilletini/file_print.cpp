#include "file_print.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "error_detail.h"
#include "file_owner.h"
#include "hex_view.h"
#include "ini_output.h"
#include "ini_state.h"
#include "text_color.h"

namespace {

struct FileBytes {
    unsigned char* data;
    DWORD count;
};

// Reads the whole file at once. On failure the thread's last error holds the reason.
bool read_whole_file(HANDLE file, FileBytes& bytes)
{
    SetLastError(0);
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    // The low part alone would print only the start of a file of 4 GB or more, as if it were all.
    if (high != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bytes.data = static_cast<unsigned char*>(malloc(size > 0 ? size : 1));
    if (bytes.data == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(0);
    return ReadFile(file, bytes.data, size, &bytes.count, nullptr) != FALSE;
}

// An executable image: "MZ", 3 pages, a header of 4 paragraphs.
bool has_dos_header(const FileBytes& bytes)
{
    const unsigned char* b = bytes.data;
    return bytes.count >= 9 && b[0] == 0x4D && b[1] == 0x5A && b[4] == 3 && b[8] == 4;
}

void refuse_image()
{
    ini_wprintf(L"Could not open File. Reason: ");
    set_text_color(4);
    ini_wprintf(L"%ls", L"Binary Files are not allowed (DOS -Header found).\n");
    restore_text_color();
    ini_wprintf(L"Error Detail: ");
    print_error_detail(ERROR_BAD_FORMAT);
}

// The bytes go to the console handle past the runtime's stream, so its buffered text must be
// out before them and nothing of it may be pending after them, or a redirected file gets
// the pieces in the wrong order.
void write_raw(const FileBytes& bytes)
{
    fflush(stdout);
    const unsigned char* next = bytes.data;
    DWORD left = bytes.count;
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(ini_state.console, next, left, &written, nullptr) || written == 0)
            break;
        next += written;
        left -= written;
    }
    fflush(stdout);
}

void print_plain(const wchar_t* path, const FileBytes& bytes)
{
    ini_wprintf(L"Printing File to Screen (Plain Mode): ");
    set_text_color(3);
    ini_wprintf(L"%ls\n", path);
    restore_text_color();
    ini_wprintf(L"\n");
    SetLastError(0);
    set_text_color(1);
    write_raw(bytes);
    restore_text_color();
    ini_wprintf(L"\n");
}

void report_failure(const wchar_t* path, DWORD code)
{
    ini_state.last_error = code;
    print_failure(code);
    if (code == ERROR_ACCESS_DENIED)
        report_file_owner(path);
}

// A path that exists but whose full path does not fit cannot be opened by it.
DWORD full_path_failure_code()
{
    DWORD code = GetLastError();
    return code != NO_ERROR ? code : ERROR_FILENAME_EXCED_RANGE;
}

} // namespace

void print_file_to_screen(const wchar_t* path, int mode)
{
    ini_state.console = GetStdHandle(STD_OUTPUT_HANDLE);
    SetLastError(0);
    if (!make_full_path(path)) {
        report_failure(path, full_path_failure_code());
        return;
    }
    SetLastError(0);
    HANDLE file = CreateFileW(ini_state.full_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report_failure(path, GetLastError());
        return;
    }
    FileBytes bytes = {};
    if (!read_whole_file(file, bytes))
        report_failure(path, GetLastError());
    else if (has_dos_header(bytes))
        refuse_image();
    else if (mode == PRINT_PLAIN)
        print_plain(path, bytes);
    else if (mode == PRINT_HEX)
        print_hex_view(path, bytes.data, bytes.count);
    free(bytes.data);
    CloseHandle(file);
}
