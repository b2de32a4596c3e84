// "-logsize" and "-logkeep": the log and the JSON file start afresh before they grow past the
// size, and only the newest few old files stay.
#pragma once

#include <windows.h>

#include <string>

// One rotated file's state: its failure notice is shown once until a rotation succeeds.
struct RotationState {
    bool notice_shown;
};

// path with ".N" before the extension of its file name: "a\quilletdbg.log" -> "a\quilletdbg.2.log".
std::wstring numbered_path(const std::wstring& path, DWORD number);

// Whether a file of size bytes, to which next bytes are about to be added, must start afresh
// first under a limit of limit_mb mebibytes (0: no limit). An empty file never does: a
// message larger than the limit gets a file of its own rather than being split.
bool rotation_due(ULONGLONG size, ULONGLONG next, DWORD limit_mb);

// Renames path to its ".1" name after moving the older ones up by one; the one beyond keep is
// deleted. The caller has closed path. All or nothing: false, with the system's error code,
// when a rename fails (path is open elsewhere, an old file is held); nothing has then moved.
bool rotate_file(const std::wstring& path, DWORD keep, DWORD& error);

// The notice for a rotation that failed, once per state until one succeeds.
void print_rotation_failure(const std::wstring& path, DWORD code, RotationState& state);

// With "-logsize": hooks the rotation into the log's message writes, so that a new log starts
// first when the bytes (as written to the text-mode log, each "\n" taking two) would take it
// past the size.
void install_log_rotation();
