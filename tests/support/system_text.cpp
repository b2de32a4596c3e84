#include "system_text.h"

#include <stdio.h>

#include "test_files.h"

std::wstring system_text_wide(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0x400,
                                 reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = chars > 0 ? std::wstring(text, chars) : L"UNKNOWN_ERROR_CODE\n";
    if (text != nullptr)
        LocalFree(text);
    return message;
}

std::string text_mode(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string system_text(DWORD code)
{
    return text_mode(narrow(system_text_wide(code)));
}

std::string system_text_on_console(DWORD code)
{
    std::string text;
    for (char c : narrow(system_text_wide(code))) {
        if (c != '\r')
            text += c;
    }
    return text;
}

std::string local_time_text(const FILETIME& time)
{
    FILETIME local;
    SYSTEMTIME parts;
    FileTimeToLocalFileTime(&time, &local);
    FileTimeToSystemTime(&local, &parts);
    char text[64];
    snprintf(text, sizeof(text), "%02d.%02d.%d :: %02d:%02d", parts.wDay, parts.wMonth, parts.wYear, parts.wHour,
             parts.wMinute);
    return text;
}
