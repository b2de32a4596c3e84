// Which files a run's request selects: "-pe" where the walk chooses its entries, "-unsigned"
// before a file is reported (on the hashing threads when they run).
#pragma once

#include <string>

#include "directory_walk.h"
#include "run_request.h"

// "-pe": only PE images are matches; an entry that cannot be opened or read counts, so that it
// gets its notice. Null without "-pe".
typedef bool (*EntryFilter)(const std::wstring& path, bool fits, DWORD attributes);
EntryFilter entry_filter(const RunRequest& request);

// "-unsigned": the check a hashing thread makes before any digest of a file; null without it.
typedef bool (*FileScreen)(const wchar_t* path);
FileScreen file_screen(const RunRequest& request);

// Whether the request leaves the file out of its report: the screen's answer, taken from the
// hashing thread that made it when there is one. A path too long to open stays, for its notice.
bool leaves_out(const RunRequest& request, const std::wstring& path, bool fits = true);
