// End-to-end: shown messages to syslog collectors and into a JSON file, and files that start
// afresh at a size.
#include <gtest/gtest.h>

#include <ctype.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "collector_sockets.h"
#include "monitor_fixture.h"
#include "test_files.h"
#include "traffic_names.h"

std::string letters(size_t count);

namespace {

const char BOM[] = "\xEF\xBB\xBF";
const std::wstring ACCENTED = L"Gr\u00fc\u00dfe, caf\u00e9 \u00b15 \u20ac";
const size_t LONGEST_TEXT = 8183;
const size_t DATAGRAM_BYTES = 8192;

// The bytes a sender's OutputDebugStringW puts into the channel.
std::string ansi(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], length, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// What a collector gets of them: decoded from the ANSI code page, in UTF-8.
std::string through_ansi(const std::wstring& text)
{
    std::string bytes = ansi(text);
    std::wstring wide(bytes.size(), L'\0');
    int chars = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0],
                                    static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(chars));
    return narrow(wide);
}

std::string host_name()
{
    wchar_t name[256] = {};
    DWORD size = 256;
    GetComputerNameExW(ComputerNameDnsHostname, name, &size);
    return narrow(name);
}

std::vector<std::string> split(const std::string& text, const std::string& separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The stamp that "-ts" put in front of the sender's message in out.
std::string stamp_of(const std::string& out, const std::string& sender)
{
    std::smatch match;
    std::regex_search(out, match, std::regex("(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) " + sender));
    return match.empty() ? "<no stamp>" : match[1].str();
}

// The name the monitor showed for pid ("N/A" once the sender had ended) as APP-NAME.
std::string app_name(const std::string& out, DWORD pid)
{
    std::smatch match;
    std::regex_search(out, match, std::regex("([^ \\r\\n:]+)::" + std::to_string(pid) + "::"));
    return match.empty() || match[1].str() == "N/A" ? "-" : match[1].str();
}

// The frame's header up to the time stamp must hold the stamp; the rest must be as expected.
void expect_syslog(const std::string& frame, const std::string& stamp, const std::string& rest)
{
    std::regex header("<15>1 \\d{4}-\\d\\d-\\d\\dT" + std::regex_replace(stamp, std::regex("\\."), "\\.") +
                      "[+-]\\d\\d:\\d\\d");
    ASSERT_GT(frame.size(), 35u) << frame;
    EXPECT_TRUE(std::regex_match(frame.substr(0, 35), header)) << frame.substr(0, 60);
    EXPECT_EQ(rest, frame.substr(35));
}

// The indices of the bulk messages ("i:" and letters) in a file's lines, in order: marker,
// the index, ":", the letters and tail end a message line; -1 stands for one that is cut.
std::vector<int> indices(const std::string& text, const std::string& line_end, const std::string& marker,
                         const std::string& tail, size_t letters_count)
{
    std::vector<int> found;
    for (const std::string& line : split(text, line_end)) {
        size_t at = line.rfind(marker);
        if (at == std::string::npos || at + marker.size() >= line.size() || !isdigit(line[at + marker.size()]))
            continue;
        size_t start = at + marker.size();
        size_t colon = line.find(':', start);
        std::string expected = ":" + std::string(letters_count, 'L') + tail;
        bool whole = colon != std::string::npos && line.substr(colon) == expected;
        found.push_back(whole ? std::stoi(line.substr(start, colon - start)) : -1);
    }
    return found;
}

// file with ".N" before its extension.
std::wstring numbered_path_of(const std::wstring& file, int number)
{
    size_t dot = file.rfind(L'.');
    return file.substr(0, dot) + L"." + std::to_wstring(number) + file.substr(dot);
}

class MonitorForward : public MonitorCopyTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        copy_monitor(L"forward");
    }

    std::wstring path(const std::wstring& name) const
    {
        return join_path(folder, name);
    }
};

} // namespace

TEST_F(MonitorForward, CollectorsGetRfc5424BytesOverUdpAndTcp)
{
    unsigned short udp_port = 0;
    unsigned short tcp_port = 0;
    SOCKET udp = open_receiver(false, udp_port);
    SOCKET listener = open_receiver(true, tcp_port);
    ASSERT_NE(INVALID_SOCKET, udp);
    ASSERT_NE(INVALID_SOCKET, listener);
    start({L"-ts", L"-syslog", L"udp://127.0.0.1:" + std::to_wstring(udp_port), L"-SYSLOG",
           L"tcp://127.0.0.1:" + std::to_wstring(tcp_port), L"-logsize", L"3"},
          program);
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {ACCENTED + L"\r\n"}));
    std::string pid = std::to_string(holder.process.dwProcessId);
    std::string held = "::" + pid + "::";
    ASSERT_TRUE(wait_for_output(monitor, held));
    RunResult longest = send_traffic({L"raw-longest"});
    SOCKET connection = accept_connection(listener);
    ASSERT_NE(INVALID_SOCKET, connection);
    std::string tcp_frames[] = {receive_frame(connection), receive_frame(connection)};
    std::string datagrams[] = {receive_datagram(udp), receive_datagram(udp)};
    finish_holder(holder);
    RunResult run = stop();

    std::string host = host_name();
    std::string expected[] = {" " + host + " traffic_sender.exe " + pid + " - - " + BOM + through_ansi(ACCENTED),
                              " " + host + " " + app_name(run.out, longest.pid) + " " + std::to_string(longest.pid) +
                                  " - - " + BOM + letters(LONGEST_TEXT)};
    std::string stamps[] = {stamp_of(run.out, "traffic_sender\\.exe" + held),
                            stamp_of(run.out, "[^ \\r\\n]+::" + std::to_string(longest.pid) + "::")};
    for (int i = 0; i < 2; ++i) {
        expect_syslog(tcp_frames[i], stamps[i], expected[i]);
        EXPECT_EQ(tcp_frames[i].substr(0, DATAGRAM_BYTES), datagrams[i]);
    }
    EXPECT_GT(tcp_frames[1].size(), DATAGRAM_BYTES); // the datagram was cut, the frame was not
    EXPECT_EQ(1u, count_of(run.out, "The option \"-logsize\" has no effect without \"-log\" or \"-json\"."));
    EXPECT_EQ(0u, count_of(run.out, "not forwarded"));
    closesocket(connection);
    closesocket(listener);
    closesocket(udp);
}

TEST_F(MonitorForward, TcpCollectorAwayAndBackGetsOrderWithoutDuplicates)
{
    unsigned short port = 0;
    SOCKET listener = open_receiver(true, port);
    ASSERT_NE(INVALID_SOCKET, listener);
    start({L"-syslog", L"tcp://127.0.0.1:" + std::to_wstring(port)}, program);
    std::vector<std::string> sent;
    for (const char* tag : {"A", "B", "C"}) {
        for (int i = 0; i < 20; ++i)
            sent.push_back(std::string(tag) + ":" + std::to_string(i));
    }
    std::vector<std::string> received;
    auto receive = [&](SOCKET connection, const std::string& last) {
        for (std::string frame; (frame = receive_frame(connection)) != "<none>";) {
            received.push_back(frame.substr(frame.find(BOM) + 3));
            if (received.back() == last)
                break;
        }
    };
    ASSERT_EQ(0u, send_traffic({L"many", L"20", L"A"}).exit_code);
    SOCKET connection = accept_connection(listener);
    receive(connection, "A:19");
    closesocket(connection);
    closesocket(listener);
    ASSERT_EQ(0u, send_traffic({L"many", L"20", L"B"}).exit_code);
    EXPECT_TRUE(wait_for_output(monitor, "::B:19\r\n"));
    listener = open_receiver(true, port);
    ASSERT_NE(INVALID_SOCKET, listener) << WSAGetLastError();
    connection = accept_connection(listener);
    ASSERT_NE(INVALID_SOCKET, connection) << "no reconnect";
    ASSERT_EQ(0u, send_traffic({L"many", L"20", L"C"}).exit_code);
    receive(connection, "C:19");
    RunResult run = stop();
    closesocket(connection);
    closesocket(listener);

    // In the order sent, none twice; all of A and C, losses only at the break.
    size_t next = 0;
    for (const std::string& text : received) {
        size_t at = std::find(sent.begin() + next, sent.end(), text) - sent.begin();
        ASSERT_LT(at, sent.size()) << text << " out of order or twice";
        next = at + 1;
    }
    for (const std::string& text : sent) {
        if (text[0] != 'B') {
            EXPECT_EQ(1, std::count(received.begin(), received.end(), text)) << text;
        }
    }
    size_t lost = sent.size() - received.size();
    std::smatch reported;
    if (std::regex_search(run.out, reported, std::regex("(\\d+) messages were not forwarded to tcp://127"))) {
        EXPECT_LE(std::stoul(reported[1].str()), lost);
    }
}

TEST_F(MonitorForward, JsonLinesHoldWhatTheLogShows)
{
    std::wstring json = path(L"events.json");
    start({L"-l", L"-ts", L"-json", json}, program);
    Spawned holder;
    ASSERT_TRUE(start_holder(holder, {L"first line\n", L"part one ", L"part two\n",
                                      L"tab\there \"q\" back\\slash\x01\n", ACCENTED + L"\n"}));
    std::string pid = std::to_string(holder.process.dwProcessId);
    ASSERT_TRUE(wait_for_output(monitor, ansi(ACCENTED) + "\r\n"));
    finish_holder(holder);
    stop();
    std::string log = read_file(path(L"quilletdbg.log"));
    std::vector<std::string> lines = split(read_file(json), "\n");
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ("", lines[5]);
    const struct {
        std::string json_text;
        std::string log_text;
        bool stamped;
    } messages[] = {
        {"first line", "first line\r\n", true},
        {"part one ", "part one ", true},
        {"part two", "part two\r\n", false}, // it continues the line of the one before
        {"tab\\there \\\"q\\\" back\\\\slash\\u0001", "tab\there \"q\" back\\slash\x01\r\n", true},
        {through_ansi(ACCENTED), ansi(ACCENTED) + "\r\n", true},
    };
    std::string sender = "traffic_sender.exe::" + pid + "::";
    for (int i = 0; i < 5; ++i) {
        std::regex object("\\{\"time\":\"\\d{4}-\\d\\d-\\d\\dT(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d)[+-]\\d\\d:\\d\\d\","
                          "\"host\":\"([^\"]*)\",\"pid\":" +
                          pid + ",\"process\":\"traffic_sender.exe\",\"text\":\"(.*)\"\\}");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, object)) << lines[i];
        EXPECT_EQ(host_name(), match[2].str());
        EXPECT_EQ(messages[i].json_text, match[3].str());
        std::string in_log = (messages[i].stamped ? match[1].str() + " " : "") + sender + messages[i].log_text;
        EXPECT_EQ(1u, count_of(log, in_log)) << in_log;
    }
}

TEST_F(MonitorForward, FilesStartAfreshAtTheSizeKeepingTheNewestWhole)
{
    // The sending side cuts a message at about 4 KB.
    const int COUNT = 900;
    const size_t LETTERS = 4000;
    start({L"-l", L"-json", path(L"events.json"), L"-logsize", L"1", L"-logkeep", L"2"}, program);
    ASSERT_EQ(0u, send_traffic({L"bulk", std::to_wstring(COUNT), std::to_wstring(LETTERS)}).exit_code);
    EXPECT_TRUE(wait_for_output(monitor, "::" + std::to_string(COUNT - 1) + ":", 120000));
    stop();
    const struct {
        const wchar_t* name;
        std::string line_end;
        std::string marker;
        std::string tail;
    } kinds[] = {{L"quilletdbg.log", "\r\n", "::", ""}, {L"events.json", "\n", "\"text\":\"", "\"}"}};
    for (const auto& kind : kinds) {
        std::wstring current = path(kind.name);
        EXPECT_FALSE(file_exists(numbered_path_of(current, 3))) << narrow(kind.name);
        std::vector<int> all;
        for (const std::wstring& file : {numbered_path_of(current, 2), numbered_path_of(current, 1), current}) {
            std::string text = read_file(file);
            EXPECT_LE(text.size(), 1024u * 1024u) << narrow(file);
            if (kind.line_end == "\r\n") {
                EXPECT_EQ(0u, text.find("-----------------")) << narrow(file);
            }
            std::vector<int> found = indices(text, kind.line_end, kind.marker, kind.tail, LETTERS);
            EXPECT_FALSE(found.empty()) << narrow(file);
            all.insert(all.end(), found.begin(), found.end());
        }
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(COUNT - 1, all.back());
        for (size_t i = 1; i < all.size(); ++i)
            EXPECT_EQ(all[i - 1] + 1, all[i]) << narrow(kind.name) << " at " << i;
    }
}

TEST_F(MonitorForward, BadValuesEnd87AfterBannerAndOneRedLineBeforeTheMutex)
{
    RunResult help = run_program(program, {L"-help"});
    std::string banner = help.out.substr(0, help.out.find("\r\nUsage:\r\n"));
    start(); // holds the mutex: a start that went on to take it would end with 170
    const std::string collector = "a collector (HOST, HOST:PORT, udp://HOST[:PORT] or tcp://HOST[:PORT])";
    const struct {
        std::vector<std::wstring> words;
        std::string line;
    } cases[] = {
        {{L"-syslog"}, "The option \"-syslog\" needs " + collector + " after it."},
        {{L"-syslog", L"host:99999"}, "The option \"-syslog\" needs " + collector + " after it."},
        {{L"-l", L"-SysLog", L"ftp://x"}, "The option \"-SysLog\" needs " + collector + " after it."},
        {{L"-syslog", L"[::1"}, "The option \"-syslog\" needs " + collector + " after it."},
        {{L"-json"}, "The option \"-json\" needs a file name after it."},
        {{L"-logsize", L"0", L"-l"},
         "The option \"-logsize\" needs a size in MB (a whole number from 1 to 1048576) after it."},
        {{L"-logkeep", L"2.5"},
         "The option \"-logkeep\" needs a number of files (a whole number from 1 to 999) after it."},
    };
    for (const auto& each : cases) {
        RunResult run = run_program(program, each.words);
        EXPECT_FALSE(run.timed_out) << "it waited for a key";
        EXPECT_EQ(87u, run.exit_code);
        EXPECT_EQ(banner + "\r\n" + each.line + "\r\n", run.out);
    }
    EXPECT_FALSE(file_exists(path(L"quilletdbg.log")));
    stop();
}
