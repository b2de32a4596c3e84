// End-to-end: "-time" stamps and the filters "-include", "-exclude" and "-pid".
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "console_harness.h"
#include "monitor_fixture.h"
#include "test_files.h"
#include "traffic_names.h"

namespace {

const std::string STAMP = "(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) ";

std::string literal(const std::string& text)
{
    return std::regex_replace(text, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&");
}

class MonitorFilter : public MonitorCopyTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        copy_monitor(L"filter");
    }

    // A sender that stays alive (its name must be found), once it has handed over its words.
    void send_held(Spawned& holder, const std::wstring& sender, const std::vector<std::wstring>& words)
    {
        HANDLE sent = CreateEventW(nullptr, FALSE, FALSE, TRAFFIC_SENT_EVENT);
        std::vector<std::wstring> args = {L"hold"};
        args.insert(args.end(), words.begin(), words.end());
        ASSERT_TRUE(spawn_program(holder, sender, args));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sent, 20000));
        CloseHandle(sent);
    }

    std::wstring log_path() const
    {
        return join_path(folder, L"quilletdbg.log");
    }
};

} // namespace

TEST_F(MonitorFilter, TimeStampsOnePerLineThatAMessageBeginsInOutputAndLog)
{
    start({L"-l", L"-ts"}, program);
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"one\n", L"two", L"three\n", L"four\nfive\n"}));
    std::string sender = "traffic_sender.exe::" + std::to_string(holder.process.dwProcessId) + "::";
    EXPECT_TRUE(wait_for_output(monitor, sender + "four\r\nfive\r\n"));
    finish_holder(holder);
    RunResult run = stop();
    std::string lines = "\\.\\r\\n" + STAMP + literal(sender + "one\r\n") + STAMP + literal(sender + "two" + sender) +
                        "three\\r\\n" + STAMP + literal(sender + "four\r\nfive\r\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(run.out, match, std::regex(lines))) << run.out;
    EXPECT_LE(match[1].str(), match[2].str());
    EXPECT_LE(match[2].str(), match[3].str());
    EXPECT_NE(std::string::npos, read_file(log_path()).find(match[0].str().substr(1)));
}

TEST_F(MonitorFilter, OnlyMatchingMessagesReachOutputAndLog)
{
    std::wstring alpha = copy_program(traffic_exe(), folder, L"alpha_sender.exe");
    std::wstring beta = copy_program(traffic_exe(), folder, L"beta_sender.exe");
    std::wstring own = std::to_wstring(GetCurrentProcessId());
    const std::vector<std::string> texts = {"apple one", "Cherry pie", "banana two", "cherry -log", "own message"};
    struct Case {
        std::vector<std::wstring> words;
        std::vector<std::string> shown;
        bool log;
    } cases[] = {
        {{L"-include", L"ALPHA_sender", L"-l"}, {"apple one", "Cherry pie"}, true},
        {{L"-in", L"cherry", L"-l"}, {"Cherry pie", "cherry -log"}, true},
        {{L"-pid", own, L"-l"}, {"own message"}, true},
        {{L"-in", L"cherry", L"-EX", L"PIE", L"-l"}, {"cherry -log"}, true},
        {{L"-in", L"apple", L"-IN", L"banana", L"-exclude", L"two", L"-ex", L"nothing", L"-l"}, {"apple one"}, true},
        {{L"-ex", L"alpha", L"-pid", L"4", L"-pid", own, L"-l"}, {"own message"}, true},
        {{L"-include", L"-log"}, {"cherry -log"}, false}, // a value, not the option
    };
    for (const Case& each : cases) {
        DeleteFileW(log_path().c_str());
        const std::vector<std::wstring>& words = each.words;
        start(words, program);
        Spawned holders[2];
        send_held(holders[0], alpha, {L"apple one\n", L"Cherry pie\n"});
        send_held(holders[1], beta, {L"banana two\n", L"cherry -log\n"});
        bool only_own = each.shown[0] == "own message";
        if (only_own)
            Sleep(2500); // the dots must go on meanwhile: nothing has been shown yet
        OutputDebugStringW(L"own message\n");
        EXPECT_TRUE(wait_for_output(monitor, "::" + each.shown.back() + "\r\n"));
        RunResult run = stop();
        for (Spawned& holder : holders)
            finish_holder(holder);
        std::string log = file_exists(log_path()) ? read_file(log_path()) : "<no log>";
        EXPECT_EQ(each.log, log != "<no log>");
        for (const std::string& text : texts) {
            size_t expected = std::count(each.shown.begin(), each.shown.end(), text);
            EXPECT_EQ(expected, count_of(run.out, "::" + text + "\r\n")) << narrow(words[1]) << ": " << text;
            if (log != "<no log>") {
                EXPECT_EQ(expected, count_of(log, "::" + text + "\r\n")) << narrow(words[1]) << ": " << text;
            }
        }
        // The dots end with the first message shown; a dropped one leaves no line end.
        std::regex first("Events\\.\\.\\.\\r\\n\\r\\n\\.+\\r\\n[^\\r\\n:]+::\\d+::" + literal(each.shown[0]) +
                         "\\r\\n");
        std::smatch dots;
        EXPECT_TRUE(std::regex_search(run.out, dots, first)) << run.out;
        if (only_own) {
            EXPECT_LE(3u, count_of(dots[0].str(), ".") - 3) << run.out;
        }
    }
}

TEST_F(MonitorFilter, LackingValueEnds87AfterBannerAndOneRedLineWithoutLogOrMutex)
{
    RunResult help = run_program(program, {L"-ex", L"-help", L"-pid", L"-help", L"/?"});
    size_t usage = help.out.find("\r\nUsage:\r\n");
    ASSERT_NE(std::string::npos, usage) << "\"-help\" must win: " << help.out;
    std::string banner = help.out.substr(0, usage);
    start(); // holds the mutex: a start that went on to take it would end with 170
    struct {
        std::vector<std::wstring> words;
        std::string line;
    } cases[] = {
        {{L"-l", L"-include"}, "The option \"-include\" needs a text after it."},
        {{L"-EX"}, "The option \"-EX\" needs a text after it."},
        {{L"-pid", L"12x", L"-l"}, "The option \"-pid\" needs a process ID (a decimal number) after it."},
        {{L"-in", L"a", L"-pid", L"4294967296"}, "The option \"-pid\" needs a process ID (a decimal number) after it."},
    };
    for (const auto& each : cases) {
        RunResult run = run_program(program, each.words);
        EXPECT_FALSE(run.timed_out) << "it waited for a key";
        EXPECT_EQ(87u, run.exit_code);
        EXPECT_EQ(banner + "\r\n" + each.line + "\r\n", run.out);
    }
    EXPECT_FALSE(file_exists(log_path()));
    RunOptions on_console;
    on_console.share_console = true;
    EXPECT_EQ(87u, run_program(program, {L"-in"}, on_console).exit_code);
    COORD at = {};
    ASSERT_TRUE(console_find(L"The option \"-in\" needs a text after it.", at));
    EXPECT_EQ(12, console_attribute(at.Y, at.X));
    stop();
}
