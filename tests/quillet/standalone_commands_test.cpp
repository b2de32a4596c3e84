#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "console_harness.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class StandaloneCommand : public ::testing::Test {
  protected:
    std::wstring exe;

    void SetUp() override
    {
        exe = quillet_with_settings(L"standalone", "");
    }

    std::string translated(const std::wstring& word, DWORD code)
    {
        return "\r\nTranslating Error Code: " + narrow(word) + "\r\nError Code Translation: " + system_text(code);
    }
};

struct DialogSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_about_dialog(HWND window, LPARAM context)
{
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t class_name[64] = {};
    GetClassNameW(window, class_name, 64);
    // Visible only once its initialisation has set the texts.
    if (owner == search.pid && wcscmp(class_name, L"#32770") == 0 && IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND wait_for_dialog(DWORD pid, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    DialogSearch search = {pid, nullptr};
    while (search.found == nullptr && GetTickCount() - start < timeout_ms) {
        EnumWindows(find_about_dialog, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr)
            Sleep(100);
    }
    return search.found;
}

BOOL CALLBACK collect_text(HWND window, LPARAM context)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    *reinterpret_cast<std::wstring*>(context) += std::wstring(text) + L"\n";
    return TRUE;
}

} // namespace

TEST_F(StandaloneCommand, ErrorCodeIsTranslated)
{
    RunResult run = run_quillet(exe, {L"-e", L"10061"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out, translated(L"10061", 10061))) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Revu Zezo Rudurur Ozav"));
}

TEST_F(StandaloneCommand, WordWithoutDigitsTranslatesCodeZero)
{
    RunResult run = run_quillet(exe, {L"-ERROR", L"abc"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out, translated(L"abc", 0))) << run.out;
}

TEST_F(StandaloneCommand, NegativeCodeStandsForTheSame32Bits)
{
    RunResult run = run_quillet(exe, {L"-e", L"-2146893807"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out, translated(L"-2146893807", 0x80090011))) << run.out;
}

TEST_F(StandaloneCommand, ErrorWithoutCodeExitsWith87)
{
    RunResult run = run_quillet(exe, {L"-e"});
    EXPECT_EQ(87u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out, "\r\nCould not translate Error Code. Reason: " + system_text(87))) << run.out;
}

TEST_F(StandaloneCommand, RunReturnsTheStartedProcessIdentifier)
{
    std::wstring folder = make_temp_dir(L"run-pid");
    std::wstring pid_file = join_path(folder, L"pid.txt");
    std::wstring command = quote_argument(windows_path(STANDALONE_PID_HELPER)) + L" " + quote_argument(pid_file);
    RunResult run = run_quillet(exe, {L"-run", command, L"ignored-word"});
    std::string recorded = wait_for_file(pid_file, 20000);
    ASSERT_FALSE(recorded.empty()) << run.out;
    EXPECT_EQ(recorded, std::to_string(run.exit_code));
    EXPECT_TRUE(ends_with(run.out, "\r\nExecuting: " + narrow(command) +
                                       "\r\n\r\nExecution was successfully! Process ID: " + recorded + "\r\n\r\n"))
        << run.out;
}

TEST_F(StandaloneCommand, RunOfAMissingProgramExitsWithItsCode)
{
    std::wstring missing = join_path(make_temp_dir(L"run-missing"), L"missing.exe");
    RunResult run = run_quillet(exe, {L"-r", missing});
    EXPECT_EQ(2u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out, "\r\nExecution failed! Return Code: 2\r\n\r\nDetail: " + system_text(2))) << run.out;
}

TEST_F(StandaloneCommand, RunWithoutPathExitsWith87)
{
    RunResult run = run_quillet(exe, {L"-r"});
    EXPECT_EQ(87u, run.exit_code);
    EXPECT_TRUE(ends_with(run.out,
                          "\r\nPath to Executable File missing!\r\nCould not Execute file. Reason: " + system_text(87)))
        << run.out;
}

TEST_F(StandaloneCommand, UserContextIsANoticeWithCodeZero)
{
    RunResult run = run_quillet(exe, {L"-user"});
    EXPECT_TRUE(ends_with(run.out, "\r\n" + expected_notice("USER_INFO_REQUEST", 0, "0"))) << run.out;
}

TEST_F(StandaloneCommand, ColoursOfCodeAndProcessIdentifier)
{
    ASSERT_TRUE(console_fresh());
    RunOptions shared;
    shared.share_console = true;
    RunResult error = run_program(exe, {L"-e", L"10061"}, shared);
    COORD code_at;
    ASSERT_TRUE(console_find(L"Translating Error Code: 10061", code_at));
    EXPECT_EQ(FOREGROUND_RED | FOREGROUND_INTENSITY,
              console_attribute(code_at.Y, code_at.X + static_cast<int>(wcslen(L"Translating Error Code: "))));
    EXPECT_EQ(0u, error.exit_code);

    console_clear();
    std::wstring pid_file = join_path(make_temp_dir(L"run-colour"), L"pid.txt");
    std::wstring command = quote_argument(windows_path(STANDALONE_PID_HELPER)) + L" " + quote_argument(pid_file);
    RunResult run = run_program(exe, {L"-r", command}, shared);
    ASSERT_FALSE(wait_for_file(pid_file, 20000).empty());
    std::wstring label = L"Execution was successfully! Process ID: ";
    COORD pid_at;
    ASSERT_TRUE(console_find(label + std::to_wstring(run.exit_code), pid_at)) << narrow(console_text());
    EXPECT_EQ(FOREGROUND_GREEN | FOREGROUND_INTENSITY,
              console_attribute(pid_at.Y, pid_at.X + static_cast<int>(label.size())));
}

TEST_F(StandaloneCommand, AboutBoxShowsAfterTheUsageAndTheToolEndsWhenItCloses)
{
    ASSERT_TRUE(console_fresh());
    RunOptions shared;
    shared.share_console = true;
    Spawned child;
    ASSERT_TRUE(spawn_program(child, exe, {L"-info"}, shared));
    HWND dialog = wait_for_dialog(child.process.dwProcessId, 30000);
    std::wstring texts;
    if (dialog != nullptr) {
        EnumChildWindows(dialog, collect_text, reinterpret_cast<LPARAM>(&texts));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    RunResult run = finish_program(child, 30000);
    ASSERT_NE(nullptr, dialog) << "no about box appeared";
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(std::wstring::npos, texts.find(L"quillet.exe - Shows compiled Version Information.")) << narrow(texts);
    EXPECT_NE(std::wstring::npos, texts.find(L"Usage: quillet.exe <full_path_to_file> [-MD5|-SHA1]"));

    std::string screen = narrow(console_text());
    EXPECT_EQ(1u, count_of(screen, "Revu Zezo Rudurur Ozav")) << screen;
    EXPECT_NE(std::string::npos, screen.find("quillet -m app1.exe app2.exe lib1.dll > MyAppsBinaryinfo.txt"));
}
