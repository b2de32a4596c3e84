#include "channel_reader.h"

namespace {

const DWORD BUFFER_BYTES = 8188;

struct Channel {
    HANDLE buffer_ready;
    HANDLE data_ready;
    HANDLE section;
    const char* view;
    HANDLE thread;
    volatile LONG stop;
    CRITICAL_SECTION lock;
    std::vector<ChannelMessage>* messages;
};

Channel channel = {};

// The buffer is offered once, and again only after its message was read: offering it again
// while a sender is still writing would let the next message overwrite that one unread. The
// wait is short only so that channel_close is answered soon.
DWORD WINAPI read_channel(void*)
{
    SetEvent(channel.buffer_ready);
    while (!channel.stop) {
        if (WaitForSingleObject(channel.data_ready, 100) != WAIT_OBJECT_0)
            continue;
        ChannelMessage message;
        message.pid = *reinterpret_cast<const DWORD*>(channel.view);
        const char* text = channel.view + 4;
        size_t length = 0;
        while (length < BUFFER_BYTES - 4 && text[length] != '\0')
            ++length;
        message.text.assign(text, length);
        EnterCriticalSection(&channel.lock);
        channel.messages->push_back(message);
        LeaveCriticalSection(&channel.lock);
        SetEvent(channel.buffer_ready);
    }
    return 0;
}

void release_handles()
{
    if (channel.view != nullptr)
        UnmapViewOfFile(channel.view);
    for (HANDLE handle : {channel.section, channel.data_ready, channel.buffer_ready}) {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    channel.view = nullptr;
    channel.section = channel.data_ready = channel.buffer_ready = nullptr;
}

} // namespace

bool channel_open()
{
    if (channel.messages == nullptr) {
        InitializeCriticalSection(&channel.lock);
        channel.messages = new std::vector<ChannelMessage>();
    }
    HANDLE existing = OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER");
    if (existing != nullptr) {
        CloseHandle(existing);
        return false;
    }
    channel.buffer_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    channel.data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    channel.section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BUFFER_BYTES, L"DBWIN_BUFFER");
    if (channel.section != nullptr)
        channel.view = static_cast<const char*>(MapViewOfFile(channel.section, FILE_MAP_READ, 0, 0, 0));
    if (channel.buffer_ready == nullptr || channel.data_ready == nullptr || channel.view == nullptr) {
        release_handles();
        return false;
    }
    channel.stop = 0;
    channel.thread = CreateThread(nullptr, 0, read_channel, nullptr, 0, nullptr);
    return true;
}

void channel_close()
{
    if (channel.thread != nullptr) {
        channel.stop = 1;
        WaitForSingleObject(channel.thread, INFINITE);
        CloseHandle(channel.thread);
        channel.thread = nullptr;
    }
    release_handles();
    if (channel.messages != nullptr)
        channel.messages->clear();
}

std::vector<ChannelMessage> channel_messages()
{
    EnterCriticalSection(&channel.lock);
    std::vector<ChannelMessage> copy = *channel.messages;
    LeaveCriticalSection(&channel.lock);
    return copy;
}

std::vector<ChannelMessage> channel_wait(size_t count, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<ChannelMessage> messages = channel_messages();
        if (messages.size() >= count || GetTickCount() - start >= timeout_ms)
            return messages;
        Sleep(10);
    }
}

std::vector<ChannelMessage> channel_settle(DWORD timeout_ms)
{
    Sleep(timeout_ms);
    return channel_messages();
}
