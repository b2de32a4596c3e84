// The words of the collectors and files, the header fields and escapes, and file rotation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forward_options.h"
#include "json_log.h"
#include "log_rotation.h"
#include "syslog_format.h"
#include "test_files.h"

TEST(ForwardOptions, DestinationsParseOrAreRefused)
{
    const struct {
        const wchar_t* text;
        const wchar_t* host;
        const wchar_t* port;
        bool tcp;
    } valid[] = {
        {L"collector", L"collector", L"514", false},
        {L"UDP://10.0.0.5:01514", L"10.0.0.5", L"1514", false},
        {L"tcp://[::1]:6514", L"::1", L"6514", true},
        {L"tcp://[fe80::1%4]", L"fe80::1%4", L"514", true},
    };
    for (const auto& each : valid) {
        SyslogDestination destination;
        ASSERT_TRUE(parse_syslog_destination(each.text, destination)) << each.text;
        EXPECT_EQ(std::wstring(each.host) + L" " + each.port, destination.host + L" " + destination.port);
        EXPECT_EQ(each.tcp, destination.tcp);
    }
    for (const wchar_t* text : {L"host:99999", L"host:0", L"host:", L"ftp://x", L"[::1", L"[::1]x", L"::1", L"tcp://",
                                L"-l", L"a b", L"[10.0.0.1]", L"udp://h/x"}) {
        SyslogDestination destination;
        EXPECT_FALSE(parse_syslog_destination(text, destination)) << text;
    }
}

TEST(ForwardOptions, WordsTakeTheNextWordAndLeaveFilterValuesAlone)
{
    std::vector<std::wstring> words = {L"p", L"-in", L"-json",    L"-JSON", L"o.json",   L"-syslog",
                                       L"h", L"-t",  L"-logsize", L"20",    L"-logkeep", L"0"};
    std::vector<wchar_t*> pointers;
    for (std::wstring& word : words)
        pointers.push_back(&word[0]);
    ForwardOptions options = {{}, L"", 0, DEFAULT_LOG_KEEP, false};
    std::vector<wchar_t*> others;
    const wchar_t* bad = read_forward_words(static_cast<int>(pointers.size()), pointers.data(), options, others);
    EXPECT_STREQ(L"-logkeep", bad);
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"-in", L"-json", L"-t"}),
              std::vector<std::wstring>(others.begin(), others.end()));
    EXPECT_EQ(L"o.json 20 1", options.json_path + L" " + std::to_wstring(options.log_size_mb) + L" " +
                                  std::to_wstring(options.destinations.size()));
}

TEST(SyslogFormat, HeaderFieldsCutsAndEscapesKeepToTheirRfcs)
{
    EXPECT_EQ("my_app__.exe", syslog_header_field(L"my app \x00e9.exe", 48));
    EXPECT_EQ(std::string(48, 'n'), syslog_header_field(std::wstring(60, L'n'), 48));
    EXPECT_EQ("-", syslog_header_field(L"", 48));
    std::string text = "ab\xC3\xA9\xE2\x82\xAC"; // a, b, e-acute, euro sign
    const size_t cuts[] = {0, 1, 2, 2, 4, 4, 4, 7, 7};
    for (size_t max = 0; max < 9; ++max)
        EXPECT_EQ(cuts[max], utf8_cut(text, max)) << max;
    EXPECT_EQ("a\\nb\\r\\t\\\"\\\\\\u0001\\u001b\\u007f\\u0085\xC3\xA9",
              json_escaped("a\nb\r\t\"\\\x01\x1B\x7F\xC2\x85\xC3\xA9"));
    SYSTEMTIME arrival = {2026, 12, 1, 7, 18, 0, 0, 123};
    char time[RFC3339_BYTES];
    format_rfc3339(arrival, -330, time);
    EXPECT_STREQ("2026-12-07T18:00:00.123-05:30", time);
    // Decoded as its code page says; a UTF-8 text is taken as it is.
    EXPECT_EQ("Gr\xC3\xBC\xC3\x9F"
              "e",
              message_text_utf8("Gr\xC3\xBC\xC3\x9F"
                                "e\r\n",
                                CP_UTF8));
    EXPECT_EQ("\xC3\x83\xC2\xA9", message_text_utf8("\xC3\xA9\n", 1252));
}

TEST(LogRotation, OlderFilesMoveUpTheOneBeyondKeepGoesAndAHeldFileStays)
{
    EXPECT_EQ(L"C:\\a.b\\events.12", numbered_path(L"C:\\a.b\\events", 12));
    EXPECT_FALSE(rotation_due(0, 5 * 1024 * 1024, 1)); // a message larger than the limit is never split
    EXPECT_TRUE(rotation_due(1024 * 1024 - 10, 11, 1));
    std::wstring path = join_path(make_temp_dir(L"rotate"), L"events.json");
    write_file(path, "current");
    write_file(numbered_path(path, 1), "one");
    write_file(numbered_path(path, 2), "two");
    DWORD error = 0;
    ASSERT_TRUE(rotate_file(path, 2, error));
    EXPECT_FALSE(file_exists(path));
    write_file(path, "held");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(rotate_file(path, 2, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    CloseHandle(held);
    // An old file held open: the current one has moved by then, and moves back.
    held = CreateFileW(numbered_path(path, 1).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(rotate_file(path, 2, error));
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), error);
    CloseHandle(held);
    EXPECT_EQ("held current one",
              read_file(path) + " " + read_file(numbered_path(path, 1)) + " " + read_file(numbered_path(path, 2)));
    EXPECT_FALSE(file_exists(numbered_path(path, 3)));
    EXPECT_FALSE(file_exists(path + L".rotating"));
}
