#include "utf8_output.h"

#include <windows.h>

namespace {

// Converted piece by piece, so that even a long text needs no more than this on the stack.
const size_t CHUNK_CHARS = 512;
// One UTF-16 unit never takes more than three bytes, a surrogate pair (two units) four.
const size_t CHUNK_BYTES = CHUNK_CHARS * 3;

bool is_high_surrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

bool write_utf8(FILE* stream, const wchar_t* text, size_t length)
{
    char bytes[CHUNK_BYTES];
    bool written = true;
    // One text stays in one piece even when another thread writes to the same stream.
    _lock_file(stream);
    while (written && length > 0) {
        size_t chars = length < CHUNK_CHARS ? length : CHUNK_CHARS;
        // A pair split between two pieces would come out as two replacement characters.
        if (chars < length && chars > 1 && is_high_surrogate(text[chars - 1]))
            --chars;
        int count = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(chars), bytes, static_cast<int>(CHUNK_BYTES),
                                        nullptr, nullptr);
        written = count > 0 && fwrite(bytes, 1, static_cast<size_t>(count), stream) == static_cast<size_t>(count);
        text += chars;
        length -= chars;
    }
    _unlock_file(stream);
    return written;
}

bool write_text_utf8(FILE* stream, const wchar_t* text)
{
    DWORD saved_error = GetLastError();
    bool written = write_utf8(stream, text, wcslen(text));
    SetLastError(saved_error);
    return written;
}

std::string utf8_of(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring wide_of_utf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int length = static_cast<int>(text.size());
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &out[0], chars);
    return out;
}
