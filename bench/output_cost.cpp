// What one piece of a report costs apart from the version functions: the colour change around
// it, the console test and the formatted print, the system's text of an error code, and the extra open of the file
// properties. Each is the toolkit's own routine or the same platform call, repeated and timed.
// Run it with standard output redirected, as the benchmarks run quillet: the prints go there,
// the figures to standard error.
//
//   output_cost <count> <any existing file>
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "format_output.h"
#include "text_color.h"

namespace {

LARGE_INTEGER frequency;

double now_us()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1e6 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

const int BATCHES = 5;

// The fastest of a few batches: on a shared machine the slow ones time the neighbours.
void print_cost(const wchar_t* name, double (*timed)(int, const wchar_t*), int count, const wchar_t* path)
{
    int batch = count / BATCHES > 0 ? count / BATCHES : 1;
    double best = 0;
    for (int index = 0; index < BATCHES; ++index) {
        double us = timed(batch, path) / batch;
        if (index == 0 || us < best)
            best = us;
    }
    fwprintf(stderr, L"%-44ls %8.2f us\n", name, best);
}

// The same work as the report's print routine with both echoes off.
void print_line(const wchar_t* format, ...)
{
    wchar_t copy[4069] = {};
    va_list args;
    va_start(args, format);
    print_with_copy(format, args, copy);
    va_end(args);
}

double time_colour_pairs(int count, const wchar_t*)
{
    double start = now_us();
    for (int index = 0; index < count; ++index) {
        set_text_color(2);
        restore_text_color();
    }
    return now_us() - start;
}

// What a print spends to learn whether standard output is a console.
double time_console_tests(int count, const wchar_t*)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    double start = now_us();
    for (int index = 0; index < count; ++index) {
        DWORD mode = 0;
        GetConsoleMode(output, &mode);
    }
    return now_us() - start;
}

double time_prints(int count, const wchar_t*)
{
    double start = now_us();
    for (int index = 0; index < count; ++index)
        print_line(L"-- %ls --\n", L"Z:\\tmp\\bench\\dlls\\example.dll");
    fflush(stdout);
    return now_us() - start;
}

double time_error_texts(int count, const wchar_t*)
{
    double start = now_us();
    for (int index = 0; index < count; ++index) {
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, ERROR_RESOURCE_DATA_NOT_FOUND, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        LocalFree(text);
    }
    return now_us() - start;
}

double time_opens(int count, const wchar_t* path)
{
    double start = now_us();
    for (int index = 0; index < count; ++index) {
        HANDLE file =
            CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return now_us() - start;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 || _wtoi(argv[1]) <= 0) {
        fwprintf(stderr, L"usage: output_cost <count> <any existing file>\n");
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    int count = _wtoi(argv[1]);
    const wchar_t* path = argv[2];
    print_cost(L"set_text_color + restore_text_color", time_colour_pairs, count, path);
    print_cost(L"GetConsoleMode of standard output", time_console_tests, count, path);
    print_cost(L"one formatted print (console part + copy)", time_prints, count, path);
    print_cost(L"FormatMessageW of an error code", time_error_texts, count, path);
    print_cost(L"CreateFileW + CloseHandle", time_opens, count, path);
    return 0;
}
