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
bool csv_mode = false;
bool json_mode = false;

namespace {

const int COPY_CHARS = 4069;

struct PrintJob {
    const wchar_t* format;
    va_list* args;
    wchar_t* copy;
    int result;
    FILE* stream;
    bool to_log;
};

void print_job(void* context)
{
    PrintJob& job = *static_cast<PrintJob*>(context);
    job.result = print_with_copy_to(job.stream, job.format, *job.args, job.copy);
    if (settings.OutputWithOutputDebugString == 1)
        OutputDebugStringW(job.copy);
    // As UTF-8: the runtime's wide output would stop at the first character outside its code page.
    if (job.to_log && settings.WriteOutputToQuilletLog == 1 && log_stream != nullptr)
        write_text_utf8(log_stream, job.copy);
}

int print_to(FILE* stream, bool to_log, const wchar_t* format, va_list args)
{
    wchar_t copy[COPY_CHARS] = {};
    va_list job_args;
    va_copy(job_args, args);
    PrintJob job = {format, &job_args, copy, 0, stream, to_log};
    if (!run_guarded(print_job, &job))
        OutputDebugStringW(L"quillet - INTERNAL_EXCEPTION::ql_wprintf");
    va_end(job_args);
    return job.result;
}

int print_document_piece(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = print_to(stdout, false, format, args);
    va_end(args);
    return result;
}

} // namespace

// In a CSV run standard output carries the document alone, and the log holds the document
// after its separator; whatever else is printed goes to standard error.
int ql_wprintf(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = print_to(csv_mode ? stderr : stdout, !csv_mode, format, args);
    va_end(args);
    return result;
}

// The log takes the whole text, not the echo's copy: a row cut there would break the document.
int ql_print_document(const wchar_t* text)
{
    int result = print_document_piece(L"%ls", text);
    if (settings.WriteOutputToQuilletLog == 1 && log_stream != nullptr)
        write_text_utf8(log_stream, text);
    return result;
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
