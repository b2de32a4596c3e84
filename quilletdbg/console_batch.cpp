#include "console_batch.h"

#include <string.h>

#include "text_color.h"

namespace {

// Wide characters gathered before a write; a whole message text fits, line ends doubled.
const int RUN_CHARS = 32768;

const WORD NAME_COLOUR = 1 | FOREGROUND_INTENSITY;
const WORD ID_COLOUR = 2 | FOREGROUND_INTENSITY;
const WORD TEXT_COLOUR = 7 | FOREGROUND_INTENSITY;

// Text of one colour waiting to be written, and the colour the console has now.
struct Painter {
    HANDLE console;
    UINT code_page;
    WORD base;
    WORD shown;
    WORD colour;
    int length;
    wchar_t text[RUN_CHARS];
};

// The display thread's, or the control handler's once the display has stopped.
Painter painter;

void flush_run(Painter& p)
{
    if (p.length == 0)
        return;
    if (p.colour != p.shown) {
        SetConsoleTextAttribute(p.console, p.colour);
        p.shown = p.colour;
    }
    DWORD written = 0;
    WriteConsoleW(p.console, p.text, static_cast<DWORD>(p.length), &written, nullptr);
    p.length = 0;
}

void start_run(Painter& p, WORD colour, int room)
{
    if (!text_colors_enabled)
        colour = p.base;
    if (colour != p.colour || p.length + room > RUN_CHARS) {
        flush_run(p);
        p.colour = colour;
    }
}

void add_wide(Painter& p, WORD colour, const wchar_t* text, int length)
{
    if (length <= 0)
        return;
    start_run(p, colour, length);
    memcpy(p.text + p.length, text, static_cast<size_t>(length) * sizeof(wchar_t));
    p.length += length;
}

// The bytes as the console shows them when they are written as they are: in its output code
// page, and each "\n" as a line end, as the runtime's text mode writes it.
void add_bytes(Painter& p, WORD colour, const char* bytes, int length)
{
    if (length <= 0)
        return;
    static wchar_t wide[RUN_CHARS / 2];
    int count = MultiByteToWideChar(p.code_page, 0, bytes, length, wide, RUN_CHARS / 2);
    start_run(p, colour, count * 2);
    for (int i = 0; i < count; ++i) {
        if (wide[i] == L'\n')
            p.text[p.length++] = L'\r';
        p.text[p.length++] = wide[i];
    }
}

} // namespace

void paint_messages(const ShownMessage* messages, int count)
{
    Painter& p = painter;
    p.console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(p.console, &info);
    p.code_page = GetConsoleOutputCP();
    p.base = p.shown = p.colour = info.wAttributes;
    p.length = 0;
    for (int i = 0; i < count; ++i) {
        const ShownMessage& m = messages[i];
        add_bytes(p, p.base, m.bytes, m.prefix_end);
        add_wide(p, NAME_COLOUR, m.name, m.name_length);
        add_wide(p, NAME_COLOUR, L"::", 2);
        add_bytes(p, ID_COLOUR, m.bytes + m.name_end, m.id_end - m.name_end);
        add_bytes(p, p.base, m.bytes + m.id_end, m.separator_end - m.id_end);
        add_bytes(p, TEXT_COLOUR, m.bytes + m.separator_end, m.length - m.separator_end);
    }
    flush_run(p);
    if (p.shown != p.base)
        SetConsoleTextAttribute(p.console, p.base);
}
