#include "failure_notice.h"

#include "error_detail.h"
#include "html_text.h"
#include "report_output.h"
#include "text_color.h"
#include "user_context.h"

FailureList* failure_collector = nullptr;

void add_failure(FailureList& list, const wchar_t* text, DWORD code)
{
    if (list.any)
        list.joined += L"; ";
    list.joined += text;
    list.joined += L" (" + std::to_wstring(static_cast<int>(code)) + L")";
    list.last_code = code;
    list.any = true;
    list.entries.push_back({text, code});
}

void print_failure(DWORD code, const wchar_t* context)
{
    if (failure_collector != nullptr) {
        add_failure(*failure_collector, context, code);
        return;
    }
    ql_wprintf(L"\nError: %ls Reason: ", context);
    set_text_color(4);
    ql_wprintf(L"%d\n", static_cast<int>(code));
    print_html_break();
    restore_text_color();

    ql_wprintf(L"User Context: ");
    set_text_color(2);
    // Account names are the system's values: a document must show them, never run them.
    ql_wprintf(L"%ls\\%ls\n", html_value(user_context.domain_name).c_str(), html_value(user_context.user_name).c_str());
    print_html_break();
    restore_text_color();

    ql_wprintf(L"User SID: ");
    set_text_color(2);
    ql_wprintf(L"%ls\n", html_value(user_context.sid_text).c_str());
    print_html_break();
    restore_text_color();

    print_detail_line(code);
}

void print_detail_line(DWORD code)
{
    ql_wprintf(L"Detail: ");
    print_error_detail(code);
    ql_wprintf(L"\n");
    print_html_break();
}
