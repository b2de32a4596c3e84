// The fixture of the end-to-end monitor tests: a fresh console for each test (the monitor
// shares it or, with piped output, still belongs to it so that Ctrl+C reaches it), and no
// monitor left running afterwards.
#pragma once

#include <gtest/gtest.h>

#include "console_harness.h"
#include "monitor_harness.h"
#include "test_files.h"

class MonitorTest : public ::testing::Test {
  protected:
    MonitorRun monitor;

    void SetUp() override
    {
        ASSERT_TRUE(console_fresh());
    }

    void TearDown() override
    {
        if (monitor.running) {
            TerminateProcess(monitor.child.process.hProcess, 255);
            finish_program(monitor.child, 5000);
            monitor.running = false;
        }
    }

    // The monitor with piped output, from the build or from a copy.
    void start(const std::vector<std::wstring>& args = {}, const std::wstring& program = L"")
    {
        ASSERT_TRUE(start_monitor(monitor, program.empty() ? monitor_exe() : program, args))
            << "the monitor did not take the channel";
    }

    void start_on_console(const std::vector<std::wstring>& args = {}, const std::wstring& program = L"")
    {
        ASSERT_TRUE(start_monitor(monitor, program.empty() ? monitor_exe() : program, args, true))
            << "the monitor did not take the channel";
    }

    // Ends it with Ctrl+C; it must end by itself with 0 and say so.
    RunResult stop()
    {
        RunResult result = stop_monitor(monitor);
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(0u, result.exit_code);
        return result;
    }
};

// The monitor run from a copy in a folder of its own, where its log lands.
class MonitorCopyTest : public MonitorTest {
  protected:
    std::wstring folder;
    std::wstring program;

    void copy_monitor(const std::wstring& tag)
    {
        folder = make_temp_dir(tag);
        program = copy_program(monitor_exe(), folder);
    }
};
