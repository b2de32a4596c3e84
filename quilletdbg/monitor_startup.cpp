#include "monitor_startup.h"

#include <windows.h>

#include <wchar.h>

#include <vector>

#include "capture_loop.h"
#include "channel_setup.h"
#include "console_window.h"
#include "ctrl_handler.h"
#include "display_queue.h"
#include "forward_options.h"
#include "log_rotation.h"
#include "message_filter.h"
#include "message_sinks.h"
#include "monitor_banner.h"
#include "monitor_log.h"
#include "monitor_output.h"
#include "text_color.h"
#include "text_encoding.h"
#include "text_helpers.h"
#include "time_stamp.h"
#include "user_context.h"

namespace {

const wchar_t MUTEX_NAME[] = L"{5C3E8A21-0B6D-4f17-A2C4-7E19D0B3F6A8}";

// Held until the process ends; the system releases it then.
HANDLE single_instance = nullptr;

// The command line without the filter words and their values: the words the options are
// looked for in, so that a value is never taken for an option.
std::vector<wchar_t*> option_words;

bool has_option(const wchar_t* word, const wchar_t* alias)
{
    return find_option(word) != -1 || find_option(alias) != -1;
}

void take_single_instance()
{
    single_instance = CreateMutexW(nullptr, FALSE, MUTEX_NAME);
    if (single_instance == nullptr)
        fail_initialization(GetLastError(), L"CreateMutex::NULL");
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        fail_initialization(170, L"CreateMutex::MUTEX_ALREADY_EXISTS_ON_ANOTHER_INSTANCE");
}

void print_lacking_value(const wchar_t* word)
{
    qldbg_wprintf(L"\n");
    set_text_color(4);
    if (_wcsicmp(word, L"-pid") == 0)
        qldbg_wprintf(L"The option \"%ls\" needs a process ID (a decimal number) after it.", word);
    else
        qldbg_wprintf(L"The option \"%ls\" needs a text after it.", word);
    restore_text_color();
    qldbg_wprintf(L"\n");
}

} // namespace

int run_monitor(int argc, wchar_t** argv)
{
    std::vector<wchar_t*> filter_words;
    const wchar_t* bad_forward_word = read_forward_words(argc, argv, forward_options, filter_words);
    const wchar_t* lacking =
        read_filter_words(static_cast<int>(filter_words.size()), filter_words.data(), message_filter, option_words);
    store_command_line(static_cast<int>(option_words.size()), option_words.data());
    wchar_t stem[TEXT_CHARS];
    get_program_path_stem(stem);
    load_user_context();
    install_ctrl_handler();
    SetConsoleTitleW(MONITOR_TITLE);

    if (has_option(L"-help", L"/?")) {
        print_monitor_banner(1);
        print_usage_text();
        return static_cast<int>(GetLastError());
    }
    if (lacking != nullptr) {
        print_monitor_banner(1);
        print_lacking_value(lacking);
        return ERROR_INVALID_PARAMETER;
    }
    if (int failure = check_forward_words(bad_forward_word))
        return failure;
    time_stamps_on = has_option(L"-time", L"-ts");
    message_queue_on = has_option(L"-queue", L"-q");
    utf8_detection_on = !has_option(L"-ansi", L"-ansi");
    if (has_option(L"-cls", L"-c"))
        clear_console_screen();
    if (has_option(L"-log", L"-l"))
        open_monitor_log();
    install_log_rotation();
    open_message_sinks();
    if (has_option(L"-top", L"-t"))
        make_console_topmost();
    print_monitor_banner(0);
    flush_monitor_output();

    take_single_instance();
    setup_channel();
    start_message_sinks();
    capture_loop();
}
