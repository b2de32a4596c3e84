#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "json_text.h"
#include "test_files.h"
#include "text_helpers.h"

namespace {

void store_words(std::vector<std::wstring>& words, std::vector<wchar_t*>& pointers)
{
    pointers.clear();
    for (std::wstring& word : words)
        pointers.push_back(&word[0]);
    store_command_line(static_cast<int>(pointers.size()), pointers.data());
}

FILETIME local_time_as_utc(WORD year, WORD month, WORD day, WORD hour, WORD minute)
{
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    FILETIME local_file;
    FILETIME utc;
    SystemTimeToFileTime(&local, &local_file);
    LocalFileTimeToFileTime(&local_file, &utc);
    return utc;
}

} // namespace

TEST(FindOption, MatchesWholeWordsInAnyAsciiCase)
{
    std::vector<std::wstring> words = {L"quilletdbg.exe", L"-toplevel", L"top", L"-ToP", L"-top"};
    std::vector<wchar_t*> pointers;
    store_words(words, pointers);
    EXPECT_EQ(3, find_option(L"-top")); // the first of the two, not the longer word nor "top"
    EXPECT_EQ(3, find_option(L"-TOP"));
    EXPECT_EQ(-1, find_option(L"-cls"));
    EXPECT_EQ(0, find_option(L"QUILLETDBG.EXE")); // word 0 takes part
    EXPECT_EQ(-1, find_option(L"-to"));
}

TEST(FindOption, FoldsOnlyAsciiLetters)
{
    std::vector<std::wstring> words = {L"x", L"-\u00e4rger"};
    std::vector<wchar_t*> pointers;
    store_words(words, pointers);
    EXPECT_EQ(-1, find_option(L"-\u00c4rger"));
    EXPECT_EQ(1, find_option(L"-\u00e4RGER"));
}

TEST(FormatFileTime, ShowsLocalDayMonthYearHourMinute)
{
    wchar_t text[TEXT_CHARS] = {};
    format_file_time(local_time_as_utc(2008, 3, 4, 9, 5), text, TEXT_CHARS);
    EXPECT_STREQ(L"04.03.2008 :: 09:05", text);
    format_file_time(local_time_as_utc(2026, 12, 31, 23, 59), text, TEXT_CHARS);
    EXPECT_STREQ(L"31.12.2026 :: 23:59", text);
}

TEST(FormatFileTime, UnconvertibleTimeGivesNA)
{
    wchar_t text[TEXT_CHARS] = {};
    FILETIME bad = {0xFFFFFFFF, 0xFFFFFFFF};
    format_file_time(bad, text, TEXT_CHARS);
    EXPECT_STREQ(L"N/A", text);
}

TEST(FormatFileTime, CutsToTheCapacity)
{
    wchar_t text[8];
    wmemset(text, L'#', 8);
    format_file_time(local_time_as_utc(2008, 3, 4, 9, 5), text, 8);
    EXPECT_STREQ(L"04.03.2", text);
}

TEST(PathStem, DropsOnlyTheFileNamesExtension)
{
    wchar_t out[TEXT_CHARS];
    EXPECT_STREQ(L"C:\\My.Tools\\quilletdbg", path_stem(L"C:\\My.Tools\\quilletdbg.exe", out));
    EXPECT_STREQ(L"C:\\My.Tools\\quilletdbg", path_stem(L"C:\\My.Tools\\quilletdbg", out));
    EXPECT_STREQ(L"C:\\tools\\a.b", path_stem(L"C:\\tools\\a.b.exe", out));
    EXPECT_STREQ(L"plain", path_stem(L"plain.exe", out));
}

TEST(PathStem, CutsOverlongPathsWithoutOverflow)
{
    std::wstring longest(400, L'a');
    wchar_t out[TEXT_CHARS + 4];
    wmemset(out, L'#', TEXT_CHARS + 4);
    path_stem(longest.c_str(), out);
    EXPECT_EQ(TEXT_CHARS - 1, static_cast<int>(wcslen(out)));
    EXPECT_EQ(L'#', out[TEXT_CHARS]);
}

TEST(ClearTextBuffer, ZeroesAll260Characters)
{
    wchar_t buffer[TEXT_CHARS + 1];
    wmemset(buffer, L'x', TEXT_CHARS + 1);
    clear_text_buffer(buffer);
    for (int i = 0; i < TEXT_CHARS; ++i)
        ASSERT_EQ(L'\0', buffer[i]) << i;
    EXPECT_EQ(L'x', buffer[TEXT_CHARS]);
}

TEST(OwnVersionString, EmptyOwnPathGivesNA)
{
    clear_text_buffer(own_path);
    wchar_t out[TEXT_CHARS] = {};
    get_own_version_string(L"ProductVersion", out);
    EXPECT_STREQ(L"N/A", out);
}

TEST(OwnVersionString, ReadsTheNeutralUnicodeTable)
{
    copy_text(own_path, TEXT_CHARS, windows_path(QUILLET_EXE).c_str());
    wchar_t out[TEXT_CHARS] = {};
    get_own_version_string(L"ProductVersion", out);
    EXPECT_STREQ(L"1, 0, 0, 1", out);
    wchar_t missing[TEXT_CHARS] = {};
    get_own_version_string(L"NoSuchEntry", missing);
    EXPECT_STREQ(L"", missing);
}

TEST(ProgramPathStem, RecordsTheOwnPath)
{
    wchar_t stem[TEXT_CHARS] = {};
    get_program_path_stem(stem);
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    EXPECT_STREQ(module, own_path);
    std::wstring expected(module);
    expected = expected.substr(0, expected.rfind(L'.'));
    EXPECT_EQ(expected, std::wstring(stem));
    // This test program has no version resource.
    wchar_t version[TEXT_CHARS] = {};
    get_own_version_string(L"ProductVersion", version);
    EXPECT_STREQ(L"N/A", version);
}

TEST(ProgramFilePath, NamesTheFileBesideTheProgram)
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring expected(module);
    expected = expected.substr(0, expected.rfind(L'.')) + L".log";
    wchar_t path[TEXT_CHARS];
    wmemset(path, L'#', TEXT_CHARS);
    get_program_file_path(L".log", path);
    EXPECT_EQ(expected, std::wstring(path));
}

// Byte for byte the lines quilletdbg has always written: besides what JSON asks, DEL and the C1
// controls escaped, every other control character as \u00XX (\b and \f too); a faulty byte
// becomes U+FFFD.
TEST(JsonLine, EscapesLikeTheMonitorsLinesAndRepairsFaultyBytes)
{
    JsonValue object = {
        {"text", "a\nb\r\t\"\\\x01\x08\x0C\x1B\x7F\xC2\x85\xC2\xA0\xC3\xA9"}, {"pid", 7}, {"bad", "x\xFFy"}};
    EXPECT_EQ("{\"text\":\"a\\nb\\r\\t\\\"\\\\\\u0001\\u0008\\u000c\\u001b\\u007f\\u0085\xC2\xA0\xC3\xA9\",\"pid\":7,"
              "\"bad\":\"x\xEF\xBF\xBDy\"}\n",
              json_line(object));
}
