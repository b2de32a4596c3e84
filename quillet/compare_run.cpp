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
#include "file_record.h"
#include "hash_ahead.h"
#include "report_frame.h"
#include "report_output.h"
#include "run_failure.h"
#include "run_selection.h"
#include "signature_report.h"
#include "text_color.h"
#include "text_helpers.h"

namespace {

DWORD missing_value(const RunRequest& request)
{
    set_text_color(4);
    ql_wprintf(L"%ls needs a value: the path of a CSV document that quillet wrote.\n", stored_words[request.compare]);
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

// The kind's place in DIGEST_KINDS. Kinds are matched by name: each file that includes the
// table has its own copy of it.
size_t kind_index(const DigestKind* kind)
{
    size_t index = 0;
    while (index + 1 < DIGEST_KIND_COUNT && wcscmp(DIGEST_KINDS[index].name, kind->name) != 0)
        ++index;
    return index;
}

// The current run reads, beside what its words ask for, every digest and the signature that
// the baseline has.
RecordWants current_wants(const ComparedSide& baseline, const RunRequest& request)
{
    RecordWants wants = {};
    wants.signature = signature_shown() || baseline.columns.signature >= 0;
    wants.digests_first = request.digests_first;
    wants.extended = request.extended;
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index)
        wants.extended = wants.extended || baseline.columns.extended[index] >= 0;
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index) {
        bool asked = false;
        for (const DigestKind* digest : request.digests)
            asked = asked || kind_index(digest) == index;
        if (asked || baseline.columns.digests[index] >= 0)
            wants.digests.push_back(&DIGEST_KINDS[index]);
    }
    return wants;
}

// The columns the current side has: those its records fill.
ColumnMap current_columns(const RecordWants& wants)
{
    ColumnMap columns = {};
    for (int& digest : columns.digests)
        digest = -1;
    for (const DigestKind* digest : wants.digests)
        columns.digests[kind_index(digest)] = static_cast<int>(kind_index(digest));
    columns.signature = wants.signature ? 0 : -1;
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index)
        columns.extended[index] = wants.extended ? index : -1;
    return columns;
}

struct CurrentRun {
    const RunRequest* request;
    RecordWants wants;
    ComparedSide side;
};

bool is_directory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The file as the baseline's rows hold it: version strings with their formula guard, the size
// and the failures as the CSV document writes them.
void add_record(ComparedSide& side, const FileRecord& record, const std::wstring& shown)
{
    side.by_key.emplace(matching_key(shown), side.files.size());
    side.files.emplace_back();
    ComparedFile& file = side.files.back();
    file.path = shown;
    for (const TranslationInfo& info : record.version.translations) {
        ComparedTranslation translation;
        translation.language = info.language;
        translation.code_page = info.code_page;
        for (int index = 0; index < VERSION_STRING_COUNT; ++index)
            translation.values[index] = formula_guarded(info.values[index]);
        file.translations.push_back(std::move(translation));
    }
    file.size = record.opened ? std::to_wstring(record.size) : L"";
    file.error = record.failures.joined;
    for (const DigestValue& digest : record.digests)
        file.digests[kind_index(digest.kind)] = digest.text;
    file.signature = record.signature;
    for (size_t index = 0; index < record.extended_cells.size(); ++index)
        file.extended[index] = formula_guarded(record.extended_cells[index]);
    // A folder the pattern matches is compared like a file: it never opens, in the baseline
    // either.
    file.unreadable = record_unreadable(record) && !is_directory(record.path);
}

// A path named twice counts once; "." and ".." name folders that have an entry of their own.
bool is_new_entry(const CurrentRun& run, const std::wstring& shown)
{
    return !is_dot_entry(shown) && run.side.by_key.count(matching_key(shown)) == 0;
}

void collect_file(CurrentRun& run, const std::wstring& path, bool fits, const std::wstring& shown)
{
    if (!is_new_entry(run, shown))
        return;
    if (leaves_out(*run.request, path, fits)) {
        run.side.left_out.insert(matching_key(shown));
        return;
    }
    FileRecord record;
    if (fits) {
        read_file_record(run.wants, path, record);
    } else {
        record.path = path;
        add_failure(record.failures, UNOPENABLE_FILE_TEXT, ERROR_FILENAME_EXCED_RANGE);
    }
    add_record(run.side, record, shown);
}

void collect_entry(void* context, const std::wstring& path, bool fits, const std::wstring& relative)
{
    collect_file(*static_cast<CurrentRun*>(context), path, fits, relative);
}

void note_left_out(void* context, const std::wstring&, const std::wstring& relative)
{
    static_cast<CurrentRun*>(context)->side.left_out.insert(matching_key(relative));
}

// A folder below the pattern's folder that cannot be listed: its baseline files are not gone.
void collect_unlisted(void* context, const std::wstring& folder, DWORD code)
{
    CurrentRun& run = *static_cast<CurrentRun*>(context);
    std::wstring shown = relative_to(run.side.root, folder);
    if (!is_new_entry(run, shown))
        return;
    FileRecord record;
    record.path = folder;
    add_failure(record.failures, UNLISTABLE_FOLDER, code);
    add_record(run.side, record, shown);
    ComparedFile& file = run.side.files.back();
    file.unlisted_folder = true;
    file.unreadable = true;
}

void collect_tree(CurrentRun& run)
{
    const RunRequest& request = *run.request;
    WalkVisitor visitor = {collect_entry, collect_unlisted, &run, entry_filter(request), note_left_out};
    walk_pattern_ahead(request.pattern.c_str(), request.recurse, visitor, whole_file_algorithms(run.wants.digests),
                       file_screen(request));
}

void collect_path(void* context, const std::wstring& path)
{
    collect_file(*static_cast<CurrentRun*>(context), path, true, path);
}

void collect_listed(CurrentRun& run)
{
    report_paths_ahead(run.request->paths, whole_file_algorithms(run.wants.digests), collect_path, &run,
                       file_screen(*run.request));
}

// Loads the baseline, gathers the current side with collect and reports what differs; a
// directory run compares below roots, a multiple-file run the paths as given.
DWORD run_comparison(const RunRequest& request, const std::wstring& root, void (*collect)(CurrentRun&))
{
    ComparedSide baseline;
    CurrentRun run;
    DWORD code = 0;
    if (!read_baseline(request.baseline.c_str(), baseline, code))
        return code;
    run.request = &request;
    run.wants = current_wants(baseline, request);
    run.side.columns = current_columns(run.wants);
    run.side.root = root;
    collect(run);
    bool roots = request.kind == DIRECTORY_RUN;
    settle_baseline_root(baseline, roots ? run.side.root.c_str() : nullptr);
    return report_comparison(baseline, run.side, roots);
}

} // namespace

DWORD compare_directory(const RunRequest& request)
{
    if (!csv_mode)
        print_banner();
    if (!request.has_baseline)
        return missing_value(request);
    if (PathIsDirectoryW(request.pattern.c_str())) {
        print_run_failure(ERROR_PATH_NOT_FOUND, NOT_A_PATTERN);
        return ERROR_PATH_NOT_FOUND;
    }
    return run_comparison(request, pattern_directory(request.pattern), collect_tree);
}

// The compare word and its value, "-csv" and "-unsigned" are never paths.
DWORD compare_listed_files(const RunRequest& request)
{
    if (!csv_mode)
        print_banner();
    if (!request.has_baseline)
        return missing_value(request);
    if (request.paths.empty()) {
        print_run_failure(ERROR_INVALID_PARAMETER, NO_FILE_NAMES);
        return ERROR_INVALID_PARAMETER;
    }
    return run_comparison(request, L"", collect_listed);
}
