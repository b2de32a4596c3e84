// quillet's failure notice: what failed, the code, who ran the tool, the system's text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

void print_failure(DWORD code, const wchar_t* context);

// "Detail: ", the system's text for code, a line end: the last line of every failure notice.
void print_detail_line(DWORD code);

struct FailureEntry {
    std::wstring text;
    DWORD code;
};

// The failures of one file, in the order they happened; joined as a CSV run reports them:
// "text (code)", joined by "; ".
struct FailureList {
    std::wstring joined;
    DWORD last_code;
    bool any;
    std::vector<FailureEntry> entries;
};

void add_failure(FailureList& list, const wchar_t* text, DWORD code);

// Set while a CSV run gathers a file's facts: print_failure then adds its context text and
// code here and prints nothing.
extern FailureList* failure_collector;
