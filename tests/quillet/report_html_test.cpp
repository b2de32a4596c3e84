#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>

#include "file_properties.h"
#include "report_output.h"
#include "report_runs.h"
#include "settings.h"
#include "stdout_capture.h"
#include "test_files.h"
#include "version_report.h"

namespace {

class ReportHtml : public ::testing::Test {
  protected:
    void SetUp() override
    {
        settings = Settings();
        html_mode = true;
    }

    void TearDown() override
    {
        html_mode = false;
        settings = Settings();
    }
};

std::string language_name(WORD language)
{
    wchar_t name[260] = {};
    VerLanguageNameW(language, name, 260);
    return narrow(name);
}

} // namespace

TEST_F(ReportHtml, EveryVersionReportLineIsFollowedByABreak)
{
    std::wstring path = test_data_file(L"version_missing_table.dll");
    stdout_capture_begin();
    show_version_info(path.c_str());
    std::string out = stdout_capture_end();
    EXPECT_EQ("[FileName]\r\n<br>-- " + narrow(path) + " --\r\n<br>[Language]\r\n<br>-- " + language_name(0x0409) +
                  " --\r\n<br>[FileVersion]\r\n<br>-- 1.0.0.0 --\r\n<br>[Language]\r\n<br>-- " + language_name(0x040c) +
                  " --\r\n<br>",
              out);
}

TEST_F(ReportHtml, NoResourceLinesCarryTheirBreaks)
{
    std::wstring path = test_data_file(L"version_none.dll");
    DWORD handle = 0;
    ASSERT_EQ(0u, GetFileVersionInfoSizeW(path.c_str(), &handle));
    DWORD code = GetLastError();
    stdout_capture_begin();
    show_version_info(path.c_str());
    std::string out = stdout_capture_end();
    EXPECT_EQ("Getting File Version Info Size failed. Reason: " + std::to_string(code) +
                  "\r\n<br>Failed for File: " + narrow(path) + "\r\n<br>Detail: " + system_text(code) + "\r\n<br>",
              out);
}

TEST_F(ReportHtml, FileHeadingHasBackButtonAnchorAndPathSpan)
{
    wcscpy(settings.FilePathTextAppearance, L"class=\"path\"");
    settings.PrintExtraFileProperties = 1;
    std::wstring path = test_data_file(L"version_none.dll");
    stdout_capture_begin();
    print_file_properties(path.c_str());
    std::string out = stdout_capture_end();
    std::string heading = "<br>\r\n<input type=\"button\" value=\"Back\" title=\"Go Back\"  "
                          "onClick=\"window.history.back();\"/>\r\n<br><hr noshade>\r\n\r\nFile Version Info "
                          "for:\r\n<a name=\"version_none.dll\"></a><span class=\"path\">\"" +
                          narrow(path) +
                          "\"</span>\r\n\r\n<br><br>Is the File readable: YES\r\n<br>File Size (Bytes): ";
    EXPECT_EQ(heading, out.substr(0, heading.size()));
    EXPECT_NE(std::string::npos, out.find("\r\n<br>File last Write: "));
    EXPECT_EQ("\r\n\r\n<br>", out.substr(out.size() - 8));
}

TEST_F(ReportHtml, APathWithoutSeparatorIsTheWholeAnchorName)
{
    stdout_capture_begin();
    print_file_properties(L"no-such-file.dll");
    std::string out = stdout_capture_end();
    EXPECT_NE(std::string::npos, out.find("<a name=\"no-such-file.dll\"></a><span >\"no-such-file.dll\"</span>"));
    EXPECT_NE(std::string::npos, out.find("Error: Could not open File for reading. Reason: 2\r\n<br>"));
    EXPECT_EQ("\r\n<br>\r\n<br>", out.substr(out.size() - 12));
}
