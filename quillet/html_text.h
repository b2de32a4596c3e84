// Values from files and the system as they may stand in quillet's HTML document.
#pragma once

#include <string>

// text with & < > " ' written as character references. A null text reads "(null)", as the
// formatted output shows it.
std::wstring html_escape(const wchar_t* text);

// In HTML mode html_escape(text), otherwise text unchanged: for every value that comes from a
// file or the system (paths, names, version strings, error texts). Settings texts are the
// user's own markup and never go through it.
std::wstring html_value(const wchar_t* text);
