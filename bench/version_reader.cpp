// The least a directory version report has to do: list a pattern and, for every entry, read
// its version block and query the translations and the twelve standard string entries.
// Prints nothing per file, only the counts at the end, so that what is timed is the platform's
// version functions.
//
//   version_reader <folder>\<pattern>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const STANDARD_NAMES[] = {L"Comments",     L"CompanyName",    L"FileDescription", L"FileVersion",
                                         L"InternalName", L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename",
                                         L"ProductName",  L"ProductVersion", L"PrivateBuild",    L"SpecialBuild"};

struct Counts {
    unsigned entries;
    unsigned with_version;
    unsigned strings;
};

struct Translation {
    WORD language;
    WORD code_page;
};

void query_strings(const BYTE* block, const Translation& translation, Counts& counts)
{
    for (const wchar_t* name : STANDARD_NAMES) {
        wchar_t sub_block[128];
        swprintf(sub_block, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation.language, translation.code_page, name);
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueW(block, sub_block, &value, &length) && length > 0)
            ++counts.strings;
    }
}

void read_version(const wchar_t* path, Counts& counts)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data()))
        return;
    void* table = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &length))
        return;
    ++counts.with_version;
    const Translation* translations = static_cast<const Translation*>(table);
    for (UINT index = 0; index < length / sizeof(Translation); ++index)
        query_strings(block.data(), translations[index], counts);
}

// The folder part of pattern with its trailing backslash, or empty for a bare pattern.
std::wstring folder_of(const wchar_t* pattern)
{
    const wchar_t* last = wcsrchr(pattern, L'\\');
    return last == nullptr ? std::wstring() : std::wstring(pattern, last + 1);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: version_reader <folder>\\<pattern>\n");
        return 2;
    }
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(argv[1], &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"nothing matches %ls\n", argv[1]);
        return 1;
    }
    Counts counts = {0, 0, 0};
    std::wstring folder = folder_of(argv[1]);
    do {
        ++counts.entries;
        read_version((folder + entry.cFileName).c_str(), counts);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    wprintf(L"entries=%u with_version=%u strings=%u\n", counts.entries, counts.with_version, counts.strings);
    return 0;
}
