#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "channel_reader.h"
#include "report_output.h"
#include "settings.h"
#include "stdout_capture.h"
#include "test_files.h"

namespace {

const char FAULT_TEXT[] = "quillet - INTERNAL_EXCEPTION::ql_wprintf";

class ReportOutput : public ::testing::Test {
  protected:
    std::wstring log_path;

    void SetUp() override
    {
        settings = Settings();
        ASSERT_TRUE(channel_open()) << "another reader holds the debugger channel";
        log_path = join_path(make_temp_dir(L"log"), L"quillet.log");
    }

    void TearDown() override
    {
        if (log_stream != nullptr)
            fclose(log_stream);
        log_stream = nullptr;
        settings = Settings();
        channel_close();
    }

    void open_log()
    {
        settings.WriteOutputToQuilletLog = 1;
        log_stream = _wfopen(log_path.c_str(), L"a+");
        ASSERT_NE(nullptr, log_stream);
    }

    std::string close_log()
    {
        fclose(log_stream);
        log_stream = nullptr;
        return read_file(log_path);
    }
};

} // namespace

TEST_F(ReportOutput, ConsoleOnlyWhenBothEchoesAreOff)
{
    stdout_capture_begin();
    ql_wprintf(L"-- %ls --\n", L"value");
    std::string out = stdout_capture_end();
    EXPECT_EQ("-- value --\r\n", out);
    EXPECT_TRUE(channel_settle(300).empty());
}

TEST_F(ReportOutput, EchoesGoToChannelAndLogInOrder)
{
    settings.OutputWithOutputDebugString = 1;
    open_log();
    stdout_capture_begin();
    int result = ql_wprintf(L"[%ls] %d %lc\n", L"Name", -5, L'Z');
    std::string out = stdout_capture_end();
    EXPECT_EQ("[Name] -5 Z\r\n", out);
    EXPECT_EQ(12, result);
    std::vector<ChannelMessage> messages = channel_wait(1, 5000);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("[Name] -5 Z\n", messages[0].text);
    EXPECT_EQ(GetCurrentProcessId(), messages[0].pid);
    EXPECT_EQ("[Name] -5 Z\r\n", close_log());
}

TEST_F(ReportOutput, PercentInAValueReachesEveryDestinationUnchanged)
{
    settings.OutputWithOutputDebugString = 1;
    open_log();
    stdout_capture_begin();
    ql_wprintf(L"\"%ls\"\n", L"C:\\100%s%n%d.dll");
    std::string out = stdout_capture_end();
    EXPECT_EQ("\"C:\\100%s%n%d.dll\"\r\n", out);
    std::vector<ChannelMessage> messages = channel_wait(1, 5000);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("\"C:\\100%s%n%d.dll\"\n", messages[0].text);
    EXPECT_EQ("\"C:\\100%s%n%d.dll\"\r\n", close_log());
}

TEST_F(ReportOutput, EchoCopiesEndAfter1024Characters)
{
    settings.OutputWithOutputDebugString = 1;
    open_log();
    std::wstring long_value;
    for (int i = 0; i < 1500; ++i)
        long_value += static_cast<wchar_t>(L'a' + i % 26);
    stdout_capture_begin();
    ql_wprintf(L"%ls", long_value.c_str());
    std::string out = stdout_capture_end();
    EXPECT_EQ(narrow(long_value), out);
    std::vector<ChannelMessage> messages = channel_wait(1, 5000);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(narrow(long_value.substr(0, 1024)), messages[0].text);
    EXPECT_EQ(narrow(long_value.substr(0, 1024)), close_log());
}

TEST_F(ReportOutput, LogSettingWithoutAnOpenLogWritesNowhere)
{
    settings.WriteOutputToQuilletLog = 1;
    stdout_capture_begin();
    ql_wprintf(L"text\n");
    EXPECT_EQ("text\r\n", stdout_capture_end());
    EXPECT_FALSE(file_exists(log_path));
}

TEST_F(ReportOutput, FlagOtherThanOneIsOff)
{
    settings.OutputWithOutputDebugString = 2;
    settings.WriteOutputToQuilletLog = 2;
    log_stream = _wfopen(log_path.c_str(), L"a+");
    stdout_capture_begin();
    ql_wprintf(L"text\n");
    stdout_capture_end();
    EXPECT_TRUE(channel_settle(300).empty());
    EXPECT_EQ("", close_log());
}

TEST_F(ReportOutput, FaultWhileFormattingSendsOneMessageAndTheNextCallWorks)
{
    open_log();
    stdout_capture_begin();
    int result = ql_wprintf(L"before %ls after\n", reinterpret_cast<const wchar_t*>(1));
    ql_wprintf(L"next %ls\n", L"call");
    std::string out = stdout_capture_end();
    EXPECT_EQ(0, result);
    EXPECT_EQ("next call\r\n", out);
    std::vector<ChannelMessage> messages = channel_settle(500);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(FAULT_TEXT, messages[0].text);
    EXPECT_EQ("next call\r\n", close_log());
}

TEST_F(ReportOutput, FaultWithTheEchoOnSendsOnlyTheFaultText)
{
    settings.OutputWithOutputDebugString = 1;
    stdout_capture_begin();
    ql_wprintf(L"%ls", reinterpret_cast<const wchar_t*>(8));
    ql_wprintf(L"fine\n");
    stdout_capture_end();
    std::vector<ChannelMessage> messages = channel_settle(500);
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(FAULT_TEXT, messages[0].text);
    EXPECT_EQ("fine\n", messages[1].text);
}

TEST_F(ReportOutput, NullStringPrintsAsNull)
{
    settings.OutputWithOutputDebugString = 1;
    stdout_capture_begin();
    ql_wprintf(L"User SID: %ls\n", static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ("User SID: (null)\r\n", stdout_capture_end());
    std::vector<ChannelMessage> messages = channel_wait(1, 5000);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("User SID: (null)\n", messages[0].text);
}
