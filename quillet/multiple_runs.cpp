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
#include "extended_report.h"
#include "failure_notice.h"
#include "file_hash.h"
#include "file_properties.h"
#include "hash_ahead.h"
#include "html_text.h"
#include "image_hash.h"
#include "pe_view.h"
#include "report_frame.h"
#include "report_output.h"
#include "settings.h"
#include "signature_report.h"
#include "text_color.h"
#include "text_helpers.h"
#include "version_report.h"

const wchar_t NO_FILE_NAMES[] = L"No File Names given.";
const wchar_t NOT_A_PATTERN[] = L"The given Directory Path is invalid or Wildcard Missing.";
const wchar_t UNLISTABLE_FOLDER[] = L"Could not list Folder.";

void print_run_failure(DWORD code, const wchar_t* detail)
{
    ql_wprintf(L"\nCould not get Information for Files. Reason: ");
    print_error_detail(code);
    ql_wprintf(L"Detail: ");
    set_text_color(4);
    ql_wprintf(L"%ls\n", detail);
    restore_text_color();
}

namespace {

const wchar_t NO_DIRECTORY_NAME[] = L"No Directory Name given.";
const wchar_t NOTHING_FOUND[] = L"No files found for the Directory/Pattern/Wildcard.";

bool is_word(const wchar_t* word, const wchar_t* option)
{
    return _wcsicmp(word, option) == 0;
}

// The words of a multiple-file run that are never paths, wherever they stand.
bool is_run_word(const wchar_t* word)
{
    return is_word(word, L"-csv") || is_word(word, L"-unsigned") || is_extended_word(word);
}

// "-extended" (or "-x") anywhere after the command word.
bool extended_asked()
{
    for (int index = 2; index < stored_word_count; ++index) {
        if (is_extended_word(stored_words[index]))
            return true;
    }
    return false;
}

// The last word of a multiple-file run that is no run word (it may ask for a digest), or -1.
int last_other_word()
{
    for (int index = stored_word_count - 1; index >= 2; --index) {
        if (!is_run_word(stored_words[index]))
            return index;
    }
    return -1;
}

const DigestKind* asked_digest()
{
    int last = last_other_word();
    return last < 0 ? nullptr : digest_word(stored_words[last]);
}

// What "-unsigned" leaves out; a path too long to open stays, for its notice.
bool left_out(const std::wstring& path, bool fits = true)
{
    return unsigned_only && fits && left_out_as_signed(path.c_str());
}

// "-pe": only PE images are matches, whatever their names; an entry that cannot be opened or
// read counts, so that it gets its notice.
bool is_pe_entry(const std::wstring& path, bool fits, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    bool image = false;
    DWORD error = 0;
    return !fits || !probe_pe_image(path.c_str(), image, error) || image;
}

WalkVisitor walk_visitor(void (*entry)(void*, const std::wstring&, bool, const std::wstring&),
                         void (*unlistable)(void*, const std::wstring&, DWORD), void* context)
{
    WalkVisitor visitor = {entry, unlistable, context, nullptr};
    if (find_option(L"-pe") != -1)
        visitor.matches = is_pe_entry;
    return visitor;
}

// The digests of a "-d" run, in the order of the table.
std::vector<const DigestKind*> requested_digests()
{
    std::vector<const DigestKind*> digests;
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (find_option(digest.word) != -1)
            digests.push_back(&digest);
    }
    return digests;
}

// The paths of a "-m" run: the words up to the first digest word, less the run words.
std::vector<std::wstring> listed_paths()
{
    std::vector<std::wstring> paths;
    for (int index = 2; index < stored_word_count && digest_word(stored_words[index]) == nullptr; ++index) {
        if (!is_run_word(stored_words[index]))
            paths.push_back(stored_words[index]);
    }
    return paths;
}

// The digest of a "-m" run, which only its last other word can ask for.
std::vector<const DigestKind*> listed_digests()
{
    std::vector<const DigestKind*> digests;
    if (asked_digest() != nullptr)
        digests.push_back(asked_digest());
    return digests;
}

void report_listed_file(void*, const std::wstring& listed)
{
    const wchar_t* path = listed.c_str();
    if (left_out(path))
        return;
    const DigestKind* digest = asked_digest();
    if (digest != nullptr) {
        ql_wprintf(L"\n");
        show_digest(*digest, path, 1);
    }
    print_file_properties(path);
    show_version_info(path);
    if (extended_asked())
        show_extended_info(path);
    print_signature_information(path);
    ql_wprintf(L"\n");
}

bool recursive_run()
{
    return find_option(L"-s") != -1 || find_option(L"-recurse") != -1;
}

// The quick-jump list names every entry that the report walk will report.
struct LinkList {
    const wchar_t* pattern;
    bool started;
};

void print_link(void* context, const std::wstring& path, bool fits, const std::wstring& relative)
{
    if (left_out(path, fits))
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
    if (left_out(path))
        return;
    print_file_properties(path.c_str(), relative.c_str());
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (find_option(digest.word) != -1)
            show_digest(digest, path.c_str(), 1);
    }
    show_version_info(path.c_str());
    if (extended_asked())
        show_extended_info(path.c_str());
    print_signature_information(path.c_str());
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
    bool recurse = recursive_run();
    if (html_mode) {
        print_quick_jump_links(pattern, recurse);
        ql_wprintf(L"<br><hr noshade>\n");
    }
    WalkVisitor visitor = walk_visitor(report_directory_entry, print_unlistable_folder, nullptr);
    WalkResult walk = walk_pattern_ahead(pattern, recurse, visitor, whole_file_algorithms(requested_digests()));
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
    columns.extended = extended_asked();
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
    if (left_out(path))
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
    columns.digests = requested_digests();
    begin_csv_document(columns);
    // "-csv" itself is word 2 at least, so a pattern is always there.
    const wchar_t* pattern = stored_words[2];
    if (PathIsDirectoryW(pattern))
        return csv_run_failure(columns, ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
    WalkVisitor visitor = walk_visitor(write_csv_entry, write_unlistable_folder, &columns);
    WalkResult walk = walk_pattern_ahead(pattern, recursive_run(), visitor, whole_file_algorithms(columns.digests));
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
    if (left_out(path))
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
    rows.columns.digests = listed_digests();
    begin_csv_document(rows.columns);
    if (last_other_word() < 0)
        return csv_run_failure(rows.columns, ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
    report_paths_ahead(listed_paths(), whole_file_algorithms(rows.columns.digests), write_listed_rows, &rows);
    return rows.code;
}

} // namespace

DWORD run_multiple_files()
{
    for (int index = 2; index < stored_word_count; ++index)
        unsigned_only = unsigned_only || is_word(stored_words[index], L"-unsigned");
    int compare = compare_word_index(2);
    if (compare != -1)
        return compare_listed_files(compare);
    if (csv_mode)
        return write_multiple_csv();
    print_banner();
    if (last_other_word() < 0) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
        return GetLastError();
    }
    report_paths_ahead(listed_paths(), whole_file_algorithms(listed_digests()), report_listed_file, nullptr);
    return GetLastError();
}

DWORD run_directory()
{
    unsigned_only = find_option(L"-unsigned") != -1;
    // Word 2 is always the pattern.
    int compare = compare_word_index(3);
    if (compare != -1)
        return compare_directory(compare);
    if (csv_mode)
        return write_directory_csv();
    if (find_option(L"-html") != -1)
        html_mode = true;
    print_banner();
    DWORD code;
    if (stored_word_count == 2) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_DIRECTORY_NAME);
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
