#include "report_runs.h"

#include <windows.h>

#include <sddl.h>

#include "test_files.h"

QuilletCopy make_quillet_copy(const std::wstring& tag, const std::string& ini)
{
    QuilletCopy copy;
    copy.folder = make_temp_dir(tag);
    copy.exe = copy_program(windows_path(QUILLET_EXE), copy.folder);
    if (!ini.empty())
        write_file(join_path(copy.folder, L"quillet.ini"), ini);
    return copy;
}

RunResult run_quillet(const QuilletCopy& copy, const std::vector<std::wstring>& args, const RunOptions& options)
{
    return run_program(copy.exe, args, options);
}

std::string plain_banner()
{
    return "\r\nRevu Zezo Rudurur Ozav 1, 0, 0, 1 (UNICODE)\r\n"
           "Copyright (C) 2026 The quillet developers. All rights reserved.\r\n"
           "Contact: quillet@example.org\r\n";
}

std::string file_heading(const std::wstring& path)
{
    return "\r\nFile Version Info for:\r\n\"" + narrow(path) + "\"\r\n\r\n";
}

std::wstring test_data_file(const std::wstring& name)
{
    return join_path(windows_path(TEST_DATA_DIR), name);
}

std::string failure_notice(unsigned long code, const std::string& context)
{
    wchar_t user[257] = {};
    DWORD user_chars = 257;
    GetUserNameW(user, &user_chars);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof(sid);
    wchar_t domain[260] = {};
    DWORD domain_chars = 260;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, user, sid, &sid_size, domain, &domain_chars, &use);
    wchar_t* sid_text = nullptr;
    ConvertSidToStringSidW(sid, &sid_text);
    std::string notice = "\r\nError: " + context + " Reason: " + std::to_string(static_cast<int>(code)) + "\r\n" +
                         "User Context: " + narrow(domain) + "\\" + narrow(user) + "\r\n" +
                         "User SID: " + narrow(sid_text) + "\r\n" + "Detail: " + system_text(code) + "\r\n";
    LocalFree(sid_text);
    return notice;
}

std::string from_marker(const std::string& out, const std::string& marker)
{
    size_t at = out.find(marker);
    return at == std::string::npos ? std::string() : out.substr(at);
}
