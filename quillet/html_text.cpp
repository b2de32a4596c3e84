#include "html_text.h"

#include "report_output.h"

namespace {

const wchar_t NULL_TEXT[] = L"(null)";

const wchar_t* reference_for(wchar_t c)
{
    switch (c) {
    case L'&':
        return L"&amp;";
    case L'<':
        return L"&lt;";
    case L'>':
        return L"&gt;";
    case L'"':
        return L"&quot;";
    case L'\'':
        return L"&#39;";
    default:
        return nullptr;
    }
}

} // namespace

std::wstring html_escape(const wchar_t* text)
{
    if (text == nullptr)
        return NULL_TEXT;
    std::wstring escaped;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        const wchar_t* reference = reference_for(*c);
        if (reference != nullptr)
            escaped += reference;
        else
            escaped += *c;
    }
    return escaped;
}

std::wstring html_value(const wchar_t* text)
{
    if (html_mode)
        return html_escape(text);
    return text != nullptr ? std::wstring(text) : std::wstring(NULL_TEXT);
}
