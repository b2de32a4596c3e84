// Where a shown message goes beside the console and the log: the JSON file ("-json") and the
// syslog collectors ("-syslog").
#pragma once

#include <windows.h>

// Whether the last message shown left its line open (the next one continues it); the lines
// of the forwarders start a line of their own then. Under the output lock.
extern bool output_line_open;

// Whether a message is wanted beyond the console and the log, so that its arrival time counts.
bool message_sinks_on();

// After the filter words: for a value that is missing or wrong (bad_word), the banner and one
// red line, 87; for a collector whose name does not resolve, the banner, one red line and the
// system's code. 0 when the monitor may go on.
int check_forward_words(const wchar_t* bad_word);

// Beside the log: opens the JSON file, and says when "-logsize" has nothing to work on.
void open_message_sinks();

// Once the channel is the monitor's: starts the forwarders.
void start_message_sinks();

// One shown message as the capture read it: its text as it came, length bytes.
struct SinkMessage {
    const SYSTEMTIME& arrival; // local time
    int utc_offset;            // minutes local time was ahead of UTC then
    DWORD process_id;
    const wchar_t* name;
    const char* text;
    int length;
    UINT code_page;
};

// A line in the JSON file, queued for every collector. On the capture side, under the output
// lock.
void pass_to_sinks(const SinkMessage& shown);

// For the control handler, before the termination line, until the tick count deadline: lets
// the forwarders finish, then prints what the collectors and the JSON file did not get.
void finish_message_sinks(DWORD deadline);
