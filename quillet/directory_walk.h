// The entries that a directory run reports: the pattern's matches in its folder and, for a
// recursive run, in every folder below it.
#pragma once

#include <windows.h>

#include <string>

struct WalkVisitor {
    // path: as reports name it; fits: it fits a TEXT_CHARS buffer (else it is never opened);
    // relative: the path relative to the pattern's folder.
    void (*entry)(void* context, const std::wstring& path, bool fits, const std::wstring& relative);
    // A folder below the pattern's folder whose entries cannot be listed.
    void (*unlistable)(void* context, const std::wstring& folder, DWORD code);
    void* context;
    // Whether an entry that the pattern matches counts as a match at all; null: every one.
    bool (*matches)(const std::wstring& path, bool fits, DWORD attributes);
    // May be null: told of each entry the pattern matches and matches leaves out.
    void (*left_out)(void* context, const std::wstring& path, const std::wstring& relative);
};

struct WalkResult {
    size_t matched;
    // How the listings of matches ended: ERROR_NO_MORE_FILES when each ran to its end, else
    // the last code that ended one early.
    DWORD code;
};

// Lists pattern in its folder and, when recurse is set, in every folder below it, depth
// first: a folder's matches in the listing's order, then its subfolders. "." and ".." and
// entries with the reparse-point attribute (junctions, symbolic links) are never descended
// into, so a link that leads back up cannot make the walk endless.
WalkResult walk_pattern(const wchar_t* pattern, bool recurse, const WalkVisitor& visitor);

// path without its last element (a root keeps its backslash), into a 260-character buffer.
wchar_t* get_directory_part(const wchar_t* path, wchar_t* out);

// Whether the pattern's folder exists and can be listed (a folder that holds nothing can).
bool pattern_folder_listable(const std::wstring& pattern);

// The pattern's folder: as get_directory_part gives it, or for a pattern too long for its
// buffer, everything before the last separator.
std::wstring pattern_directory(const std::wstring& pattern);
