#include "csv_report.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <wchar.h>

#include "extended_report.h"
#include "file_record.h"
#include "format_output.h"
#include "report_output.h"
#include "settings.h"
#include "text_helpers.h"

namespace {

const wchar_t ROW_END[] = L"\r\n";

// Every field but a row's first.
void add_field(std::wstring& row, const std::wstring& value, bool guarded = false)
{
    row += L",";
    row += csv_field(value, guarded);
}

std::wstring hex4(WORD value)
{
    wchar_t text[8];
    _snwprintf(text, 8, L"%04X", value);
    text[7] = L'\0';
    return text;
}

// Path, then language and the string entries; a file without translations leaves them empty.
std::wstring row_start(const std::wstring& path, const TranslationInfo* translation)
{
    std::wstring row = csv_field(path, true);
    add_field(row, translation ? hex4(translation->language) : L"");
    add_field(row, translation ? hex4(translation->code_page) : L"");
    add_field(row, translation ? translation->language_name : L"");
    for (int index = 0; index < VERSION_STRING_COUNT; ++index)
        add_field(row, translation ? translation->values[index] : L"", true);
    return row;
}

void add_facts(std::wstring& row, const FileRecord& record)
{
    add_field(row, record.opened ? std::to_wstring(record.size) : L"");
    add_field(row, record.opened ? std::to_wstring(static_cast<int>(record.attributes)) : L"");
    add_field(row, record.has_times ? iso_local_time(record.created) : L"");
    add_field(row, record.has_times ? iso_local_time(record.written) : L"");
    add_field(row, record.has_times ? iso_local_time(record.accessed) : L"");
}

} // namespace

void write_csv_row(std::wstring row)
{
    row += ROW_END;
    ql_print_document(row.c_str());
}

void begin_csv_output()
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    write_standard_output(L"\xFEFF", 1);
    if (settings.WriteOutputToQuilletLog == 1 && log_stream != nullptr) {
        fflush(log_stream);
        _setmode(_fileno(log_stream), _O_BINARY);
        fputs("\r\n", log_stream);
    }
}

std::wstring csv_header(const CsvColumns& columns)
{
    std::wstring header = L"Path,LanguageId,CodePage,Language";
    for (const wchar_t* name : VERSION_STRING_NAMES)
        add_field(header, name);
    header += L",Size,Attributes,Created,LastWritten,LastAccessed";
    for (const DigestKind* digest : columns.digests)
        add_field(header, digest->name);
    if (columns.signature)
        header += L",Signature";
    if (columns.extended) {
        for (const wchar_t* name : EXTENDED_COLUMN_NAMES)
            add_field(header, name);
    }
    header += L",Error";
    return header;
}

void begin_csv_document(const CsvColumns& columns)
{
    begin_csv_output();
    write_csv_row(csv_header(columns));
}

void write_record_rows(const FileRecord& record)
{
    const std::vector<TranslationInfo>& translations = record.version.translations;
    size_t rows = translations.empty() ? 1 : translations.size();
    for (size_t index = 0; index < rows; ++index) {
        std::wstring row = row_start(record.path, translations.empty() ? nullptr : &translations[index]);
        add_facts(row, record);
        for (const DigestValue& digest : record.digests)
            add_field(row, digest.text);
        if (record.has_signature)
            add_field(row, record.signature);
        for (const std::wstring& cell : record.extended_cells)
            add_field(row, cell, true);
        add_field(row, record.failures.joined);
        write_csv_row(row);
    }
}

void write_failure_row(const CsvColumns& columns, const std::wstring& path, const wchar_t* text, DWORD code)
{
    FailureList failure = {};
    add_failure(failure, text, code);
    std::wstring row = row_start(path, nullptr);
    add_facts(row, FileRecord());
    size_t empty_cells =
        columns.digests.size() + (columns.signature ? 1 : 0) + (columns.extended ? EXTENDED_COLUMN_COUNT : 0);
    for (size_t index = 0; index < empty_cells; ++index)
        add_field(row, L"");
    add_field(row, failure.joined);
    write_csv_row(row);
}

std::wstring formula_guarded(const std::wstring& value)
{
    if (!value.empty() && wcschr(L"=+-@\t\r", value[0]) != nullptr)
        return L"'" + value;
    return value;
}

std::wstring csv_field(const std::wstring& value, bool guarded)
{
    std::wstring field = guarded ? formula_guarded(value) : value;
    if (field.find_first_of(L",\"\r\n") == std::wstring::npos)
        return field;
    std::wstring quoted = L"\"";
    for (wchar_t c : field) {
        quoted += c;
        if (c == L'"')
            quoted += c;
    }
    return quoted + L"\"";
}

std::wstring iso_local_time(const FILETIME& time)
{
    SYSTEMTIME utc, local;
    FILETIME utc_whole, local_whole;
    if (!FileTimeToSystemTime(&time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !SystemTimeToFileTime(&utc, &utc_whole) || !SystemTimeToFileTime(&local, &local_whole))
        return L"";
    ULARGE_INTEGER utc_ticks = {{utc_whole.dwLowDateTime, utc_whole.dwHighDateTime}};
    ULARGE_INTEGER local_ticks = {{local_whole.dwLowDateTime, local_whole.dwHighDateTime}};
    // 100-nanosecond ticks, both cut to the same millisecond: a whole number of minutes apart.
    long long offset = static_cast<long long>(local_ticks.QuadPart - utc_ticks.QuadPart) / 600000000LL;
    wchar_t sign = offset < 0 ? L'-' : L'+';
    long long minutes = offset < 0 ? -offset : offset;
    wchar_t text[40];
    _snwprintf(text, 40, L"%04d-%02d-%02dT%02d:%02d:%02d%lc%02d:%02d", local.wYear, local.wMonth, local.wDay,
               local.wHour, local.wMinute, local.wSecond, sign, static_cast<int>(minutes / 60),
               static_cast<int>(minutes % 60));
    text[39] = L'\0';
    return text;
}
