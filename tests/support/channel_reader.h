// A reader of the debugger output channel, as a monitor takes it, for checking what the
// programs send. One per test process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ChannelMessage {
    DWORD pid;
    std::string text;
};

// Takes the channel; false when another reader holds it.
bool channel_open();

// Releases the channel and forgets what was received.
void channel_close();

// Waits until at least count messages have arrived or timeout_ms has passed; returns all.
std::vector<ChannelMessage> channel_wait(size_t count, DWORD timeout_ms);

// All messages received so far, without waiting.
std::vector<ChannelMessage> channel_messages();

// Waits quietly for timeout_ms, then returns all messages: for checking that nothing more came.
std::vector<ChannelMessage> channel_settle(DWORD timeout_ms);
