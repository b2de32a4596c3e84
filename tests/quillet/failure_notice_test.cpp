#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <stdexcept>
#include <string>

#include "failure_notice.h"
#include "report_guard.h"
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

// A report step that throws ends in its notice under the step's name, on the console and in a
// CSV run's Error entry, and the caller goes on with the next step.
TEST_F(FailureNotice, ThrownStepGetsTheNoticeOfItsRoutine)
{
    struct Case {
        void (*step)();
        DWORD code;
        const char* code_text;
    };
    const Case cases[] = {{[]() { throw std::bad_alloc(); }, ERROR_NOT_ENOUGH_MEMORY, "8"},
                          {[]() { throw std::length_error("too long"); }, ERROR_INTERNAL_ERROR, "1359"},
                          {[]() { throw 27; }, ERROR_INTERNAL_ERROR, "1359"}};
    for (const Case& thrown : cases) {
        stdout_capture_begin();
        ql_wprintf(L"before\n");
        bool finished = run_report_step(L"show_import_hash", thrown.step);
        DWORD last_error = GetLastError();
        bool next_ran = run_report_step(L"show_version_info", []() { ql_wprintf(L"next\n"); });
        std::string out = stdout_capture_end();
        EXPECT_FALSE(finished);
        EXPECT_TRUE(next_ran);
        EXPECT_EQ(thrown.code, last_error);
        EXPECT_EQ("before\r\n" + expected_notice("show_import_hash", thrown.code_text, thrown.code, "") + "next\r\n",
                  out);

        FailureList failures = {};
        failure_collector = &failures;
        run_report_step(L"show_hash_info", thrown.step);
        failure_collector = nullptr;
        EXPECT_EQ(std::string("show_hash_info (") + thrown.code_text + ")", narrow(failures.joined));
    }
}
