// Which messages the monitor shows: "-include", "-exclude" and "-pid".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The filter's texts are upper-cased with the system's case mapping, so that matching ignores
// case; an empty list asks for nothing.
struct MessageFilter {
    std::vector<std::wstring> includes;
    std::vector<std::wstring> excludes;
    std::vector<DWORD> process_ids;
};

extern MessageFilter message_filter;

// Verdicts of filter_verdict.
const int MESSAGE_DROPPED = 0;
const int MESSAGE_SHOWN = 1;
const int MESSAGE_NEEDS_NAME = -1;

// Takes "-include" ("-in"), "-exclude" ("-ex") and "-pid" out of words (word 0 is the
// program), each with the word after it as its value, whatever that word looks like; every
// other word goes to others. Returns the word whose value is missing (or, for "-pid", no
// decimal number), or null.
const wchar_t* read_filter_words(int count, wchar_t** words, MessageFilter& filter, std::vector<wchar_t*>& others);

// Whether word is one of the filter words, whose next word is their value.
bool takes_filter_value(const wchar_t* word);

// Whether the filter matches texts, so that the message text is needed upper-cased.
bool filter_has_texts(const MessageFilter& filter);

// Upper-cases length characters of text in place with the system's case mapping.
void upper_case(wchar_t* text, size_t length);

// The message text (8-bit, in code_page) as wide text, upper-cased, into out (length + 1
// characters at least).
void upper_case_message(const char* text, int length, UINT code_page, wchar_t* out);

// Shown when its sender is one of the IDs (if any are given), its name or text contains an
// include text (if any are given), and neither contains an exclude text. text and name are
// upper-cased; name is null while the sender has not been looked up, and the verdict is
// MESSAGE_NEEDS_NAME when it depends on the name.
int filter_verdict(const MessageFilter& filter, DWORD process_id, const wchar_t* text, const wchar_t* name);
