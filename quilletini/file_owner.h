// Who owns a file that could not be opened.
#pragma once

// Looks up the owner account of path; prints "\nSUCCESS\n" when every step worked, nothing
// otherwise.
void report_file_owner(const wchar_t* path);
