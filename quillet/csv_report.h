// The CSV document of a directory or multiple-file run with "-csv": one row per file and
// translation, for spreadsheets and scripts.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

#include "failure_notice.h"
#include "file_hash.h"
#include "file_record.h"

// What the columns after the fixed ones hold: the digests asked for, in column order, and
// the signature verdict when PrintSignatureInformation is 1.
struct CsvColumns {
    std::vector<const DigestKind*> digests;
    bool signature = false;
    // "-extended": the columns of extended_report.h after Signature.
    bool extended = false;
};

// The byte-order mark on standard output, the line end after the log's separator, the
// header row. Standard output and the log take the document's bytes unchanged from here on.
void begin_csv_document(const CsvColumns& columns);

// The first part of that: the byte-order mark and the log's line end, for any CSV document.
void begin_csv_output();

// The header row of the document, without its line end.
std::wstring csv_header(const CsvColumns& columns);

// One row of the document (its fields already made by csv_field), followed by the line end.
void write_csv_row(std::wstring row);

// The rows of a file read into its record.
void write_record_rows(const FileRecord& record);

// A row with path (may be empty) and one failure in Error, every other column empty.
void write_failure_row(const CsvColumns& columns, const std::wstring& path, const wchar_t* text, DWORD code);

// value with the formula guard: an apostrophe first when a spreadsheet would read it as a
// formula.
std::wstring formula_guarded(const std::wstring& value);

// value as one field: a value taken from a file (guarded) that a spreadsheet would read as a
// formula gets an apostrophe first; a comma, a quote or a line end puts it in quotes, with
// quotes doubled.
std::wstring csv_field(const std::wstring& value, bool guarded);

// The file time as local ISO 8601 with the offset in force at that date
// (2008-12-24T09:05:03+01:00); empty when it cannot be converted.
std::wstring iso_local_time(const FILETIME& time);
