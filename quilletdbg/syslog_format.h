// One shown message as the collectors and the JSON file receive it: RFC 5424 and its pieces.
#pragma once

#include <windows.h>

#include <string>

// A shown message, copied off the channel's buffer so that it outlives it.
struct ForwardMessage {
    SYSTEMTIME arrival; // local time
    int utc_offset;     // minutes local time was ahead of UTC at arrival
    DWORD process_id;
    std::wstring name; // as the monitor shows it, "N/A" for a sender that has ended
    std::string text;  // 8-bit, as it came
    UINT code_page;    // the text's: CP_UTF8 or CP_ACP
};

// Room for "2026-12-07T18:00:00.123+01:00" and its terminator.
const int RFC3339_BYTES = 32;

// local as RFC 3339 local time with milliseconds and its offset from UTC. Returns its length.
int format_rfc3339(const SYSTEMTIME& local, int utc_offset, char* out);

// The computer's (DNS) host name, looked up once.
const std::wstring& computer_host_name();

// text decoded from its code page, as the filters decode it, in UTF-8 and without its
// trailing line end ("\n" or "\r\n").
std::string message_text_utf8(const std::string& text, UINT code_page);

// A wide text in UTF-8.
std::string utf8_of(const std::wstring& text);

// value as an RFC 5424 header field: printable US-ASCII only (every other character becomes
// "_"), at most max_chars characters, "-" when empty.
std::string syslog_header_field(const std::wstring& value, size_t max_chars);

// The RFC 5424 message without framing: "<15>1 TIME HOST APP PROCID - - " and the text in
// UTF-8 after its byte-order mark.
std::string format_syslog_message(const ForwardMessage& message);

// The longest prefix of bytes, at most max_bytes, that does not end inside a UTF-8 sequence.
size_t utf8_cut(const std::string& bytes, size_t max_bytes);
