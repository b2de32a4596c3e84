#include "ini_output.h"

#include <stdarg.h>

#include "error_detail.h"
#include "format_output.h"
#include "text_color.h"
#include "tool_print.h"
#include "user_context.h"

int ini_wprintf(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = print_formatted(format, args);
    va_end(args);
    return result;
}

void tool_print_text(const wchar_t* text)
{
    ini_wprintf(L"%ls", text);
}

void print_failure(DWORD code)
{
    ini_wprintf(L"Error: Opening file failed. Reason: ");
    set_text_color(4);
    ini_wprintf(L"%d\n", static_cast<int>(code));
    restore_text_color();

    ini_wprintf(L"User Context: ");
    set_text_color(2);
    ini_wprintf(L"%ls\\%ls\n", user_context.domain_name, user_context.user_name);
    restore_text_color();

    ini_wprintf(L"User SID: ");
    set_text_color(2);
    ini_wprintf(L"%ls\n", user_context.sid_text);
    restore_text_color();

    ini_wprintf(L"Detail: ");
    print_error_detail(code);
    ini_wprintf(L"\n");
}
