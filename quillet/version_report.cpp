#include "version_report.h"

#include <windows.h>

#include <string.h>
#include <wchar.h>

#include "failure_notice.h"
#include "fault_guard.h"
#include "html_text.h"
#include "image_report.h"
#include "pe_view.h"
#include "report_output.h"
#include "settings.h"
#include "text_color.h"
#include "text_helpers.h"

const wchar_t* const VERSION_STRING_NAMES[VERSION_STRING_COUNT] = {
    L"Comments",        L"CompanyName",      L"FileDescription", L"FileVersion",    L"InternalName", L"LegalCopyright",
    L"LegalTrademarks", L"OriginalFilename", L"ProductName",     L"ProductVersion", L"PrivateBuild", L"SpecialBuild"};

namespace {

const int SUB_BLOCK_CHARS = 520;

// What a damaged resource gets reported with: the platform left no code of its own.
const DWORD DAMAGED_RESOURCE_CODE = ERROR_INVALID_DATA;

// The version block as read from the file, with a scratch buffer for one value at a time.
struct VersionBlock {
    BYTE* data;
    DWORD size;
    wchar_t* value;
};

struct Translation {
    WORD language;
    WORD code_page;
};

// The platform's version functions parse the file themselves and fault on some damaged
// ones; each call runs guarded so that such a file costs its own report only.
struct SizeCall {
    const wchar_t* path;
    DWORD size;
    DWORD error;
};

struct ReadCall {
    const wchar_t* path;
    VersionBlock* block;
    BOOL result;
    DWORD error;
};

struct QueryCall {
    const VersionBlock* block;
    const wchar_t* sub_block;
    void* value;
    UINT length;
    BOOL result;
    DWORD error;
};

void call_size(void* context)
{
    SizeCall& call = *static_cast<SizeCall*>(context);
    DWORD handle = 0;
    call.size = GetFileVersionInfoSizeW(call.path, &handle);
    call.error = GetLastError();
}

void call_read(void* context)
{
    ReadCall& call = *static_cast<ReadCall*>(context);
    call.result = GetFileVersionInfoW(call.path, 0, call.block->size, call.block->data);
    call.error = GetLastError();
}

void call_query(void* context)
{
    QueryCall& call = *static_cast<QueryCall*>(context);
    call.result = VerQueryValueW(call.block->data, call.sub_block, &call.value, &call.length);
    call.error = GetLastError();
}

// A query result the block does not hold counts as damage, never as data to read.
bool inside_block(const VersionBlock& block, const void* start, size_t bytes)
{
    const BYTE* first = static_cast<const BYTE*>(start);
    return first >= block.data && first <= block.data + block.size &&
           bytes <= static_cast<size_t>(block.data + block.size - first);
}

enum QueryOutcome { QUERY_FOUND, QUERY_MISSING, QUERY_DAMAGED };

QueryOutcome query_block(const VersionBlock& block, const wchar_t* sub_block, QueryCall& call)
{
    call = QueryCall{&block, sub_block, nullptr, 0, FALSE, 0};
    if (!run_guarded(call_query, &call))
        return QUERY_DAMAGED;
    return call.result != 0 ? QUERY_FOUND : QUERY_MISSING;
}

void print_no_resource(const wchar_t* path, DWORD code)
{
    ql_wprintf(L"%ls Reason: %d\n", version_failure_text(VERSION_NO_RESOURCE), static_cast<int>(code));
    print_html_break();
    ql_wprintf(L"Failed for File: ");
    print_colored_line(3, L"%ls\n", path);
    print_detail_line(code);
}

void print_unreadable_resource(DWORD code)
{
    ql_wprintf(L"%ls Reason: %d\n", version_failure_text(VERSION_UNREADABLE), static_cast<int>(code));
    print_html_break();
    print_detail_line(code);
}

bool fail_reading(VersionInfo& info, VersionFailure failure, DWORD code)
{
    info.failure = failure;
    info.failure_code = code;
    return false;
}

// Reads the file's version block; records the failure and answers false when it cannot.
bool read_version_block(const wchar_t* path, VersionBlock& block, VersionInfo& info)
{
    // Such a file is forged or cut, and would cost the platform as much memory as it claims.
    if (sections_overrun_file(path))
        return fail_reading(info, VERSION_UNREADABLE, DAMAGED_RESOURCE_CODE);
    SizeCall size_call = {path, 0, 0};
    if (!run_guarded(call_size, &size_call))
        return fail_reading(info, VERSION_UNREADABLE, DAMAGED_RESOURCE_CODE);
    if (size_call.size == 0)
        return fail_reading(info, VERSION_NO_RESOURCE, size_call.error);
    block.size = size_call.size;
    // Behind the block, aligned, room for its longest possible value and a terminator; a
    // damaged size that leaves no such room counts as memory that cannot be had.
    unsigned long long value_offset = (block.size + 3ull) & ~3ull;
    unsigned long long bytes = value_offset + (block.size / sizeof(wchar_t) + 1ull) * sizeof(wchar_t);
    if (bytes <= static_cast<SIZE_T>(-1))
        block.data = static_cast<BYTE*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT, PAGE_READWRITE));
    if (block.data == nullptr)
        return fail_reading(info, VERSION_UNREADABLE,
                            bytes <= static_cast<SIZE_T>(-1) ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY);
    block.value = reinterpret_cast<wchar_t*>(block.data + value_offset);
    ReadCall read_call = {path, &block, FALSE, 0};
    if (!run_guarded(call_read, &read_call))
        return fail_reading(info, VERSION_UNREADABLE, DAMAGED_RESOURCE_CODE);
    if (read_call.result != 1)
        return fail_reading(info, VERSION_UNREADABLE, read_call.error);
    return true;
}

// The translation table inside the block; false (failure recorded) when it is missing.
bool find_translations(const VersionBlock& block, const Translation*& table, size_t& count, VersionInfo& info)
{
    QueryCall call;
    QueryOutcome outcome = query_block(block, L"\\VarFileInfo\\Translation", call);
    if (outcome == QUERY_FOUND && !inside_block(block, call.value, call.length))
        outcome = QUERY_DAMAGED;
    if (outcome != QUERY_FOUND)
        return fail_reading(info, VERSION_UNREADABLE, outcome == QUERY_DAMAGED ? DAMAGED_RESOURCE_CODE : call.error);
    table = static_cast<const Translation*>(call.value);
    count = call.length / sizeof(Translation);
    return true;
}

// Copies one string entry into the block's value buffer, never reading past the block.
QueryOutcome read_string_entry(VersionBlock& block, const wchar_t* sub_block)
{
    QueryCall call;
    QueryOutcome outcome = query_block(block, sub_block, call);
    if (outcome != QUERY_FOUND)
        return outcome;
    if (call.result != 1)
        return QUERY_MISSING;
    const wchar_t* value = static_cast<const wchar_t*>(call.value);
    if (value == nullptr || !inside_block(block, value, 0))
        return QUERY_DAMAGED;
    size_t room = static_cast<size_t>(block.data + block.size - reinterpret_cast<const BYTE*>(value)) / sizeof(wchar_t);
    size_t chars = wcsnlen(value, room < call.length ? room : call.length);
    wmemcpy(block.value, value, chars);
    block.value[chars] = L'\0';
    return QUERY_FOUND;
}

// Reads the entries of one translation; false when the block proved damaged.
bool read_string_entries(VersionBlock& block, TranslationInfo& translation)
{
    wchar_t sub_block[SUB_BLOCK_CHARS];
    memset(sub_block, 0, sizeof(sub_block));
    for (int index = 0; index < VERSION_STRING_COUNT; ++index) {
        wsprintfW(sub_block, L"\\StringFileInfo\\%04x%04x\\%ls", translation.language, translation.code_page,
                  VERSION_STRING_NAMES[index]);
        QueryOutcome outcome = read_string_entry(block, sub_block);
        if (outcome == QUERY_DAMAGED)
            return false;
        if (outcome == QUERY_FOUND)
            translation.values[index] = trim_spaces(block.value, block.value);
    }
    return true;
}

// The translation as far as it could be read; false when the block proved damaged.
bool read_translation(VersionBlock& block, const Translation& table_entry, VersionInfo& info)
{
    wchar_t language[TEXT_CHARS];
    clear_text_buffer(language);
    VerLanguageNameW(table_entry.language, language, TEXT_CHARS);
    language[TEXT_CHARS - 1] = L'\0';

    info.translations.push_back(TranslationInfo());
    TranslationInfo& translation = info.translations.back();
    translation.language = table_entry.language;
    translation.code_page = table_entry.code_page;
    translation.language_name = language;
    translation.complete = read_string_entries(block, translation);
    if (!translation.complete)
        return fail_reading(info, VERSION_UNREADABLE, DAMAGED_RESOURCE_CODE);
    return true;
}

void read_translations(VersionBlock& block, VersionInfo& info)
{
    const Translation* table = nullptr;
    size_t count = 0;
    if (!find_translations(block, table, count, info))
        return;
    info.has_table = true;
    for (size_t index = 0; index < count; ++index) {
        if (!read_translation(block, table[index], info))
            return;
    }
}

void print_translation(const TranslationInfo& translation, const wchar_t* path)
{
    print_colored_line(7, L"%ls", L"[Language]\n");
    print_colored_line(2, L"-- %ls --\n", translation.language_name.c_str());
    for (int index = 0; index < VERSION_STRING_COUNT; ++index) {
        if (translation.values[index].empty())
            continue;
        print_colored_line(7, L"[%ls]\n", VERSION_STRING_NAMES[index]);
        print_colored_line(2, L"-- %ls --\n", translation.values[index].c_str());
    }
    if (translation.complete && settings.OutputExtraImageInformation == 1) {
        print_image_checksums(path);
        print_image_internal_information(path);
    }
}

void print_version_info(const VersionInfo& info, const wchar_t* path)
{
    if (info.has_table) {
        print_colored_line(7, L"%ls", L"[FileName]\n");
        print_colored_line(3, L"-- %ls --\n", path);
    }
    for (const TranslationInfo& translation : info.translations)
        print_translation(translation, path);
    if (info.failure == VERSION_NO_RESOURCE)
        print_no_resource(path, info.failure_code);
    else if (info.failure == VERSION_UNREADABLE)
        print_unreadable_resource(info.failure_code);
}

} // namespace

// value comes from the file or the system: in a document it must show, never act as markup.
void print_colored_line(WORD color, const wchar_t* format, const wchar_t* value)
{
    set_text_color(color);
    ql_wprintf(format, html_value(value).c_str());
    print_html_break();
    restore_text_color();
}

void read_version_info(const wchar_t* path, VersionInfo& info)
{
    info.has_table = false;
    info.translations.clear();
    info.failure = VERSION_READ;
    info.failure_code = 0;
    VersionBlock block = {nullptr, 0, nullptr};
    if (read_version_block(path, block, info))
        read_translations(block, info);
    if (block.data != nullptr)
        VirtualFree(block.data, 0, MEM_RELEASE);
}

const wchar_t* version_failure_text(VersionFailure failure)
{
    if (failure == VERSION_NO_RESOURCE)
        return L"Getting File Version Info Size failed.";
    if (failure == VERSION_UNREADABLE)
        return L"Getting File Version Info failed.";
    return L"";
}

void show_version_info(const wchar_t* path)
{
    VersionInfo info;
    read_version_info(path, info);
    print_version_info(info, path);
}

wchar_t* trim_spaces(wchar_t* input, wchar_t* output)
{
    size_t end = wcslen(input);
    while (end > 0 && input[end - 1] == L' ')
        --end;
    size_t start = 0;
    while (start < end && input[start] == L' ')
        ++start;
    memmove(output, input + start, (end - start) * sizeof(wchar_t));
    output[end - start] = L'\0';
    return output;
}
