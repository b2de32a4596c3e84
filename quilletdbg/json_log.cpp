#include "json_log.h"

#include <windows.h>

#include <stdio.h>

#include "display_queue.h"
#include "forward_options.h"
#include "log_rotation.h"
#include "monitor_log.h"
#include "monitor_output.h"
#include "text_helpers.h"

namespace {

HANDLE json_file = INVALID_HANDLE_VALUE;
std::wstring json_path;
RotationState json_rotation = {false};
// Lines that did not get into the file; the notice is shown once for a row of failures.
unsigned long json_losses = 0;
bool write_notice_shown = false;

HANDLE open_for_appending(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ULONGLONG json_size()
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(json_file, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

void rotate_json_before(size_t next)
{
    if (forward_options.log_size_mb == 0 || !rotation_due(json_size(), next, forward_options.log_size_mb))
        return;
    CloseHandle(json_file);
    DWORD error = ERROR_SUCCESS;
    bool rotated = rotate_file(json_path, forward_options.log_keep, error);
    json_file = open_for_appending(json_path);
    if (json_file == INVALID_HANDLE_VALUE)
        raise_notice(print_open_failure, json_path.c_str(), GetLastError());
    if (rotated)
        json_rotation.notice_shown = false;
    else
        print_rotation_failure(json_path, error, json_rotation);
}

void print_write_failure(const wchar_t* path, DWORD code)
{
    qldbg_wprintf(L"\nCould not write to \"%ls\"; messages are lost until a write works again.\n", path);
    print_failure_reason(code);
}

void note_write(bool written, DWORD error)
{
    if (written) {
        write_notice_shown = false;
        return;
    }
    ++json_losses;
    if (!write_notice_shown)
        raise_notice(print_write_failure, json_path.c_str(), error);
    write_notice_shown = true;
}

void append_field(std::string& line, const char* name, const std::string& value)
{
    line += "\"";
    line += name;
    line += "\":\"";
    line += json_escaped(value);
    line += "\"";
}

} // namespace

std::string json_escaped(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size() + 8);
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F in UTF-8.
        unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        bool c1 = c == 0xC2 && next >= 0x80 && next <= 0x9F;
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F || c1) {
            _snprintf(escape, sizeof(escape), "\\u%04x", c1 ? next : c);
            out.append(escape, 6);
            i += c1 ? 1 : 0;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string format_json_line(const ForwardMessage& message)
{
    char time[RFC3339_BYTES];
    format_rfc3339(message.arrival, message.utc_offset, time);
    std::string line = "{";
    append_field(line, "time", time);
    line += ",";
    append_field(line, "host", utf8_of(computer_host_name()));
    line += ",\"pid\":" + std::to_string(message.process_id) + ",";
    append_field(line, "process", utf8_of(message.name));
    line += ",";
    append_field(line, "text", message_text_utf8(message.text, message.code_page));
    line += "}\n";
    return line;
}

void open_json_log(const std::wstring& path)
{
    wchar_t full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    json_path = length > 0 && length < MAX_PATH ? full : path;
    json_file = open_for_appending(json_path);
    if (json_file == INVALID_HANDLE_VALUE)
        print_open_failure(json_path.c_str(), GetLastError());
}

bool json_log_open()
{
    return json_file != INVALID_HANDLE_VALUE;
}

void write_json_message(const ForwardMessage& message)
{
    if (json_file == INVALID_HANDLE_VALUE)
        return;
    std::string line = format_json_line(message);
    rotate_json_before(line.size());
    if (json_file == INVALID_HANDLE_VALUE) {
        ++json_losses; // the new file did not open: that has its notice
        return;
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFile(json_file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        error = GetLastError();
    else if (written != line.size())
        error = ERROR_DISK_FULL; // a short write is a full disk
    note_write(error == ERROR_SUCCESS, error);
}

void print_json_losses()
{
    if (json_losses > 0)
        qldbg_wprintf(L"\n%lu messages were not written to %ls", json_losses, json_path.c_str());
}
