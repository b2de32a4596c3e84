#include "multiple_runs.h"

#include <shlwapi.h>
#include <wincrypt.h>

#include <string>
#include <vector>
#include <wchar.h>

#include "compare_run.h"
#include "csv_report.h"
#include "directory_walk.h"
#include "error_detail.h"
#include "failure_notice.h"
#include "file_hash.h"
#include "file_properties.h"
#include "hash_ahead.h"
#include "extended_report.h"
#include "html_text.h"
#include "digest_report.h"
#include "report_frame.h"
#include "report_guard.h"
#include "report_output.h"
#include "run_failure.h"
#include "run_request.h"
#include "run_selection.h"
#include "settings.h"
#include "signature_report.h"
#include "text_color.h"
#include "text_helpers.h"
#include "version_report.h"

namespace {

// The request of the run under way, read once at its start.
const RunRequest* request = nullptr;

WalkVisitor walk_visitor(void (*entry)(void*, const std::wstring&, bool, const std::wstring&),
                         void (*unlistable)(void*, const std::wstring&, DWORD), void* context)
{
    WalkVisitor visitor = {entry, unlistable, context, entry_filter(*request), nullptr};
    return visitor;
}

// The last blocks of a file's report; a block that throws gets its notice and the report goes on.
void report_version_and_signature(const wchar_t* path)
{
    run_report_step(L"show_version_info", [&]() { show_version_info(path); });
    if (request->extended)
        run_report_step(L"show_extended_info", [&]() { show_extended_info(path); });
    run_report_step(L"print_signature_information", [&]() { print_signature_information(path); });
}

void report_listed_file(void*, const std::wstring& listed)
{
    const wchar_t* path = listed.c_str();
    if (leaves_out(*request, listed))
        return;
    for (const DigestKind* digest : request->digests) {
        ql_wprintf(L"\n");
        show_digest(*digest, path, 1);
    }
    run_report_step(L"print_file_properties", [&]() { print_file_properties(path); });
    report_version_and_signature(path);
    ql_wprintf(L"\n");
}

// The quick-jump list names every entry that the report walk will report.
struct LinkList {
    const wchar_t* pattern;
    bool started;
};

void print_link(void* context, const std::wstring& path, bool fits, const std::wstring& relative)
{
    if (leaves_out(*request, path, fits))
        return;
    LinkList& links = *static_cast<LinkList*>(context);
    std::wstring name = html_value(relative.c_str());
    if (links.started) {
        ql_wprintf(L"<a href=\"#%ls\" %ls >%ls</a><br>\n", name.c_str(), settings.InnerALinkTag, name.c_str());
        return;
    }
    links.started = true;
    ql_wprintf(L"<p>Path and Pattern for:<br><span %ls>%ls</span></p>\n", settings.FilePathTextAppearance,
               html_value(links.pattern).c_str());
    ql_wprintf(L"<p>Version Information available for<br>following files:</p><span>Quickjump:</span>\n<select %ls "
               L"id=\"QuilletResultFiles\" name=\"QuilletResultFiles\"></select>\n",
               settings.InnerSelectTag);
    ql_wprintf(L"\n<hr noshade>\n");
    ql_wprintf(L"<br><a href=\"#%ls\" %ls>%ls</a><br>\n", name.c_str(), settings.InnerALinkTag, name.c_str());
}

void skip_folder(void*, const std::wstring&, DWORD) {}

void print_quick_jump_links(const wchar_t* pattern, bool recurse)
{
    LinkList links = {pattern, false};
    WalkVisitor visitor = walk_visitor(print_link, skip_folder, &links);
    walk_pattern(pattern, recurse, visitor);
}

// The anchor is the path relative to the pattern's folder: unique in a whole tree, and the
// file-name part for the pattern's own folder.
void report_directory_entry(void*, const std::wstring& path, bool fits, const std::wstring& relative)
{
    // The same heading and notice a file gets that cannot be opened: a path that does not fit
    // the buffer is never cut to a shorter one, which could name a different file.
    if (!fits) {
        print_file_heading(path.c_str(), relative.c_str());
        print_unopenable_file(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (leaves_out(*request, path))
        return;
    run_report_step(L"print_file_properties", [&]() { print_file_properties(path.c_str(), relative.c_str()); });
    for (const DigestKind* digest : request->digests)
        show_digest(*digest, path.c_str(), 1);
    report_version_and_signature(path.c_str());
}

void print_unlistable_folder(void*, const std::wstring& folder, DWORD code)
{
    ql_wprintf(L"\n%ls Reason: %d\n", UNLISTABLE_FOLDER, static_cast<int>(code));
    print_html_break();
    ql_wprintf(L"Failed for Folder: ");
    print_colored_line(3, L"%ls\n", folder.c_str());
    print_detail_line(code);
}

DWORD report_pattern(const wchar_t* pattern)
{
    if (PathIsDirectoryW(pattern)) {
        print_run_failure(ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
        return GetLastError();
    }
    bool recurse = request->recurse;
    if (html_mode) {
        print_quick_jump_links(pattern, recurse);
        ql_wprintf(L"<br><hr noshade>\n");
    }
    WalkVisitor visitor = walk_visitor(report_directory_entry, print_unlistable_folder, nullptr);
    WalkResult walk =
        walk_pattern_ahead(pattern, recurse, visitor, whole_file_algorithms(request->digests), file_screen(*request));
    if (walk.matched > 0)
        return walk.code;
    print_run_failure(ERROR_FILE_NOT_FOUND, NOTHING_FOUND);
    ql_wprintf(L"Given Directory/Pattern/Wildcard: ");
    set_text_color(7);
    ql_wprintf(L"%ls", html_value(pattern).c_str());
    restore_text_color();
    ql_wprintf(L"\n");
    return GetLastError();
}

// The signature column comes with the setting that adds the signature block to a text report.
CsvColumns csv_columns()
{
    CsvColumns columns;
    columns.signature = signature_shown();
    columns.extended = request->extended;
    return columns;
}

// A failure of the whole run in a CSV document: the header came first, this row is all.
DWORD csv_run_failure(const CsvColumns& columns, DWORD code, const wchar_t* text)
{
    write_failure_row(columns, L"", text, code);
    return code;
}

void write_csv_entry(void* context, const std::wstring& path, bool fits, const std::wstring&)
{
    const CsvColumns& columns = *static_cast<const CsvColumns*>(context);
    if (!fits) {
        write_failure_row(columns, path, UNOPENABLE_FILE_TEXT, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (leaves_out(*request, path))
        return;
    FailureList failures = {};
    write_file_rows(columns, path, false, failures);
}

void write_unlistable_folder(void* context, const std::wstring& folder, DWORD code)
{
    write_failure_row(*static_cast<const CsvColumns*>(context), folder, UNLISTABLE_FOLDER, code);
}

// The failures end the run with their own codes: there is no printed notice whose last
// error could stand for them.
DWORD write_directory_csv()
{
    CsvColumns columns = csv_columns();
    columns.digests = request->digests;
    begin_csv_document(columns);
    // "-csv" itself is word 2 at least, so a pattern is always there.
    const wchar_t* pattern = request->pattern.c_str();
    if (PathIsDirectoryW(pattern))
        return csv_run_failure(columns, ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
    WalkVisitor visitor = walk_visitor(write_csv_entry, write_unlistable_folder, &columns);
    WalkResult walk = walk_pattern_ahead(pattern, request->recurse, visitor, whole_file_algorithms(columns.digests),
                                         file_screen(*request));
    if (walk.matched == 0)
        return csv_run_failure(columns, ERROR_FILE_NOT_FOUND, NOTHING_FOUND);
    return walk.code;
}

struct ListedRows {
    CsvColumns columns;
    DWORD code;
};

void write_listed_rows(void* context, const std::wstring& path)
{
    if (leaves_out(*request, path))
        return;
    ListedRows& rows = *static_cast<ListedRows*>(context);
    FailureList failures = {};
    write_file_rows(rows.columns, path, true, failures);
    if (failures.any)
        rows.code = failures.last_code;
}

// The run words are never paths; the digest comes from the last other word.
DWORD write_multiple_csv()
{
    ListedRows rows = {csv_columns(), 0};
    rows.columns.digests = request->digests;
    begin_csv_document(rows.columns);
    if (!request->has_other_word)
        return csv_run_failure(rows.columns, ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
    report_paths_ahead(request->paths, whole_file_algorithms(rows.columns.digests), write_listed_rows, &rows,
                       file_screen(*request));
    return rows.code;
}

} // namespace

DWORD run_multiple_files()
{
    RunRequest words;
    read_run_request(MULTIPLE_RUN, words);
    request = &words;
    unsigned_only = words.unsigned_only;
    if (words.compare != -1)
        return compare_listed_files(words);
    if (csv_mode)
        return write_multiple_csv();
    print_banner();
    if (!words.has_other_word) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
        return GetLastError();
    }
    report_paths_ahead(words.paths, whole_file_algorithms(words.digests), report_listed_file, nullptr,
                       file_screen(words));
    return GetLastError();
}

DWORD run_directory()
{
    RunRequest words;
    read_run_request(DIRECTORY_RUN, words);
    request = &words;
    unsigned_only = words.unsigned_only;
    // A pattern whose folder is gone fails as the same run without the comparison fails.
    if (words.compare != -1 &&
        (!words.has_baseline || PathIsDirectoryW(words.pattern.c_str()) || pattern_folder_listable(words.pattern)))
        return compare_directory(words);
    if (csv_mode)
        return write_directory_csv();
    if (words.html)
        html_mode = true;
    print_banner();
    DWORD code;
    if (!words.has_pattern) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_DIRECTORY_NAME);
        code = GetLastError();
    } else {
        code = report_pattern(words.pattern.c_str());
    }
    if (html_mode)
        ql_wprintf(L"\n</body>\n</html>");
    return code;
}
