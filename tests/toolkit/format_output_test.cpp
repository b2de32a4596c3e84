// The shared print core: whole texts, UTF-8 into files and pipes, UTF-16 onto the console.
#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "console_harness.h"
#include "format_output.h"
#include "stdout_capture.h"
#include "test_files.h"
#include "utf8_output.h"

namespace {

wchar_t echo_copy[ECHO_COPY_LIMIT + 1];

int print_copied(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = print_with_copy(format, args, echo_copy);
    va_end(args);
    return result;
}

std::string captured(const wchar_t* format, const wchar_t* value, int& result)
{
    stdout_capture_begin();
    result = print_copied(format, value);
    return stdout_capture_end();
}

// Standard output pointed at the test's console for one print, then back.
int print_on_console(const wchar_t* format, const wchar_t* value)
{
    HANDLE console = nullptr;
    DuplicateHandle(GetCurrentProcess(), console_output_handle(), GetCurrentProcess(), &console, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    int console_fd = _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT);
    fflush(stdout);
    int saved = _dup(1);
    _dup2(console_fd, 1);
    printf("narrow first|");
    int result = print_copied(format, value);
    fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    _close(console_fd);
    return result;
}

} // namespace

TEST(FormatOutput, RedirectedAsciiKeepsTheBytesOfTheTextModeOutput)
{
    stdout_capture_begin();
    int result = print_copied(L"Line %ls\n%d%%\r\n", L"one", 42);
    std::string out = stdout_capture_end();
    // Text mode makes every "\n" a line end, even one that follows a "\r".
    EXPECT_EQ("Line one\r\n42%\r\r\n", out);
    EXPECT_EQ(14, result);
}

TEST(FormatOutput, RedirectedTextOutsideAsciiArrivesWholeAsUtf8)
{
    const wchar_t* value = L"C:\\t\\\u00e4 \u0436 \u65e5\u672c \U0001F600.dll";
    int result = 0;
    std::string out = captured(L"Accessing File: %ls\n", value, result);
    EXPECT_EQ("Accessing File: " + narrow(value) + "\r\n", out);
    EXPECT_EQ(static_cast<int>(wcslen(L"Accessing File: \n") + wcslen(value)), result);
    EXPECT_STREQ((std::wstring(L"Accessing File: ") + value + L"\n").c_str(), echo_copy);
}

TEST(FormatOutput, LongTextIsPrintedWholeAndTheCopyIsCut)
{
    std::wstring value;
    for (int i = 0; i < 5000; ++i)
        value += static_cast<wchar_t>(L'a' + i % 26);
    // Pairs and non-ASCII letters at the places where the work is split.
    value[510] = L'\u0436';
    value.insert(511, L"\U0001F600");
    value += L"\u65e5\u672c";
    int result = 0;
    std::string out = captured(L"%ls|", value.c_str(), result);
    EXPECT_EQ(narrow(value) + "|", out);
    EXPECT_EQ(static_cast<int>(value.size()) + 1, result);
    EXPECT_EQ(value.substr(0, ECHO_COPY_LIMIT), std::wstring(echo_copy));
}

TEST(FormatOutput, ThePrintLeavesTheLastErrorAsItWas)
{
    stdout_capture_begin();
    SetLastError(1234);
    print_copied(L"%ls\n", L"\u0436");
    DWORD after_print = GetLastError();
    SetLastError(4321);
    bool written = write_text_utf8(stdout, L"\u0436\n");
    DWORD after_write = GetLastError();
    std::string out = stdout_capture_end();
    EXPECT_EQ(1234u, after_print);
    EXPECT_TRUE(written);
    EXPECT_EQ(4321u, after_write);
    EXPECT_EQ(narrow(L"\u0436\r\n\u0436\r\n"), out);
}

TEST(FormatOutput, Utf8WriterTurnsLineEndsInTextModeStreams)
{
    std::wstring path = join_path(make_temp_dir(L"utf8"), L"log.txt");
    FILE* text = _wfopen(path.c_str(), L"a+");
    ASSERT_NE(nullptr, text);
    EXPECT_TRUE(write_text_utf8(text, L"first\n\u00e4\u0436\u65e5\n100% %s\n"));
    fclose(text);
    EXPECT_EQ("first\r\n" + narrow(L"\u00e4\u0436\u65e5") + "\r\n100% %s\r\n", read_file(path));
}

TEST(FormatOutputConsole, TextOutsideAsciiReachesTheConsoleWholeAfterWaitingNarrowText)
{
    ASSERT_TRUE(console_fresh());
    const wchar_t* value = L"\u00e4\u00f6 \u0436\u044b & 100%";
    int result = print_on_console(L"File: %ls\nnext line", value);
    EXPECT_EQ(static_cast<int>(wcslen(L"File: \nnext line") + wcslen(value)), result);
    EXPECT_EQ(std::wstring(L"narrow first|File: ") + value, console_row(0));
    EXPECT_EQ(L"next line", console_row(1));
}
