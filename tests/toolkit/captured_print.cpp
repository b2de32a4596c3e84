#include "captured_print.h"

#include "tool_print.h"

std::wstring captured_text;

void tool_print_text(const wchar_t* text)
{
    captured_text += text;
}
