#include "ini_runs.h"

#include "console_harness.h"
#include "test_files.h"
#include "user_context.h"

const std::string BANNER = "quilletini - settings file editor and file printer\r\n"
                           "Copyright (C) 2026 The quillet developers\r\n"
                           "Contact: quillet@example.org - https://quillet.example.org\r\n"
                           "\r\n";

std::wstring ini_exe()
{
    return windows_path(QUILLETINI_EXE);
}

RunResult run_ini(const std::vector<std::wstring>& args, const std::wstring& working_dir)
{
    RunOptions options;
    options.working_dir = working_dir;
    return run_program(ini_exe(), args, options);
}

RunResult run_ini_on_console(const std::vector<std::wstring>& args, const std::wstring& working_dir)
{
    RunOptions options;
    options.working_dir = working_dir;
    options.share_console = true;
    return run_program(ini_exe(), args, options);
}

std::string run_ini_into_file(const std::vector<std::wstring>& args, const std::wstring& out_path, DWORD& exit_code)
{
    exit_code = 0xFFFFFFFF;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return "<output file not made>";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process = {};
    std::wstring line = build_command_line(ini_exe(), args);
    BOOL started =
        CreateProcessW(ini_exe().c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    if (!started)
        return "<not started>";
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return read_file(out_path);
}

std::string failure_notice(DWORD code)
{
    if (user_context.sid == nullptr)
        load_user_context();
    return "Error: Opening file failed. Reason: " + std::to_string(static_cast<int>(code)) +
           "\r\nUser Context: " + narrow(user_context.domain_name) + "\\" + narrow(user_context.user_name) +
           "\r\nUser SID: " + narrow(user_context.sid_text) + "\r\nDetail: " + system_text(code) + "\r\n";
}

WORD attribute_of(const std::wstring& text, int offset)
{
    COORD at;
    if (!console_find(text, at))
        return 0;
    return console_attribute(at.Y, at.X + offset);
}
