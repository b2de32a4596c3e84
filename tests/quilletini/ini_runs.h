// Running the real quilletini and the texts its output is checked against.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "system_text.h"

// The banner and the blank line under it, as they reach redirected output.
extern const std::string BANNER;

std::wstring ini_exe();

RunResult run_ini(const std::vector<std::wstring>& args, const std::wstring& working_dir = L"");

// On the test's console (console_fresh first); the screen is read back afterwards.
RunResult run_ini_on_console(const std::vector<std::wstring>& args, const std::wstring& working_dir = L"");

// With standard output going into a new file at out_path; returns the file's bytes.
std::string run_ini_into_file(const std::vector<std::wstring>& args, const std::wstring& out_path, DWORD& exit_code);

// The failure notice quilletini prints for code, for the account that runs the tests.
std::string failure_notice(DWORD code);

// Where text first appears on the console and the attribute of its first character; 0 when absent.
WORD attribute_of(const std::wstring& text, int offset = 0);
