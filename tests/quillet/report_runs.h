// Runs of the real quillet.exe for the report tests: a copy of the program in a folder of its
// own, with or without a quillet.ini beside it.
#pragma once

#include <string>
#include <vector>

#include "process_runner.h"
#include "system_text.h"

struct QuilletCopy {
    std::wstring folder;
    std::wstring exe;
};

// A fresh folder holding quillet.exe and, unless ini is empty, a quillet.ini with that text.
QuilletCopy make_quillet_copy(const std::wstring& tag, const std::string& ini = "");

RunResult run_quillet(const QuilletCopy& copy, const std::vector<std::wstring>& args,
                      const RunOptions& options = RunOptions());

// The banner of a console run with no extra blocks, as redirected output shows it.
std::string plain_banner();

// The heading of print_file_properties for path, without the properties block.
std::string file_heading(const std::wstring& path);

// A file built by the test build, by name.
std::wstring test_data_file(const std::wstring& name);

// The failure notice of print_failure for code and context, as redirected output shows it.
std::string failure_notice(unsigned long code, const std::string& context);

// The output from the first occurrence of marker on (empty when it is missing).
std::string from_marker(const std::string& out, const std::string& marker);
