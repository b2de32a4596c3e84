#include "text_helpers.h"

#include <string.h>
#include <wchar.h>

wchar_t own_path[TEXT_CHARS] = {};
int stored_word_count = 0;
wchar_t** stored_words = nullptr;

void store_command_line(int count, wchar_t** words)
{
    stored_word_count = count;
    stored_words = words;
}

void copy_text(wchar_t* out, size_t capacity, const wchar_t* src)
{
    if (capacity == 0)
        return;
    size_t length = wcslen(src);
    if (length >= capacity)
        length = capacity - 1;
    wmemcpy(out, src, length);
    out[length] = L'\0';
}

void clear_text_buffer(wchar_t* buffer)
{
    memset(buffer, 0, TEXT_CHARS * sizeof(wchar_t));
}

void format_file_time(const FILETIME& time, wchar_t* out, size_t capacity)
{
    FILETIME local;
    SYSTEMTIME parts;
    wchar_t text[64];
    if (FileTimeToLocalFileTime(&time, &local) == 1 && FileTimeToSystemTime(&local, &parts) == 1)
        wsprintfW(text, L"%02d.%02d.%d :: %02d:%02d", parts.wDay, parts.wMonth, parts.wYear, parts.wHour,
                  parts.wMinute);
    else
        wcscpy(text, L"N/A");
    copy_text(out, capacity, text);
}

int find_option(const wchar_t* option)
{
    for (int index = 0; index < stored_word_count; ++index) {
        if (_wcsicmp(stored_words[index], option) == 0)
            return index;
    }
    return -1;
}

wchar_t* path_stem(const wchar_t* path, wchar_t* out)
{
    copy_text(out, TEXT_CHARS, path);
    wchar_t* name = wcsrchr(out, L'\\');
    wchar_t* dot = wcsrchr(name ? name : out, L'.');
    if (dot != nullptr)
        *dot = L'\0';
    return out;
}

wchar_t* get_program_path_stem(wchar_t* out)
{
    wchar_t path[TEXT_CHARS];
    clear_text_buffer(path);
    clear_text_buffer(own_path);
    GetModuleFileNameW(nullptr, path, TEXT_CHARS);
    GetModuleFileNameW(nullptr, own_path, TEXT_CHARS);
    return path_stem(path, out);
}

void get_program_file_path(const wchar_t* extension, wchar_t* out)
{
    clear_text_buffer(out);
    get_program_path_stem(out);
    wcsncat(out, extension, TEXT_CHARS - 1 - wcslen(out));
}

void format_time_now(wchar_t* out, size_t capacity)
{
    SYSTEMTIME now;
    FILETIME now_file;
    GetSystemTime(&now);
    SystemTimeToFileTime(&now, &now_file);
    format_file_time(now_file, out, capacity);
}

void get_own_version_string(const wchar_t* name, wchar_t* out)
{
    wchar_t sub_block[TEXT_CHARS];
    clear_text_buffer(sub_block);
    wcscpy(sub_block, L"\\StringFileinfo\\000004B0\\");
    wcsncat(sub_block, name, TEXT_CHARS - 1 - wcslen(sub_block));

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(own_path, &handle);
    if (size == 0) {
        wcscpy(out, L"N/A");
        return;
    }
    void* block = VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        wcscpy(out, L"N/A");
        return;
    }
    wchar_t* value = nullptr;
    UINT value_chars = 0;
    if (GetFileVersionInfoW(own_path, 0, size, block) == 1 &&
        VerQueryValueW(block, sub_block, reinterpret_cast<void**>(&value), &value_chars) == 1) {
        size_t chars = value_chars < TEXT_CHARS - 1 ? value_chars : TEXT_CHARS - 1;
        wmemcpy(out, value, chars);
        out[chars] = L'\0';
    }
    VirtualFree(block, 0, MEM_RELEASE);
}
