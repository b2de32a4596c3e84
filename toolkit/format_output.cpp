#include "format_output.h"

#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include "utf8_output.h"

namespace {

// The usual line fits here; only a longer text takes memory from the heap.
const int STACK_TEXT_CHARS = 1024;
// Pieces of a long text for the console, which limits what one call may carry.
const size_t CONSOLE_CHUNK_CHARS = 8192;

// The handle the stream writes to, when it is a console; null otherwise. The answer is kept
// for the handle it was found for: every print asks, and a failing console call costs a round
// trip to the system under Wine. The console is stored before the handle it belongs to, so a
// second thread that sees the handle also sees its answer.
HANDLE stream_console(FILE* stream)
{
    static volatile intptr_t checked_handle = -1;
    static HANDLE volatile checked_console = nullptr;
    intptr_t handle = _get_osfhandle(_fileno(stream));
    if (handle == checked_handle)
        return checked_console;
    DWORD mode = 0;
    HANDLE console = nullptr;
    if (handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode))
        console = reinterpret_cast<HANDLE>(handle);
    checked_console = console;
    checked_handle = handle;
    return console;
}

bool write_console(HANDLE console, const wchar_t* text, size_t length)
{
    while (length > 0) {
        DWORD chars = static_cast<DWORD>(length < CONSOLE_CHUNK_CHARS ? length : CONSOLE_CHUNK_CHARS);
        if (chars < length && text[chars - 1] >= 0xD800 && text[chars - 1] <= 0xDBFF)
            --chars;
        DWORD written = 0;
        if (!WriteConsoleW(console, text, chars, &written, nullptr) || written == 0)
            return false;
        text += written;
        length -= written;
    }
    return true;
}

} // namespace

int write_standard_output(const wchar_t* text, size_t length)
{
    return write_output(stdout, text, length);
}

int write_output(FILE* stream, const wchar_t* text, size_t length)
{
    DWORD saved_error = GetLastError();
    HANDLE console = stream_console(stream);
    bool written;
    if (console != nullptr) {
        // Narrow text still waiting in the stream belongs before this one.
        fflush(stream);
        written = write_console(console, text, length);
    } else {
        written = write_utf8(stream, text, length);
    }
    SetLastError(saved_error);
    return written ? static_cast<int>(length) : -1;
}

int print_formatted(const wchar_t* format, va_list args)
{
    return print_formatted_to(stdout, format, args);
}

int print_formatted_to(FILE* stream, const wchar_t* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length < 0)
        return length;

    wchar_t stack_text[STACK_TEXT_CHARS];
    wchar_t* text = stack_text;
    if (length >= STACK_TEXT_CHARS) {
        text = static_cast<wchar_t*>(malloc((static_cast<size_t>(length) + 1) * sizeof(wchar_t)));
        if (text == nullptr)
            return -1;
    }
    va_list fill;
    va_copy(fill, args);
    _vsnwprintf(text, static_cast<size_t>(length) + 1, format, fill);
    va_end(fill);
    text[length] = L'\0';

    int result = write_output(stream, text, static_cast<size_t>(length));
    if (text != stack_text)
        free(text);
    return result;
}

int print_with_copy(const wchar_t* format, va_list args, wchar_t* copy)
{
    return print_with_copy_to(stdout, format, args, copy);
}

int print_with_copy_to(FILE* stream, const wchar_t* format, va_list args, wchar_t* copy)
{
    va_list console;
    va_copy(console, args);
    int result = print_formatted_to(stream, format, console);
    va_end(console);

    // The copy holds exactly the first ECHO_COPY_LIMIT characters, whichever convention the
    // runtime's bounded formatter follows for a cut text (C99 or Microsoft).
    va_list echo;
    va_copy(echo, args);
    _vsnwprintf(copy, ECHO_COPY_LIMIT + 1, format, echo);
    va_end(echo);
    copy[ECHO_COPY_LIMIT] = L'\0';
    return result;
}
