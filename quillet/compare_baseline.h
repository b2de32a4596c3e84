// The two sides of comparing files with a saved CSV document: every file as the rows of that
// document read it, the saved one (the baseline) and the one the current run would write.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "extended_report.h"
#include "file_hash.h"
#include "version_report.h"

const size_t DIGEST_KIND_COUNT = sizeof(DIGEST_KINDS) / sizeof(DIGEST_KINDS[0]);

// Where a document's rows hold the columns a comparison reads; -1 for a column it lacks.
struct ColumnMap {
    int path;
    int language;
    int code_page;
    int entries[VERSION_STRING_COUNT];
    int size;
    int error;
    int digests[DIGEST_KIND_COUNT];
    int signature;
    int extended[EXTENDED_COLUMN_COUNT];
    size_t width;
};

struct ComparedTranslation {
    unsigned long language;
    unsigned long code_page;
    std::wstring values[VERSION_STRING_COUNT];
};

// One file: all of its rows. Values stay in their CSV form (formula guard included).
struct ComparedFile {
    // Relative to its side's root, or as given.
    std::wstring path;
    std::vector<ComparedTranslation> translations;
    std::wstring size;
    std::wstring error;
    std::wstring digests[DIGEST_KIND_COUNT];
    std::wstring signature;
    std::wstring extended[EXTENDED_COLUMN_COUNT];
    // The current file could not be opened or read.
    bool unreadable;
    // A folder whose entries could not be listed: baseline files below it are not missing.
    bool unlisted_folder;
};

struct ComparedSide {
    // The folder the paths are relative to; empty for the current folder or paths as given.
    std::wstring root;
    ColumnMap columns;
    std::vector<ComparedFile> files;
    // The path's matching key (matching_key) to its file.
    std::unordered_map<std::wstring, size_t> by_key;
    // The current side: the matching keys of entries that exist and that the run's filters
    // ("-pe", "-unsigned") left out. A baseline file among them is not gone.
    std::unordered_set<std::wstring> left_out;
};

// Why a baseline cannot be used. unopenable: the open failed with code; else line and reason.
struct BaselineFault {
    bool unopenable;
    DWORD code;
    size_t line;
    std::wstring reason;
};

// Paths compare as Windows compares names: without regard to case.
std::wstring matching_key(const std::wstring& path);

// "." or "..", alone or as the last element of path: a folder's entries for itself and its
// parent, which a comparison ignores (the folder is an entry of its own).
bool is_dot_entry(const std::wstring& path);

// value without the formula guard's apostrophe, as people read it.
std::wstring unguarded_value(const std::wstring& value);

// path below root (which it lies under), without the separators between them.
std::wstring relative_to(const std::wstring& root, const std::wstring& path);

// The columns of a header row; reason names the first column a quillet document must have and
// this one lacks (none when empty).
ColumnMap map_columns(const std::vector<std::wstring>& header, std::wstring& reason);

// Reads a CSV document that quillet wrote into side, every path as it stands there. False
// with fault filled when the file cannot be opened or is no such document.
bool load_baseline(const wchar_t* path, ComparedSide& side, BaselineFault& fault);

// Makes the baseline's paths relative: to current_root when every path lies under it, else to
// the longest folder they share; with null, paths stay as given.
void settle_baseline_root(ComparedSide& baseline, const wchar_t* current_root);

// Adds one row (its fields) to side under path: a new file, or one more translation of the
// file the path already names. False with reason when a field cannot be read.
bool add_side_row(ComparedSide& side, const std::vector<std::wstring>& fields, const std::wstring& path,
                  std::wstring& reason);

// A CSV text split into records, as RFC 4180 reads it, with CRLF or LF line ends.
struct CsvReader {
    const wchar_t* text;
    size_t length;
    size_t at;
    // The line the reader has reached, 1 the first.
    size_t line;
};

enum CsvRead { CSV_RECORD, CSV_END, CSV_FAULT };

// The next record's fields, and the line it begins on; CSV_FAULT with reason for a malformed one.
CsvRead read_csv_record(CsvReader& reader, std::vector<std::wstring>& fields, size_t& record_line,
                        std::wstring& reason);
