// The debugger output channel's objects, taken on the reader's side.
#pragma once

#include <windows.h>

// The section's size: the sender's process ID and up to 8184 bytes of text.
const DWORD CHANNEL_BUFFER_BYTES = 8188;
const DWORD CHANNEL_TEXT_OFFSET = 4;
const DWORD CHANNEL_TEXT_BYTES = CHANNEL_BUFFER_BYTES - CHANNEL_TEXT_OFFSET;

struct MonitorChannel {
    HANDLE buffer_ready;
    HANDLE data_ready;
    HANDLE opened_section;
    HANDLE created_section;
    const char* view;
};

extern MonitorChannel channel;

// Creates the events and the section and maps it, or ends the start-up through
// fail_initialization when another reader holds the channel or a step fails.
void setup_channel();

// Unmaps the view and closes the handles that exist.
void release_channel();
