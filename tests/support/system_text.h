// The system's message texts as the tools print them, for expected outputs.
#pragma once

#include <windows.h>

#include <string>

// What print_error_detail prints for code: the system's own text, or "UNKNOWN_ERROR_CODE\n".
std::wstring system_text_wide(DWORD code);

// The same as it reaches a redirected file: UTF-8, each "\n" written as "\r\n".
std::string system_text(DWORD code);

// The same as the console shows it: a carriage return shows nothing.
std::string system_text_on_console(DWORD code);

// A file time (UTC) as the reports show it: local "dd.mm.yyyy :: hh:mm".
std::string local_time_text(const FILETIME& time);

// text as a text-mode stream writes it: each "\n" as "\r\n".
std::string text_mode(const std::string& text);
