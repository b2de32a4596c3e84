#include "format_output.h"

#include <stdio.h>

int print_with_copy(const wchar_t* format, va_list args, wchar_t* copy)
{
    va_list measure;
    va_copy(measure, args);
    // Kept even though its result is unused: the measuring is what reads the arguments.
    volatile int measured = _vscwprintf(format, measure);
    (void)measured;
    va_end(measure);

    va_list console;
    va_copy(console, args);
    int result = vfwprintf(stdout, format, console);
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
