// End-to-end: many senders at once. Every message arrives once, each sender's in its order.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "console_harness.h"
#include "monitor_fixture.h"
#include "test_files.h"

namespace {

const int SENDERS = 8;
const int MESSAGES = 200;

// Checks that the output holds each sender's messages exactly once and in order.
void expect_every_message_once_in_order(const std::string& out, const std::vector<DWORD>& pids,
                                        const std::string& where, int messages = MESSAGES)
{
    std::map<std::string, int> next; // tag -> next expected number
    std::map<std::string, DWORD> pid_of;
    for (int s = 0; s < SENDERS; ++s) {
        std::string tag = "S" + std::to_string(s);
        next[tag] = 0;
        pid_of[tag] = pids[s];
    }
    std::istringstream lines(out);
    std::string line;
    int received = 0;
    while (std::getline(lines, line)) {
        size_t text_at = line.rfind("::");
        if (text_at == std::string::npos)
            continue;
        std::string text = line.substr(text_at + 2);
        size_t colon = text.find(':');
        if (text.empty() || text[0] != 'S' || colon == std::string::npos)
            continue;
        std::string tag = text.substr(0, colon);
        int number = std::stoi(text.substr(colon + 1));
        ASSERT_TRUE(next.count(tag)) << where << ": " << line;
        EXPECT_EQ(next[tag], number) << where << ": " << line;
        next[tag] = number + 1;
        size_t pid_end = text_at;
        size_t pid_start = line.rfind("::", pid_end - 1) + 2;
        EXPECT_EQ(std::to_string(pid_of[tag]), line.substr(pid_start, pid_end - pid_start)) << where;
        ++received;
    }
    EXPECT_EQ(SENDERS * messages, received) << where;
    for (const auto& entry : next)
        EXPECT_EQ(messages, entry.second) << where << ": " << entry.first;
}

class MonitorLoad : public MonitorTest {
  protected:
    // Starts the senders, waits for them and then for a last message; returns their IDs.
    std::vector<DWORD> send_from_eight(int messages, const std::string& last_seen)
    {
        std::vector<Spawned> senders(SENDERS);
        std::vector<DWORD> pids;
        for (int s = 0; s < SENDERS; ++s) {
            EXPECT_TRUE(spawn_program(senders[s], traffic_exe(),
                                      {L"many", std::to_wstring(messages), L"S" + std::to_wstring(s)}));
            pids.push_back(senders[s].process.dwProcessId);
        }
        for (Spawned& sender : senders) {
            RunResult done = finish_program(sender, 300000);
            EXPECT_FALSE(done.timed_out);
            EXPECT_EQ(0u, done.exit_code);
        }
        RunResult last = run_program(windows_path(BLURT_EXE), {L"last"});
        std::string marker = "::" + std::to_string(last.pid) + "::last";
        if (last_seen == "console")
            EXPECT_TRUE(wait_for_console(std::wstring(marker.begin(), marker.end()), 60000));
        else
            EXPECT_TRUE(wait_for_output(monitor, marker + "\r\n", 60000));
        return pids;
    }
};

} // namespace

TEST_F(MonitorLoad, EightSendersTwoHundredMessagesEachArriveOnceAndInOrder)
{
    std::wstring folder = make_temp_dir(L"monitorload");
    std::wstring program = copy_program(monitor_exe(), folder);
    start({L"-l"}, program);
    std::vector<DWORD> pids = send_from_eight(MESSAGES, "output");
    RunResult run = stop();

    expect_every_message_once_in_order(run.out, pids, "standard output");
    expect_every_message_once_in_order(read_file(join_path(folder, L"quilletdbg.log")), pids, "log");
}

// With "-queue" the display thread paints the console from the queue: still every message once
// and in the channel's order, on the console (rows enough for all of them) and in the log.
TEST_F(MonitorLoad, QueuedMessagesOfEightSendersArriveOnceAndInOrderOnConsoleAndInLog)
{
    const int messages = 40;
    std::wstring folder = make_temp_dir(L"monitorqueue");
    std::wstring program = copy_program(monitor_exe(), folder);
    start_on_console({L"-queue", L"-l"}, program);
    std::vector<DWORD> pids = send_from_eight(messages, "console");
    std::string shown;
    for (wchar_t c : console_text())
        shown += static_cast<char>(c);
    // Painted in batches, each piece in its colour: name, ID, "::" as before, text.
    for (DWORD pid : pids) {
        COORD at = {};
        std::wstring sender = L"traffic_sender.exe::" + std::to_wstring(pid) + L"::";
        ASSERT_TRUE(console_find(sender + L"S", at));
        int id_at = at.X + 20, text_at = at.X + static_cast<int>(sender.size());
        WORD expected[][2] = {{static_cast<WORD>(at.X), 9},
                              {static_cast<WORD>(id_at), 10},
                              {static_cast<WORD>(text_at - 1), 7},
                              {static_cast<WORD>(text_at), 15}};
        for (const auto& cell : expected)
            EXPECT_EQ(cell[1], console_attribute(at.Y, cell[0])) << "row " << at.Y << " column " << cell[0];
    }
    stop();

    expect_every_message_once_in_order(shown, pids, "console", messages);
    expect_every_message_once_in_order(read_file(join_path(folder, L"quilletdbg.log")), pids, "log", messages);
    // All of them were painted before Ctrl+C: the handler says so above its termination line.
    COORD at = {};
    ASSERT_TRUE(console_find(L"User request termination.", at));
    EXPECT_EQ(L"Queued messages not shown on the console: 0", console_row(at.Y - 1));
}
