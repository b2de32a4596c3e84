// "-syslog", "-json", "-logsize" and "-logkeep": where the shown messages go beside the console
// and the log, and how large the files may grow.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A collector as "-syslog" names it: HOST, HOST:PORT, udp://HOST[:PORT] or tcp://HOST[:PORT],
// an IPv6 address in brackets.
struct SyslogDestination {
    std::wstring text; // as given, for the messages that name it
    std::wstring host; // without brackets
    std::wstring port; // decimal, 514 unless given
    bool tcp;
};

struct ForwardOptions {
    std::vector<SyslogDestination> destinations;
    std::wstring json_path; // empty: no JSON file
    DWORD log_size_mb;      // 0: the files grow without limit
    DWORD log_keep;         // old files kept beside the current one
    bool log_size_given;
};

extern ForwardOptions forward_options;

const DWORD DEFAULT_LOG_KEEP = 5;
// 1 TiB; beyond it a size is more likely a slip of the finger than a wish.
const DWORD MAX_LOG_SIZE_MB = 1048576;
const DWORD MAX_LOG_KEEP = 999;

// False when text is no destination: an unknown scheme, an empty host, an unclosed bracket, a
// port outside 1 to 65535, or a bare IPv6 address whose port could not be told apart.
bool parse_syslog_destination(const wchar_t* text, SyslogDestination& out);

// A decimal whole number from 1 to max, digits only.
bool parse_positive_number(const wchar_t* text, DWORD max, DWORD& value);

// Takes the four words out of words (word 0 is the program), each with the word after it as
// its value, whatever that word looks like; the filter words go to others with their values
// untouched, so that their value is never taken for one of these words. Returns the first
// word whose value is missing or does not parse, or null.
const wchar_t* read_forward_words(int count, wchar_t** words, ForwardOptions& options, std::vector<wchar_t*>& others);

// The red line for a word whose value is missing or wrong.
void print_bad_forward_value(const wchar_t* word);
