// The words of the collectors and files, and the forms a message takes for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forward_options.h"
#include "json_log.h"
#include "log_rotation.h"
#include "syslog_format.h"
#include "syslog_forward.h"
#include "test_files.h"

namespace {

// 2026-12-07 18:00:00.123 local time, an hour east of UTC.
const SYSTEMTIME ARRIVAL = {2026, 12, 1, 7, 18, 0, 0, 123};
const UtcOffset EAST_ONE = {2026, 12, 7, 18, 60, true};

std::string host()
{
    return utf8_of(computer_host_name());
}

} // namespace

TEST(ForwardOptions, DestinationsParseOrAreRefused)
{
    const struct {
        const wchar_t* text;
        const wchar_t* host;
        const wchar_t* port;
        bool tcp;
    } valid[] = {
        {L"collector", L"collector", L"514", false},
        {L"collector:01514", L"collector", L"1514", false},
        {L"UDP://10.0.0.5", L"10.0.0.5", L"514", false},
        {L"tcp://logs.example.org:601", L"logs.example.org", L"601", true},
        {L"tcp://[::1]:6514", L"::1", L"6514", true},
        {L"[fe80::1%4]", L"fe80::1%4", L"514", false},
    };
    for (const auto& each : valid) {
        SyslogDestination destination;
        ASSERT_TRUE(parse_syslog_destination(each.text, destination)) << each.text;
        EXPECT_EQ(each.host, destination.host);
        EXPECT_EQ(each.port, destination.port);
        EXPECT_EQ(each.tcp, destination.tcp);
        EXPECT_EQ(each.text, destination.text);
    }
    for (const wchar_t* text : {L"host:99999", L"host:0", L"host:", L"ftp://x", L"[::1", L"[::1]x", L"::1", L"tcp://",
                                L"", L"a b:514", L"[10.0.0.1]", L"udp://h/x"}) {
        SyslogDestination destination;
        EXPECT_FALSE(parse_syslog_destination(text, destination)) << text;
    }
}

TEST(ForwardOptions, WordsTakeTheNextWordAndLeaveFilterValuesAlone)
{
    std::vector<std::wstring> words = {L"p",       L"-in", L"-json", L"-JSON",   L"out.json",  L"-logsize", L"20",
                                       L"-syslog", L"h",   L"-t",    L"-syslog", L"tcp://g:9", L"-logkeep", L"3"};
    std::vector<wchar_t*> pointers;
    for (std::wstring& word : words)
        pointers.push_back(&word[0]);
    ForwardOptions options = {{}, L"", 0, DEFAULT_LOG_KEEP, false};
    std::vector<wchar_t*> others;
    EXPECT_EQ(nullptr, read_forward_words(static_cast<int>(pointers.size()), pointers.data(), options, others));
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"-in", L"-json", L"-t"}),
              std::vector<std::wstring>(others.begin(), others.end()));
    EXPECT_EQ(L"out.json", options.json_path);
    EXPECT_EQ(20u, options.log_size_mb);
    EXPECT_EQ(3u, options.log_keep);
    ASSERT_EQ(2u, options.destinations.size());
    EXPECT_TRUE(options.destinations[1].tcp);

    const struct {
        std::vector<std::wstring> words;
        const wchar_t* bad;
    } refused[] = {
        {{L"p", L"-syslog"}, L"-syslog"},
        {{L"p", L"-logsize", L"0"}, L"-logsize"},
        {{L"p", L"-logsize", L"1.5"}, L"-logsize"},
        {{L"p", L"-logkeep", L"-2"}, L"-logkeep"},
        {{L"p", L"-logsize", L"1048577"}, L"-logsize"},
        {{L"p", L"-json", L"a", L"-logkeep"}, L"-logkeep"},
        {{L"p", L"-syslog", L"-l"}, L"-syslog"},
    };
    for (auto each : refused) {
        std::vector<wchar_t*> bad_words;
        for (std::wstring& word : each.words)
            bad_words.push_back(&word[0]);
        ForwardOptions bad_options = {{}, L"", 0, DEFAULT_LOG_KEEP, false};
        std::vector<wchar_t*> rest;
        const wchar_t* bad =
            read_forward_words(static_cast<int>(bad_words.size()), bad_words.data(), bad_options, rest);
        ASSERT_NE(nullptr, bad) << each.bad << " " << each.words.size();
        EXPECT_STREQ(each.bad, bad);
    }
}

TEST(SyslogFormat, MessageIsRfc5424WithCleanHeaderAndUtf8Text)
{
    std::string start = "<15>1 2026-12-07T18:00:00.123+01:00 " + host() + " ";
    const struct {
        std::wstring name;
        std::string text;
        std::string expected;
    } cases[] = {
        {L"app.exe", "hello\r\n", start + "app.exe 4242 - - \xEF\xBB\xBFhello"},
        {L"N/A", "two\nlines\n", start + "- 4242 - - \xEF\xBB\xBFtwo\nlines"},
        {L"my app \x00e9.exe", "", start + "my_app__.exe 4242 - - \xEF\xBB\xBF"},
        {std::wstring(60, L'n'), "x", start + std::string(48, 'n') + " 4242 - - \xEF\xBB\xBFx"},
    };
    for (const auto& each : cases) {
        ForwardMessage message = {ARRIVAL, 4242, each.name, each.text};
        UtcOffset offset = EAST_ONE;
        EXPECT_EQ(each.expected, format_syslog_message(message, offset));
    }
    SYSTEMTIME west = ARRIVAL;
    UtcOffset west_offset = {2026, 12, 7, 18, -330, true};
    char time[RFC3339_BYTES];
    EXPECT_EQ(29, format_rfc3339(west, west_offset, time));
    EXPECT_STREQ("2026-12-07T18:00:00.123-05:30", time);
    EXPECT_EQ("14 \xEF\xBB\xBFhello world", octet_counted("\xEF\xBB\xBFhello world"));
}

TEST(SyslogFormat, CutsNeverSplitAUtf8Character)
{
    std::string text = "ab\xC3\xA9\xE2\x82\xAC"; // a b e-acute euro
    const size_t expected[] = {0, 1, 2, 2, 4, 4, 4, 7, 7};
    for (size_t max = 0; max < 9; ++max)
        EXPECT_EQ(expected[max], utf8_cut(text, max)) << max;
}

TEST(JsonLog, LineEscapesEveryControlCharacter)
{
    ForwardMessage message = {ARRIVAL, 17, L"q\"uote.exe", "tab\there \"q\" back\\slash\x01\x7F\r\n"};
    UtcOffset offset = EAST_ONE;
    EXPECT_EQ("{\"time\":\"2026-12-07T18:00:00.123+01:00\",\"host\":\"" + json_escaped(host()) +
                  "\",\"pid\":17,\"process\":\"q\\\"uote.exe\",\"text\":\"tab\\there \\\"q\\\" "
                  "back\\\\slash\\u0001\\u007f\"}\n",
              format_json_line(message, offset));
    EXPECT_EQ("a\\nb\\r\\u001b\\u0085\xC3\xA9", json_escaped("a\nb\r\x1B\xC2\x85\xC3\xA9"));
}

TEST(LogRotation, NumberedNamesAndWhenToStartAfresh)
{
    EXPECT_EQ(L"C:\\a.b\\quilletdbg.1.log", numbered_path(L"C:\\a.b\\quilletdbg.log", 1));
    EXPECT_EQ(L"C:\\a.b\\events.12", numbered_path(L"C:\\a.b\\events", 12));
    EXPECT_EQ(L"x.tar.3.gz", numbered_path(L"x.tar.gz", 3));
    const ULONGLONG MB = 1024 * 1024;
    EXPECT_FALSE(rotation_due(MB - 10, 10, 1));
    EXPECT_TRUE(rotation_due(MB - 10, 11, 1));
    EXPECT_FALSE(rotation_due(0, 5 * MB, 1)); // a message larger than the limit is never split
    EXPECT_FALSE(rotation_due(5 * MB, 1, 0));
}

TEST(LogRotation, OlderFilesMoveUpAndTheOneBeyondKeepGoes)
{
    std::wstring folder = make_temp_dir(L"rotate");
    std::wstring path = join_path(folder, L"events.json");
    write_file(path, "current");
    write_file(numbered_path(path, 1), "one");
    write_file(numbered_path(path, 2), "two");
    DWORD error = 0;
    ASSERT_TRUE(rotate_file(path, 2, error));
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ("current", read_file(numbered_path(path, 1)));
    EXPECT_EQ("one", read_file(numbered_path(path, 2)));
    EXPECT_FALSE(file_exists(numbered_path(path, 3)));

    // Held open elsewhere without delete sharing: nothing moves, and the caller learns why.
    write_file(path, "held");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(rotate_file(path, 2, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    CloseHandle(held);
    EXPECT_EQ("held", read_file(path));
    EXPECT_EQ("current", read_file(numbered_path(path, 1)));
    EXPECT_EQ("one", read_file(numbered_path(path, 2)));
}
