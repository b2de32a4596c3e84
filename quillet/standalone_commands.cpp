#include "standalone_commands.h"

#include <shellapi.h>

#include <stdlib.h>
#include <string.h>
#include <string>

#include "error_detail.h"
#include "failure_notice.h"
#include "report_frame.h"
#include "report_output.h"
#include "text_color.h"
#include "text_helpers.h"
#include "usage_text.h"

namespace {

// What starting a program left; the handles stay open until the tool ends.
struct StartResult {
    DWORD error_code;
    HANDLE process;
    HANDLE thread;
    DWORD process_id;
    DWORD thread_id;
};

StartResult start_result = {};

const int ERROR_CODE_DIGITS = 19;
const int ABOUT_TEXT_CHARS = 300;
const int PROGRAM_ICON = 101;

const wchar_t ABOUT_APPLICATION[] = L"quillet - Show Image Version Resource Information...#quillet.exe";
const wchar_t ABOUT_TEXT[] = L"quillet.exe - Shows compiled Version Information.\nUsage: quillet.exe "
                             L"<full_path_to_file> [-MD5|-SHA1]\n";

const wchar_t* word_two()
{
    return stored_word_count > 2 ? stored_words[2] : nullptr;
}

// Leading blanks and one sign, then digits up to the first other character; a negative number
// stands for the code with the same 32 bits, so both forms of a high-bit code work.
DWORD read_error_code(const wchar_t* word)
{
    char digits[ERROR_CODE_DIGITS + 1] = {};
    for (int index = 0; index < ERROR_CODE_DIGITS && word[index] != L'\0'; ++index)
        digits[index] = word[index] < 128 ? static_cast<char>(word[index]) : '?';
    return static_cast<DWORD>(strtoll(digits, nullptr, 10));
}

void start_program(const wchar_t* command_line)
{
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring line = command_line;
    SECURITY_ATTRIBUTES process_security = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES thread_security = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    start_result = StartResult();
    if (CreateProcessW(nullptr, &line[0], &process_security, &thread_security, FALSE, 0, nullptr, nullptr, &startup,
                       &started)) {
        start_result.process = started.hProcess;
        start_result.thread = started.hThread;
        start_result.process_id = started.dwProcessId;
        start_result.thread_id = started.dwThreadId;
    } else {
        start_result.error_code = GetLastError();
    }
}

} // namespace

DWORD command_user_context()
{
    print_banner();
    ql_wprintf(L"\n");
    print_failure(0, L"USER_INFO_REQUEST");
    return GetLastError();
}

DWORD command_error_text()
{
    print_banner();
    const wchar_t* word = word_two();
    if (word == nullptr) {
        ql_wprintf(L"\nCould not translate Error Code. Reason: ");
        print_error_detail(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    ql_wprintf(L"\nTranslating Error Code: ");
    set_text_color(4);
    ql_wprintf(L"%ls\n", word);
    restore_text_color();
    ql_wprintf(L"Error Code Translation: ");
    print_error_detail(read_error_code(word));
    restore_text_color();
    return 0;
}

DWORD command_run()
{
    print_banner();
    const wchar_t* word = word_two();
    if (word == nullptr) {
        ql_wprintf(L"\nPath to Executable File missing!");
        ql_wprintf(L"\nCould not Execute file. Reason: ");
        print_error_detail(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    ql_wprintf(L"\nExecuting: ");
    set_text_color(7);
    ql_wprintf(L"%ls\n", word);
    restore_text_color();

    start_program(word);
    if (start_result.error_code == 0) {
        ql_wprintf(L"\nExecution was successfully! Process ID: ");
        set_text_color(2);
        ql_wprintf(L"%d\n\n", static_cast<int>(start_result.process_id));
        restore_text_color();
        return start_result.process_id;
    }
    ql_wprintf(L"\nExecution failed! Return Code: ");
    set_text_color(4);
    ql_wprintf(L"%d\n\n", static_cast<int>(start_result.error_code));
    restore_text_color();
    ql_wprintf(L"Detail: ");
    print_error_detail(start_result.error_code);
    restore_text_color();
    return start_result.error_code;
}

DWORD command_about()
{
    print_usage();
    wchar_t text[ABOUT_TEXT_CHARS];
    memset(text, 0, sizeof(text));
    copy_text(text, ABOUT_TEXT_CHARS, ABOUT_TEXT);
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(PROGRAM_ICON));
    ShellAboutW(nullptr, ABOUT_APPLICATION, text, icon);
    DestroyIcon(icon);
    return GetLastError();
}
