// quilletini: reads and writes keys of existing settings files, prints a text file.
#include <windows.h>
#include <shlwapi.h>

#include <stdlib.h>

#include "file_print.h"
#include "ini_banner.h"
#include "ini_key_access.h"
#include "ini_output.h"
#include "ini_state.h"
#include "text_color.h"
#include "user_context.h"

namespace {

const wchar_t USAGE_TEXT[] =
    L"Usage: quilletini [file] [access]<read|write|print> [key] [data] [type]<-s|-b> [data_to_write]\n";

const wchar_t BAD_PATH_TEXT[] = L"Error: Invalid Path to File given (First Parameter).\n";
const wchar_t BAD_ACCESS_TEXT[] =
    L"Error: You must specify \"read\" or \"write\" or \"print\" access (Second Parameter).\n";
const wchar_t NO_SECTION_TEXT[] = L"Error: You must\ta valid key section (Third Parameter).\n";
const wchar_t NO_KEY_TEXT[] = L"Error: You must specify valid data (Fourth Parameter).\n";
const wchar_t NO_TYPE_TEXT[] = L"Error: You must specify what data is: (B)inary or (S)tring (Fifth Parameter).\n";
const wchar_t BAD_TYPE_TEXT[] = L"Error: Only (-B)inary or (-S)tring is alowed (Fifth Parameter).\n";
const wchar_t NO_VALUE_TEXT[] = L"Error: You must specify some data to write (Sixth Parameter).\n";

void release_globals()
{
    release_user_context();
}

int refuse(const wchar_t* message)
{
    set_text_color(4);
    ini_wprintf(L"%ls", message);
    restore_text_color();
    return ERROR_INVALID_PARAMETER;
}

bool is_access_word(const wchar_t* word)
{
    return same_word(word, L"read") || same_word(word, L"write") || same_word(word, L"print");
}

// Words 3 to 6 of a read or a write; the access word is already known to be one of them.
int run_key_access(int count, wchar_t** words)
{
    if (count < 4)
        return refuse(NO_SECTION_TEXT);
    if (count < 5)
        return refuse(NO_KEY_TEXT);
    if (count < 6)
        return refuse(NO_TYPE_TEXT);
    if (same_word(words[5], L"-binary") || same_word(words[5], L"-string"))
        return refuse(BAD_TYPE_TEXT);
    bool reading = same_word(words[2], L"read");
    if (!reading && count < 7)
        return refuse(NO_VALUE_TEXT);
    // An existing file whose full path does not fit cannot be named to the profile functions;
    // an empty or stale name would make them use another file.
    if (!make_full_path(words[1]))
        return refuse(BAD_PATH_TEXT);
    access_ini_key(ini_state.full_path, words[2], words[3], words[4], words[5], reading ? nullptr : words[6]);
    return 0;
}

int run_command(int count, wchar_t** words)
{
    if (count < 3) {
        ini_wprintf(L"%ls", USAGE_TEXT);
        return 0;
    }
    if (!PathFileExistsW(words[1]))
        return refuse(BAD_PATH_TEXT);
    if (!is_access_word(words[2]))
        return refuse(BAD_ACCESS_TEXT);
    if (same_word(words[2], L"print")) {
        print_file_to_screen(words[1], PRINT_PLAIN);
        return 0;
    }
    return run_key_access(count, words);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ini_state.console = GetStdHandle(STD_OUTPUT_HANDLE);
    load_user_context();
    atexit(release_globals);
    print_ini_banner();
    ini_wprintf(L"\n");
    return run_command(argc, argv);
}
