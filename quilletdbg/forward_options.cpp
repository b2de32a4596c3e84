#include "forward_options.h"

#include <wchar.h>

#include "message_filter.h"
#include "monitor_output.h"
#include "text_color.h"

ForwardOptions forward_options = {{}, L"", 0, DEFAULT_LOG_KEEP, false};

namespace {

const wchar_t DEFAULT_PORT[] = L"514";
const DWORD MAX_PORT = 65535;

bool starts_with(const std::wstring& text, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

// Spaces, slashes and the like never belong to a host name or an address, nor does a
// leading "-" (the value of "-syslog" is never an option).
bool plain_host(const std::wstring& host)
{
    if (host.empty() || host[0] == L'-')
        return false;
    for (wchar_t c : host) {
        if (c <= L' ' || c == L'/' || c == L'\\' || c == L'@' || c == L'[' || c == L']')
            return false;
    }
    return true;
}

bool read_port(const std::wstring& text, std::wstring& port)
{
    DWORD value = 0;
    if (!parse_positive_number(text.c_str(), MAX_PORT, value))
        return false;
    port = std::to_wstring(value);
    return true;
}

// host[:port] or [address][:port]
bool split_host_port(const std::wstring& rest, SyslogDestination& out)
{
    std::wstring port_text;
    bool has_port = false;
    if (!rest.empty() && rest[0] == L'[') {
        size_t close = rest.find(L']');
        if (close == std::wstring::npos)
            return false;
        out.host = rest.substr(1, close - 1);
        std::wstring after = rest.substr(close + 1);
        if (!after.empty() && after[0] != L':')
            return false;
        has_port = !after.empty();
        port_text = has_port ? after.substr(1) : L"";
        if (out.host.find(L':') == std::wstring::npos)
            return false; // brackets are for IPv6 addresses
    } else {
        size_t colon = rest.find(L':');
        if (colon != std::wstring::npos && rest.find(L':', colon + 1) != std::wstring::npos)
            return false; // an IPv6 address needs its brackets
        out.host = rest.substr(0, colon);
        has_port = colon != std::wstring::npos;
        port_text = has_port ? rest.substr(colon + 1) : L"";
    }
    if (!plain_host(out.host))
        return false;
    if (!has_port) {
        out.port = DEFAULT_PORT;
        return true;
    }
    return read_port(port_text, out.port);
}

bool is_word(const wchar_t* word, const wchar_t* option)
{
    return _wcsicmp(word, option) == 0;
}

bool is_forward_word(const wchar_t* word)
{
    return is_word(word, L"-syslog") || is_word(word, L"-json") || is_word(word, L"-logsize") ||
           is_word(word, L"-logkeep");
}

bool take_value(const wchar_t* word, const wchar_t* value, ForwardOptions& options)
{
    if (is_word(word, L"-syslog")) {
        SyslogDestination destination;
        if (!parse_syslog_destination(value, destination))
            return false;
        options.destinations.push_back(destination);
        return true;
    }
    if (is_word(word, L"-json")) {
        options.json_path = value;
        return value[0] != L'\0';
    }
    if (is_word(word, L"-logsize")) {
        options.log_size_given = true;
        return parse_positive_number(value, MAX_LOG_SIZE_MB, options.log_size_mb);
    }
    return parse_positive_number(value, MAX_LOG_KEEP, options.log_keep);
}

} // namespace

bool parse_syslog_destination(const wchar_t* text, SyslogDestination& out)
{
    std::wstring rest = text;
    out.text = text;
    out.tcp = false;
    if (starts_with(rest, L"tcp://")) {
        out.tcp = true;
        rest = rest.substr(6);
    } else if (starts_with(rest, L"udp://")) {
        rest = rest.substr(6);
    } else if (rest.find(L"://") != std::wstring::npos) {
        return false;
    }
    return split_host_port(rest, out);
}

bool parse_positive_number(const wchar_t* text, DWORD max, DWORD& value)
{
    unsigned long long number = 0;
    for (const wchar_t* digit = text; *digit != L'\0'; ++digit) {
        if (*digit < L'0' || *digit > L'9')
            return false;
        number = number * 10 + static_cast<unsigned>(*digit - L'0');
        if (number > max)
            return false;
    }
    value = static_cast<DWORD>(number);
    return number > 0;
}

const wchar_t* read_forward_words(int count, wchar_t** words, ForwardOptions& options, std::vector<wchar_t*>& others)
{
    const wchar_t* bad = nullptr;
    for (int index = 0; index < count; ++index) {
        wchar_t* word = words[index];
        if (index == 0 || !is_forward_word(word)) {
            others.push_back(word);
            // A filter word's value stays with it, whatever it looks like.
            if (index > 0 && takes_filter_value(word) && index + 1 < count)
                others.push_back(words[++index]);
            continue;
        }
        bool taken = index + 1 < count && take_value(word, words[++index], options);
        if (!taken && bad == nullptr)
            bad = word;
    }
    return bad;
}

void print_bad_forward_value(const wchar_t* word)
{
    qldbg_wprintf(L"\n");
    set_text_color(4);
    if (is_word(word, L"-syslog"))
        qldbg_wprintf(L"The option \"%ls\" needs a collector (HOST, HOST:PORT, udp://HOST[:PORT] or "
                      L"tcp://HOST[:PORT]) after it.",
                      word);
    else if (is_word(word, L"-json"))
        qldbg_wprintf(L"The option \"%ls\" needs a file name after it.", word);
    else if (is_word(word, L"-logsize"))
        qldbg_wprintf(L"The option \"%ls\" needs a size in MB (a whole number from 1 to %lu) after it.", word,
                      static_cast<unsigned long>(MAX_LOG_SIZE_MB));
    else
        qldbg_wprintf(L"The option \"%ls\" needs a number of files (a whole number from 1 to %lu) after it.", word,
                      static_cast<unsigned long>(MAX_LOG_KEEP));
    restore_text_color();
    qldbg_wprintf(L"\n");
}
