// End-to-end: shown messages to syslog collectors and into a JSON file, and files that start
// afresh at a size.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "monitor_fixture.h"
#include "test_files.h"
#include "traffic_names.h"

std::string letters(size_t count);

namespace {

const char BOM[] = "\xEF\xBB\xBF";
const std::wstring ACCENTED = L"Gr\u00fc\u00dfe, caf\u00e9 \u00b15 \u20ac";
const size_t LONGEST_TEXT = 8183;
const size_t DATAGRAM_BYTES = 8192;

// A collector inside the test, on 127.0.0.1 (port 0: any free one). Not inheritable: inherited
// by the monitor, it would outlive its closing here and keep its port.
// receive_buffer: the size of the receive buffer (0: the system's), which the connections it
// accepts inherit.
SOCKET open_collector(bool tcp, unsigned short& port, int receive_buffer = 0)
{
    SOCKET collector = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    SetHandleInformation(reinterpret_cast<HANDLE>(collector), HANDLE_FLAG_INHERIT, 0);
    BOOL reuse = TRUE;
    setsockopt(collector, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    if (receive_buffer > 0)
        setsockopt(collector, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer),
                   sizeof(receive_buffer));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    sockaddr* named = reinterpret_cast<sockaddr*>(&address);
    bool ready = bind(collector, named, length) == 0 && (!tcp || listen(collector, 4) == 0) &&
                 getsockname(collector, named, &length) == 0;
    port = ntohs(address.sin_port);
    return ready ? collector : INVALID_SOCKET;
}

bool readable(SOCKET socket_handle, long seconds = 20)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_handle, &set);
    timeval wait = {seconds, 0};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

std::string receive_datagram(SOCKET collector)
{
    std::vector<char> buffer(65536);
    int got = readable(collector) ? recv(collector, buffer.data(), static_cast<int>(buffer.size()), 0) : -1;
    return got >= 0 ? std::string(buffer.data(), static_cast<size_t>(got)) : "<none>";
}

SOCKET accept_connection(SOCKET listener)
{
    SOCKET connection = readable(listener, 60) ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    SetHandleInformation(reinterpret_cast<HANDLE>(connection), HANDLE_FLAG_INHERIT, 0);
    return connection;
}

// The next octet-counted frame without its count, or "<none>".
std::string receive_frame(SOCKET connection)
{
    std::string count;
    char c = 0;
    while (readable(connection) && recv(connection, &c, 1, 0) == 1 && c != ' ')
        count += c;
    if (c != ' ' || count.empty() || count.find_first_not_of("0123456789") != std::string::npos)
        return "<none>";
    std::string frame(std::stoul(count), '\0');
    for (size_t done = 0; done < frame.size();) {
        int got = readable(connection) ? recv(connection, &frame[done], static_cast<int>(frame.size() - done), 0) : 0;
        if (got <= 0)
            return "<none>";
        done += static_cast<size_t>(got);
    }
    return frame;
}

// The bytes a sender's OutputDebugStringW puts into the channel, and what a collector gets of
// them: decoded from the ANSI code page, in UTF-8.
std::string ansi(const std::wstring& text)
{
    std::string out(text.size() * 4, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                     static_cast<int>(out.size()), nullptr, nullptr);
    return out.substr(0, static_cast<size_t>(length));
}

std::string through_ansi(const std::wstring& text)
{
    std::string bytes = ansi(text);
    std::wstring wide(bytes.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        &wide[0], static_cast<int>(wide.size()))));
    return narrow(wide);
}

std::string encoded(const std::wstring& text, UINT code_page)
{
    std::string out(text.size() * 4, '\0');
    int length = WideCharToMultiByte(code_page, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                     static_cast<int>(out.size()), nullptr, nullptr);
    return out.substr(0, static_cast<size_t>(length));
}

std::wstring decoded(const std::string& bytes, UINT code_page)
{
    std::wstring wide(bytes.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

std::wstring hex(const std::string& bytes)
{
    std::wstring out;
    for (unsigned char c : bytes) {
        wchar_t pair[3];
        _snwprintf(pair, 3, L"%02x", c);
        out += pair;
    }
    return out;
}

// Megabytes of traffic through the monitor take their time on a loaded machine.
RunOptions patient()
{
    RunOptions options;
    options.timeout_ms = 300000;
    return options;
}

std::string host_name()
{
    wchar_t name[256] = {};
    DWORD size = 256;
    GetComputerNameExW(ComputerNameDnsHostname, name, &size);
    return narrow(name);
}

// What "-ts" showed in front of "::pid::" in out: the stamp and the sender's name. Found
// without a regular expression, which would recurse through a long message's letters.
std::pair<std::string, std::string> stamp_and_name(const std::string& out, const std::string& pid)
{
    size_t at = out.find("::" + pid + "::");
    size_t start = at == std::string::npos ? std::string::npos : out.rfind('\n', at);
    if (start == std::string::npos || at - start < 15)
        return {"<none>", "<none>"};
    return {out.substr(start + 1, 12), out.substr(start + 14, at - start - 14)};
}

// The indices of the bulk messages ("i:" and letters) in a file, in order: marker, the index,
// ":", letters and tail make one; -1 stands for one that is cut.
std::vector<int> indices(const std::string& text, const std::string& marker, const std::string& tail, size_t count)
{
    std::vector<int> found;
    std::string whole = ":" + std::string(count, 'L') + tail;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        size_t start = at + marker.size();
        size_t colon = text.find_first_not_of("0123456789", start);
        if (colon == start || colon == std::string::npos || text.compare(colon, 2, ":L") != 0)
            continue; // not where a message's text begins
        found.push_back(text.compare(colon, whole.size(), whole) == 0 ? std::stoi(text.substr(start, colon - start))
                                                                      : -1);
    }
    return found;
}

class MonitorForward : public MonitorCopyTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        copy_monitor(L"forward");
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
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
    SOCKET udp = open_collector(false, udp_port);
    SOCKET listener = open_collector(true, tcp_port);
    ASSERT_NE(INVALID_SOCKET, udp);
    ASSERT_NE(INVALID_SOCKET, listener);
    start({L"-ts", L"-syslog", L"udp://127.0.0.1:" + std::to_wstring(udp_port), L"-SYSLOG",
           L"tcp://127.0.0.1:" + std::to_wstring(tcp_port), L"-logsize", L"3", L"-json", folder},
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

    std::string longest_pid = std::to_string(longest.pid);
    auto shown = stamp_and_name(run.out, longest_pid); // the name is N/A once the sender has ended
    std::string rest[] = {" traffic_sender.exe " + pid + " - - " + BOM + through_ansi(ACCENTED),
                          " " + (shown.second == "N/A" ? "-" : shown.second) + " " + longest_pid + " - - " + BOM +
                              letters(LONGEST_TEXT)};
    std::string stamps[] = {stamp_and_name(run.out, pid).first, shown.first};
    for (int i = 0; i < 2; ++i) {
        // The header's time is the arrival time that "-ts" shows.
        std::regex header("<15>1 \\d{4}-\\d\\d-\\d\\dT" + std::regex_replace(stamps[i], std::regex("\\."), "\\.") +
                          "[+-]\\d\\d:\\d\\d " + host_name());
        std::smatch match;
        std::string head = tcp_frames[i].substr(0, 300);
        EXPECT_TRUE(std::regex_search(head, match, header) && match.position(0) == 0) << head;
        EXPECT_EQ(rest[i], tcp_frames[i].substr(match.length(0)));
        EXPECT_EQ(tcp_frames[i].substr(0, DATAGRAM_BYTES), datagrams[i]);
    }
    EXPECT_GT(tcp_frames[1].size(), DATAGRAM_BYTES); // the datagram was cut, the frame was not
    EXPECT_EQ(1u, count_of(run.out, "Could not open \"" + narrow(folder) + "\" for wirting.\r\nReason: 5\r\n"));
    // Nothing lost: the end says so for each collector.
    EXPECT_EQ(2u, count_of(run.out, "not forwarded"));
    EXPECT_EQ(2u, count_of(run.out, "\r\n0 messages were not forwarded to "));
    closesocket(connection);
    closesocket(listener);
    closesocket(udp);
}

TEST_F(MonitorForward, TcpCollectorAwayAndBackGetsOrderWithoutDuplicates)
{
    unsigned short port = 0;
    SOCKET listener = open_collector(true, port);
    ASSERT_NE(INVALID_SOCKET, listener);
    start({L"-syslog", L"tcp://127.0.0.1:" + std::to_wstring(port), L"-logsize", L"2"}, program);
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
    listener = open_collector(true, port);
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
    EXPECT_EQ(1u, count_of(run.out, "The option \"-logsize\" has no effect without \"-log\" or \"-json\"."));
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
    std::string lines = read_file(json);
    ASSERT_EQ(5u, count_of(lines, "\n"));
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
    std::regex object(
        "\\{\"time\":\"\\d{4}-\\d\\d-\\d\\dT(\\d\\d:\\d\\d:\\d\\d\\.\\d{3})[+-]\\d\\d:\\d\\d\",\"host\":\"" +
        host_name() + "\",\"pid\":" + pid + ",\"process\":\"traffic_sender.exe\",\"text\":\"(.*)\"\\}\n");
    auto line = std::sregex_iterator(lines.begin(), lines.end(), object);
    for (const auto& each : messages) {
        ASSERT_NE(std::sregex_iterator(), line) << lines;
        EXPECT_EQ(each.json_text, (*line)[2].str());
        std::string in_log = (each.stamped ? (*line)[1].str() + " " : "") + sender + each.log_text;
        EXPECT_EQ(1u, count_of(log, in_log)) << in_log;
        ++line;
    }
}

TEST_F(MonitorForward, FilesStartAfreshAtTheSizeKeepingTheNewestWhole)
{
    // The sending side cuts a message at about 4 KB.
    const int COUNT = 900;
    const size_t LETTERS = 4000;
    start({L"-l", L"-json", path(L"events.json"), L"-logsize", L"1", L"-logkeep", L"2"}, program);
    ASSERT_EQ(
        0u,
        run_program(traffic_exe(), {L"bulk", std::to_wstring(COUNT), std::to_wstring(LETTERS)}, patient()).exit_code);
    EXPECT_TRUE(wait_for_output(monitor, "::" + std::to_string(COUNT - 1) + ":", 120000));
    stop();
    const struct {
        std::wstring name;
        std::wstring extension;
        std::string marker;
        std::string tail;
    } kinds[] = {{L"quilletdbg", L".log", "::", "\r\n"}, {L"events", L".json", "\"text\":\"", "\"}\n"}};
    for (const auto& kind : kinds) {
        EXPECT_FALSE(file_exists(path(kind.name + L".3" + kind.extension)));
        std::vector<int> all;
        for (const wchar_t* number : {L".2", L".1", L""}) {
            std::string text = read_file(path(kind.name + number + kind.extension));
            EXPECT_LE(text.size(), 1024u * 1024u) << narrow(kind.name + number);
            EXPECT_EQ(kind.extension == L".log" ? 0u : std::string::npos, text.find("-----------------"));
            std::vector<int> found = indices(text, kind.marker, kind.tail, LETTERS);
            EXPECT_FALSE(found.empty()) << narrow(kind.name + number);
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
        {{L"-l", L"-SysLog", L"ftp://x"}, "The option \"-SysLog\" needs " + collector + " after it."},
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

// Bytes as programs send them with OutputDebugStringA: UTF-8, ANSI, and both mixed (which is
// no UTF-8). The console, the JSON file and a collector show the characters; the log keeps
// the bytes; "-ex" matches the decoded text. "-ansi" reads everything in the ANSI code page.
TEST_F(MonitorForward, Utf8AnsiAndMixedBytesOnTheConsoleInJsonAndAtACollector)
{
    const std::wstring umlauts = L"Gr\u00fc\u00dfe";
    const std::string utf8_text = encoded(L"utf8: " + umlauts + L" \u041f\u0440\u0438\u0432\u0435\u0442", CP_UTF8);
    const std::string ansi_text = encoded(L"ansi: " + umlauts, CP_ACP);
    const std::string mixed_text = "mixed: " + encoded(L"\u00e9", CP_UTF8) + " and " + encoded(L"\u00e9", CP_ACP);
    const std::string dropped_text = encoded(L"drop: \u00c4rger", CP_UTF8);
    const struct {
        std::vector<std::wstring> words;
        bool detect;
    } runs[] = {{{}, true}, {{L"-queue", L"-ansi"}, false}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.detect ? "detected" : "-ansi");
        console_clear();
        std::wstring json = path(run.detect ? L"detected.json" : L"ansi.json");
        unsigned short port = 0;
        SOCKET udp = open_collector(false, port);
        ASSERT_NE(INVALID_SOCKET, udp);
        std::wstring collector = L"udp://127.0.0.1:" + std::to_wstring(port);
        std::vector<std::wstring> words = {L"-l", L"-json", json, L"-syslog", collector, L"-ex", L"\u00e4rger"};
        words.insert(words.end(), run.words.begin(), run.words.end());
        start_on_console(words, program);
        RunResult sent = send_traffic({L"bytes", hex(utf8_text + "\n"), hex(ansi_text + "\n"), hex(mixed_text + "\n"),
                                       hex(dropped_text + "\n"), hex("done\n")});
        std::string pid = std::to_string(sent.pid);
        EXPECT_TRUE(wait_for_console(L"::" + std::to_wstring(sent.pid) + L"::done"));
        std::vector<std::string> datagrams; // the texts, after the byte-order mark
        for (std::string got; datagrams.size() < 8 && (got = receive_datagram(udp)) != "<none>";) {
            datagrams.push_back(got.substr(got.find(BOM) + 3));
            if (datagrams.back() == "done")
                break;
        }
        stop();
        closesocket(udp);
        std::string log = read_file(path(L"quilletdbg.log"));
        std::string lines = read_file(json);
        // The dropped one is shown only where "-ex" cannot find the decoded "ÄRGER".
        std::vector<std::string> shown = {utf8_text, ansi_text, mixed_text};
        if (!run.detect)
            shown.push_back(dropped_text);
        for (size_t i = 0; i < shown.size(); ++i) {
            const std::string& bytes = shown[i];
            bool utf8 = run.detect && i == 0;
            std::wstring characters = decoded(bytes, utf8 ? CP_UTF8 : CP_ACP);
            // Bytes as the console shows them: in its output code page, or, where Wine's console
            // takes written bytes, in the ANSI code page.
            std::wstring row = L"::" + std::to_wstring(sent.pid) + L"::";
            COORD at = {};
            EXPECT_TRUE(console_find(row + decoded(bytes, utf8 ? CP_UTF8 : GetConsoleOutputCP()), at) ||
                        (!utf8 && console_find(row + characters, at)))
                << i << " " << narrow(console_text());
            EXPECT_EQ(1u, count_of(lines, "\"text\":\"" + narrow(characters) + "\"}")) << i;
            ASSERT_GT(datagrams.size(), i);
            EXPECT_EQ(narrow(characters), datagrams[i]) << i;
            EXPECT_EQ(1u, count_of(log, "::" + pid + "::" + bytes + "\r\n")) << i;
        }
        EXPECT_EQ(shown.size() + 1, datagrams.size());
        EXPECT_EQ(shown.size() + 1, count_of(lines, "\n"));
        // The end: the queue's line, each collector's, then the termination line.
        COORD lost = {}, ended = {};
        std::wstring lost_line = L"0 messages were not forwarded to " + collector;
        ASSERT_TRUE(console_find(lost_line, lost));
        ASSERT_TRUE(console_find(L"User request termination.", ended));
        EXPECT_EQ(lost.Y + 1, ended.Y);
        EXPECT_EQ(1u, count_of(log, narrow(lost_line)));
        if (!run.detect) {
            COORD queued = {};
            ASSERT_TRUE(console_find(L"Queued messages not shown on the console: 0", queued));
            EXPECT_EQ(queued.Y + 1, lost.Y);
        }
    }
}

// A collector that reads every frame, until the one of "stall done".
struct HealthyCollector {
    SOCKET listener;
    bool marker_arrived;
};

static DWORD WINAPI read_until_marker(void* context)
{
    HealthyCollector& collector = *static_cast<HealthyCollector*>(context);
    SOCKET connection = accept_connection(collector.listener);
    const std::string marker = "stall done";
    for (std::string frame; (frame = receive_frame(connection)) != "<none>";) {
        if (frame.size() > marker.size() && frame.compare(frame.size() - marker.size(), marker.size(), marker) == 0) {
            collector.marker_arrived = true;
            break;
        }
    }
    closesocket(connection);
    return 0;
}

// A collector that takes the connection and never reads: its forwarder gives up on each send
// in time, the capture and the other collector go on, the log has everything, and the losses
// are reported while the monitor runs and at its end.
TEST_F(MonitorForward, StalledCollectorHoldsUpNothingAndItsLossesAreReported)
{
    // Beyond what the collector's queue holds (8 MiB) and the sockets take in.
    const int COUNT = 3000;
    const size_t LETTERS = 4000;
    unsigned short stalled_port = 0, healthy_port = 0;
    SOCKET stalled = open_collector(true, stalled_port, 4096);
    SOCKET healthy = open_collector(true, healthy_port);
    ASSERT_NE(INVALID_SOCKET, stalled);
    ASSERT_NE(INVALID_SOCKET, healthy);
    std::wstring stalled_name = L"tcp://127.0.0.1:" + std::to_wstring(stalled_port);
    start({L"-q", L"-l", L"-syslog", stalled_name, L"-syslog", L"tcp://127.0.0.1:" + std::to_wstring(healthy_port)},
          program);
    HealthyCollector reader = {healthy, false};
    HANDLE reading = CreateThread(nullptr, 0, read_until_marker, &reader, 0, nullptr);
    ASSERT_NE(nullptr, reading);
    ASSERT_EQ(
        0u,
        run_program(traffic_exe(), {L"bulk", std::to_wstring(COUNT), std::to_wstring(LETTERS)}, patient()).exit_code);
    SOCKET never_read = accept_connection(stalled);
    EXPECT_NE(INVALID_SOCKET, never_read);
    ASSERT_EQ(0u, send_traffic({L"send", L"stall done\n"}).exit_code);
    EXPECT_TRUE(wait_for_output(monitor, "::stall done\r\n", 120000));
    WaitForSingleObject(reading, INFINITE);
    CloseHandle(reading);
    EXPECT_TRUE(reader.marker_arrived) << "the healthy collector waited for the stalled one";
    std::string reported = " messages were not forwarded to " + narrow(stalled_name) + "\r\n";
    EXPECT_TRUE(wait_for_output(monitor, reported, 120000)) << "no loss line while running";
    RunResult run = stop();
    closesocket(never_read);
    closesocket(stalled);
    closesocket(healthy);
    std::vector<int> logged = indices(read_file(path(L"quilletdbg.log")), "::", "\r\n", LETTERS);
    ASSERT_EQ(static_cast<size_t>(COUNT), logged.size());
    for (int i = 0; i < COUNT; ++i)
        ASSERT_EQ(i, logged[static_cast<size_t>(i)]);
    std::smatch end;
    EXPECT_TRUE(std::regex_search(
        run.out, end,
        std::regex("\r\n\\d+ messages were not forwarded to tcp://127\\.0\\.0\\.1:" + std::to_string(stalled_port) +
                   "\r\n\\d+ messages were not forwarded to "
                   "tcp://127\\.0\\.0\\.1:" +
                   std::to_string(healthy_port) + "\r\nUser request termination\\.\r\n$")))
        << run.out.substr(run.out.size() > 600 ? run.out.size() - 600 : 0);
}

// An old log that another program holds cannot move up: nothing moves, one notice says so,
// and the log grows on with every message.
TEST_F(MonitorForward, HeldOldLogLeavesEveryFileInPlaceWithOneNotice)
{
    const int COUNT = 300;
    const size_t LETTERS = 4000;
    std::wstring older_log = path(L"quilletdbg.2.log");
    write_file(path(L"quilletdbg.1.log"), "one");
    write_file(older_log, "two");
    HANDLE held = CreateFileW(older_log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    start({L"-l", L"-logsize", L"1"}, program);
    ASSERT_EQ(0u, send_traffic({L"bulk", std::to_wstring(COUNT), std::to_wstring(LETTERS)}).exit_code);
    EXPECT_TRUE(wait_for_output(monitor, "::" + std::to_string(COUNT - 1) + ":", 120000));
    RunResult run = stop();
    CloseHandle(held);
    EXPECT_EQ(1u, count_of(run.out, "Could not start a new \"" + narrow(path(L"quilletdbg.log")) + "\"; it grows on."));
    EXPECT_EQ("one two", read_file(path(L"quilletdbg.1.log")) + " " + read_file(older_log));
    EXPECT_FALSE(file_exists(path(L"quilletdbg.3.log")));
    EXPECT_FALSE(file_exists(path(L"quilletdbg.log.rotating")));
    std::vector<int> logged = indices(read_file(path(L"quilletdbg.log")), "::", "\r\n", LETTERS);
    ASSERT_EQ(static_cast<size_t>(COUNT), logged.size());
    EXPECT_EQ(COUNT - 1, logged.back());
}
