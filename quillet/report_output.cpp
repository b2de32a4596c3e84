#include "report_output.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

#include "fault_guard.h"
#include "format_output.h"
#include "html_text.h"
#include "settings.h"
#include "tool_print.h"
#include "utf8_output.h"

bool html_mode = false;

namespace {

const int COPY_CHARS = 4069;

struct PrintJob {
    const wchar_t* format;
    va_list* args;
    wchar_t* copy;
    int result;
};

void print_job(void* context)
{
    PrintJob& job = *static_cast<PrintJob*>(context);
    job.result = print_with_copy(job.format, *job.args, job.copy);
    if (settings.OutputWithOutputDebugString == 1)
        OutputDebugStringW(job.copy);
    // As UTF-8: the runtime's wide output would stop at the first character outside its code page.
    if (settings.WriteOutputToQuilletLog == 1 && log_stream != nullptr)
        write_text_utf8(log_stream, job.copy);
}

} // namespace

int ql_wprintf(const wchar_t* format, ...)
{
    wchar_t copy[COPY_CHARS] = {};
    va_list args;
    va_start(args, format);
    PrintJob job = {format, &args, copy, 0};
    if (!run_guarded(print_job, &job))
        OutputDebugStringW(L"quillet - INTERNAL_EXCEPTION::ql_wprintf");
    va_end(args);
    return job.result;
}

void print_html_break()
{
    if (html_mode)
        ql_wprintf(L"<br>");
}

// The toolkit prints system texts (error details) here: in an HTML report they are values.
void tool_print_text(const wchar_t* text)
{
    ql_wprintf(L"%ls", html_value(text).c_str());
}
