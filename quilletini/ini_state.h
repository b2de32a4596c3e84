// What quilletini keeps for its whole run, and the small helpers its commands share.
#pragma once

#include <windows.h>

// The full path of the file word; the profile functions and the file open use it.
const DWORD FULL_PATH_CHARS = 260;

struct IniState {
    HANDLE console;
    wchar_t full_path[FULL_PATH_CHARS];
    DWORD last_error;
};

extern IniState ini_state;

// Makes the full path of path, relative to the current directory, into ini_state.full_path.
// False when the system cannot make it or it does not fit; the buffer then stays as it was.
bool make_full_path(const wchar_t* path);

// Compares two command words with only the ASCII letters folded, whatever the locale.
bool same_word(const wchar_t* word, const wchar_t* expected);
