#include "compare_baseline.h"

#include <stdlib.h>
#include <wchar.h>

namespace {

// Baselines beyond this (256 MiB, millions of rows) are refused rather than half read: the
// text is held whole, twice while it is decoded.
const LONGLONG LARGEST_BASELINE = 0x10000000;

const wchar_t FORMULA_STARTS[] = L"=+-@\t\r";

bool is_line_end(wchar_t c)
{
    return c == L'\r' || c == L'\n';
}

// Up to a comma, a line end or the end; a quote here is a fault.
bool read_plain_field(CsvReader& reader, std::wstring& field, std::wstring& reason)
{
    size_t end = reader.at;
    while (end < reader.length && reader.text[end] != L',' && !is_line_end(reader.text[end]) &&
           reader.text[end] != L'"')
        ++end;
    field.assign(reader.text + reader.at, end - reader.at);
    reader.at = end;
    if (end < reader.length && reader.text[end] == L'"') {
        reason = L"a quote inside a field that does not begin with one";
        return false;
    }
    return true;
}

// From the opening quote to the closing one; "" stands for one quote.
bool read_quoted_field(CsvReader& reader, std::wstring& field, size_t& fault_line, std::wstring& reason)
{
    size_t opened_on = reader.line;
    ++reader.at;
    for (;;) {
        if (reader.at >= reader.length) {
            fault_line = opened_on;
            reason = L"a quoted field is never closed";
            return false;
        }
        wchar_t c = reader.text[reader.at];
        if (c == L'"' && reader.at + 1 < reader.length && reader.text[reader.at + 1] == L'"') {
            field += L'"';
            reader.at += 2;
            continue;
        }
        ++reader.at;
        if (c == L'"')
            return true;
        if (c == L'\n')
            ++reader.line;
        field += c;
    }
}

bool is_hex_number(const std::wstring& text)
{
    if (text.empty() || text.size() > 8)
        return false;
    for (wchar_t c : text) {
        if (!iswxdigit(c))
            return false;
    }
    return true;
}

const std::wstring& field_at(const std::vector<std::wstring>& fields, int index)
{
    static const std::wstring none;
    return index < 0 || static_cast<size_t>(index) >= fields.size() ? none : fields[static_cast<size_t>(index)];
}

bool starts_with_key(const std::wstring& path_key, const std::wstring& folder_key)
{
    if (path_key.compare(0, folder_key.size(), folder_key) != 0 || path_key.size() == folder_key.size())
        return false;
    return folder_key.back() == L'\\' || path_key[folder_key.size()] == L'\\';
}

// An empty folder holds every relative path: the current folder's entries.
bool lies_under(const std::wstring& folder, const std::wstring& path)
{
    if (folder.empty())
        return !path.empty() && path[0] != L'\\' && (path.size() < 2 || path[1] != L':');
    return starts_with_key(matching_key(path), matching_key(folder));
}

std::wstring folder_of(const std::wstring& path)
{
    size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring common_folder(const ComparedSide& side)
{
    std::wstring common = side.files.empty() ? std::wstring() : folder_of(side.files[0].path);
    for (const ComparedFile& file : side.files) {
        while (!common.empty() && !starts_with_key(matching_key(file.path), matching_key(common)))
            common = folder_of(common);
    }
    return common;
}

bool fail_at(BaselineFault& fault, size_t line, const std::wstring& reason)
{
    fault.unopenable = false;
    fault.line = line;
    fault.reason = reason;
    return false;
}

bool fail_open(BaselineFault& fault, DWORD code)
{
    fault.unopenable = true;
    fault.code = code;
    return false;
}

// The first line whose bytes are no UTF-8.
size_t first_undecodable_line(const char* bytes, size_t length)
{
    size_t line = 1;
    for (size_t start = 0; start < length; ++line) {
        const void* found = memchr(bytes + start, '\n', length - start);
        size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - bytes) : length;
        if (end > start && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes + start,
                                               static_cast<int>(end - start), nullptr, 0) == 0)
            return line;
        start = end + 1;
    }
    return line;
}

bool decode_text(const char* bytes, size_t length, std::wstring& text, BaselineFault& fault)
{
    if (length >= 2 && (memcmp(bytes, "\xFF\xFE", 2) == 0 || memcmp(bytes, "\xFE\xFF", 2) == 0))
        return fail_at(fault, 1, L"UTF-16 text, where quillet writes UTF-8");
    if (length >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        bytes += 3;
        length -= 3;
    }
    if (length == 0)
        return true;
    int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0);
    if (chars == 0)
        return fail_at(fault, first_undecodable_line(bytes, length), L"no UTF-8 text");
    text.resize(static_cast<size_t>(chars));
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), &text[0], chars);
    return true;
}

// The whole file as text; its bytes live only while they are decoded.
bool read_baseline_text(const wchar_t* path, std::wstring& text, BaselineFault& fault)
{
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail_open(fault, GetLastError());
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > LARGEST_BASELINE) {
        DWORD code = size.QuadPart > LARGEST_BASELINE ? static_cast<DWORD>(ERROR_FILE_TOO_LARGE) : GetLastError();
        CloseHandle(file);
        return fail_open(fault, code);
    }
    DWORD length = static_cast<DWORD>(size.QuadPart);
    char* bytes = static_cast<char*>(VirtualAlloc(nullptr, length + 1, MEM_COMMIT, PAGE_READWRITE));
    if (bytes == nullptr) {
        DWORD code = GetLastError();
        CloseHandle(file);
        return fail_open(fault, code);
    }
    DWORD read = 0;
    bool whole = ReadFile(file, bytes, length, &read, nullptr) && read == length;
    DWORD code = GetLastError();
    CloseHandle(file);
    bool decoded = whole ? decode_text(bytes, length, text, fault) : fail_open(fault, code);
    VirtualFree(bytes, 0, MEM_RELEASE);
    return decoded;
}

// A spreadsheet that saves with another separator leaves the whole header in one field.
std::wstring header_fault(const std::vector<std::wstring>& header, const std::wstring& missing)
{
    if (header.size() == 1 && header[0].find_first_of(L";\t") != std::wstring::npos)
        return std::wstring(L"fields separated by '") + (header[0].find(L';') != std::wstring::npos ? L";" : L"\\t") +
               L"', not by commas";
    return L"no " + missing + L" column, so no CSV document that quillet wrote";
}

bool is_blank_line(const std::vector<std::wstring>& fields)
{
    return fields.size() == 1 && fields[0].empty();
}

bool read_rows(CsvReader& reader, ComparedSide& side, BaselineFault& fault)
{
    std::vector<std::wstring> fields;
    size_t line = 0;
    std::wstring reason;
    for (;;) {
        CsvRead read = read_csv_record(reader, fields, line, reason);
        if (read == CSV_END)
            return true;
        if (read == CSV_FAULT)
            return fail_at(fault, line, reason);
        if (is_blank_line(fields))
            continue;
        if (fields.size() != side.columns.width)
            return fail_at(fault, line,
                           std::to_wstring(fields.size()) + L" fields where the header has " +
                               std::to_wstring(side.columns.width));
        // A failed run's row names no file.
        std::wstring path = unguarded_value(fields[static_cast<size_t>(side.columns.path)]);
        if (!path.empty() && !is_dot_entry(path) && !add_side_row(side, fields, path, reason))
            return fail_at(fault, line, reason);
    }
}

} // namespace

bool is_dot_entry(const std::wstring& path)
{
    size_t separator = path.find_last_of(L'\\');
    std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
    return name == L"." || name == L"..";
}

// The apostrophe of the formula guard is not part of the value.
std::wstring unguarded_value(const std::wstring& value)
{
    if (value.size() >= 2 && value[0] == L'\'' && wcschr(FORMULA_STARTS, value[1]) != nullptr)
        return value.substr(1);
    return value;
}

std::wstring relative_to(const std::wstring& root, const std::wstring& path)
{
    if (root.empty())
        return path;
    size_t start = root.size();
    while (start < path.size() && path[start] == L'\\')
        ++start;
    return path.substr(start);
}

std::wstring matching_key(const std::wstring& path)
{
    std::wstring key = path;
    if (!key.empty())
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

ColumnMap map_columns(const std::vector<std::wstring>& header, std::wstring& reason)
{
    ColumnMap map;
    std::unordered_map<std::wstring, int> named;
    for (size_t index = 0; index < header.size(); ++index)
        named.emplace(header[index], static_cast<int>(index));
    reason.clear();
    auto column = [&](const std::wstring& name, bool required) {
        auto found = named.find(name);
        if (found != named.end())
            return found->second;
        if (required && reason.empty())
            reason = name;
        return -1;
    };
    map.path = column(L"Path", true);
    map.language = column(L"LanguageId", true);
    map.code_page = column(L"CodePage", true);
    for (int index = 0; index < VERSION_STRING_COUNT; ++index)
        map.entries[index] = column(VERSION_STRING_NAMES[index], true);
    map.size = column(L"Size", true);
    map.error = column(L"Error", true);
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index)
        map.digests[index] = column(DIGEST_KINDS[index].name, false);
    map.signature = column(L"Signature", false);
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index)
        map.extended[index] = column(EXTENDED_COLUMN_NAMES[index], false);
    map.width = header.size();
    return map;
}

CsvRead read_csv_record(CsvReader& reader, std::vector<std::wstring>& fields, size_t& record_line, std::wstring& reason)
{
    fields.clear();
    record_line = reader.line;
    if (reader.at >= reader.length)
        return CSV_END;
    for (;;) {
        std::wstring field;
        bool quoted = reader.at < reader.length && reader.text[reader.at] == L'"';
        if (quoted ? !read_quoted_field(reader, field, record_line, reason)
                   : !read_plain_field(reader, field, reason)) {
            if (!quoted)
                record_line = reader.line;
            return CSV_FAULT;
        }
        fields.push_back(std::move(field));
        if (reader.at >= reader.length)
            return CSV_RECORD;
        const wchar_t* next = reader.text + reader.at;
        size_t left = reader.length - reader.at;
        if (next[0] == L',') {
            ++reader.at;
            continue;
        }
        size_t line_end = next[0] == L'\n' ? 1 : (left >= 2 && next[0] == L'\r' && next[1] == L'\n' ? 2 : 0);
        if (line_end > 0) {
            reader.at += line_end;
            ++reader.line;
            return CSV_RECORD;
        }
        record_line = reader.line;
        reason = next[0] == L'\r' ? L"a carriage return without a line feed" : L"text after a closing quote";
        return CSV_FAULT;
    }
}

bool add_side_row(ComparedSide& side, const std::vector<std::wstring>& fields, const std::wstring& path,
                  std::wstring& reason)
{
    const ColumnMap& columns = side.columns;
    auto known = side.by_key.emplace(matching_key(path), side.files.size());
    if (known.second) {
        side.files.emplace_back();
        ComparedFile& added = side.files.back();
        added.path = path;
        added.size = field_at(fields, columns.size);
        added.error = field_at(fields, columns.error);
        for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index)
            added.digests[index] = field_at(fields, columns.digests[index]);
        added.signature = field_at(fields, columns.signature);
        for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index)
            added.extended[index] = field_at(fields, columns.extended[index]);
    }
    ComparedFile& file = side.files[known.first->second];
    const std::wstring& language = field_at(fields, columns.language);
    const std::wstring& code_page = field_at(fields, columns.code_page);
    // A file without a translation has one row with both empty.
    if (language.empty() && code_page.empty())
        return true;
    for (const std::wstring* number : {&language, &code_page}) {
        if (!is_hex_number(*number)) {
            reason = std::wstring(number == &language ? L"LanguageId" : L"CodePage") + L" \"" + *number +
                     L"\" is no hexadecimal number";
            return false;
        }
    }
    ComparedTranslation translation;
    translation.language = wcstoul(language.c_str(), nullptr, 16);
    translation.code_page = wcstoul(code_page.c_str(), nullptr, 16);
    for (int index = 0; index < VERSION_STRING_COUNT; ++index)
        translation.values[index] = field_at(fields, columns.entries[index]);
    file.translations.push_back(std::move(translation));
    return true;
}

bool load_baseline(const wchar_t* path, ComparedSide& side, BaselineFault& fault)
{
    std::wstring text;
    if (!read_baseline_text(path, text, fault))
        return false;
    CsvReader reader = {text.c_str(), text.size(), 0, 1};
    std::vector<std::wstring> header;
    size_t line = 0;
    std::wstring reason;
    CsvRead read = read_csv_record(reader, header, line, reason);
    if (read == CSV_END)
        return fail_at(fault, 1, L"empty, without a header");
    if (read == CSV_FAULT)
        return fail_at(fault, line, reason);
    std::wstring missing;
    side.columns = map_columns(header, missing);
    if (!missing.empty())
        return fail_at(fault, line, header_fault(header, missing));
    return read_rows(reader, side, fault);
}

void settle_baseline_root(ComparedSide& baseline, const wchar_t* current_root)
{
    if (current_root == nullptr)
        return;
    std::wstring root = current_root;
    for (const ComparedFile& file : baseline.files) {
        if (!lies_under(root, file.path)) {
            root = common_folder(baseline);
            break;
        }
    }
    baseline.root = root;
    baseline.by_key.clear();
    for (size_t index = 0; index < baseline.files.size(); ++index) {
        baseline.files[index].path = relative_to(root, baseline.files[index].path);
        baseline.by_key.emplace(matching_key(baseline.files[index].path), index);
    }
}
