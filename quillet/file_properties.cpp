#include "file_properties.h"

#include <windows.h>

#include <shlwapi.h>

#include <string.h>

#include "failure_notice.h"
#include "hash_ahead.h"
#include "html_text.h"
#include "report_output.h"
#include "settings.h"
#include "text_color.h"
#include "text_helpers.h"

void print_file_heading(const wchar_t* path, const wchar_t* anchor)
{
    set_text_color(7);
    if (html_mode)
        ql_wprintf(L"<br>\n<input type=\"button\" value=\"Back\" title=\"Go Back\" %ls "
                   L"onClick=\"window.history.back();\"/>\n<br><hr noshade>\n",
                   settings.InputButtonTag);
    ql_wprintf(L"\nFile Version Info for:\n");
    restore_text_color();

    if (html_mode) {
        ql_wprintf(L"<a name=\"%ls\"></a>", html_value(anchor != nullptr ? anchor : PathFindFileNameW(path)).c_str());
        ql_wprintf(L"<span %ls>\"%ls\"</span>\n\n", settings.FilePathTextAppearance, html_value(path).c_str());
        ql_wprintf(L"<br><br>");
    } else {
        ql_wprintf(L"\"%ls\"\n\n", path);
    }
}

const wchar_t UNOPENABLE_FILE_TEXT[] = L"Could not open File for reading.";

void print_unopenable_file(DWORD code)
{
    print_failure(code, UNOPENABLE_FILE_TEXT);
    ql_wprintf(L"\n");
    print_html_break();
}

namespace {

const size_t TIME_TEXT_CHARS = 50;

void print_block_line(const wchar_t* format, int number)
{
    ql_wprintf(format, number);
    print_html_break();
}

void print_time_line(const wchar_t* format, const FILETIME& time)
{
    wchar_t text[TIME_TEXT_CHARS];
    memset(text, 0, sizeof(text));
    format_file_time(time, text, TIME_TEXT_CHARS);
    ql_wprintf(format, text);
    print_html_break();
}

void print_properties_block(HANDLE file, const wchar_t* path)
{
    set_text_color(7);
    ql_wprintf(L"Is the File readable: YES\n");
    print_html_break();
    DWORD high = 0;
    print_block_line(L"File Size (Bytes): %d\n", static_cast<int>(GetFileSize(file, &high)));
    print_block_line(L"File Attributes: %d\n", static_cast<int>(GetFileAttributesW(path)));
    FILETIME created, accessed, written;
    if (GetFileTime(file, &created, &accessed, &written) == 1) {
        keep_access_time_before_hashing(path, accessed);
        print_time_line(L"File created: %ls\n", created);
        print_time_line(L"File last Access: %ls\n", accessed);
        print_time_line(L"File last Write: %ls\n\n", written);
    }
    restore_text_color();
}

} // namespace

void print_file_properties(const wchar_t* path, const wchar_t* anchor)
{
    print_file_heading(path, anchor);
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        print_unopenable_file(GetLastError());
        return;
    }
    if (settings.PrintExtraFileProperties == 1)
        print_properties_block(file, path);
    CloseHandle(file);
}
