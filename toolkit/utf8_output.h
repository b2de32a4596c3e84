// Wide text into a byte stream (a redirected standard output, a log file) as UTF-8, so that
// every character arrives, not only those of the narrow code page.
#pragma once

#include <stdio.h>
#include <wchar.h>

#include <string>

// Writes length characters of text to stream as UTF-8. A text-mode stream turns each "\n"
// into a line end, as it does for everything else written to it. False when a write fails.
bool write_utf8(FILE* stream, const wchar_t* text, size_t length);

// Writes the terminated text to stream as UTF-8.
bool write_text_utf8(FILE* stream, const wchar_t* text);

// A wide text in UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8_of(const std::wstring& text);

// UTF-8 as a wide text; a faulty byte becomes U+FFFD.
std::wstring wide_of_utf8(const std::string& text);
