// What a comparison with a baseline found, as text lines or as a CSV document.
#pragma once

#include <windows.h>

#include "compare_baseline.h"

// Compares the sides and prints the result: with roots, the line that names both roots first.
// Returns 0 when every file is unchanged, else 1.
DWORD report_comparison(const ComparedSide& baseline, const ComparedSide& current, bool roots);
