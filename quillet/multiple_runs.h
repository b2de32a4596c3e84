// Runs over several files: "-m" with a list of paths, "-d" with a wildcard pattern.
#pragma once

#include <windows.h>

// Both read the stored command line and return the exit code.
DWORD run_multiple_files();
DWORD run_directory();
