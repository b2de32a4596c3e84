// End-to-end: what the monitor shows of the messages that reach the channel.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "console_harness.h"
#include "monitor_fixture.h"
#include "test_files.h"
#include "traffic_names.h"

namespace {

const char TERMINATION_LINE[] = "\r\nUser request termination.\r\n";

std::string pid_text(DWORD pid)
{
    return "::" + std::to_string(pid) + "::";
}

// What the monitor printed as the sender's name in front of marker.
std::string name_before(const std::string& out, const std::string& marker)
{
    size_t at = out.find(marker);
    if (at == std::string::npos)
        return "<no such message>";
    size_t start = out.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return out.substr(start, at - start);
}

class MonitorCapture : public MonitorTest {};

} // namespace

TEST_F(MonitorCapture, LiveSenderShowsNameIdAndTextAfterTheDots)
{
    start();
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"held message\n"}));
    std::string marker = pid_text(holder.process.dwProcessId) + "held message\r\n";
    EXPECT_TRUE(wait_for_output(monitor, marker));
    EXPECT_EQ(0u, finish_holder(holder).exit_code);
    RunResult run = stop();
    EXPECT_EQ("traffic_sender.exe", name_before(run.out, marker));
    // The row of dots ends with the first message's line end, and nothing else sits between.
    std::smatch match;
    EXPECT_TRUE(std::regex_search(run.out, match,
                                  std::regex("Waiting for Systemwide Debugging Events\\.\\.\\.\\r\\n\\r\\n"
                                             "\\.+\\r\\ntraffic_sender\\.exe::")))
        << run.out;
    EXPECT_EQ(run.out.size() - strlen(TERMINATION_LINE), run.out.rfind(TERMINATION_LINE));
}

TEST_F(MonitorCapture, MessagesWithoutLineEndsShareALineAndAnEmptyOneShowsItsSender)
{
    start();
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"alpha", L"beta", L"", L"gamma\n"}));
    std::string sender = "traffic_sender.exe" + pid_text(holder.process.dwProcessId);
    std::string line = sender + "alpha" + sender + "beta" + sender + sender + "gamma\r\n";
    EXPECT_TRUE(wait_for_output(monitor, line)) << peek_output(monitor.child);
    finish_holder(holder);
    stop();
}

TEST_F(MonitorCapture, BlurtShowsItsIdTextAndNameOrNA)
{
    start();
    RunResult first = run_program(windows_path(BLURT_EXE), {L"hello"});
    RunResult second = run_program(windows_path(BLURT_EXE), {L"100% %s %n"});
    std::string hello = pid_text(first.pid) + "hello\r\n";
    std::string percent = pid_text(second.pid) + "100% %s %n\r\n";
    EXPECT_TRUE(wait_for_output(monitor, percent));
    RunResult run = stop();
    // An ended process leaves the process list at once; then the name is not known.
    for (const std::string& marker : {hello, percent}) {
        std::string name = name_before(run.out, marker);
        EXPECT_TRUE(name == "blurt.exe" || name == "N/A") << name;
    }
    EXPECT_LT(run.out.find(hello), run.out.find(percent));
}

TEST_F(MonitorCapture, QuilletEchoShowsUp)
{
    std::wstring folder = make_temp_dir(L"quilletecho");
    std::wstring quillet = copy_program(windows_path(QUILLET_EXE), folder);
    write_file(join_path(folder, L"quillet.ini"), "[OutputInformation]\r\nOutputWithOutputDebugString=1\r\n");
    start();
    RunResult report = run_program(quillet, {L"-h"});
    ASSERT_NE(std::string::npos, report.out.find_first_not_of("\r\n")) << "quillet printed nothing";
    RunResult done = run_program(windows_path(BLURT_EXE), {L"done"});
    EXPECT_TRUE(wait_for_output(monitor, pid_text(done.pid) + "done\r\n")) << peek_output(monitor.child);
    RunResult run = stop();
    // Every print of quillet is one message: without the senders' prefixes, the messages
    // give back what quillet printed.
    std::string texts = run.out;
    for (const std::string& name : {std::string("quillet.exe"), std::string("N/A")}) {
        std::string prefix = name + pid_text(report.pid);
        for (size_t at = texts.find(prefix); at != std::string::npos; at = texts.find(prefix, at))
            texts.erase(at, prefix.size());
    }
    EXPECT_NE(texts.size(), run.out.size()) << "no message of quillet arrived";
    EXPECT_NE(std::string::npos, texts.find(report.out)) << run.out;
}

TEST_F(MonitorCapture, SenderThatDiesHoldingTheBufferDoesNotSilenceTheMonitor)
{
    start();
    RunResult dead = send_traffic({L"raw-dead"});
    ASSERT_EQ(0u, dead.exit_code) << "the fake sender found no buffer to take";
    RunResult after = run_program(windows_path(BLURT_EXE), {L"after-the-dead-one"});
    EXPECT_TRUE(wait_for_output(monitor, pid_text(after.pid) + "after-the-dead-one\r\n", 15000));
    RunResult next = run_program(windows_path(BLURT_EXE), {L"and-the-next"});
    EXPECT_TRUE(wait_for_output(monitor, pid_text(next.pid) + "and-the-next\r\n"));
    RunResult run = stop();
    EXPECT_EQ(std::string::npos, run.out.find("never signalled"));
}

TEST_F(MonitorCapture, FullBufferWithoutZeroByteEndsWithTheBufferOnConsoleAndInLog)
{
    std::wstring folder = make_temp_dir(L"fullbuffer");
    std::wstring program = copy_program(monitor_exe(), folder);
    start({L"-l"}, program);
    RunResult full = send_traffic({L"raw-full"});
    ASSERT_EQ(0u, full.exit_code);
    RunResult next = run_program(windows_path(BLURT_EXE), {L"next"});
    std::string next_marker = pid_text(next.pid) + "next\r\n";
    EXPECT_TRUE(wait_for_output(monitor, next_marker));
    RunResult run = stop();

    std::string text;
    for (int i = 0; i < 8184; ++i)
        text += static_cast<char>('a' + i % 26);
    std::string full_line = pid_text(full.pid) + text;
    std::string log = read_file(join_path(folder, L"quilletdbg.log"));
    for (const std::string* where : {&run.out, &log}) {
        size_t at = where->find(full_line);
        ASSERT_NE(std::string::npos, at) << "the whole text area did not arrive";
        size_t after = at + full_line.size();
        std::string rest = where->substr(after, where->find(next_marker, after) - after);
        EXPECT_TRUE(rest == "blurt.exe" || rest == "N/A") << rest.substr(0, 80);
    }
}

TEST_F(MonitorCapture, LongMessageArrivesWhole)
{
    start();
    RunResult sent = send_traffic({L"long", L"4000"});
    std::string marker = pid_text(sent.pid) + std::string(4000, 'L') + "\r\n";
    EXPECT_TRUE(wait_for_output(monitor, marker));
    stop();
}

// The pieces of a message in their colours, painted one by one or, with "-queue", in batches.
class MonitorColours : public MonitorTest {
  protected:
    void check(const std::vector<std::wstring>& args, bool wide)
    {
        start_on_console(args);
        Spawned holder;
        // The second text is wider than the console: its second row keeps the text's colour.
        std::vector<std::wstring> words = {L"coloured\n"};
        if (wide)
            words.insert(words.end(), {std::wstring(200, L'W') + L"\n", L"after\n"});
        ASSERT_TRUE(start_holder(holder, words));
        std::wstring pid = std::to_wstring(holder.process.dwProcessId);
        std::wstring sender = L"traffic_sender.exe::" + pid + L"::";
        EXPECT_TRUE(wait_for_console(sender + L"coloured"));
        finish_holder(holder);
        COORD at = {};
        ASSERT_TRUE(console_find(sender, at));
        int pid_column = at.X + 20;
        int pid_digits = static_cast<int>(pid.size());
        EXPECT_EQ(9, console_attribute(at.Y, at.X));      // name: bright blue
        EXPECT_EQ(9, console_attribute(at.Y, at.X + 19)); // its "::" too
        EXPECT_EQ(10, console_attribute(at.Y, pid_column));
        EXPECT_EQ(10, console_attribute(at.Y, pid_column + pid_digits - 1));
        EXPECT_EQ(7, console_attribute(at.Y, pid_column + pid_digits)); // "::" in the colour before
        EXPECT_EQ(15, console_attribute(at.Y, pid_column + pid_digits + 2));
        EXPECT_EQ(15, console_attribute(at.Y, pid_column + pid_digits + 9));
        if (wide) {
            EXPECT_TRUE(wait_for_console(sender + L"after"));
            COORD row = {};
            ASSERT_TRUE(console_find(sender + L"WWW", row));
            EXPECT_EQ(9, console_attribute(row.Y, 0));
            EXPECT_EQ(L"WWWWWWWWWW", console_row(row.Y + 1).substr(0, 10));
            EXPECT_EQ(15, console_attribute(row.Y + 1, 0));
            EXPECT_EQ(15, console_attribute(row.Y + 1, 39));
        }
        // Banner white, waiting line red.
        COORD banner = {};
        ASSERT_TRUE(console_find(L"quilletdbg - The \"quillet.exe\" Debug Output Monitor", banner));
        EXPECT_EQ(15, console_attribute(banner.Y, banner.X));
        COORD waiting = {};
        ASSERT_TRUE(console_find(L"Waiting for Systemwide Debugging Events...", waiting));
        EXPECT_EQ(12, console_attribute(waiting.Y, waiting.X));
        stop();
    }
};

TEST_F(MonitorColours, ColoursOnTheConsole)
{
    check({}, false);
}

TEST_F(MonitorColours, ColoursOnTheConsoleWithQueue)
{
    check({L"-queue"}, true);
}

TEST_F(MonitorCapture, CtrlCEndsTheMonitorWithZeroAndTheTerminationLine)
{
    start_on_console();
    stop();
    COORD at = {};
    ASSERT_TRUE(console_find(L"User request termination.", at));
    EXPECT_EQ(0, at.X); // on a line of its own
    EXPECT_EQ(L"User request termination.", console_row(at.Y));
}

TEST_F(MonitorCapture, FaultInsideTheLoopIsReportedAndTheLoopGoesOn)
{
    start({}, windows_path(MONITOR_FAULT_PROBE_EXE));
    RunResult before = run_program(windows_path(BLURT_EXE), {L"before"});
    ASSERT_TRUE(wait_for_output(monitor, pid_text(before.pid) + "before\r\n"));

    HANDLE arm = CreateEventW(nullptr, FALSE, FALSE, FAULT_PROBE_ARM_EVENT);
    HANDLE armed = CreateEventW(nullptr, FALSE, FALSE, FAULT_PROBE_ARMED_EVENT);
    SetEvent(arm);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(armed, 10000)) << "the probe could not guard the view";
    CloseHandle(arm);
    CloseHandle(armed);

    run_program(windows_path(BLURT_EXE), {L"faulting"});
    EXPECT_TRUE(wait_for_output(monitor, "quilletdbg::INTERNAL EXCEPTION"));
    RunResult after = run_program(windows_path(BLURT_EXE), {L"after"});
    EXPECT_TRUE(wait_for_output(monitor, pid_text(after.pid) + "after\r\n"));
    RunResult run = stop();
    EXPECT_EQ(1u, count_of(run.out, "quilletdbg::INTERNAL EXCEPTION"));
    // The restarted loop's indicator prints its one dot; the print routines never failed.
    EXPECT_NE(std::string::npos, run.out.find("quilletdbg::INTERNAL EXCEPTION."));
    EXPECT_EQ(std::string::npos, run.out.find("INTERNAL_EXCEPTION::qldbg_wprintf"));
}

TEST_F(MonitorCapture, KilledMonitorHasLostNothingItPrinted)
{
    std::wstring folder = make_temp_dir(L"killed");
    std::wstring program = copy_program(monitor_exe(), folder);
    start({L"-l"}, program);
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"one\n", L"two", L"three\n"}));
    std::string sender = "traffic_sender.exe" + pid_text(holder.process.dwProcessId);
    std::string expected = sender + "one\r\n" + sender + "two" + sender + "three\r\n";
    // Piped output reaches the pipe only when flushed, so seeing it proves the flush.
    EXPECT_TRUE(wait_for_output(monitor, expected));
    TerminateProcess(monitor.child.process.hProcess, 9);
    RunResult run = finish_program(monitor.child, 10000);
    monitor.running = false;
    finish_holder(holder);
    EXPECT_EQ(9u, run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find(expected));
    std::string log = read_file(join_path(folder, L"quilletdbg.log"));
    EXPECT_NE(std::string::npos, log.find(expected)) << log;
}

// With "-queue" the log is written before the buffer goes back: once a sender has handed over
// its next message, the earlier ones are in the log, whatever the console has shown.
TEST_F(MonitorCapture, KilledQueueingMonitorHasLoggedEveryMessageBeforeTheLastHandedOver)
{
    std::wstring folder = make_temp_dir(L"killedqueue");
    std::wstring program = copy_program(monitor_exe(), folder);
    start_on_console({L"-queue", L"-l"}, program);
    HANDLE sent = CreateEventW(nullptr, FALSE, FALSE, TRAFFIC_SENT_EVENT);
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"one\n", L"two", L"three\n", L"four\n"}));
    std::string sender = "traffic_sender.exe" + pid_text(holder.process.dwProcessId);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sent, 60000));
    CloseHandle(sent);
    TerminateProcess(monitor.child.process.hProcess, 9);
    RunResult run = finish_program(monitor.child, 10000);
    monitor.running = false;
    finish_holder(holder);
    EXPECT_EQ(9u, run.exit_code);
    std::string log = read_file(join_path(folder, L"quilletdbg.log"));
    EXPECT_NE(std::string::npos, log.find(sender + "one\r\n" + sender + "two" + sender + "three\r\n")) << log;
}
