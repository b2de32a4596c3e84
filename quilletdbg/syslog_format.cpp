#include "syslog_format.h"

#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace {

// RFC 5424, section 6: the longest HOSTNAME, APP-NAME and PROCID.
const size_t HOST_CHARS = 255;
const size_t APP_CHARS = 48;
const size_t PROCID_CHARS = 128;
// Facility user (1), severity debug (7): 1 * 8 + 7.
const char SYSLOG_START[] = "<15>1 ";
const char UTF8_BOM[] = "\xEF\xBB\xBF";

std::wstring look_up_host_name()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 256] = {};
    DWORD size = sizeof(name) / sizeof(name[0]);
    if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) && name[0] != L'\0')
        return name;
    size = sizeof(name) / sizeof(name[0]);
    if (GetComputerNameW(name, &size))
        return name;
    return L"";
}

} // namespace

int format_rfc3339(const SYSTEMTIME& local, int utc_offset, char* out)
{
    int minutes = utc_offset;
    char sign = minutes < 0 ? '-' : '+';
    minutes = abs(minutes);
    return _snprintf(out, RFC3339_BYTES, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02d:%02d", local.wYear, local.wMonth,
                     local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds, sign, minutes / 60,
                     minutes % 60);
}

const std::wstring& computer_host_name()
{
    // Never destroyed: a forwarder may still format a message while the process ends.
    static const std::wstring* name = new std::wstring(look_up_host_name());
    return *name;
}

std::string utf8_of(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string message_text_utf8(const std::string& text, UINT code_page)
{
    size_t length = text.size();
    if (length > 0 && text[length - 1] == '\n')
        --length;
    if (length > 0 && text[length - 1] == '\r' && length + 1 == text.size())
        --length;
    if (length == 0)
        return std::string();
    // Checked whole already: the bytes are the UTF-8 wanted.
    if (code_page == CP_UTF8)
        return text.substr(0, length);
    int count = static_cast<int>(length);
    std::wstring wide(length, L'\0');
    int chars = MultiByteToWideChar(code_page, 0, text.data(), count, &wide[0], count);
    wide.resize(static_cast<size_t>(chars > 0 ? chars : 0));
    return utf8_of(wide);
}

std::string syslog_header_field(const std::wstring& value, size_t max_chars)
{
    std::string field;
    for (size_t i = 0; i < value.size() && field.size() < max_chars; ++i) {
        wchar_t c = value[i];
        field += c >= 33 && c <= 126 ? static_cast<char>(c) : '_';
    }
    return field.empty() ? "-" : field;
}

std::string format_syslog_message(const ForwardMessage& message)
{
    char time[RFC3339_BYTES];
    format_rfc3339(message.arrival, message.utc_offset, time);
    std::wstring app = message.name == L"N/A" ? std::wstring() : message.name;
    std::string out = SYSLOG_START;
    out += time;
    out += ' ';
    out += syslog_header_field(computer_host_name(), HOST_CHARS);
    out += ' ';
    out += syslog_header_field(app, APP_CHARS);
    out += ' ';
    out += syslog_header_field(std::to_wstring(message.process_id), PROCID_CHARS);
    out += " - - ";
    out += UTF8_BOM;
    out += message_text_utf8(message.text, message.code_page);
    return out;
}

size_t utf8_cut(const std::string& bytes, size_t max_bytes)
{
    if (bytes.size() <= max_bytes)
        return bytes.size();
    size_t cut = max_bytes;
    // bytes[cut] is the first one left out: it must begin a character.
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}
