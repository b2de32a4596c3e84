#include "log_rotation.h"

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <utility>
#include <vector>

#include "display_queue.h"
#include "forward_options.h"
#include "monitor_log.h"
#include "monitor_output.h"

namespace {

const ULONGLONG MEBIBYTE = 1024 * 1024;

RotationState log_rotation = {false};

// Another process holding the file without delete sharing keeps it from being renamed; asked
// before the older files are moved, so that a failure leaves them as they were.
DWORD rename_blocked(const std::wstring& path)
{
    HANDLE probe = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(probe);
    return ERROR_SUCCESS;
}

ULONGLONG text_mode_bytes(const char* bytes, size_t length)
{
    ULONGLONG total = length;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] == '\n')
            ++total;
    }
    return total;
}

ULONGLONG log_size(FILE* log)
{
    LARGE_INTEGER size = {};
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(log)));
    fflush(log);
    return GetFileSizeEx(handle, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Renames;

// A file that is not there has nothing to move.
bool move_file(const std::wstring& from, const std::wstring& to, Renames& done)
{
    if (MoveFileExW(from.c_str(), to.c_str(), 0)) {
        done.push_back(std::make_pair(from, to));
        return true;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void undo(const Renames& done)
{
    for (size_t i = done.size(); i > 0; --i)
        MoveFileExW(done[i - 1].second.c_str(), done[i - 1].first.c_str(), 0);
}

void print_rotation_notice(const wchar_t* path, DWORD code)
{
    qldbg_wprintf(L"\nCould not start a new \"%ls\"; it grows on.\n", path);
    print_failure_reason(code);
}

void rotate_log_before(const char* bytes, size_t length)
{
    FILE* log = monitor_log;
    if (log == nullptr || forward_options.log_size_mb == 0)
        return;
    if (!rotation_due(log_size(log), text_mode_bytes(bytes, length), forward_options.log_size_mb))
        return;
    close_monitor_log();
    DWORD error = ERROR_SUCCESS;
    bool rotated = rotate_file(monitor_log_path, forward_options.log_keep, error);
    // A log that could not be renamed goes on where it was; the next message tries again.
    reopen_monitor_log(rotated);
    if (rotated)
        log_rotation.notice_shown = false;
    else
        print_rotation_failure(monitor_log_path, error, log_rotation);
}

} // namespace

std::wstring numbered_path(const std::wstring& path, DWORD number)
{
    size_t name = path.find_last_of(L"\\/");
    name = name == std::wstring::npos ? 0 : name + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < name)
        dot = path.size();
    return path.substr(0, dot) + L"." + std::to_wstring(number) + path.substr(dot);
}

bool rotation_due(ULONGLONG size, ULONGLONG next, DWORD limit_mb)
{
    return limit_mb != 0 && size > 0 && size + next > limit_mb * MEBIBYTE;
}

bool rotate_file(const std::wstring& path, DWORD keep, DWORD& error)
{
    error = rename_blocked(path);
    if (error != ERROR_SUCCESS)
        return false;
    // The current file first, to a name of its own: the rename most likely to fail (another
    // program holds the file) then leaves everything as it was. The oldest goes last of all.
    std::wstring parked = path + L".rotating";
    // Left by a run that ended halfway; in the way of the renames.
    DeleteFileW(parked.c_str());
    DeleteFileW(numbered_path(path, keep + 1).c_str());
    Renames done;
    bool moved = move_file(path, parked, done) && !done.empty();
    for (DWORD number = keep; moved && number >= 1; --number)
        moved = move_file(numbered_path(path, number), numbered_path(path, number + 1), done);
    moved = moved && move_file(parked, numbered_path(path, 1), done);
    if (!moved) {
        error = GetLastError();
        error = error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
        undo(done);
        return false;
    }
    DeleteFileW(numbered_path(path, keep + 1).c_str());
    return true;
}

void print_rotation_failure(const std::wstring& path, DWORD code, RotationState& state)
{
    if (state.notice_shown)
        return;
    state.notice_shown = true;
    raise_notice(print_rotation_notice, path.c_str(), code);
}

void install_log_rotation()
{
    if (forward_options.log_size_mb != 0)
        before_log_write = rotate_log_before;
}
