#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "channel_reader.h"
#include "report_runs.h"
#include "test_files.h"

namespace {

std::string with_crlf(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

std::vector<std::string> messages_of(DWORD pid, const std::vector<ChannelMessage>& messages)
{
    std::vector<std::string> texts;
    for (const ChannelMessage& message : messages) {
        if (message.pid == pid)
            texts.push_back(message.text);
    }
    return texts;
}

class DebuggerEcho : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(channel_open()) << "another reader holds the debugger channel";
    }
    void TearDown() override
    {
        channel_close();
    }
};

} // namespace

TEST_F(DebuggerEcho, EachUsageTextIsAMessageOfItsOwn)
{
    QuilletCopy copy = make_quillet_copy(L"echo", "[OutputInformation]\r\nOutputWithOutputDebugString=1\r\n");
    RunResult run = run_quillet(copy, {});
    std::vector<std::string> texts = messages_of(run.pid, channel_settle(1000));
    // Three banner lines, the 52 usage texts, then the words added since: a heading, a line
    // each (package/USAGE.txt lists the same lines), an empty line.
    ASSERT_EQ(3u + 52u + 14u, texts.size()) << run.out;
    EXPECT_EQ("\nMore Parameters:\n\n", texts[3 + 52]);
    std::string usage_txt = read_file(windows_path(USAGE_TXT));
    for (size_t word = 3 + 52 + 1; word < texts.size() - 1; ++word)
        EXPECT_NE(std::string::npos, usage_txt.find("\n" + texts[word])) << texts[word];
    EXPECT_EQ("\n", texts.back());
    EXPECT_EQ("\nRevu Zezo Rudurur Ozav 1, 0, 0, 1 (UNICODE)\n", texts[0]);
    EXPECT_EQ("\nUsage: quillet.exe <full_path_to_file> [optional parameters]\n", texts[3]);
    EXPECT_EQ("\t-m|-multiple [filename filename ...]\n", texts[5]);
    EXPECT_EQ("\tquillet -d C:\\Windows\\*.exe > WindowsDirectoryExeInfo.txt\t\n", texts[3 + 46]);
    for (int empty_text : {17, 27, 32, 43, 52})
        EXPECT_EQ("\n", texts[3 + empty_text - 1]) << "usage text " << empty_text;
    std::string joined;
    for (const std::string& text : texts)
        joined += text;
    EXPECT_EQ(run.out, with_crlf(joined));
}

TEST_F(DebuggerEcho, SingleFileRunEchoesEveryPieceAndTheExitLinesAfterTheLogClosed)
{
    QuilletCopy copy =
        make_quillet_copy(L"echofile", "[OutputInformation]\r\nOutputWithOutputDebugString=1\r\n"
                                       "WriteOutputToQuilletLog=1\r\nPrintProcessingTimeInformation=1\r\n");
    RunResult run = run_quillet(copy, {test_data_file(L"version_missing_table.dll")});
    std::vector<std::string> texts = messages_of(run.pid, channel_settle(1000));
    std::string joined;
    for (const std::string& text : texts)
        joined += text;
    EXPECT_EQ(run.out, with_crlf(joined));
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(0u, texts[texts.size() - 2].find("\nStartup Time: ")) << texts[texts.size() - 2];
    EXPECT_EQ(0u, texts.back().find("\nTermination Time: ")) << texts.back();
    std::string log = read_file(join_path(copy.folder, L"quillet.log"));
    EXPECT_EQ(std::string::npos, log.find("Termination Time"));
}

TEST_F(DebuggerEcho, CsvRunSendsEachRowAsOneMessageAndTheBomNowhere)
{
    QuilletCopy copy = make_quillet_copy(
        L"echocsv", "[OutputInformation]\r\nOutputWithOutputDebugString=1\r\nPrintProcessingTimeInformation=1\r\n"
                    "WriteOutputToQuilletLog=1\r\n");
    // A value longer than an echo carries: the row's message is cut, the document is not.
    RunResult run = run_quillet(
        copy, {L"-m", test_data_file(L"version_translations.dll"), std::wstring(1100, L'p') + L".dll", L"-csv"});
    std::vector<std::string> texts = messages_of(run.pid, channel_settle(1000));
    ASSERT_EQ(6u, texts.size()) << run.out;
    EXPECT_EQ(0u, texts[0].find("Path,LanguageId,CodePage,Language,Comments,")) << texts[0];
    std::string rows = texts[0] + texts[1] + texts[2];
    EXPECT_EQ("\xEF\xBB\xBF" + rows, run.out.substr(0, 3 + rows.size()));
    EXPECT_EQ(1024u, texts[3].size());
    EXPECT_EQ(3 + rows.size(), run.out.find(texts[3], 3 + rows.size()));
    // The time lines go to standard error and the channel, never into the document.
    EXPECT_EQ(0u, texts[4].find("\nStartup Time: "));
    EXPECT_EQ(0u, texts[5].find("\nTermination Time: "));
    EXPECT_NE(std::string::npos, run.err.find("\r\nTermination Time: ")) << run.err;
    std::string log = read_file(join_path(copy.folder, L"quillet.log"));
    size_t separator_end = log.find("-----------------\r\n", 17);
    ASSERT_NE(std::string::npos, separator_end) << log;
    EXPECT_EQ(run.out.substr(3), log.substr(separator_end + 19));
}

TEST_F(DebuggerEcho, JsonRunSendsEachObjectAsOneMessage)
{
    QuilletCopy copy = make_quillet_copy(L"echojson", "[OutputInformation]\r\nOutputWithOutputDebugString=1\r\n");
    RunResult run = run_quillet(copy, {L"-m", test_data_file(L"version_translations.dll"), L"-json", L"nothere.dll"});
    std::vector<std::string> texts = messages_of(run.pid, channel_settle(1000));
    ASSERT_EQ(2u, texts.size()) << run.out;
    EXPECT_EQ(0u, texts[0].find("{\"path\":")) << texts[0];
    EXPECT_EQ(run.out, texts[0] + texts[1]);
}
