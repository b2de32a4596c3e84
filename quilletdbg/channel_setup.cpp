#include "channel_setup.h"

#include "monitor_output.h"

MonitorChannel channel = {};

namespace {

void close_if_open(HANDLE& handle)
{
    if (handle != nullptr)
        CloseHandle(handle);
    handle = nullptr;
}

// The section exists: another reader holds the channel. The failure's code must not read as
// success, whatever the successful open left in the last-error value.
[[noreturn]] void fail_channel_taken()
{
    DWORD code = GetLastError();
    fail_initialization(code != 0 ? code : ERROR_ALREADY_EXISTS, L"OpenFileMapping::DBWIN_BUFFER");
}

} // namespace

void setup_channel()
{
    channel.buffer_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    if (channel.buffer_ready == nullptr)
        fail_initialization(GetLastError(), L"CreateEvent::DBWIN_BUFFER_READY");
    channel.data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    if (channel.data_ready == nullptr)
        fail_initialization(GetLastError(), L"CreateEvent::DBWIN_DATA_READY");

    channel.opened_section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER");
    if (channel.opened_section != nullptr)
        fail_channel_taken();

    channel.created_section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, CHANNEL_BUFFER_BYTES, L"DBWIN_BUFFER");
    if (channel.created_section == nullptr)
        fail_initialization(GetLastError(), L"CreateFileMapping::DBWIN_BUFFER::ZEDIVE_BUFFER");
    channel.view = static_cast<const char*>(MapViewOfFile(channel.created_section, FILE_MAP_READ, 0, 0, 0));
    if (channel.view == nullptr)
        fail_initialization(GetLastError(), L"MapViewOfFile::SECTION_MAP_READ");
}

void release_channel()
{
    if (channel.view != nullptr)
        UnmapViewOfFile(channel.view);
    channel.view = nullptr;
    close_if_open(channel.buffer_ready);
    close_if_open(channel.data_ready);
    close_if_open(channel.created_section);
    close_if_open(channel.opened_section);
}
