#include "compare_report.h"

#include <string>

#include "compare_match.h"
#include "csv_report.h"
#include "json_report.h"
#include "report_output.h"
#include "text_color.h"
#include "utf8_output.h"

namespace {

const wchar_t* const STATUS_WORDS[STATUS_COUNT] = {L"unchanged", L"changed", L"added",
                                                   L"removed",   L"moved",   L"unreadable"};

// Yellow, green, red, cyan, red.
const WORD STATUS_COLORS[STATUS_COUNT] = {7, 6, 2, 4, 3, 4};

const wchar_t TRANSLATION_COLUMN[] = L"Translation";

std::wstring shown_root(const std::wstring& root)
{
    return root.empty() ? L"." : root;
}

// One line per difference, the value as it is: without the formula guard, line ends and tabs
// inside it shown as escapes, and an empty value as "".
std::wstring shown_value(const std::wstring& guarded)
{
    if (guarded.empty())
        return L"\"\"";
    std::wstring shown;
    for (wchar_t c : unguarded_value(guarded)) {
        if (c == L'\r')
            shown += L"\\r";
        else if (c == L'\n')
            shown += L"\\n";
        else if (c == L'\t')
            shown += L"\\t";
        else
            shown += c;
    }
    return shown;
}

void print_notes(const ComparedSide& baseline, const ComparedSide& current)
{
    bool any_digest = false;
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index) {
        bool in_baseline = baseline.columns.digests[index] >= 0;
        any_digest = any_digest || digest_compared(baseline, current, index);
        if (in_baseline != (current.columns.digests[index] >= 0))
            ql_wprintf(L"Not compared: %ls, which only one document has.\n", DIGEST_KINDS[index].name);
    }
    if ((baseline.columns.signature >= 0) != (current.columns.signature >= 0))
        ql_wprintf(L"Not compared: Signature, which only one document has.\n");
    std::wstring extended;
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index) {
        if ((baseline.columns.extended[index] >= 0) != (current.columns.extended[index] >= 0))
            extended += (extended.empty() ? L"" : L", ") + std::wstring(EXTENDED_COLUMN_NAMES[index]);
    }
    if (!extended.empty())
        ql_wprintf(L"Not compared: %ls, which only one document has.\n", extended.c_str());
    if (!any_digest)
        ql_wprintf(L"No digest in both documents: content changes that keep size and version cannot be seen.\n");
}

void print_difference(const Difference& difference)
{
    set_text_color(STATUS_COLORS[difference.status]);
    ql_wprintf(L"%ls", STATUS_WORDS[difference.status]);
    restore_text_color();
    const std::wstring& path = difference.path;
    switch (difference.status) {
    case STATUS_MOVED:
        ql_wprintf(L"  %ls -> %ls\n", difference.old_path.c_str(), path.c_str());
        break;
    case STATUS_UNREADABLE:
        ql_wprintf(L"  %ls  %ls\n", path.c_str(), difference.new_value.c_str());
        break;
    case STATUS_CHANGED:
        if (difference.column == TRANSLATION_COLUMN) {
            bool added = difference.old_value.empty();
            ql_wprintf(L"  %ls  translation %ls %ls\n", path.c_str(),
                       (added ? difference.new_value : difference.old_value).c_str(), added ? L"added" : L"removed");
        } else {
            ql_wprintf(L"  %ls  %ls: %ls -> %ls\n", path.c_str(), difference.column.c_str(),
                       shown_value(difference.old_value).c_str(), shown_value(difference.new_value).c_str());
        }
        break;
    default:
        ql_wprintf(L"  %ls\n", path.c_str());
        break;
    }
}

// Paths and values come from files: they keep the formula guard.
void write_comparison_csv(const Comparison& comparison)
{
    begin_csv_output();
    write_csv_row(L"Status,Path,OldPath,Column,Old,New");
    for (const Difference& difference : comparison.differences) {
        std::wstring row = STATUS_WORDS[difference.status];
        for (const std::wstring* value :
             {&difference.path, &difference.old_path, &difference.column, &difference.old_value, &difference.new_value})
            row += L"," + csv_field(*value, true);
        write_csv_row(row);
    }
}

// A string entry's column without the translation that names it.
std::wstring entry_column(const Difference& difference)
{
    const std::wstring& column = difference.column;
    size_t prefix = difference.translation.size() + 1;
    bool named = !difference.translation.empty() && column.compare(0, prefix, difference.translation + L" ") == 0;
    return named ? column.substr(prefix) : column;
}

JsonValue change_object(const Difference& difference)
{
    JsonValue change = JsonValue::object();
    change["translation"] = difference.translation.empty() ? JsonValue() : JsonValue(utf8_of(difference.translation));
    change["column"] = utf8_of(entry_column(difference));
    change["old"] = utf8_of(unguarded_value(difference.old_value));
    change["new"] = utf8_of(unguarded_value(difference.new_value));
    return change;
}

JsonValue file_difference(const Difference& difference)
{
    JsonValue object = JsonValue::object();
    object["status"] = utf8_of(STATUS_WORDS[difference.status]);
    object["path"] = utf8_of(difference.path);
    object["oldPath"] = difference.status == STATUS_MOVED ? JsonValue(utf8_of(difference.old_path)) : JsonValue();
    object["changes"] = JsonValue::array();
    return object;
}

// One object per file that is not unchanged: the changed lines that follow a file's own line
// (or, for a file that only changed, each other) are its changes. Values without the formula
// guard, as the text lines show them.
void write_comparison_json(const Comparison& comparison)
{
    begin_json_output();
    JsonValue object;
    for (const Difference& difference : comparison.differences) {
        bool same_file = !object.is_null() && object["path"] == utf8_of(difference.path) &&
                         (object["status"] == "changed" || object["status"] == "moved");
        if (difference.status != STATUS_CHANGED || !same_file) {
            if (!object.is_null())
                write_json_object(object);
            object = file_difference(difference);
        }
        if (difference.status == STATUS_CHANGED || difference.status == STATUS_UNREADABLE)
            object["changes"].push_back(change_object(difference));
    }
    if (!object.is_null())
        write_json_object(object);
}

void write_summary_json(const size_t* counts)
{
    JsonValue summary = JsonValue::object();
    for (int status = 0; status < STATUS_COUNT; ++status)
        summary[utf8_of(STATUS_WORDS[status])] = counts[status];
    JsonValue object = JsonValue::object();
    object["summary"] = summary;
    write_json_object(object);
}

} // namespace

DWORD report_comparison(const ComparedSide& baseline, const ComparedSide& current, bool roots)
{
    Comparison comparison;
    compare_sides(baseline, current, comparison);
    if (roots)
        ql_wprintf(L"Comparing \"%ls\" with \"%ls\" in the baseline.\n", shown_root(current.root).c_str(),
                   shown_root(baseline.root).c_str());
    print_notes(baseline, current);
    if (json_mode) {
        write_comparison_json(comparison);
    } else if (csv_mode) {
        write_comparison_csv(comparison);
    } else {
        for (const Difference& difference : comparison.differences)
            print_difference(difference);
    }
    const size_t* counts = comparison.counts;
    ql_wprintf(L"%u unchanged, %u changed, %u added, %u removed, %u moved, %u unreadable\n",
               static_cast<unsigned>(counts[STATUS_UNCHANGED]), static_cast<unsigned>(counts[STATUS_CHANGED]),
               static_cast<unsigned>(counts[STATUS_ADDED]), static_cast<unsigned>(counts[STATUS_REMOVED]),
               static_cast<unsigned>(counts[STATUS_MOVED]), static_cast<unsigned>(counts[STATUS_UNREADABLE]));
    if (json_mode)
        write_summary_json(counts);
    return counts[STATUS_UNCHANGED] == current.files.size() && counts[STATUS_REMOVED] == 0 ? 0 : 1;
}
