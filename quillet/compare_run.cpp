#include "compare_run.h"

#include <shlwapi.h>

#include <string>
#include <vector>
#include <wchar.h>

#include "compare_baseline.h"
#include "compare_report.h"
#include "csv_report.h"
#include "directory_walk.h"
#include "file_properties.h"
#include "hash_ahead.h"
#include "multiple_runs.h"
#include "report_frame.h"
#include "report_output.h"
#include "settings.h"
#include "text_color.h"
#include "text_helpers.h"

namespace {

bool is_word(int index, const wchar_t* option)
{
    return _wcsicmp(stored_words[index], option) == 0;
}

bool is_compare_word(int index)
{
    return is_word(index, L"-compare") || is_word(index, L"-cmp");
}

// The word after the compare word is its value, whatever it looks like.
bool run_has_word(int compare, const wchar_t* option)
{
    for (int index = 2; index < stored_word_count; ++index) {
        if (index != compare + 1 && is_word(index, option))
            return true;
    }
    return false;
}

DWORD missing_value(int compare)
{
    set_text_color(4);
    ql_wprintf(L"%ls needs a value: the path of a CSV document that quillet wrote.\n", stored_words[compare]);
    restore_text_color();
    return ERROR_INVALID_PARAMETER;
}

// False with code when the baseline cannot be used; its notice is printed.
bool read_baseline(const wchar_t* path, ComparedSide& baseline, DWORD& code)
{
    BaselineFault fault = {};
    if (load_baseline(path, baseline, fault))
        return true;
    if (fault.unopenable) {
        ql_wprintf(L"\nBaseline: \"%ls\"\n", path);
        print_unopenable_file(fault.code);
        code = fault.code;
        return false;
    }
    set_text_color(4);
    ql_wprintf(L"Cannot compare with \"%ls\", line %u: %ls.\n", path, static_cast<unsigned>(fault.line),
               fault.reason.c_str());
    restore_text_color();
    code = ERROR_INVALID_DATA;
    return false;
}

// A directory run (no last word) asks for each digest whose word it has, a multiple-file run
// for the one its last word names.
bool asks_digest(int compare, const wchar_t* last_word, const DigestKind& digest)
{
    if (last_word == nullptr)
        return run_has_word(compare, digest.word);
    return digest_word(last_word) == &digest;
}

// The current run computes, beside what its words ask for, every digest and the signature
// that the baseline has.
CsvColumns current_columns(const ComparedSide& baseline, int compare, const wchar_t* last_word)
{
    CsvColumns columns;
    columns.signature = settings.PrintSignatureInformation == 1 || baseline.columns.signature >= 0;
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index) {
        if (asks_digest(compare, last_word, DIGEST_KINDS[index]) || baseline.columns.digests[index] >= 0)
            columns.digests.push_back(&DIGEST_KINDS[index]);
    }
    return columns;
}

void prepare_current_side(ComparedSide& current, const CsvColumns& columns)
{
    std::wstring header = csv_header(columns);
    CsvReader reader = {header.c_str(), header.size(), 0, 1};
    std::vector<std::wstring> names;
    size_t line = 0;
    std::wstring reason;
    read_csv_record(reader, names, line, reason);
    current.columns = map_columns(names, reason);
}

// Gathers the current files as the CSV document would show them.
struct CurrentRun {
    CsvColumns columns;
    ComparedSide side;
    bool digests_first;
    std::vector<std::wstring> rows;
};

bool is_directory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Could not be opened (no size) or not read through (a digest missing). A folder the pattern
// matches is compared like a file: it never opens, in the baseline either.
bool cannot_be_read(const ComparedSide& side, const ComparedFile& file, const std::wstring& path)
{
    bool failed = file.size.empty();
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index)
        failed = failed || (side.columns.digests[index] >= 0 && file.digests[index].empty());
    return failed && !is_directory(path);
}

// The rows the entry's CSV form would have, read back; a path named twice counts once.
void add_current_entry(CurrentRun& run, const std::wstring& shown, const std::wstring& path, bool folder)
{
    std::wstring key = matching_key(shown);
    if (run.side.by_key.count(key) != 0)
        return;
    std::vector<std::wstring> fields;
    for (const std::wstring& row : run.rows) {
        CsvReader reader = {row.c_str(), row.size(), 0, 1};
        size_t line = 0;
        std::wstring reason;
        if (read_csv_record(reader, fields, line, reason) == CSV_RECORD)
            add_side_row(run.side, fields, shown, reason);
    }
    auto found = run.side.by_key.find(key);
    if (found == run.side.by_key.end())
        return;
    ComparedFile& file = run.side.files[found->second];
    file.unlisted_folder = folder;
    file.unreadable = folder || cannot_be_read(run.side, file, path);
}

void collect_file(CurrentRun& run, const std::wstring& path, bool fits, const std::wstring& shown)
{
    run.rows.clear();
    row_collector = &run.rows;
    if (fits) {
        FailureList failures = {};
        write_file_rows(run.columns, path, run.digests_first, failures);
    } else {
        write_failure_row(run.columns, path, UNOPENABLE_FILE_TEXT, ERROR_FILENAME_EXCED_RANGE);
    }
    row_collector = nullptr;
    add_current_entry(run, shown, path, false);
}

void collect_entry(void* context, const std::wstring& path, bool fits, const std::wstring& relative)
{
    collect_file(*static_cast<CurrentRun*>(context), path, fits, relative);
}

void collect_unlisted(void* context, const std::wstring& folder, DWORD code)
{
    CurrentRun& run = *static_cast<CurrentRun*>(context);
    run.rows.clear();
    row_collector = &run.rows;
    write_failure_row(run.columns, folder, UNLISTABLE_FOLDER, code);
    row_collector = nullptr;
    add_current_entry(run, relative_to(run.side.root, folder), folder, true);
}

// Lists the pattern (context) with the tree walk.
void collect_tree(CurrentRun& run, int compare, const void* context)
{
    const wchar_t* pattern = static_cast<const wchar_t*>(context);
    WalkVisitor visitor = {collect_entry, collect_unlisted, &run, nullptr};
    bool recurse = run_has_word(compare, L"-s") || run_has_word(compare, L"-recurse");
    walk_pattern_ahead(pattern, recurse, visitor, whole_file_algorithms(run.columns.digests));
}

void collect_path(void* context, const std::wstring& path)
{
    collect_file(*static_cast<CurrentRun*>(context), path, true, path);
}

// The paths (context) as given.
void collect_listed(CurrentRun& run, int, const void* context)
{
    const auto& listed = *static_cast<const std::vector<const wchar_t*>*>(context);
    std::vector<std::wstring> paths(listed.begin(), listed.end());
    report_paths_ahead(paths, whole_file_algorithms(run.columns.digests), collect_path, &run);
}

// Loads the baseline, gathers the current side with collect and reports what differs; a
// directory run (no last word, see asks_digest) compares below roots, a multiple-file run
// the paths as given.
DWORD run_comparison(int compare, const wchar_t* last_word, const std::wstring& root,
                     void (*collect)(CurrentRun&, int, const void*), const void* context)
{
    ComparedSide baseline;
    CurrentRun run;
    DWORD code = 0;
    if (!read_baseline(stored_words[compare + 1], baseline, code))
        return code;
    run.digests_first = last_word != nullptr;
    run.columns = current_columns(baseline, compare, last_word);
    prepare_current_side(run.side, run.columns);
    run.side.root = root;
    collect(run, compare, context);
    bool roots = last_word == nullptr;
    settle_baseline_root(baseline, roots ? run.side.root.c_str() : nullptr);
    return report_comparison(baseline, run.side, roots);
}

} // namespace

int compare_word_index(int first)
{
    for (int index = first; index < stored_word_count; ++index) {
        if (is_compare_word(index))
            return index;
    }
    return -1;
}

DWORD compare_directory(int compare)
{
    if (!csv_mode)
        print_banner();
    if (compare + 1 >= stored_word_count)
        return missing_value(compare);
    const wchar_t* pattern = stored_words[2];
    if (PathIsDirectoryW(pattern)) {
        print_run_failure(ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
        return ERROR_PATH_NOT_FOUND;
    }
    return run_comparison(compare, nullptr, pattern_directory(pattern), collect_tree, pattern);
}

// "-csv", "-json", "-unsigned", the compare word and its value are never paths; the digest
// comes from the last other word, and the paths end at the first digest word.
DWORD compare_listed_files(int compare)
{
    if (!csv_mode)
        print_banner();
    if (compare + 1 >= stored_word_count)
        return missing_value(compare);
    std::vector<const wchar_t*> paths;
    const wchar_t* last_word = L"";
    bool paths_ended = false;
    for (int index = 2; index < stored_word_count; ++index) {
        if (index == compare || index == compare + 1 || is_word(index, L"-csv") || is_word(index, L"-json") ||
            is_word(index, L"-unsigned"))
            continue;
        last_word = stored_words[index];
        paths_ended = paths_ended || digest_word(last_word) != 0;
        if (!paths_ended)
            paths.push_back(last_word);
    }
    if (paths.empty()) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
        return ERROR_INVALID_PARAMETER;
    }
    return run_comparison(compare, last_word, L"", collect_listed, &paths);
}
