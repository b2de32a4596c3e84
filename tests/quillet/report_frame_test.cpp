#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <regex>
#include <string>

#include "reference_digest.h"
#include "report_frame.h"
#include "report_output.h"
#include "report_runs.h"
#include "settings.h"
#include "stdout_capture.h"
#include "test_files.h"

namespace {

const std::string TIME_PATTERN = "(\\d{1,2}):(\\d{1,2}):(\\d{1,2}):(\\d{1,3})";

std::string system_directory()
{
    wchar_t text[MAX_PATH] = {};
    GetSystemDirectoryW(text, MAX_PATH);
    return narrow(text);
}

std::string computer_name()
{
    wchar_t text[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(text, &chars);
    return narrow(text);
}

std::string user_name()
{
    wchar_t text[257] = {};
    DWORD chars = 257;
    GetUserNameW(text, &chars);
    return narrow(text);
}

std::string windows_version()
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExW(&info);
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwPlatformId) + "." + std::to_string(info.dwBuildNumber) + " " +
           narrow(info.szCSDVersion);
}

// Milliseconds since midnight of a "h:m:s:ms" stamp.
long stamp_ms(const std::smatch& match, int first)
{
    return ((std::stol(match[first]) * 60 + std::stol(match[first + 1])) * 60 + std::stol(match[first + 2])) * 1000 +
           std::stol(match[first + 3]);
}

long utc_now_ms()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return ((now.wHour * 60L + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

class HtmlBanner : public ::testing::Test {
  protected:
    void TearDown() override
    {
        html_mode = false;
        settings = Settings();
    }
};

} // namespace

TEST(ReportFrame, SelfDigestsEqualThePlainDigestsOfTheProgram)
{
    QuilletCopy copy = make_quillet_copy(L"selfhash", "[OutputInformation]\r\nPrintSelfHashSignatures=1\r\n");
    std::string program = read_file(copy.exe);
    RunResult usage = run_quillet(copy, {});
    std::string md5 = run_quillet(copy, {copy.exe, L"-md5", L"-p"}).out;
    std::string sha1 = run_quillet(copy, {copy.exe, L"-sha1", L"-p"}).out;
    EXPECT_EQ(reference_md5(program), md5);
    EXPECT_EQ(reference_sha1(program), sha1);
    EXPECT_EQ(0u, usage.out.find(plain_banner() + "Self MD5: " + md5 + "\r\nSelf SHA1: " + sha1 +
                                 "\r\n\r\nUsage: quillet.exe"))
        << usage.out;
}

TEST(ReportFrame, SystemInformationAddsTheFourLines)
{
    QuilletCopy copy = make_quillet_copy(L"sysinfo", "[OutputInformation]\r\nPrintExtraSystemInformation=1\r\n");
    RunResult usage = run_quillet(copy, {});
    std::string facts = "\r\nUsername: " + user_name() + "\r\nComputername: " + computer_name() +
                        "\r\nSystem Directory: " + system_directory() + "\r\nWindows Version: " + windows_version() +
                        "\r\n";
    EXPECT_EQ(0u, usage.out.find(plain_banner() + facts + "\r\nUsage: quillet.exe")) << usage.out;
}

TEST(ReportFrame, ProcessingTimesEndEveryRunInUniversalTime)
{
    QuilletCopy copy = make_quillet_copy(L"times", "[OutputInformation]\r\nPrintProcessingTimeInformation=1\r\n");
    long before = utc_now_ms();
    RunResult usage = run_quillet(copy, {});
    long after = utc_now_ms();
    std::smatch match;
    std::string tail = usage.out.substr(usage.out.rfind("\r\n\r\nStartup Time: "));
    ASSERT_TRUE(std::regex_match(
        tail, match,
        std::regex("\r\n\r\nStartup Time: " + TIME_PATTERN + "\r\n\r\nTermination Time: " + TIME_PATTERN + "\r\n")))
        << usage.out;
    long start = stamp_ms(match, 1), end = stamp_ms(match, 5);
    if (after >= before) { // not across midnight
        EXPECT_LE(before - 1000, start);
        EXPECT_LE(start, end);
        EXPECT_LE(end, after + 1000);
    }
    RunResult plain = run_quillet(copy, {copy.exe, L"-md5", L"-p"});
    EXPECT_NE(std::string::npos, plain.out.find("\r\nStartup Time: "));
    EXPECT_NE(std::string::npos, plain.out.find("\r\nTermination Time: "));
}

TEST(ReportFrame, WithoutTheSettingNothingIsPrintedAtExit)
{
    QuilletCopy copy = make_quillet_copy(L"notimes");
    EXPECT_EQ(std::string::npos, run_quillet(copy, {}).out.find("Time: "));
}

TEST(ReportFrame, SingleFileRunClosesTheLogBeforeTheExitLines)
{
    QuilletCopy copy = make_quillet_copy(
        L"timelog", "[OutputInformation]\r\nPrintProcessingTimeInformation=1\r\nWriteOutputToQuilletLog=1\r\n");
    std::wstring log_path = join_path(copy.folder, L"quillet.log");
    RunResult single = run_quillet(copy, {copy.exe});
    EXPECT_NE(std::string::npos, single.out.find("\r\nTermination Time: "));
    std::string log = read_file(log_path);
    EXPECT_NE(std::string::npos, log.find("[FileName]"));
    EXPECT_EQ(std::string::npos, log.find("Termination Time: "));
    EXPECT_EQ(std::string::npos, log.find("Startup Time: "));

    // Any other command keeps the log open until the process ends.
    RunResult usage = run_quillet(copy, {L"-h"});
    log = read_file(log_path);
    EXPECT_NE(std::string::npos, log.find("\r\nStartup Time: "));
    EXPECT_NE(std::string::npos, log.find("\r\nTermination Time: "));
    EXPECT_EQ(log.size() - usage.out.size(), log.rfind(usage.out));
}

TEST(FormatCurrentTime, IsUniversalTimeWithoutLeadingZeros)
{
    wchar_t text[260];
    long before = utc_now_ms();
    format_current_time(text);
    long after = utc_now_ms();
    std::string stamp = narrow(text);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(stamp, match, std::regex(TIME_PATTERN))) << stamp;
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(match[i].length() == 1 || match[i].str()[0] != '0') << stamp;
    if (after >= before) {
        EXPECT_LE(before, stamp_ms(match, 1));
        EXPECT_LE(stamp_ms(match, 1), after);
    }
}

TEST_F(HtmlBanner, HeadCarriesTheSettingsTextsAndTheBuiltInScript)
{
    html_mode = true;
    wcscpy(settings.InnerHeadStyleTag, L"body{color:red}");
    wcscpy(settings.InnerHeadScriptTag, L"function build_files_list(){}");
    wcscpy(settings.InnerBodyTag, L"class=\"report\"");
    stdout_capture_begin();
    print_banner();
    std::string out = stdout_capture_end();
    std::string head =
        "<html>\r\n\t<head>\r\n\t\t<title>Revu Zezo Rudurur Ozav N/A (UNICODE) - Copyright (C) 2026 The quillet "
        "developers</title>\r\n\t<style type=\"text/css\">\r\n\tbody{color:red}\r\n\t</style>\r\n\t<script "
        "language=\"javascript\">\r\n\tfunction build_files_list(){}function file_selected(filename){try{window."
        "location.href = filename;}catch(e){alert(\"Unable to navigate. Reason: \" + "
        "e.toString());}}\r\n\r\nfunction build_files_list(){}\r\n\t</script>\r\n\t</head>\r\n<body "
        "class=\"report\"  onload=\"build_files_list();\" onchange=\"file_selected(this.value);\">\r\n<p>\r\n";
    std::string banner = "\r\nRevu Zezo Rudurur Ozav N/A (UNICODE)\r\n<br>"
                         "Copyright (C) 2026 The quillet developers. All rights reserved.\r\n<br>"
                         "Contact: <a href=\"mailto:quillet@example.org\">quillet@example.org</a>\r\n<br>"
                         "Visit: <a href=\"https://www.example.org/quillet/\" "
                         "target=\"_blank\">www.example.org/quillet</a>\r\n<br>\r\n</p>";
    EXPECT_EQ(head + banner, out);
}

TEST_F(HtmlBanner, EmptySettingsTextsStillGiveStyleAndScriptElements)
{
    html_mode = true;
    settings.PrintExtraSystemInformation = 1;
    stdout_capture_begin();
    print_banner();
    std::string out = stdout_capture_end();
    EXPECT_NE(std::string::npos, out.find("<style type=\"text/css\">\r\n\t\r\n\t</style>"));
    EXPECT_NE(std::string::npos, out.find("e.toString());}}\r\n\r\n\r\n\t</script>"));
    EXPECT_NE(std::string::npos, out.find("<body   onload="));
    EXPECT_NE(std::string::npos, out.find("\r\n<br>Username: "));
    EXPECT_NE(std::string::npos, out.find("\r\n<br>Windows Version: " + windows_version() + "\r\n<br>\r\n</p>"));
}
