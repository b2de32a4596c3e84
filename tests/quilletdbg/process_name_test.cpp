#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "process_name.h"
#include "process_runner.h"
#include "test_files.h"
#include "text_helpers.h"

TEST(ProcessName, RunningProcessGivesItsBareExecutableName)
{
    wchar_t name[TEXT_CHARS];
    wmemset(name, L'#', TEXT_CHARS);
    lookup_process_name(GetCurrentProcessId(), name);
    EXPECT_STREQ(L"quilletdbg_unit_tests.exe", name);
}

TEST(ProcessName, EndedOrUnknownProcessGivesNA)
{
    wchar_t system_folder[MAX_PATH] = {};
    GetSystemDirectoryW(system_folder, MAX_PATH);
    RunResult ended = run_program(std::wstring(system_folder) + L"\\cmd.exe", {L"/c", L"exit 3"});
    ASSERT_EQ(3u, ended.exit_code);
    wchar_t name[TEXT_CHARS] = {};
    lookup_process_name(ended.pid, name);
    EXPECT_STREQ(L"N/A", name);
    lookup_process_name(0xFFFFFFF0u, name);
    EXPECT_STREQ(L"N/A", name);
}
