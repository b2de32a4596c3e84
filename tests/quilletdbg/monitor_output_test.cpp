#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "console_harness.h"
#include "monitor_output.h"
#include "process_runner.h"
#include "stdout_capture.h"
#include "test_files.h"

namespace {

const std::string FAULT_TEXT = "\r\nquilletdbg - INTERNAL_EXCEPTION::qldbg_wprintf\r\n";

std::wstring helper_path()
{
    return windows_path(FAIL_INIT_HELPER);
}

// Starts the helper on the test's console, waits for its key prompt, answers it.
RunResult run_failing_helper(const std::vector<std::wstring>& args, const std::wstring& key)
{
    Spawned child;
    RunOptions options;
    options.share_console = true;
    EXPECT_TRUE(spawn_program(child, helper_path(), args, options));
    COORD at;
    for (int i = 0; i < 500 && !console_find(L"Press any key to ontinue...", at); ++i)
        Sleep(20);
    Sleep(100);
    console_type(key);
    return finish_program(child, 20000);
}

} // namespace

TEST(MonitorOutput, WideAndNarrowTextReachConsoleAndLog)
{
    std::wstring log_path = join_path(make_temp_dir(L"dbglog"), L"quilletdbg.log");
    monitor_log = _wfopen(log_path.c_str(), L"a+");
    ASSERT_NE(nullptr, monitor_log);
    stdout_capture_begin();
    qldbg_wprintf(L"%ls::", L"blurt.exe");
    qldbg_printf("%d", 42);
    qldbg_printf("::%s", "100% %s\n");
    std::string out = stdout_capture_end();
    fclose(monitor_log);
    monitor_log = nullptr;
    EXPECT_EQ("blurt.exe::42::100% %s\r\n", out);
    EXPECT_EQ("blurt.exe::42::100% %s\r\n", read_file(log_path));
}

TEST(MonitorOutput, FaultPrintsTheFallbackAndTheNextCallWorks)
{
    stdout_capture_begin();
    int wide = qldbg_wprintf(L"%ls", reinterpret_cast<const wchar_t*>(4));
    int narrow_result = qldbg_printf("%s", reinterpret_cast<const char*>(4));
    qldbg_wprintf(L"ok\n");
    std::string out = stdout_capture_end();
    EXPECT_EQ(0, wide);
    EXPECT_EQ(0, narrow_result);
    EXPECT_EQ(FAULT_TEXT + FAULT_TEXT + "ok\r\n", out);
}

TEST(FailInitialization, WaitsForAKeyAtTheConsoleAndExitsWithTheCode)
{
    ASSERT_TRUE(console_fresh());
    RunResult run = run_failing_helper({L"170", L"CreateMutex::MUTEX_ALREADY_EXISTS_ON_ANOTHER_INSTANCE"}, L"x");
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(170u, run.exit_code);
    std::wstring screen = console_text();
    EXPECT_NE(std::wstring::npos,
              screen.find(L"The quilletdbg.exe intialization has failed. Reason: 170\nReason Detail: "))
        << narrow(screen);
    EXPECT_NE(std::wstring::npos,
              screen.find(L"Error Detail: CreateMutex::MUTEX_ALREADY_EXISTS_ON_ANOTHER_INSTANCE\n"));
    EXPECT_NE(std::wstring::npos, screen.find(L"Press any key to ontinue..."));
    COORD at;
    ASSERT_TRUE(console_find(L"Reason Detail: ", at));
    EXPECT_EQ(12, console_attribute(at.Y, at.X + 15)); // the system's text in bright red
}

TEST(FailInitialization, EmptyContextPrintsNoErrorDetailAndThePromptStaysOutOfTheLog)
{
    ASSERT_TRUE(console_fresh());
    std::wstring log_path = join_path(make_temp_dir(L"faillog"), L"quilletdbg.log");
    RunResult run = run_failing_helper({L"5", L"", log_path}, L"\r");
    EXPECT_EQ(5u, run.exit_code);
    EXPECT_EQ(std::wstring::npos, console_text().find(L"Error Detail:"));
    std::string log = read_file(log_path);
    EXPECT_EQ(0u, log.find("before\r\nThe quilletdbg.exe intialization has failed. Reason: 5\r\nReason Detail: "));
    EXPECT_EQ(std::string::npos, log.find("Press any key"));
}
