#include "hex_view.h"

#include <stdio.h>

#include "ini_output.h"
#include "ini_state.h"
#include "text_color.h"

namespace {

const DWORD LINE_BYTES = 15;
const WORD HEX_ATTRIBUTE = 23;  // bright white on blue once the intensity is added
const WORD TEXT_ATTRIBUTE = 78; // bright yellow on red

// Line ends would break the line, other control bytes move the cursor or ring the bell.
char shown_as_text(unsigned char byte)
{
    if (byte == '\r' || byte == '\n')
        return ' ';
    if (byte < 0x20 || byte == 0x7F)
        return '.';
    return static_cast<char>(byte);
}

void print_text_column(const unsigned char* bytes, DWORD count)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    BOOL have_info = GetConsoleScreenBufferInfo(ini_state.console, &info);
    fflush(stdout);
    SetConsoleTextAttribute(ini_state.console, TEXT_ATTRIBUTE);
    for (DWORD i = 0; i < count; ++i)
        printf("%c", shown_as_text(bytes[i]));
    fflush(stdout);
    if (have_info)
        SetConsoleTextAttribute(ini_state.console, info.wAttributes);
    ini_wprintf(L"\n");
}

void print_hex_line(const unsigned char* bytes, DWORD count)
{
    for (DWORD i = 0; i < count; ++i)
        ini_wprintf(L"%2.2x ", bytes[i]);
    // A short last line keeps its text under the text of the lines above.
    for (DWORD i = count; i < LINE_BYTES; ++i)
        ini_wprintf(L"   ");
    print_text_column(bytes, count);
}

} // namespace

void print_hex_view(const wchar_t* path, const unsigned char* bytes, DWORD count)
{
    ini_wprintf(L"Printing File to Screen (Hex Mode): ");
    set_text_color(2);
    ini_wprintf(L"%ls\n", path);
    restore_text_color();
    ini_wprintf(L"\n");
    set_text_color(HEX_ATTRIBUTE);
    for (DWORD start = 0; start < count; start += LINE_BYTES) {
        DWORD line = count - start < LINE_BYTES ? count - start : LINE_BYTES;
        print_hex_line(bytes + start, line);
    }
    restore_text_color();
    ini_wprintf(L"\n");
}
