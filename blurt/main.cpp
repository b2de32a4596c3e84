// blurt: sends its first command-line word, and a line end, to the debugger output channel.
// A program without a window: it prints nothing and always ends with 0.
#include <windows.h>
#include <shellapi.h>

#include <wchar.h>

#include "fault_guard.h"

namespace {

void send_first_word(void*)
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr || count <= 1) {
        OutputDebugStringW(L"BLURT::PARAMETERLESS_INVOKE\n");
        return;
    }
    size_t length = wcslen(words[1]);
    SIZE_T bytes = length * sizeof(wchar_t) + 4;
    wchar_t* message = static_cast<wchar_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
    if (message == nullptr) {
        OutputDebugStringW(L"BLURT::INTERNAL_ERROR\n");
        return;
    }
    wmemcpy(message, words[1], length);
    message[length] = L'\n';
    message[length + 1] = L'\0';
    OutputDebugStringW(message);
    VirtualFree(message, 0, MEM_RELEASE);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (!run_guarded(send_first_word, nullptr))
        OutputDebugStringW(L"BLURT::INTERNAL_ERROR\n");
    return 0;
}
