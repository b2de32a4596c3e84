#include "console_batch.h"

#include "text_color.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// Text gathered before it is painted: any message fits with its line ends doubled.
const int CHUNK_CHARS = 65536;
const int MESSAGE_CHARS_MAX = 20000;
// Cells one chunk may cover (rows times the buffer's width, counted from the cursor).
const int CHUNK_CELLS = 262144;
// Pieces of one console call.
const int CALL_CHARS = 16384;

const WORD NAME_COLOUR = 1 | FOREGROUND_INTENSITY;
const WORD ID_COLOUR = 2 | FOREGROUND_INTENSITY;
const WORD TEXT_COLOUR = 7 | FOREGROUND_INTENSITY;

// The text to paint with the colour of each character, and the colour of each cell it covers.
struct Painter {
    HANDLE console;
    UINT code_page;
    WORD base;
    // The console lays the text out as the cells are counted: line ends, wrapping at the
    // right edge, one cell per character.
    bool cells_known;
    int length;
    wchar_t text[CHUNK_CHARS];
    WORD colour[CHUNK_CHARS];
    WORD cells[CHUNK_CELLS];
};

// The display thread's, or the control handler's once the display has stopped.
Painter painter;

void add_wide(Painter& p, WORD colour, const wchar_t* text, int length)
{
    if (!text_colors_enabled)
        colour = p.base;
    for (int i = 0; i < length; ++i) {
        p.text[p.length] = text[i];
        p.colour[p.length++] = colour;
    }
}

// The bytes as the console shows them when they are written as they are: in its output code
// page, and each "\n" as a line end, as the runtime's text mode writes it.
void add_bytes(Painter& p, WORD colour, const char* bytes, int length, UINT code_page)
{
    if (length <= 0)
        return;
    static wchar_t wide[CHUNK_CHARS / 2];
    int count = MultiByteToWideChar(code_page, 0, bytes, length, wide, CHUNK_CHARS / 2);
    for (int i = 0; i < count; ++i) {
        if (wide[i] == L'\n')
            add_wide(p, colour, L"\r", 1);
        add_wide(p, colour, wide + i, 1);
    }
}

// One write and one attribute set per colour change.
void paint_as_runs(Painter& p)
{
    WORD shown = p.base;
    for (int start = 0, end = 0; start < p.length; start = end) {
        while (end < p.length && p.colour[end] == p.colour[start] && end - start < CALL_CHARS)
            ++end;
        if (p.colour[start] != shown) {
            shown = p.colour[start];
            SetConsoleTextAttribute(p.console, shown);
        }
        DWORD written = 0;
        WriteConsoleW(p.console, p.text + start, static_cast<DWORD>(end - start), &written, nullptr);
    }
    if (shown != p.base)
        SetConsoleTextAttribute(p.console, p.base);
}

// Counts the cells the text covers from the cursor, each with its colour; false when the text
// holds what the console may lay out otherwise (control characters, surrogates).
bool count_cells(Painter& p, int width, int column, int& used, int& end_column, int& rows)
{
    int x = column, y = 0;
    used = 0;
    for (int i = 0; i < p.length; ++i) {
        wchar_t c = p.text[i];
        if (c == L'\r' || c == L'\n') {
            x = 0;
            y += c == L'\n';
            continue;
        }
        // Characters from the wide East Asian ones on may take two cells.
        if (c < 0x20 || c == 0x7F || c >= 0x1100)
            return false;
        int cell = y * width + x - column;
        if (cell >= CHUNK_CELLS)
            return false;
        while (used <= cell)
            p.cells[used++] = p.base;
        p.cells[cell] = p.colour[i];
        if (++x == width) {
            x = 0;
            ++y;
        }
    }
    end_column = x;
    rows = y;
    return true;
}

void write_text(Painter& p)
{
    for (int start = 0; start < p.length; start += CALL_CHARS) {
        int count = p.length - start < CALL_CHARS ? p.length - start : CALL_CHARS;
        DWORD written = 0;
        WriteConsoleW(p.console, p.text + start, static_cast<DWORD>(count), &written, nullptr);
    }
}

// Cells from the linear position first (row times width plus column) on, in pieces.
void write_cells(Painter& p, const WORD* cells, int count, long first, int width)
{
    for (int start = 0; start < count; start += CALL_CHARS) {
        long at = first + start;
        COORD where = {static_cast<SHORT>(at % width), static_cast<SHORT>(at / width)};
        DWORD written = 0;
        DWORD part = static_cast<DWORD>(count - start < CALL_CHARS ? count - start : CALL_CHARS);
        WriteConsoleOutputAttribute(p.console, cells + start, part, where, &written);
    }
}

// The text in one go in the current colour, then the colours of all its cells at once: the
// console wraps and scrolls as it always does, and the cells counted beforehand say where each
// character went. False when the text cannot be counted (nothing is painted then).
bool paint_as_cells(Painter& p)
{
    CONSOLE_SCREEN_BUFFER_INFO before = {}, after = {};
    if (!GetConsoleScreenBufferInfo(p.console, &before))
        return false;
    int width = before.dwSize.X, used = 0, end_column = 0, rows = 0;
    if (width <= 0 || !count_cells(p, width, before.dwCursorPosition.X, used, end_column, rows))
        return false;
    write_text(p);
    if (!GetConsoleScreenBufferInfo(p.console, &after))
        return true;
    // The rows the console scrolled away meanwhile.
    long scrolled = static_cast<long>(before.dwCursorPosition.Y) + rows - after.dwCursorPosition.Y;
    if (after.dwCursorPosition.X != end_column || scrolled < 0)
        return true; // laid out otherwise than counted: the colours would land elsewhere
    long first = (before.dwCursorPosition.Y - scrolled) * width + before.dwCursorPosition.X;
    int skip = first < 0 ? static_cast<int>(-first) : 0;
    if (skip < used)
        write_cells(p, p.cells + skip, used - skip, first + skip, width);
    return true;
}

void paint_chunk(Painter& p)
{
    if (p.length == 0)
        return;
    if (!p.cells_known || !paint_as_cells(p))
        paint_as_runs(p);
    p.length = 0;
}

// Line ends, wrapping and one cell per character, as counted: a console in its usual mode
// with a single-byte code page.
bool cells_countable(Painter& p)
{
    DWORD mode = 0;
    CPINFO code_page = {};
    const DWORD needed = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return GetConsoleMode(p.console, &mode) && (mode & needed) == needed &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 && GetCPInfo(p.code_page, &code_page) &&
           code_page.MaxCharSize == 1;
}

} // namespace

void paint_messages(const ShownMessage* messages, int count)
{
    Painter& p = painter;
    p.console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(p.console, &info);
    p.code_page = GetConsoleOutputCP();
    p.base = info.wAttributes;
    p.cells_known = cells_countable(p);
    p.length = 0;
    for (int i = 0; i < count; ++i) {
        const ShownMessage& m = messages[i];
        if (p.length + MESSAGE_CHARS_MAX > CHUNK_CHARS)
            paint_chunk(p);
        add_bytes(p, p.base, m.bytes, m.prefix_end, p.code_page);
        add_wide(p, NAME_COLOUR, m.name, m.name_length);
        add_wide(p, NAME_COLOUR, L"::", 2);
        add_bytes(p, ID_COLOUR, m.bytes + m.name_end, m.id_end - m.name_end, p.code_page);
        add_bytes(p, p.base, m.bytes + m.id_end, m.separator_end - m.id_end, p.code_page);
        add_bytes(p, TEXT_COLOUR, m.bytes + m.separator_end, m.length - m.separator_end,
                  m.utf8_text ? CP_UTF8 : p.code_page);
    }
    paint_chunk(p);
}
