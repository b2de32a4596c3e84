#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "failure_notice.h"
#include "report_output.h"
#include "stdout_capture.h"
#include "system_text.h"
#include "test_files.h"
#include "user_context.h"

namespace {

std::string expected_notice(const char* context, const char* code_text, DWORD code, const char* br)
{
    return std::string("\r\nError: ") + context + " Reason: " + code_text + "\r\n" + br +
           "User Context: " + narrow(user_context.domain_name) + "\\" + narrow(user_context.user_name) + "\r\n" + br +
           "User SID: " + narrow(user_context.sid_text) + "\r\n" + br + "Detail: " + system_text(code) + "\r\n" + br;
}

class FailureNotice : public ::testing::Test {
  protected:
    void SetUp() override
    {
        load_user_context();
        html_mode = false;
    }
    void TearDown() override
    {
        html_mode = false;
    }
};

} // namespace

TEST_F(FailureNotice, ConsoleNoticeReadsAsSpecified)
{
    stdout_capture_begin();
    print_failure(2, L"Could not open File for reading.");
    std::string out = stdout_capture_end();
    EXPECT_EQ(expected_notice("Could not open File for reading.", "2", 2, ""), out);
}

TEST_F(FailureNotice, HtmlNoticeHasExactlyFourBreaks)
{
    html_mode = true;
    stdout_capture_begin();
    print_failure(5, L"show_hash_info::ReadFile");
    std::string out = stdout_capture_end();
    EXPECT_EQ(4u, count_of(out, "<br>"));
    EXPECT_EQ(expected_notice("show_hash_info::ReadFile", "5", 5, "<br>"), out);
}

TEST_F(FailureNotice, HighBitCodeShowsNegativeWithItsUnsignedText)
{
    stdout_capture_begin();
    print_failure(0x80090008, L"show_hash_info::CryptCreateHash");
    std::string out = stdout_capture_end();
    EXPECT_EQ(expected_notice("show_hash_info::CryptCreateHash", "-2146893816", 0x80090008, ""), out);
}

TEST_F(FailureNotice, CodeWithoutTextEndsWithAnEmptyLine)
{
    stdout_capture_begin();
    print_failure(0x2000FFFF, L"x");
    std::string out = stdout_capture_end();
    EXPECT_NE(std::string::npos, out.find("Detail: UNKNOWN_ERROR_CODE\r\n\r\n"));
}

TEST_F(FailureNotice, MissingSidTextPrintsNull)
{
    wchar_t* saved = user_context.sid_text;
    user_context.sid_text = nullptr;
    stdout_capture_begin();
    print_failure(0, L"USER_INFO_REQUEST");
    std::string out = stdout_capture_end();
    user_context.sid_text = saved;
    EXPECT_NE(std::string::npos, out.find("User SID: (null)\r\n"));
}
