#include "monitor_banner.h"

#include "monitor_log.h"
#include "monitor_output.h"
#include "text_color.h"
#include "text_helpers.h"

const wchar_t MONITOR_TITLE[] = L"quilletdbg - quillet Debugger Console (c) 2026 The quillet developers";
const wchar_t MONITOR_TOPMOST_TITLE[] =
    L"quilletdbg - quillet Debugger Console (c) 2026 The quillet developers [TOPMOST]";

namespace {

// The character set the program is built for.
const wchar_t BUILD_TEXT[] = L"UNICODE";

void print_log_notice()
{
    qldbg_wprintf(L"\n");
    set_text_color(2);
    qldbg_wprintf(L"A Logfile will be created in \"%ls\".", monitor_log_path);
    restore_text_color();
    qldbg_wprintf(L"\n");
}

} // namespace

void print_monitor_banner(int usage_mode)
{
    wchar_t version[TEXT_CHARS];
    clear_text_buffer(version);
    get_own_version_string(L"ProductVersion", version);

    set_text_color(7);
    qldbg_wprintf(L"quilletdbg - The \"quillet.exe\" Debug Output Monitor\n");
    qldbg_wprintf(L"Version: %ls | Build: (%ls)\n", version, BUILD_TEXT);
    qldbg_wprintf(L"Copyright (c) 2026 The quillet developers. Free to use and to pass on.\n");
    qldbg_wprintf(L"Contact: quillet@example.org | https://quillet.example.org\n");
    restore_text_color();
    if (usage_mode == 1)
        return;

    if (find_option(L"-usr") != -1 || find_option(L"-u") != -1)
        print_user_context();
    if (monitor_log != nullptr)
        print_log_notice();
    set_text_color(4);
    qldbg_wprintf(L"\nWaiting for Systemwide Debugging Events...\n\n");
    restore_text_color();
}

namespace {

// The options that came after the usage text above, which stays as it always was: one line
// each, the option with its alias and value, then what it does.
struct AddedOption {
    const wchar_t* words;
    const wchar_t* effect;
};

const AddedOption ADDED_OPTIONS[] = {
    {L"-time|-ts", L"Start each message line with its arrival time."},
    {L"-include|-in TEXT", L"Show only messages whose program name or text holds TEXT."},
    {L"-exclude|-ex TEXT", L"Drop messages whose program name or text holds TEXT."},
    {L"-pid ID", L"Show only messages of the process with this ID."},
    {L"-queue|-q", L"Senders run at full speed; the screen is painted from a queue."},
    {L"-syslog DEST", L"Send every shown message to a syslog collector."},
    {L"-json FILE", L"Append one JSON object per shown message to FILE."},
    {L"-logsize MB", L"Start a new log or JSON file before one grows past MB mebibytes."},
    {L"-logkeep N", L"Old files kept with -logsize (default 5)."},
    {L"-ansi", L"Read every message in the ANSI code page, never as UTF-8."},
};

void print_added_options()
{
    qldbg_wprintf(L"More Options:\n");
    for (const AddedOption& option : ADDED_OPTIONS)
        qldbg_wprintf(L"\n\t %ls - %ls", option.words, option.effect);
    qldbg_wprintf(L"\n\n");
}

} // namespace

void print_usage_text()
{
    qldbg_wprintf(L"\nUsage:\n");
    qldbg_wprintf(L"\n\t -help|/? - Prints this Information.");
    qldbg_wprintf(L"\n\t -top|-t - Start Console as Topmost Window.");
    qldbg_wprintf(L"\n\t -cls|-c - Clean Console Screen Buffer.");
    qldbg_wprintf(L"\n\t -log|-l - Output Information to \"quilletdbg.log\".");
    qldbg_wprintf(L"\n\t -usr|-u - Print User Context Information.\n");
    qldbg_wprintf(L"\n");
    print_added_options();
}
