// "-json FILE": one JSON object per shown message, one line each (JSON Lines).
#pragma once

#include <string>

#include "syslog_format.h"

// The object's line, ending in "\n": time, host, pid, process and text, RFC 8259 in UTF-8.
std::string format_json_line(const ForwardMessage& message);

// text as a JSON string's content: quotes, backslashes and every control character escaped.
std::string json_escaped(const std::string& utf8);

// Opens the file (relative to the current folder, created when missing) for appending, or
// prints why it could not be opened; the monitor runs on without it either way.
void open_json_log(const std::wstring& path);

// Whether the JSON file is open.
bool json_log_open();

// Appends the message's line in one write, starting a new file first when "-logsize" says so.
// A write that fails is counted, and the first of a row gets a notice.
void write_json_message(const ForwardMessage& message);

// At the end: "N messages were not written to FILE" when any were not.
void print_json_losses();
