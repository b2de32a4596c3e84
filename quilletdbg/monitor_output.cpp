#include "monitor_output.h"

#include <conio.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "error_detail.h"
#include "fault_guard.h"
#include "format_output.h"
#include "text_color.h"
#include "tool_print.h"
#include "user_context.h"
#include "utf8_output.h"

FILE* monitor_log = nullptr;
void (*before_log_write)(const char* bytes, size_t length) = nullptr;

namespace {

const int WIDE_COPY_CHARS = 4096;
const int NARROW_COPY_BYTES = 4096;
const char FAULT_TEXT[] = "\nquilletdbg - INTERNAL_EXCEPTION::qldbg_wprintf\n";

struct WidePrintJob {
    const wchar_t* format;
    va_list* args;
    wchar_t* copy;
    int result;
};

void wide_print_job(void* context)
{
    WidePrintJob& job = *static_cast<WidePrintJob*>(context);
    job.result = print_with_copy(job.format, *job.args, job.copy);
    if (monitor_log != nullptr)
        write_text_utf8(monitor_log, job.copy);
}

struct NarrowPrintJob {
    const char* format;
    va_list* args;
    char* copy;
    int result;
};

// A captured message may be longer than the copy buffer; the log receives it whole.
void echo_narrow_to_log(const char* format, va_list args, char* copy, int length)
{
    char* text = copy;
    size_t capacity = NARROW_COPY_BYTES;
    if (length >= NARROW_COPY_BYTES) {
        void* large = VirtualAlloc(nullptr, length + 1, MEM_COMMIT, PAGE_READWRITE);
        if (large != nullptr) {
            text = static_cast<char*>(large);
            capacity = length + 1;
        }
    }
    _vsnprintf(text, capacity - 1, format, args);
    fputs(text, monitor_log);
    if (text != copy)
        VirtualFree(text, 0, MEM_RELEASE);
}

void narrow_print_job(void* context)
{
    NarrowPrintJob& job = *static_cast<NarrowPrintJob*>(context);
    // Measured first: a bad argument faults here, while no stream lock is held.
    va_list measure;
    va_copy(measure, *job.args);
    int length = _vscprintf(job.format, measure);
    va_end(measure);
    va_list console;
    va_copy(console, *job.args);
    job.result = vfprintf(stdout, job.format, console);
    va_end(console);
    if (monitor_log != nullptr && length > 0) {
        va_list echo;
        va_copy(echo, *job.args);
        echo_narrow_to_log(job.format, echo, job.copy, length);
        va_end(echo);
    }
}

} // namespace

int qldbg_wprintf(const wchar_t* format, ...)
{
    wchar_t copy[WIDE_COPY_CHARS] = {};
    va_list args;
    va_start(args, format);
    WidePrintJob job = {format, &args, copy, 0};
    if (!run_guarded(wide_print_job, &job))
        printf("%s", FAULT_TEXT);
    va_end(args);
    return job.result;
}

int qldbg_printf(const char* format, ...)
{
    char copy[NARROW_COPY_BYTES] = {};
    va_list args;
    va_start(args, format);
    NarrowPrintJob job = {format, &args, copy, 0};
    if (!run_guarded(narrow_print_job, &job))
        printf("%s", FAULT_TEXT);
    va_end(args);
    return job.result;
}

void write_output_bytes(const char* bytes, size_t length)
{
    fwrite(bytes, 1, length, stdout);
}

void write_output_wide(const wchar_t* text, size_t length)
{
    write_standard_output(text, length);
}

void write_log_bytes(const char* bytes, size_t length)
{
    if (before_log_write != nullptr)
        before_log_write(bytes, length);
    FILE* log = monitor_log;
    if (log != nullptr)
        fwrite(bytes, 1, length, log);
}

// The log first: whatever a reader of standard output has seen is already in the log, even
// when the monitor is killed between the two.
void flush_monitor_output()
{
    FILE* log = monitor_log;
    if (log != nullptr)
        fflush(log);
    fflush(stdout);
}

void tool_print_text(const wchar_t* text)
{
    qldbg_wprintf(L"%ls", text);
}

void print_user_context()
{
    qldbg_wprintf(L"\n");
    qldbg_wprintf(L"User Context: ");
    set_text_color(2);
    qldbg_wprintf(L"%ls\\%ls\n", user_context.domain_name, user_context.user_name);
    restore_text_color();
    qldbg_wprintf(L"User SID: ");
    set_text_color(2);
    qldbg_wprintf(L"%ls\n", user_context.sid_text);
    restore_text_color();
}

void fail_initialization(DWORD code, const wchar_t* context)
{
    qldbg_wprintf(L"The quilletdbg.exe intialization has failed. Reason: %d\nReason Detail: ", static_cast<int>(code));
    print_error_detail(code);
    if (context[0] != L'\0')
        qldbg_wprintf(L"Error Detail: %ls\n", context);
    // Straight to the console: this prompt never belongs in the log.
    wprintf(L"\nPress any key to ontinue...");
    fflush(stdout);
    _getwch();
    exit(static_cast<int>(code));
}
