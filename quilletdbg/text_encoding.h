// Which code page a captured message is read in. Programs send 8-bit text: most in the ANSI
// code page, portable ones often in UTF-8. Text that is valid UTF-8 and holds at least one
// multi-byte character is almost never meant as ANSI text, so it is read as UTF-8; any other
// text in the ANSI code page, as before.
#pragma once

#include <windows.h>

#include <stddef.h>

// On unless "-ansi" turned it off: then every message is read in the ANSI code page.
extern bool utf8_detection_on;

// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF)
// with at least one character of more than one byte.
bool is_utf8_text(const char* bytes, size_t length);

// CP_UTF8 or CP_ACP for a message, as the rule above and "-ansi" say.
UINT message_code_page(const char* bytes, size_t length);
