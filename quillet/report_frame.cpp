#include "report_frame.h"

#include <windows.h>

#include <string.h>

#include "file_hash.h"
#include "html_text.h"
#include "report_output.h"
#include "settings.h"
#include "text_color.h"
#include "text_helpers.h"
#include "user_context.h"

wchar_t start_time_text[TEXT_CHARS] = {};
wchar_t termination_time_text[TEXT_CHARS] = {};

namespace {

const wchar_t BUILD_LABEL[] = L"UNICODE";

const wchar_t HTML_HEAD[] =
    L"<html>\n\t<head>\n\t\t<title>Revu Zezo Rudurur Ozav %ls (%ls)"
    L" - Copyright (C) 2026 The quillet developers"
    L"</title>\n\t<style type=\"text/css\">\n\t%ls\n\t</style>\n\t<script language=\"javascript\">\n\t%ls\n\n%ls\n\t"
    L"</script>\n\t</head>\n<body %ls  onload=\"build_files_list();\" onchange=\"file_selected(this.value);\">";

const wchar_t BUILT_IN_SCRIPT[] =
    L"function build_files_list(){}function file_selected(filename){try{window.location.href = "
    L"filename;}catch(e){alert(\"Unable to navigate. Reason: \" + e.toString());}}";

void print_html_head(const wchar_t* version)
{
    ql_wprintf(HTML_HEAD, html_value(version).c_str(), BUILD_LABEL, settings.InnerHeadStyleTag, BUILT_IN_SCRIPT,
               settings.InnerHeadScriptTag, settings.InnerBodyTag);
    ql_wprintf(L"\n<p>\n");
}

void print_credits()
{
    if (html_mode) {
        ql_wprintf(L"<br>");
        ql_wprintf(L"Copyright (C) 2026 The quillet developers. All rights reserved.\n<br>");
        ql_wprintf(L"Contact: <a href=\"mailto:quillet@example.org\">quillet@example.org</a>\n<br>");
        ql_wprintf(L"Visit: <a href=\"https://www.example.org/quillet/\" "
                   L"target=\"_blank\">www.example.org/quillet</a>\n<br>");
    } else {
        ql_wprintf(L"Copyright (C) 2026 The quillet developers. All rights reserved.\n");
        ql_wprintf(L"Contact: quillet@example.org\n");
    }
}

void print_self_hashes(const wchar_t* program_path)
{
    ql_wprintf(L"Self MD5: ");
    show_hash_info(CALG_MD5, program_path, 0);
    ql_wprintf(L"\n");
    ql_wprintf(L"Self SHA1: ");
    show_hash_info(CALG_SHA1, program_path, 0);
    ql_wprintf(L"\n");
}

struct MachineFact {
    const wchar_t* label;
    void (*print_value)();
};

void print_machine_facts()
{
    const MachineFact facts[] = {{L"Username: ", print_user_name},
                                 {L"Computername: ", print_computer_name},
                                 {L"System Directory: ", print_system_directory},
                                 {L"Windows Version: ", print_windows_version}};
    ql_wprintf(L"\n");
    for (const MachineFact& fact : facts) {
        if (html_mode) {
            ql_wprintf(L"<br>");
            ql_wprintf(L"%ls", fact.label);
            fact.print_value();
        } else {
            ql_wprintf(L"%ls", fact.label);
            set_text_color(7);
            fact.print_value();
            restore_text_color();
        }
        ql_wprintf(L"\n");
    }
    if (html_mode)
        ql_wprintf(L"<br>");
}

} // namespace

void print_banner()
{
    wchar_t program_path[TEXT_CHARS];
    wchar_t version[TEXT_CHARS];
    clear_text_buffer(program_path);
    clear_text_buffer(version);
    GetModuleFileNameW(nullptr, program_path, TEXT_CHARS);
    program_path[TEXT_CHARS - 1] = L'\0';
    get_own_version_string(L"ProductVersion", version);

    if (html_mode)
        print_html_head(version);
    set_text_color(7);
    ql_wprintf(L"\nRevu Zezo Rudurur Ozav %ls (%ls)\n", html_value(version).c_str(), BUILD_LABEL);
    print_credits();
    restore_text_color();

    if (settings.PrintSelfHashSignatures == 1)
        print_self_hashes(program_path);
    if (settings.PrintExtraSystemInformation == 1)
        print_machine_facts();
    if (html_mode)
        ql_wprintf(L"\n</p>");
}

void print_exit_times()
{
    if (settings.PrintProcessingTimeInformation != 1)
        return;
    format_current_time(termination_time_text);
    print_html_break();
    ql_wprintf(L"\nStartup Time: %ls\n", start_time_text);
    print_html_break();
    ql_wprintf(L"\nTermination Time: %ls\n", termination_time_text);
    print_html_break();
}

void format_current_time(wchar_t* text)
{
    clear_text_buffer(text);
    SYSTEMTIME now;
    GetSystemTime(&now);
    wsprintfW(text, L"%d:%d:%d:%d", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
}

void print_user_name()
{
    ql_wprintf(L"%ls", html_value(user_context.user_name).c_str());
}

void print_computer_name()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    memset(name, 0, sizeof(name));
    DWORD capacity = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &capacity);
    name[MAX_COMPUTERNAME_LENGTH] = L'\0';
    ql_wprintf(L"%ls", html_value(name).c_str());
}

void print_system_directory()
{
    wchar_t directory[TEXT_CHARS];
    clear_text_buffer(directory);
    // A directory longer than the text leaves it empty rather than cut.
    if (GetSystemDirectoryW(directory, TEXT_CHARS) >= TEXT_CHARS)
        clear_text_buffer(directory);
    ql_wprintf(L"%ls", html_value(directory).c_str());
}

void print_windows_version()
{
    OSVERSIONINFOW info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExW(&info);
    wchar_t text[TEXT_CHARS];
    clear_text_buffer(text);
    info.szCSDVersion[sizeof(info.szCSDVersion) / sizeof(info.szCSDVersion[0]) - 1] = L'\0';
    wsprintfW(text, L"%d.%d.%d.%d %ls", static_cast<int>(info.dwMajorVersion), static_cast<int>(info.dwMinorVersion),
              static_cast<int>(info.dwPlatformId), static_cast<int>(info.dwBuildNumber), info.szCSDVersion);
    ql_wprintf(L"%ls", html_value(text).c_str());
}
