// The version resource report: every translation with its language and string entries.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The twelve standard string entries, in the order every report shows them.
const int VERSION_STRING_COUNT = 12;
extern const wchar_t* const VERSION_STRING_NAMES[VERSION_STRING_COUNT];

struct TranslationInfo {
    WORD language;
    WORD code_page;
    std::wstring language_name;
    // Trimmed; empty when the entry is missing or only blanks.
    std::wstring values[VERSION_STRING_COUNT];
    // False when the block proved damaged inside this translation: its later entries are gone.
    bool complete;
};

enum VersionFailure { VERSION_READ, VERSION_NO_RESOURCE, VERSION_UNREADABLE };

// What a file's version resource holds, as far as it could be read.
struct VersionInfo {
    // The translation table was found: the report has its heading and these translations.
    bool has_table;
    std::vector<TranslationInfo> translations;
    // What ended the reading early, if anything, and the code it is reported with.
    VersionFailure failure;
    DWORD failure_code;
};

void read_version_info(const wchar_t* path, VersionInfo& info);

// The failure's own line as the report begins it ("Getting File Version Info Size failed.").
const wchar_t* version_failure_text(VersionFailure failure);

// Prints the report of path, or its failure lines; never stops the program.
void show_version_info(const wchar_t* path);

// One report line in its colour, followed by "<br>" in HTML mode; value (from a file or the
// system) is escaped for the document there.
void print_colored_line(WORD color, const wchar_t* format, const wchar_t* value);

// Copies input without leading and trailing blanks (U+0020 only) into output and returns
// output. output may be input itself; it needs room for input's text and terminator.
wchar_t* trim_spaces(wchar_t* input, wchar_t* output);
