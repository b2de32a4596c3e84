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
#include "json_report.h"
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

// The signature comes with the setting that adds the signature block to a text report, the
// image sections of a JSON object with the one that adds them to the version report.
RecordWants document_wants(bool digests_first)
{
    RecordWants wants = {request->digests, signature_shown(), digests_first,
                         request->json && settings.OutputExtraImageInformation == 1, request->extended};
    return wants;
}

void begin_document(const RecordWants& wants)
{
    if (request->json) {
        begin_json_output();
        return;
    }
    CsvColumns columns = {wants.digests, wants.signature, wants.extended};
    begin_csv_document(columns);
}

// A file's rows or object; answers its failures.
FailureList write_file_document(const RecordWants& wants, const std::wstring& path)
{
    FileRecord record;
    read_file_record(wants, path, record);
    if (request->json)
        write_json_object(file_object(wants, record));
    else
        write_record_rows(record);
    return record.failures;
}

void write_failure_document(const RecordWants& wants, const std::wstring& path, const wchar_t* text, DWORD code)
{
    if (request->json) {
        write_json_failure(wants, path, text, code);
        return;
    }
    CsvColumns columns = {wants.digests, wants.signature, wants.extended};
    write_failure_row(columns, path, text, code);
}

// A failure of the whole run in a document: the header (if any) came first, this is all.
DWORD document_run_failure(const RecordWants& wants, DWORD code, const wchar_t* text)
{
    write_failure_document(wants, L"", text, code);
    return code;
}

void write_document_entry(void* context, const std::wstring& path, bool fits, const std::wstring&)
{
    const RecordWants& wants = *static_cast<const RecordWants*>(context);
    if (!fits) {
        write_failure_document(wants, path, UNOPENABLE_FILE_TEXT, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (leaves_out(*request, path))
        return;
    write_file_document(wants, path);
}

void write_unlistable_folder(void* context, const std::wstring& folder, DWORD code)
{
    write_failure_document(*static_cast<const RecordWants*>(context), folder, UNLISTABLE_FOLDER, code);
}

// The failures end the run with their own codes: there is no printed notice whose last
// error could stand for them.
DWORD write_directory_document()
{
    RecordWants wants = document_wants(false);
    begin_document(wants);
    // "-csv" or "-json" itself is word 2 at least, so a pattern is always there.
    const wchar_t* pattern = request->pattern.c_str();
    if (PathIsDirectoryW(pattern))
        return document_run_failure(wants, ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
    WalkVisitor visitor = walk_visitor(write_document_entry, write_unlistable_folder, &wants);
    WalkResult walk = walk_pattern_ahead(pattern, request->recurse, visitor, whole_file_algorithms(wants.digests),
                                         file_screen(*request));
    if (walk.matched == 0)
        return document_run_failure(wants, ERROR_FILE_NOT_FOUND, NOTHING_FOUND);
    return walk.code;
}

struct ListedFiles {
    RecordWants wants;
    DWORD code;
};

void write_listed_document(void* context, const std::wstring& path)
{
    if (leaves_out(*request, path))
        return;
    ListedFiles& files = *static_cast<ListedFiles*>(context);
    FailureList failures = write_file_document(files.wants, path);
    if (failures.any)
        files.code = failures.last_code;
}

// The run words are never paths; the digest comes from the last other word.
DWORD write_multiple_document()
{
    ListedFiles files = {document_wants(true), 0};
    begin_document(files.wants);
    if (!request->has_other_word)
        return document_run_failure(files.wants, ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
    report_paths_ahead(request->paths, whole_file_algorithms(files.wants.digests), write_listed_document, &files,
                       file_screen(*request));
    return files.code;
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
        return write_multiple_document();
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
        return write_directory_document();
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
