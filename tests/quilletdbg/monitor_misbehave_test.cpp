// End-to-end: senders at the channel's limits and senders that break its rules. The monitor
// must keep running and show every whole message.
#include <gtest/gtest.h>

#include <string>

#include "monitor_fixture.h"
#include "process_runner.h"
#include "test_files.h"

namespace {

// The text area holds 8184 bytes with the zero byte: the longest whole message.
const size_t LONGEST_TEXT = 8183;

std::string message_of(DWORD pid, const std::string& text)
{
    return "::" + std::to_string(pid) + "::" + text;
}

// The monitor is still there: a later message arrives.
void expect_still_capturing(const MonitorRun& monitor, const wchar_t* word)
{
    RunResult after = run_program(windows_path(BLURT_EXE), {word});
    EXPECT_TRUE(wait_for_output(monitor, message_of(after.pid, narrow(word) + "\r\n")))
        << "the sender ended with " << after.exit_code << " " << after.err;
}

class MonitorMisbehave : public MonitorTest {};

} // namespace

std::string letters(size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

TEST_F(MonitorMisbehave, LongestWholeMessageArrivesWholeOnConsoleAndInLog)
{
    std::wstring folder = make_temp_dir(L"longest");
    std::wstring program = copy_program(monitor_exe(), folder);
    start({L"-l"}, program);
    RunResult sent = send_traffic({L"raw-longest"});
    ASSERT_EQ(0u, sent.exit_code);
    std::string marker = message_of(sent.pid, letters(LONGEST_TEXT));
    EXPECT_TRUE(wait_for_output(monitor, marker));
    expect_still_capturing(monitor, L"after-the-longest");
    RunResult run = stop();
    EXPECT_NE(std::string::npos, run.out.find(marker));
    EXPECT_NE(std::string::npos, read_file(join_path(folder, L"quilletdbg.log")).find(marker));
}

TEST_F(MonitorMisbehave, OverlongMessageShowsWhatTheSenderFittedAndTheNextFollows)
{
    start();
    RunResult sent = send_traffic({L"long", L"9000"});
    expect_still_capturing(monitor, L"after-the-overlong");
    RunResult run = stop();
    // The sending side cuts the text to what its buffer holds; the monitor shows that part once.
    std::string head = message_of(sent.pid, "LLLL");
    size_t at = run.out.find(head);
    ASSERT_NE(std::string::npos, at) << "the overlong message did not arrive";
    size_t text_at = at + head.size() - 4;
    size_t run_length = run.out.find_first_not_of('L', text_at) - text_at;
    EXPECT_GE(run_length, 4000u);
    EXPECT_LE(run_length, LONGEST_TEXT);
    EXPECT_EQ(1u, count_of(run.out, head));
}

TEST_F(MonitorMisbehave, ThousandEmptyMessagesEachShowTheirSender)
{
    start();
    RunResult sent = send_traffic({L"empties", L"1000"});
    ASSERT_EQ(0u, sent.exit_code);
    std::string done = message_of(sent.pid, "empties done\r\n");
    EXPECT_TRUE(wait_for_output(monitor, done, 60000));
    RunResult run = stop();
    // Every empty message is its sender's name and ID with nothing after it.
    std::string before_done = run.out.substr(0, run.out.find(done));
    EXPECT_EQ(1000u, count_of(before_done, message_of(sent.pid, "")));
}

TEST_F(MonitorMisbehave, KilledSendersAndRuleBreakersInARowLeaveTheMonitorRunning)
{
    start();
    EXPECT_EQ(0u, send_traffic({L"raw-dead"}).exit_code);
    EXPECT_EQ(0u, send_traffic({L"raw-full"}).exit_code);
    EXPECT_EQ(0u, send_traffic({L"raw-dead"}).exit_code);
    expect_still_capturing(monitor, L"after-the-rule-breakers");
    stop();
}
