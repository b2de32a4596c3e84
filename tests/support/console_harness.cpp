#include "console_harness.h"

#include <vector>

namespace {

HANDLE input_handle = nullptr;
HANDLE output_handle = nullptr;
HANDLE saved_stdout = nullptr;

HANDLE open_console(const wchar_t* name)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                       0, nullptr);
}

short screen_width()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(output_handle, &info);
    return info.dwSize.X;
}

} // namespace

bool console_fresh()
{
    FreeConsole();
    if (!AllocConsole())
        return false;
    if (input_handle != nullptr)
        CloseHandle(input_handle);
    if (output_handle != nullptr)
        CloseHandle(output_handle);
    input_handle = open_console(L"CONIN$");
    output_handle = open_console(L"CONOUT$");
    if (input_handle == INVALID_HANDLE_VALUE || output_handle == INVALID_HANDLE_VALUE)
        return false;
    COORD size = {160, 400};
    SetConsoleScreenBufferSize(output_handle, size);
    console_clear();
    return true;
}

void console_clear()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(output_handle, &info);
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * info.dwSize.Y;
    DWORD written = 0;
    COORD home = {0, 0};
    FillConsoleOutputCharacterW(output_handle, L' ', cells, home, &written);
    FillConsoleOutputAttribute(output_handle, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE, cells, home,
                               &written);
    SetConsoleTextAttribute(output_handle, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    SetConsoleCursorPosition(output_handle, home);
    FlushConsoleInputBuffer(input_handle);
}

std::wstring console_row(int row)
{
    short width = screen_width();
    std::vector<wchar_t> cells(width);
    DWORD read = 0;
    COORD at = {0, static_cast<short>(row)};
    ReadConsoleOutputCharacterW(output_handle, cells.data(), width, at, &read);
    std::wstring text(cells.data(), read);
    size_t end = text.find_last_not_of(L' ');
    return end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1);
}

std::wstring console_text()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(output_handle, &info);
    std::wstring text;
    for (int row = 0; row <= info.dwCursorPosition.Y; ++row) {
        if (row > 0)
            text += L"\n";
        text += console_row(row);
    }
    return text;
}

bool console_find(const std::wstring& text, COORD& at)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(output_handle, &info);
    for (int row = 0; row <= info.dwCursorPosition.Y; ++row) {
        size_t column = console_row(row).find(text);
        if (column != std::wstring::npos) {
            at.X = static_cast<short>(column);
            at.Y = static_cast<short>(row);
            return true;
        }
    }
    return false;
}

WORD console_attribute(int row, int column)
{
    WORD attribute = 0;
    DWORD read = 0;
    COORD at = {static_cast<short>(column), static_cast<short>(row)};
    ReadConsoleOutputAttribute(output_handle, &attribute, 1, at, &read);
    return attribute;
}

void console_type(const std::wstring& keys)
{
    for (wchar_t key : keys) {
        INPUT_RECORD records[2] = {};
        for (int i = 0; i < 2; ++i) {
            records[i].EventType = KEY_EVENT;
            records[i].Event.KeyEvent.bKeyDown = i == 0;
            records[i].Event.KeyEvent.wRepeatCount = 1;
            records[i].Event.KeyEvent.uChar.UnicodeChar = key;
            records[i].Event.KeyEvent.wVirtualKeyCode = static_cast<WORD>(VkKeyScanW(key) & 0xFF);
        }
        DWORD written = 0;
        WriteConsoleInputW(input_handle, records, 2, &written);
    }
}

void console_route_stdout(bool to_console)
{
    if (to_console) {
        saved_stdout = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, output_handle);
    } else {
        SetStdHandle(STD_OUTPUT_HANDLE, saved_stdout);
    }
}

HANDLE console_input_handle()
{
    return input_handle;
}

HANDLE console_output_handle()
{
    return output_handle;
}
