#include "test_files.h"

#include <windows.h>

#include <stdio.h>

std::wstring windows_path(const char* build_path)
{
    std::wstring path = widen(build_path);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    if (!path.empty() && path[0] == L'\\')
        path = L"Z:" + path;
    return path;
}

std::wstring make_temp_dir(const std::wstring& tag)
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsql-%ls-%lu-%u", base, tag.c_str(), GetCurrentProcessId(), ++counter);
        if (CreateDirectoryW(name, nullptr))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return L"";
    }
}

std::wstring folder_of_length(const std::wstring& tag, size_t chars)
{
    std::wstring folder = make_temp_dir(tag);
    while (folder.size() + 1 + 40 < chars) {
        folder = join_path(folder, std::wstring(40, L'd'));
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    folder = join_path(folder, std::wstring(chars - folder.size() - 1, L'e'));
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring join_path(const std::wstring& folder, const std::wstring& name)
{
    return folder + L"\\" + name;
}

void write_file(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string read_file(const std::wstring& path)
{
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return bytes;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

bool file_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring copy_program(const std::wstring& program, const std::wstring& folder, const std::wstring& name)
{
    std::wstring file_name = name;
    if (file_name.empty())
        file_name = program.substr(program.find_last_of(L'\\') + 1);
    std::wstring target = join_path(folder, file_name);
    CopyFileW(program.c_str(), target.c_str(), FALSE);
    return target;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(chars, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], chars);
    return out;
}

size_t count_of(const std::string& haystack, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size()))
        ++count;
    return count;
}
