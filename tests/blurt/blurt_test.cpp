#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel_reader.h"
#include "process_runner.h"
#include "test_files.h"

namespace {

class Blurt : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(channel_open()) << "another reader holds the debugger channel";
    }
    void TearDown() override
    {
        channel_close();
    }

    // Runs blurt and returns the one message it sent.
    ChannelMessage blurt_once(const std::vector<std::wstring>& args)
    {
        RunResult run = run_program(windows_path(BLURT_EXE), args);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        std::vector<ChannelMessage> messages = channel_wait(1, 10000);
        messages = channel_settle(300);
        EXPECT_EQ(1u, messages.size());
        if (messages.empty())
            return ChannelMessage{0, "<nothing>"};
        EXPECT_EQ(run.pid, messages[0].pid);
        return messages[0];
    }
};

} // namespace

TEST_F(Blurt, SendsTheFirstWordAndALineEnd)
{
    EXPECT_EQ("hello\n", blurt_once({L"hello"}).text);
}

TEST_F(Blurt, QuotedWordsKeepTheirBlankAndLaterWordsAreIgnored)
{
    EXPECT_EQ("two words\n", blurt_once({L"two words", L"x"}).text);
}

TEST_F(Blurt, UnquotedWordsSendOnlyTheFirst)
{
    EXPECT_EQ("two\n", blurt_once({L"two", L"words"}).text);
}

TEST_F(Blurt, EmptyWordIsAWord)
{
    EXPECT_EQ("\n", blurt_once({L""}).text);
}

TEST_F(Blurt, WithoutWordsSaysSo)
{
    EXPECT_EQ("BLURT::PARAMETERLESS_INVOKE\n", blurt_once({}).text);
}

TEST_F(Blurt, PercentSignsAndLongWordsPassUnchanged)
{
    std::wstring word = L"100% %s %n " + std::wstring(3000, L'w');
    EXPECT_EQ(narrow(word) + "\n", blurt_once({word}).text);
}
