#include "message_filter.h"

#include <string.h>
#include <wchar.h>

MessageFilter message_filter;

namespace {

bool is_word(const wchar_t* word, const wchar_t* option, const wchar_t* alias)
{
    return _wcsicmp(word, option) == 0 || (alias != nullptr && _wcsicmp(word, alias) == 0);
}

// Decimal digits only, and no more than a process ID holds.
bool read_process_id(const wchar_t* word, DWORD& id)
{
    unsigned long long value = 0;
    for (const wchar_t* digit = word; *digit != L'\0'; ++digit) {
        if (*digit < L'0' || *digit > L'9')
            return false;
        value = value * 10 + static_cast<unsigned>(*digit - L'0');
        if (value > 0xFFFFFFFFull)
            return false;
    }
    id = static_cast<DWORD>(value);
    return word[0] != L'\0';
}

std::wstring upper_cased(const wchar_t* text)
{
    std::wstring upper = text;
    upper_case(&upper[0], upper.size());
    return upper;
}

bool contains_any(const wchar_t* text, const std::vector<std::wstring>& parts)
{
    for (const std::wstring& part : parts) {
        if (wcsstr(text, part.c_str()) != nullptr)
            return true;
    }
    return false;
}

bool has_id(const std::vector<DWORD>& ids, DWORD id)
{
    for (DWORD listed : ids) {
        if (listed == id)
            return true;
    }
    return false;
}

} // namespace

bool takes_filter_value(const wchar_t* word)
{
    return is_word(word, L"-include", L"-in") || is_word(word, L"-exclude", L"-ex") || is_word(word, L"-pid", nullptr);
}

const wchar_t* read_filter_words(int count, wchar_t** words, MessageFilter& filter, std::vector<wchar_t*>& others)
{
    const wchar_t* lacking = nullptr;
    for (int index = 0; index < count; ++index) {
        wchar_t* word = words[index];
        bool include = is_word(word, L"-include", L"-in");
        bool exclude = is_word(word, L"-exclude", L"-ex");
        bool pid = is_word(word, L"-pid", nullptr);
        if (index == 0 || !(include || exclude || pid)) {
            others.push_back(word);
            continue;
        }
        if (index + 1 == count) {
            lacking = lacking != nullptr ? lacking : word;
            continue;
        }
        const wchar_t* value = words[++index];
        DWORD id = 0;
        if (include)
            filter.includes.push_back(upper_cased(value));
        else if (exclude)
            filter.excludes.push_back(upper_cased(value));
        else if (read_process_id(value, id))
            filter.process_ids.push_back(id);
        else if (lacking == nullptr)
            lacking = word;
    }
    return lacking;
}

bool filter_has_texts(const MessageFilter& filter)
{
    return !filter.includes.empty() || !filter.excludes.empty();
}

void upper_case(wchar_t* text, size_t length)
{
    if (length > 0)
        CharUpperBuffW(text, static_cast<DWORD>(length));
}

void upper_case_message(const char* text, int length, UINT code_page, wchar_t* out)
{
    int chars = length > 0 ? MultiByteToWideChar(code_page, 0, text, length, out, length) : 0;
    upper_case(out, static_cast<size_t>(chars));
    out[chars] = L'\0';
}

int filter_verdict(const MessageFilter& filter, DWORD process_id, const wchar_t* text, const wchar_t* name)
{
    if (!filter.process_ids.empty() && !has_id(filter.process_ids, process_id))
        return MESSAGE_DROPPED;
    if (contains_any(text, filter.excludes))
        return MESSAGE_DROPPED;
    bool included = filter.includes.empty() || contains_any(text, filter.includes);
    if (name == nullptr)
        return included && filter.excludes.empty() ? MESSAGE_SHOWN : MESSAGE_NEEDS_NAME;
    if (contains_any(name, filter.excludes))
        return MESSAGE_DROPPED;
    return included || contains_any(name, filter.includes) ? MESSAGE_SHOWN : MESSAGE_DROPPED;
}
