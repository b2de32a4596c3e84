#include "ini_output.h"

#include <stdio.h>

#include "error_detail.h"
#include "text_color.h"
#include "tool_print.h"
#include "user_context.h"

void tool_print_text(const wchar_t* text)
{
    wprintf(L"%ls", text);
}

void print_failure(DWORD code)
{
    wprintf(L"Error: Opening file failed. Reason: ");
    set_text_color(4);
    wprintf(L"%d\n", static_cast<int>(code));
    restore_text_color();

    wprintf(L"User Context: ");
    set_text_color(2);
    wprintf(L"%ls\\%ls\n", user_context.domain_name, user_context.user_name);
    restore_text_color();

    wprintf(L"User SID: ");
    set_text_color(2);
    wprintf(L"%ls\n", user_context.sid_text);
    restore_text_color();

    wprintf(L"Detail: ");
    print_error_detail(code);
    wprintf(L"\n");
}
