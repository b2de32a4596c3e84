// The extended values of a file as the reports show them: a block of the text and HTML report,
// and the cells of a CSV row.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "extended_info.h"
#include "failure_notice.h"

// The CSV columns, in their order; they stand after Signature and before Error.
const int EXTENDED_COLUMN_COUNT = 13;
extern const wchar_t* const EXTENDED_COLUMN_NAMES[EXTENDED_COLUMN_COUNT];

// The "[Extended]" block: the values in the report's order, a value that could not be read
// replaced by its failure notice.
void print_extended_info(const ExtendedInfo& info);

// Reads path's values and prints their block.
void show_extended_info(const wchar_t* path);

// The cells of the columns, empty for a file that is no PE image and for each value that could
// not be read; every failure goes into failures, in the order the block prints it.
std::vector<std::wstring> extended_cells(const ExtendedInfo& info, FailureList& failures);

// The header time stamp as the CSV shows it: ISO 8601 UTC ("2024-05-01T10:00:00Z"), "none"
// for 0, or the reproducible build's text.
std::wstring build_time_cell(const BuildValues& build);
