#include "multiple_runs.h"

#include <shlwapi.h>
#include <wincrypt.h>

#include <string>
#include <wchar.h>

#include "error_detail.h"
#include "failure_notice.h"
#include "file_hash.h"
#include "file_properties.h"
#include "html_text.h"
#include "report_frame.h"
#include "report_output.h"
#include "settings.h"
#include "signature_report.h"
#include "text_color.h"
#include "text_helpers.h"
#include "version_report.h"

namespace {

void print_run_failure(DWORD code, const wchar_t* detail)
{
    ql_wprintf(L"\nCould not get Information for Files. Reason: ");
    print_error_detail(code);
    ql_wprintf(L"Detail: ");
    set_text_color(4);
    ql_wprintf(L"%ls", detail);
    restore_text_color();
}

bool is_word(const wchar_t* word, const wchar_t* option)
{
    return _wcsicmp(word, option) == 0;
}

void report_listed_file(const wchar_t* path)
{
    const wchar_t* last_word = stored_words[stored_word_count - 1];
    if (is_word(last_word, L"-md5")) {
        ql_wprintf(L"\n");
        show_hash_info(CALG_MD5, path, 1);
    }
    if (is_word(last_word, L"-sha1")) {
        ql_wprintf(L"\n");
        show_hash_info(CALG_SHA1, path, 1);
    }
    if (is_word(last_word, L"-sha256")) {
        ql_wprintf(L"\n");
        show_hash_info(CALG_SHA_256, path, 1);
    }
    print_file_properties(path);
    show_version_info(path);
    print_signature_information(path);
    ql_wprintf(L"\n");
}

void print_quick_jump_links(const wchar_t* pattern)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    ql_wprintf(L"<p>Path and Pattern for:<br><span %ls>%ls</span></p>\n", settings.FilePathTextAppearance,
               html_value(pattern).c_str());
    ql_wprintf(L"<p>Version Information available for<br>following files:</p><span>Quickjump:</span>\n<select %ls "
               L"id=\"QuilletResultFiles\" name=\"QuilletResultFiles\"></select>\n",
               settings.InnerSelectTag);
    ql_wprintf(L"\n<hr noshade>\n");
    std::wstring name = html_value(entry.cFileName);
    ql_wprintf(L"<br><a href=\"#%ls\" %ls>%ls</a><br>\n", name.c_str(), settings.InnerALinkTag, name.c_str());
    while (FindNextFileW(listing, &entry)) {
        name = html_value(entry.cFileName);
        ql_wprintf(L"<a href=\"#%ls\" %ls >%ls</a><br>\n", name.c_str(), settings.InnerALinkTag, name.c_str());
    }
    FindClose(listing);
}

// The entry's path as the listing names it, whatever its length: only for showing it.
std::wstring full_entry_path(const wchar_t* pattern, const wchar_t* name)
{
    std::wstring directory = pattern;
    size_t separator = directory.find_last_of(L'\\');
    if (separator == std::wstring::npos)
        return name;
    directory.erase(separator);
    return directory + L"\\" + name;
}

// The same heading and notice a file gets that cannot be opened: a path that does not fit
// the buffer is never cut to a shorter one, which could name a different file.
void report_overlong_entry(const wchar_t* pattern, const wchar_t* name)
{
    print_file_heading(full_entry_path(pattern, name).c_str());
    print_unopenable_file(ERROR_FILENAME_EXCED_RANGE);
}

// directory empty: the bare name, which the listing found in the current directory.
bool build_entry_path(const wchar_t* directory, const wchar_t* name, wchar_t* out)
{
    size_t directory_chars = wcslen(directory);
    size_t needed = directory_chars + (directory_chars > 0 ? 1 : 0) + wcslen(name);
    if (needed >= static_cast<size_t>(TEXT_CHARS))
        return false;
    clear_text_buffer(out);
    if (directory_chars > 0) {
        wcscpy(out, directory);
        wcscat(out, L"\\");
    }
    wcscat(out, name);
    return true;
}

void report_directory_entry(const wchar_t* pattern, const wchar_t* directory, const wchar_t* name)
{
    wchar_t path[TEXT_CHARS];
    bool pattern_fits = wcslen(pattern) < static_cast<size_t>(TEXT_CHARS);
    if (!pattern_fits || !build_entry_path(directory, name, path)) {
        report_overlong_entry(pattern, name);
        return;
    }
    print_file_properties(path);
    if (find_option(L"-md5") != -1)
        show_hash_info(CALG_MD5, path, 1);
    if (find_option(L"-sha1") != -1)
        show_hash_info(CALG_SHA1, path, 1);
    if (find_option(L"-sha256") != -1)
        show_hash_info(CALG_SHA_256, path, 1);
    show_version_info(path);
    print_signature_information(path);
}

DWORD report_pattern(const wchar_t* pattern)
{
    if (PathIsDirectoryW(pattern)) {
        print_run_failure(ERROR_PATH_NOT_FOUND, L"The given Directory Path is invalid or Wildcard Missing.\n");
        return GetLastError();
    }
    if (html_mode) {
        print_quick_jump_links(pattern);
        ql_wprintf(L"<br><hr noshade>\n");
    }

    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        print_run_failure(ERROR_FILE_NOT_FOUND, L"No files found for the Directory/Pattern/Wildcard.\n");
        ql_wprintf(L"Given Directory/Pattern/Wildcard: ");
        set_text_color(7);
        ql_wprintf(L"%ls", html_value(pattern).c_str());
        restore_text_color();
        ql_wprintf(L"\n");
        return GetLastError();
    }
    wchar_t directory[TEXT_CHARS];
    get_directory_part(pattern, directory);
    do {
        report_directory_entry(pattern, directory, entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    DWORD code = GetLastError();
    FindClose(listing);
    return code;
}

} // namespace

DWORD run_multiple_files()
{
    print_banner();
    if (stored_word_count == 2) {
        print_run_failure(ERROR_INVALID_PARAMETER, L"No File Names given.\n");
        return GetLastError();
    }
    for (int index = 2; index < stored_word_count; ++index) {
        const wchar_t* word = stored_words[index];
        if (is_word(word, L"-md5") || is_word(word, L"-sha1") || is_word(word, L"-sha256"))
            break;
        report_listed_file(word);
    }
    return GetLastError();
}

DWORD run_directory()
{
    if (find_option(L"-html") != -1)
        html_mode = true;
    print_banner();
    DWORD code;
    if (stored_word_count == 2) {
        print_run_failure(ERROR_INVALID_PARAMETER, L"No Directory Name given.\n");
        code = GetLastError();
    } else {
        code = report_pattern(stored_words[2]);
    }
    if (html_mode)
        ql_wprintf(L"\n</body>\n</html>");
    return code;
}

wchar_t* get_directory_part(const wchar_t* path, wchar_t* out)
{
    wchar_t directory[TEXT_CHARS];
    clear_text_buffer(directory);
    copy_text(directory, TEXT_CHARS, path);
    PathRemoveFileSpecW(directory);
    copy_text(out, TEXT_CHARS, directory);
    return out;
}
