// Files, folders and paths for the tests.
#pragma once

#include <string>

// A path as the build gives it (a Unix path under Wine) as a Windows path.
std::wstring windows_path(const char* build_path);

// A new empty folder under the temporary folder, named after tag.
std::wstring make_temp_dir(const std::wstring& tag);

// A new folder whose path is exactly chars characters long (at least the temporary folder's
// length plus a few), under the temporary folder.
std::wstring folder_of_length(const std::wstring& tag, size_t chars);

// folder + "\" + name
std::wstring join_path(const std::wstring& folder, const std::wstring& name);

void write_file(const std::wstring& path, const std::string& bytes);
std::string read_file(const std::wstring& path);
bool file_exists(const std::wstring& path);

// Copies the program into folder (under its own file name, or under name) and returns the copy's path.
std::wstring copy_program(const std::wstring& program, const std::wstring& folder, const std::wstring& name = L"");

// UTF-16 to UTF-8 and back, for assertions on output.
std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

// Number of times needle occurs in haystack.
size_t count_of(const std::string& haystack, const std::string& needle);
