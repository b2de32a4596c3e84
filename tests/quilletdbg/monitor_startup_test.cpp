// End-to-end: options, banner, log file, single instance and the start-up failures.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "channel_reader.h"
#include "console_harness.h"
#include "monitor_fixture.h"
#include "test_files.h"
#include "user_context.h"

namespace {

const std::string BANNER = "quilletdbg - The \"quillet.exe\" Debug Output Monitor\r\n"
                           "Version: 1, 0, 0, 1 | Build: (UNICODE)\r\n"
                           "Copyright (c) 2026 The quillet developers. Free to use and to pass on.\r\n"
                           "Contact: quillet@example.org | https://quillet.example.org\r\n";
const std::string USAGE = "\r\nUsage:\r\n"
                          "\r\n\t -help|/? - Prints this Information."
                          "\r\n\t -top|-t - Start Console as Topmost Window."
                          "\r\n\t -cls|-c - Clean Console Screen Buffer."
                          "\r\n\t -log|-l - Output Information to \"quilletdbg.log\"."
                          "\r\n\t -usr|-u - Print User Context Information.\r\n"
                          "\r\n";
// The options added since, after the usage text: a heading, then each line that
// package/USAGE.txt lists under it (the text's own style: the line end first).
std::string added_options()
{
    std::string usage_txt = read_file(windows_path(USAGE_TXT)) + "\n";
    size_t start = usage_txt.find("More Options:\n\n");
    if (start == std::string::npos)
        return "(no block in USAGE.txt)";
    std::string shown = "More Options:\r\n";
    for (size_t at = start + 15, end; (end = usage_txt.find('\n', at)) > at; at = end + 1)
        shown += "\r\n" + usage_txt.substr(at, end - at);
    return shown + "\r\n\r\n";
}

const std::string WAITING = "\r\nWaiting for Systemwide Debugging Events...\r\n\r\n";
const wchar_t TITLE[] = L"quilletdbg - quillet Debugger Console (c) 2026 The quillet developers";
const char SEPARATOR_PATTERN[] = "-----------------\\d\\d\\.\\d\\d\\.\\d{4} :: \\d\\d:\\d\\d-----------------\\r\\n";

std::wstring console_title()
{
    wchar_t title[1024] = {};
    GetConsoleTitleW(title, 1024);
    return title;
}

bool is_topmost(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

class MonitorStartup : public MonitorTest {
  protected:
    // Starts a monitor on the console that fails its start-up, answers the key prompt
    // through the console and collects it.
    RunResult run_failing(const std::vector<std::wstring>& args = {})
    {
        Spawned second;
        RunOptions options;
        options.share_console = true;
        EXPECT_TRUE(spawn_program(second, monitor_exe(), args, options));
        EXPECT_TRUE(wait_for_console(L"Press any key to ontinue..."));
        Sleep(300);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(second.process.hProcess, 0))
            << "it ended without waiting for the key";
        console_type(L"k");
        return finish_program(second, 15000);
    }
};

} // namespace

TEST_F(MonitorStartup, HelpPrintsBannerAndUsageOnlyInAnySpelling)
{
    std::wstring folder = make_temp_dir(L"help");
    std::wstring program = copy_program(monitor_exe(), folder);
    for (const wchar_t* word : {L"-help", L"/?", L"-HELP"}) {
        RunResult run = run_program(program, {L"-log", word, L"-usr"});
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(BANNER + USAGE + added_options(), run.out) << narrow(word);
    }
    EXPECT_FALSE(file_exists(join_path(folder, L"quilletdbg.log")));
}

TEST_F(MonitorStartup, BannerAloneWithoutOptions)
{
    start();
    // The first dot comes from a thread the loop starts after the channel is taken.
    EXPECT_TRUE(wait_for_output(monitor, BANNER + WAITING + "."));
    RunResult run = stop();
    EXPECT_EQ(0u, run.out.find(BANNER + WAITING + "."));
}

TEST_F(MonitorStartup, UsrPrintsTheUserContextUnderTheBanner)
{
    load_user_context();
    start({L"-U"});
    RunResult run = stop();
    std::string context = "\r\nUser Context: " + narrow(user_context.domain_name) + "\\" +
                          narrow(user_context.user_name) + "\r\nUser SID: " + narrow(user_context.sid_text) + "\r\n";
    EXPECT_EQ(0u, run.out.find(BANNER + context + WAITING)) << run.out;
}

TEST_F(MonitorStartup, SecondInstanceExits170AfterTheNoticeAndTheFirstRunsOn)
{
    start();
    RunResult second = run_failing();
    EXPECT_FALSE(second.timed_out);
    EXPECT_EQ(170u, second.exit_code);
    std::wstring screen = console_text();
    std::string expected =
        "The quilletdbg.exe intialization has failed. Reason: 170\nReason Detail: " + system_text_on_console(170) +
        "Error Detail: CreateMutex::MUTEX_ALREADY_EXISTS_ON_ANOTHER_INSTANCE\n"
        "\nPress any key to ontinue...";
    EXPECT_NE(std::string::npos, narrow(screen).find(expected)) << narrow(screen);
    EXPECT_NE(std::string::npos, screen.find(L"Waiting for Systemwide Debugging Events..."));
    COORD at = {};
    ASSERT_TRUE(console_find(L"Reason Detail: ", at));
    EXPECT_EQ(12, console_attribute(at.Y, at.X + 15));

    RunResult still = run_program(windows_path(BLURT_EXE), {L"still-there"});
    EXPECT_TRUE(wait_for_output(monitor, "::" + std::to_string(still.pid) + "::still-there\r\n"));
    stop();
}

TEST_F(MonitorStartup, ForeignReaderMakesTheStartFailAtTheSection)
{
    ASSERT_TRUE(channel_open()) << "another reader holds the debugger channel";
    RunResult run = run_failing();
    channel_close();
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(0u, run.exit_code);
    std::string screen = narrow(console_text());
    std::string expected = "The quilletdbg.exe intialization has failed. Reason: " + std::to_string(run.exit_code) +
                           "\nReason Detail: " + system_text_on_console(run.exit_code) +
                           "Error Detail: OpenFileMapping::DBWIN_BUFFER\n";
    EXPECT_NE(std::string::npos, screen.find(expected)) << screen;
}

TEST_F(MonitorStartup, LogHoldsSeparatorBannerDotsAndMessagesOfEveryRun)
{
    std::wstring folder = make_temp_dir(L"monitorlog");
    std::wstring program = copy_program(monitor_exe(), folder);
    std::wstring log_path = join_path(folder, L"quilletdbg.log");
    std::string notice = "\r\nA Logfile will be created in \"" + narrow(log_path) + "\".\r\n";
    std::vector<std::string> messages;
    for (const wchar_t* word : {L"first-run", L"second-run"}) {
        start({L"-l"}, program);
        RunResult sent = run_program(windows_path(BLURT_EXE), {word});
        std::string text = "::" + std::to_string(sent.pid) + "::" + narrow(word) + "\r\n";
        EXPECT_TRUE(wait_for_output(monitor, text));
        RunResult run = stop();
        EXPECT_EQ(0u, run.out.find(BANNER + notice + WAITING + "."));
        EXPECT_NE(std::string::npos, run.out.find("\r\nUser request termination.\r\n"));
        messages.push_back(text);
    }
    std::string log = read_file(log_path);
    std::string run_pattern =
        std::string(SEPARATOR_PATTERN) +
        std::regex_replace(BANNER + notice + WAITING, std::regex("[\\\\^$.|?*+()\\[\\]{}]"), "\\$&") +
        "\\.+\\r\\n(blurt\\.exe|N/A)::\\d+::[a-z-]+\\r\\n";
    EXPECT_TRUE(std::regex_match(log, std::regex(run_pattern + run_pattern))) << log;
    EXPECT_EQ(std::string::npos, log.find("User request termination."));
    for (const std::string& text : messages)
        EXPECT_NE(std::string::npos, log.find(text)) << text;
}

TEST_F(MonitorStartup, UnopenableLogGivesItsNoticeAndTheMonitorRunsOn)
{
    std::wstring folder = make_temp_dir(L"badlog");
    std::wstring program = copy_program(monitor_exe(), folder);
    std::wstring log_path = join_path(folder, L"quilletdbg.log");
    ASSERT_TRUE(CreateDirectoryW(log_path.c_str(), nullptr)); // a folder cannot be opened as the log
    start({L"-log"}, program);
    RunResult sent = run_program(windows_path(BLURT_EXE), {L"without-log"});
    EXPECT_TRUE(wait_for_output(monitor, "::" + std::to_string(sent.pid) + "::without-log\r\n"));
    RunResult run = stop();

    std::smatch match;
    std::string head = "Could not open \"" + narrow(log_path) + "\" for wirting.\r\nReason: ";
    ASSERT_EQ(0u, run.out.find(head)) << run.out;
    DWORD code = static_cast<DWORD>(std::stoul(run.out.substr(head.size())));
    EXPECT_NE(0u, code);
    std::string detail = system_text(code);
    EXPECT_EQ(0u, run.out.find(head + std::to_string(code) + "\r\nError Detail: " + detail + "\r\n" + BANNER + WAITING))
        << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("A Logfile will be created"));
}

TEST_F(MonitorStartup, TopGivesTheTitleItsTailAndCtrlCTakesTheTopmostPlaceBack)
{
    start_on_console({L"-t"});
    EXPECT_EQ(std::wstring(TITLE) + L" [TOPMOST]", console_title());
    HWND window = FindWindowW(nullptr, console_title().c_str());
    ASSERT_NE(nullptr, window) << "the console window is not found by its title";
    EXPECT_TRUE(is_topmost(window));
    stop();
    EXPECT_FALSE(is_topmost(window));
}

TEST_F(MonitorStartup, TitleWithoutTop)
{
    start_on_console();
    EXPECT_EQ(TITLE, console_title());
    stop();
}

TEST_F(MonitorStartup, ClsClearsTheScreenBeforeTheBanner)
{
    DWORD written = 0;
    WriteConsoleW(console_output_handle(), L"left over\r\nfrom before\r\n", 24, &written, nullptr);
    start_on_console({L"-c"});
    stop();
    EXPECT_EQ(std::wstring::npos, console_text().find(L"left over"));
    EXPECT_EQ(L"quilletdbg - The \"quillet.exe\" Debug Output Monitor", console_row(0));
}
