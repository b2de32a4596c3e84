// Test helper: traffic for the debugger output channel, sent the way real programs send it
// or, for the cases no well-behaved program produces, written into the channel by hand.
//
//   send WORD...            one message per word, exactly the word (no line end added)
//   hold WORD...            sends each word, sets the sent event, then stays alive until the
//                           release event is set
//   bytes HEX...            one message per word, the bytes it spells in hexadecimal, sent with
//                           OutputDebugStringA as they are
//   many COUNT TAG          COUNT messages "TAG:i\n", i from 0
//   long BYTES              one message of BYTES letters and a line end
//   bulk COUNT BYTES        COUNT messages "i:" and BYTES letters and a line end, i from 0
//   empties COUNT           COUNT empty messages, then "empties done\n"
//   raw-longest             writes the longest whole message: the text area less its zero byte
//   raw-full                writes a message that fills the whole text area, no zero byte
//   raw-dead                takes the buffer and ends without signalling data-ready
//   flood SENDERS COUNT     SENDERS threads send COUNT messages each; prints the rate
//   bare-read TOTAL         a reader that only answers the events, until TOTAL messages came
//   snapshot-read TOTAL     the same, with the monitor's process lookup (one snapshot) each
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "process_name.h"
#include "text_helpers.h"
#include "traffic_names.h"

namespace {

const DWORD BUFFER_BYTES = 8188;
const DWORD WAIT_MS = 10000;

int send_words(int count, wchar_t** words)
{
    for (int i = 0; i < count; ++i)
        OutputDebugStringW(words[i]);
    return 0;
}

int send_bytes(int count, wchar_t** words)
{
    for (int i = 0; i < count; ++i) {
        std::string bytes;
        for (const wchar_t* digit = words[i]; digit[0] != L'\0' && digit[1] != L'\0'; digit += 2) {
            wchar_t pair[3] = {digit[0], digit[1], L'\0'};
            bytes += static_cast<char>(wcstoul(pair, nullptr, 16));
        }
        OutputDebugStringA(bytes.c_str());
    }
    return 0;
}

int hold(int count, wchar_t** words)
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, TRAFFIC_RELEASE_EVENT);
    send_words(count, words);
    SetEvent(CreateEventW(nullptr, FALSE, FALSE, TRAFFIC_SENT_EVENT));
    WaitForSingleObject(release, 60000);
    return 0;
}

int many(int count, const wchar_t* tag)
{
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        _snwprintf(text, 127, L"%ls:%d\n", tag, i);
        OutputDebugStringW(text);
    }
    return 0;
}

int bulk(int count, int bytes)
{
    std::wstring letters(static_cast<size_t>(bytes), L'L');
    for (int i = 0; i < count; ++i)
        OutputDebugStringW((std::to_wstring(i) + L":" + letters + L"\n").c_str());
    return 0;
}

int empties(int count)
{
    for (int i = 0; i < count; ++i)
        OutputDebugStringW(L"");
    OutputDebugStringW(L"empties done\n");
    return 0;
}

int long_message(int bytes)
{
    std::wstring text(static_cast<size_t>(bytes), L'L');
    text += L"\n";
    OutputDebugStringW(text.c_str());
    return 0;
}

// The sender's side of the hand-over, done by hand.
struct RawChannel {
    HANDLE mutex;
    HANDLE section;
    char* view;
    HANDLE buffer_ready;
    HANDLE data_ready;
};

bool open_raw(RawChannel& raw)
{
    raw.mutex = CreateMutexW(nullptr, FALSE, L"DBWinMutex");
    raw.section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"DBWIN_BUFFER");
    raw.buffer_ready = OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY");
    raw.data_ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"DBWIN_DATA_READY");
    raw.view = raw.section ? static_cast<char*>(MapViewOfFile(raw.section, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    return raw.mutex && raw.view && raw.buffer_ready && raw.data_ready;
}

// Takes the buffer as a sender does: first the senders' mutex, then buffer-ready.
bool take_buffer(RawChannel& raw)
{
    WaitForSingleObject(raw.mutex, WAIT_MS);
    return WaitForSingleObject(raw.buffer_ready, WAIT_MS) == WAIT_OBJECT_0;
}

// Fills the text area with letters up to end, then a zero byte when end is inside it.
int raw_letters(DWORD end)
{
    RawChannel raw = {};
    if (!open_raw(raw) || !take_buffer(raw))
        return 2;
    DWORD pid = GetCurrentProcessId();
    memcpy(raw.view, &pid, sizeof(pid));
    for (DWORD i = 4; i < end; ++i)
        raw.view[i] = static_cast<char>('a' + (i - 4) % 26);
    if (end < BUFFER_BYTES)
        raw.view[end] = '\0';
    SetEvent(raw.data_ready);
    ReleaseMutex(raw.mutex);
    return 0;
}

// Dies between the two signals, as a sender killed in mid-send does: the buffer-ready signal
// and the senders' mutex go with it.
int raw_dead()
{
    RawChannel raw = {};
    if (!open_raw(raw) || !take_buffer(raw))
        return 2;
    DWORD pid = GetCurrentProcessId();
    memcpy(raw.view, &pid, sizeof(pid));
    strcpy(raw.view + 4, "never signalled\n");
    ExitProcess(0);
}

struct FloodJob {
    int sender;
    int count;
};

DWORD WINAPI flood_sender(void* context)
{
    FloodJob* job = static_cast<FloodJob*>(context);
    for (int i = 0; i < job->count; ++i) {
        wchar_t text[64] = {};
        _snwprintf(text, 63, L"flood %d:%d\n", job->sender, i);
        OutputDebugStringW(text);
    }
    return 0;
}

void wait_for_reader()
{
    for (;;) {
        HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER");
        if (section != nullptr) {
            CloseHandle(section);
            return;
        }
        Sleep(50);
    }
}

int flood(int senders, int count)
{
    wait_for_reader();
    std::vector<FloodJob> jobs(senders);
    std::vector<HANDLE> threads(senders);
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < senders; ++i) {
        jobs[i] = FloodJob{i, count};
        threads[i] = CreateThread(nullptr, 0, flood_sender, &jobs[i], 0, nullptr);
    }
    WaitForMultipleObjects(senders, threads.data(), TRUE, INFINITE);
    QueryPerformanceCounter(&end);
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    int total = senders * count;
    printf("senders=%d messages=%d seconds=%.3f rate=%.0f\n", senders, total, seconds, total / seconds);
    return 0;
}

// with_lookup: the least a monitor must do per message, the sender's name looked up as the
// monitor looks it up.
int bare_read(int total, bool with_lookup)
{
    HANDLE buffer_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    HANDLE data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BUFFER_BYTES, L"DBWIN_BUFFER");
    const char* view = section ? static_cast<const char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    if (!buffer_ready || !data_ready || !view)
        return 2;
    int received = 0;
    wchar_t name[TEXT_CHARS] = {};
    while (received < total) {
        SetEvent(buffer_ready);
        if (WaitForSingleObject(data_ready, 30000) != WAIT_OBJECT_0)
            break;
        if (with_lookup)
            lookup_process_name(*reinterpret_cast<const DWORD*>(view), name);
        ++received;
    }
    printf("received=%d\n", received);
    return received == total ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::wstring mode = argv[1];
    if (mode == L"send")
        return send_words(argc - 2, argv + 2);
    if (mode == L"bytes")
        return send_bytes(argc - 2, argv + 2);
    if (mode == L"hold")
        return hold(argc - 2, argv + 2);
    if (mode == L"many" && argc > 3)
        return many(_wtoi(argv[2]), argv[3]);
    if (mode == L"long" && argc > 2)
        return long_message(_wtoi(argv[2]));
    if (mode == L"bulk" && argc > 3)
        return bulk(_wtoi(argv[2]), _wtoi(argv[3]));
    if (mode == L"empties" && argc > 2)
        return empties(_wtoi(argv[2]));
    if (mode == L"raw-full")
        return raw_letters(BUFFER_BYTES);
    if (mode == L"raw-longest")
        return raw_letters(BUFFER_BYTES - 1);
    if (mode == L"raw-dead")
        return raw_dead();
    if (mode == L"flood" && argc > 3)
        return flood(_wtoi(argv[2]), _wtoi(argv[3]));
    if (mode == L"bare-read" && argc > 2)
        return bare_read(_wtoi(argv[2]), false);
    if (mode == L"snapshot-read" && argc > 2)
        return bare_read(_wtoi(argv[2]), true);
    return 2;
}
