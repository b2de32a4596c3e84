#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "message_filter.h"
#include "text_encoding.h"
#include "time_stamp.h"

namespace {

// Reads the words (word 0 the program) into filter; returns the word lacking its value or "".
std::wstring read_words(std::vector<std::wstring> words, MessageFilter& filter, std::vector<std::wstring>& others)
{
    std::vector<wchar_t*> pointers;
    for (std::wstring& word : words)
        pointers.push_back(&word[0]);
    std::vector<wchar_t*> rest;
    const wchar_t* lacking = read_filter_words(static_cast<int>(pointers.size()), pointers.data(), filter, rest);
    others.assign(rest.begin(), rest.end());
    return lacking != nullptr ? lacking : L"";
}

} // namespace

TEST(MessageFilter, ValuesAreTakenInOrderWhateverTheyLookLike)
{
    MessageFilter filter;
    std::vector<std::wstring> others;
    EXPECT_EQ(L"", read_words({L"p", L"-t", L"-include", L"-log", L"-IN", L"a b", L"-Ex", L"-pid", L"-pid",
                               L"4294967295", L"-l"},
                              filter, others));
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"-t", L"-l"}), others);
    EXPECT_EQ((std::vector<std::wstring>{L"-LOG", L"A B"}), filter.includes);
    EXPECT_EQ((std::vector<std::wstring>{L"-PID"}), filter.excludes);
    EXPECT_EQ((std::vector<DWORD>{4294967295u}), filter.process_ids);

    const struct {
        std::vector<std::wstring> words;
        std::wstring lacking;
    } cases[] = {
        {{L"p", L"-include"}, L"-include"},        {{L"p", L"-ex", L"x", L"-EXCLUDE"}, L"-EXCLUDE"},
        {{L"p", L"-pid", L"12x"}, L"-pid"},        {{L"p", L"-pid", L"-1", L"-in"}, L"-pid"},
        {{L"p", L"-Pid", L"4294967296"}, L"-Pid"}, {{L"p", L"-pid", L""}, L"-pid"},
    };
    for (const auto& each : cases) {
        MessageFilter lacking;
        EXPECT_EQ(each.lacking, read_words(each.words, lacking, others));
    }
}

TEST(MessageFilter, VerdictsAndWhenTheNameIsNeeded)
{
    MessageFilter filter;
    EXPECT_EQ(MESSAGE_SHOWN, filter_verdict(filter, 7, L"ANY", nullptr));
    filter.includes = {L"APPLE", L"ALPHA"};
    filter.process_ids = {7, 9};
    EXPECT_EQ(MESSAGE_SHOWN, filter_verdict(filter, 9, L"AN APPLE", nullptr));
    EXPECT_EQ(MESSAGE_DROPPED, filter_verdict(filter, 8, L"AN APPLE", nullptr));
    EXPECT_EQ(MESSAGE_NEEDS_NAME, filter_verdict(filter, 7, L"PEAR", nullptr));
    EXPECT_EQ(MESSAGE_SHOWN, filter_verdict(filter, 7, L"PEAR", L"ALPHA.EXE"));
    EXPECT_EQ(MESSAGE_DROPPED, filter_verdict(filter, 7, L"PEAR", L"N/A"));
    filter.excludes = {L"PIE", L"BETA"};
    EXPECT_EQ(MESSAGE_DROPPED, filter_verdict(filter, 7, L"APPLE PIE", nullptr));
    EXPECT_EQ(MESSAGE_NEEDS_NAME, filter_verdict(filter, 7, L"APPLE", nullptr));
    EXPECT_EQ(MESSAGE_DROPPED, filter_verdict(filter, 7, L"APPLE", L"ALPHABETA.EXE"));
    EXPECT_EQ(MESSAGE_SHOWN, filter_verdict(filter, 7, L"APPLE", L"GAMMA.EXE"));

    wchar_t upper[16];
    upper_case_message("Cherry Pie", 10, CP_ACP, upper);
    EXPECT_STREQ(L"CHERRY PIE", upper);
    upper_case_message("caf\xC3\xA9", 5, CP_UTF8, upper);
    EXPECT_STREQ(L"CAF\u00C9", upper);
}

TEST(TextEncoding, Utf8OnlyWhenWellFormedWithAMultiByteCharacter)
{
    const struct {
        const char* bytes;
        bool utf8;
    } cases[] = {
        {"plain ASCII\n", false},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
         true},
        {"Gr\xFC\xDF"
         "e",
         false},                      // ANSI (1252)
        {"\xC3\xA9 and \xE9", false}, // mixed: UTF-8, then an ANSI byte
        {"\xC0\xAF", false},          // overlong "/"
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE6\x97", false},          // cut short
        {"\x80 lone continuation", false},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(each.utf8, is_utf8_text(each.bytes, strlen(each.bytes))) << each.bytes;
        EXPECT_EQ(each.utf8 ? static_cast<UINT>(CP_UTF8) : static_cast<UINT>(CP_ACP),
                  message_code_page(each.bytes, strlen(each.bytes)));
    }
    utf8_detection_on = false; // "-ansi"
    EXPECT_EQ(static_cast<UINT>(CP_ACP), message_code_page("\xC3\xA9", 2));
    utf8_detection_on = true;
}

TEST(TimeStamp, DateLineBeforeTheFirstStampOfAnotherDay)
{
    SYSTEMTIME time = {2026, 12, 1, 7, 23, 59, 59, 987};
    StampDay day = {};
    set_stamp_day(day, time);
    char out[STAMP_BYTES];
    EXPECT_EQ(13, format_stamp(time, day, out));
    EXPECT_EQ("23:59:59.987 ", std::string(out));
    SYSTEMTIME next = {2026, 12, 2, 8, 0, 0, 0, 5};
    format_stamp(next, day, out);
    EXPECT_EQ("--- 08.12.2026 ---\n00:00:00.005 ", std::string(out));
    format_stamp(next, day, out);
    EXPECT_EQ("00:00:00.005 ", std::string(out));
}
