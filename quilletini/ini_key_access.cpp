#include "ini_key_access.h"

#include <windows.h>

#include <string.h>

#include "ini_output.h"
#include "ini_state.h"
#include "text_color.h"

namespace {

// The string read's buffer, in characters; the platform cuts longer values to one less.
const DWORD VALUE_CHARS = 520;

void read_number(const wchar_t* full_path, const wchar_t* section, const wchar_t* key)
{
    SetLastError(0);
    UINT number = GetPrivateProfileIntW(section, key, -1, full_path);
    // Taken before the colour call, which fails on redirected output and leaves its own code.
    DWORD code = GetLastError();
    // The default -1 cannot be told apart from a stored -1: both count as not found.
    if (number == static_cast<UINT>(-1)) {
        set_text_color(4);
        ini_wprintf(L"Could not get Data. Reason: %d\n", static_cast<int>(code));
    } else {
        set_text_color(2);
        ini_wprintf(L"\nBinary Data Read from:\nSection=%ls\nKey=%ls\nData=%d\n", section, key,
                    static_cast<int>(number));
    }
    restore_text_color();
}

void read_text(const wchar_t* full_path, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[VALUE_CHARS];
    memset(value, 0, sizeof(value));
    SetLastError(0);
    // A missing section or key leaves the empty default: a string read never fails.
    GetPrivateProfileStringW(section, key, L"", value, VALUE_CHARS, full_path);
    set_text_color(2);
    ini_wprintf(L"\nString Data Read from:\nSection=%ls\nKey=%ls\nString Data=%ls\n", section, key, value);
    restore_text_color();
}

void write_value(const wchar_t* full_path, const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    SetLastError(0);
    BOOL written = WritePrivateProfileStringW(section, key, value, full_path);
    DWORD code = GetLastError();
    if (written) {
        set_text_color(2);
        ini_wprintf(L"\nData has been writen to:\nSection=%ls\nKey=%ls\nData=%ls\n", section, key, value);
    } else {
        set_text_color(4);
        ini_wprintf(L"\nWriting Data to Section/Key failed. Reason: %d\n", static_cast<int>(code));
    }
    restore_text_color();
}

} // namespace

void access_ini_key(const wchar_t* full_path, const wchar_t* access, const wchar_t* section, const wchar_t* key,
                    const wchar_t* type, const wchar_t* value)
{
    ini_wprintf(L"Accessing File: ");
    set_text_color(7);
    ini_wprintf(L"%ls\n", full_path);
    restore_text_color();

    if (same_word(access, L"read")) {
        if (same_word(type, L"-b"))
            read_number(full_path, section, key);
        else if (same_word(type, L"-s"))
            read_text(full_path, section, key);
        return;
    }
    if (same_word(access, L"write"))
        write_value(full_path, section, key, value);
}
