#include "directory_walk.h"

#include <shlwapi.h>

#include <vector>

#include <wchar.h>

#include "text_helpers.h"

namespace {

struct Walk {
    const WalkVisitor* visitor;
    std::wstring last_component;
    bool recurse;
    size_t matched;
    DWORD code;
};

bool fits_buffer(const std::wstring& text)
{
    return text.size() < static_cast<size_t>(TEXT_CHARS);
}

// directory empty: the bare name, which names the entry in the current directory.
std::wstring join_name(const std::wstring& directory, const std::wstring& name)
{
    return directory.empty() ? name : directory + L"\\" + name;
}

void list_matches(Walk& walk, const std::wstring& pattern, bool pattern_fits, const std::wstring& directory,
                  const std::wstring& relative)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(pattern.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring path = join_name(directory, entry.cFileName);
        bool fits = pattern_fits && fits_buffer(path);
        if (walk.visitor->matches != nullptr && !walk.visitor->matches(path, fits, entry.dwFileAttributes)) {
            if (walk.visitor->left_out != nullptr)
                walk.visitor->left_out(walk.visitor->context, path, relative + entry.cFileName);
            continue;
        }
        ++walk.matched;
        walk.visitor->entry(walk.visitor->context, path, fits, relative + entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    DWORD code = GetLastError();
    FindClose(listing);
    if (code != ERROR_NO_MORE_FILES)
        walk.code = code;
}

// The pattern that lists everything in directory.
std::wstring everything_in(const std::wstring& directory)
{
    return directory + (directory.empty() || directory.back() == L'\\' ? L"*" : L"\\*");
}

bool is_descended_into(const WIN32_FIND_DATAW& entry)
{
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    return wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0;
}

void unlistable(Walk& walk, const std::wstring& directory, DWORD code)
{
    walk.visitor->unlistable(walk.visitor->context, directory.empty() ? L"." : directory, code);
}

void walk_folder(Walk& walk, const std::wstring& directory, const std::wstring& relative);

// A pattern such as "*.dll" never matches a folder's name, so folders come from a listing of
// their own. The names are gathered first, so that no listing stays open while a deep tree is
// walked.
void walk_subfolders(Walk& walk, const std::wstring& directory, const std::wstring& relative)
{
    std::wstring everything = everything_in(directory);
    if (!fits_buffer(everything)) {
        unlistable(walk, directory, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(everything.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        unlistable(walk, directory, GetLastError());
        return;
    }
    std::vector<std::wstring> folders;
    do {
        if (is_descended_into(entry))
            folders.push_back(entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    for (const std::wstring& folder : folders)
        walk_folder(walk, join_name(directory, folder), relative + folder + L"\\");
}

// A folder whose pattern does not fit the buffer cannot be listed: its entries' paths would
// not fit either.
void walk_folder(Walk& walk, const std::wstring& directory, const std::wstring& relative)
{
    std::wstring pattern = join_name(directory, walk.last_component);
    if (!fits_buffer(pattern)) {
        unlistable(walk, directory, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    list_matches(walk, pattern, true, directory, relative);
    walk_subfolders(walk, directory, relative);
}

} // namespace

wchar_t* get_directory_part(const wchar_t* path, wchar_t* out)
{
    wchar_t directory[TEXT_CHARS];
    clear_text_buffer(directory);
    copy_text(directory, TEXT_CHARS, path);
    PathRemoveFileSpecW(directory);
    copy_text(out, TEXT_CHARS, directory);
    return out;
}

// The listing of everything in a folder names at least "." and ".." (a drive's root, which has
// neither, may be empty: the system then says no file was found). The caller's last error is
// kept.
bool pattern_folder_listable(const std::wstring& pattern)
{
    DWORD saved_error = GetLastError();
    std::wstring directory = pattern_directory(pattern);
    std::wstring everything = everything_in(directory);
    DWORD attributes = GetFileAttributesW(directory.empty() ? L"." : directory.c_str());
    bool listable = fits_buffer(everything) && attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (listable) {
        WIN32_FIND_DATAW entry;
        HANDLE listing = FindFirstFileW(everything.c_str(), &entry);
        listable = listing != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (listing != INVALID_HANDLE_VALUE)
            FindClose(listing);
    }
    SetLastError(saved_error);
    return listable;
}

// The folder part of the pattern: as get_directory_part gives it, or for a pattern too long
// for its buffer, everything before the last separator, never cut.
std::wstring pattern_directory(const std::wstring& pattern)
{
    if (fits_buffer(pattern)) {
        wchar_t directory[TEXT_CHARS];
        return get_directory_part(pattern.c_str(), directory);
    }
    size_t separator = pattern.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : pattern.substr(0, separator);
}

WalkResult walk_pattern(const wchar_t* pattern, bool recurse, const WalkVisitor& visitor)
{
    std::wstring whole = pattern;
    size_t separator = whole.find_last_of(L'\\');
    Walk walk = {&visitor, separator == std::wstring::npos ? whole : whole.substr(separator + 1), recurse, 0,
                 ERROR_NO_MORE_FILES};
    std::wstring directory = pattern_directory(whole);
    list_matches(walk, whole, fits_buffer(whole), directory, L"");
    if (recurse)
        walk_subfolders(walk, directory, L"");
    WalkResult result = {walk.matched, walk.code};
    return result;
}
