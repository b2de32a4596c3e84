// Starts the real programs as child processes and collects what they print.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RunOptions {
    std::wstring working_dir;       // empty: the test's own
    bool share_console = false;     // true: no redirection, the child writes to our console
    bool new_process_group = false; // so that a console control event can be aimed at the child
    DWORD timeout_ms = 60000;
};

struct RunResult {
    DWORD exit_code = 0;
    bool timed_out = false;
    DWORD pid = 0;
    std::string out;
    std::string err;
};

// A child that runs while the test goes on.
struct Spawned {
    PROCESS_INFORMATION process = {};
    HANDLE out_pipe = nullptr;
    HANDLE err_pipe = nullptr;
    HANDLE out_reader = nullptr;
    HANDLE err_reader = nullptr;
    std::string* out = nullptr;
    std::string* err = nullptr;
};

// One word of a command line, quoted the way CommandLineToArgvW splits it back.
std::wstring quote_argument(const std::wstring& word);
std::wstring build_command_line(const std::wstring& program, const std::vector<std::wstring>& args);

// Starts program with args; false when it could not be started.
bool spawn_program(Spawned& child, const std::wstring& program, const std::vector<std::wstring>& args,
                   const RunOptions& options = RunOptions());

// Waits for the child (killing it after timeout_ms) and collects its output.
RunResult finish_program(Spawned& child, DWORD timeout_ms);

// What the child printed so far (safe to call while it runs).
std::string peek_output(const Spawned& child);

RunResult run_program(const std::wstring& program, const std::vector<std::wstring>& args,
                      const RunOptions& options = RunOptions());
