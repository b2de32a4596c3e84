#include "error_detail.h"

#include <wchar.h>

#include "text_color.h"
#include "tool_print.h"

namespace {

void* commit_read_write(SIZE_T bytes)
{
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
}

const wchar_t UNKNOWN_ERROR_TEXT[] = L"UNKNOWN_ERROR_CODE\n";

} // namespace

void* (*error_detail_commit)(SIZE_T bytes) = commit_read_write;

void print_error_detail(DWORD code)
{
    wchar_t* system_text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0x400,
                                  reinterpret_cast<LPWSTR>(&system_text), 0, nullptr);
    const wchar_t* text = length > 0 ? system_text : UNKNOWN_ERROR_TEXT;
    size_t chars = wcslen(text);
    wchar_t* copy = static_cast<wchar_t*>(error_detail_commit((chars + 1) * sizeof(wchar_t)));

    set_text_color(4);
    // Without a copy the text is printed from where it lies; nothing is written anywhere.
    if (copy != nullptr) {
        wmemcpy(copy, text, chars + 1);
        tool_print_text(copy);
    } else {
        tool_print_text(text);
    }
    restore_text_color();

    if (copy != nullptr)
        VirtualFree(copy, 0, MEM_RELEASE);
    if (system_text != nullptr)
        LocalFree(system_text);
}
