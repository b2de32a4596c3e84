// "-compare BASELINE" (also "-cmp") in a directory or multiple-file run: what changed since a
// CSV document that quillet wrote.
#pragma once

#include <windows.h>

#include "run_request.h"

// The runs of a request with a compare word; each returns the exit code: 0 when every file is
// unchanged, 1 when anything differs, else the code of the failure that ended it.
DWORD compare_directory(const RunRequest& request);
DWORD compare_listed_files(const RunRequest& request);
