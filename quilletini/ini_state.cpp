#include "ini_state.h"

IniState ini_state = {};

bool make_full_path(const wchar_t* path)
{
    DWORD length = GetFullPathNameW(path, FULL_PATH_CHARS, ini_state.full_path, nullptr);
    return length > 0 && length < FULL_PATH_CHARS;
}

namespace {

wchar_t fold_ascii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool same_word(const wchar_t* word, const wchar_t* expected)
{
    while (*word != L'\0' && fold_ascii(*word) == fold_ascii(*expected)) {
        ++word;
        ++expected;
    }
    return fold_ascii(*word) == fold_ascii(*expected);
}
