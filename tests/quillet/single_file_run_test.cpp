#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "console_harness.h"
#include "reference_digest.h"
#include "report_runs.h"
#include "test_files.h"

namespace {

const wchar_t PROMPT[] = L"('Y'es|'N'o):";
const std::string SKIPPING = "Skipping Hash Calcualtion...";

std::string sample_bytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

void wait_for_prompt()
{
    COORD at;
    for (int i = 0; i < 1000 && !console_find(PROMPT, at); ++i)
        Sleep(20);
}

// Runs quillet on the test's console and answers its question with key.
RunResult run_on_console(const QuilletCopy& copy, const std::vector<std::wstring>& args, const std::wstring& key)
{
    Spawned child;
    RunOptions options;
    options.share_console = true;
    EXPECT_TRUE(spawn_program(child, copy.exe, args, options));
    wait_for_prompt();
    console_type(key);
    return finish_program(child, 30000);
}

// The same, with standard input a pipe that already holds an answer of its own.
DWORD run_with_answer_in_stdin(const QuilletCopy& copy, const std::vector<std::wstring>& args,
                               const std::string& stdin_text, const std::wstring& key)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    EXPECT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
    DWORD written = 0;
    WriteFile(write_end, stdin_text.data(), static_cast<DWORD>(stdin_text.size()), &written, nullptr);
    CloseHandle(write_end);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read_end;
    startup.hStdOutput = console_output_handle();
    startup.hStdError = console_output_handle();
    std::wstring line = build_command_line(copy.exe, args);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(
        CreateProcessW(copy.exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(read_end);
    wait_for_prompt();
    console_type(key);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return exit_code;
}

bool on_screen(const std::wstring& text)
{
    COORD at;
    return console_find(text, at);
}

class SizeGate : public ::testing::Test {
  protected:
    QuilletCopy copy;
    std::string bytes = sample_bytes(100);
    std::wstring path;

    void SetUp() override
    {
        ASSERT_TRUE(console_fresh());
        copy = make_quillet_copy(L"gate", "[Hashing]\r\nHashingMaxSize=100\r\n");
        path = join_path(copy.folder, L"hundred.bin");
        write_file(path, bytes);
    }
};

} // namespace

TEST_F(SizeGate, SizeEqualToTheLimitAsksAndYesHashes)
{
    RunResult run = run_on_console(copy, {path, L"-md5"}, L"y");
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(0u, run.exit_code);
    std::wstring screen = console_text();
    EXPECT_NE(std::wstring::npos,
              screen.find(L"The File you want to get a Hash for is larger\nthan \"100\" Bytes. Do you want to "
                          L"proceed?\n('Y'es|'N'o): y\n\nAllocating Memory (100) Bytes...done!"))
        << narrow(screen);
    EXPECT_TRUE(on_screen(L"File MD5: " + widen(reference_md5(bytes))));

    COORD at;
    ASSERT_TRUE(console_find(L"The File you want", at));
    EXPECT_EQ(FOREGROUND_RED | FOREGROUND_INTENSITY, console_attribute(at.Y, at.X));
    ASSERT_TRUE(console_find(PROMPT, at));
    EXPECT_EQ(15, console_attribute(at.Y, at.X));
    ASSERT_TRUE(console_find(L"File MD5: ", at));
    EXPECT_EQ(FOREGROUND_BLUE | FOREGROUND_INTENSITY, console_attribute(at.Y, at.X + 10));
}

TEST_F(SizeGate, UpperCaseYesHashesWithSha1)
{
    RunResult run = run_on_console(copy, {path, L"-sha1"}, L"Y");
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(on_screen(L"('Y'es|'N'o): Y"));
    EXPECT_TRUE(on_screen(L"File SHA1: " + widen(reference_sha1(bytes))));
}

TEST_F(SizeGate, Sha256IsAskedAboutLikeTheOtherDigests)
{
    RunResult run = run_on_console(copy, {path, L"-sha256"}, L"y");
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(on_screen(L"('Y'es|'N'o): y"));
    EXPECT_TRUE(on_screen(L"File SHA256: " + widen(reference_sha256(bytes))));
}

TEST_F(SizeGate, NoAndOtherKeysSkipTheDigestAndTheReportGoesOn)
{
    for (const wchar_t* key : {L"n", L"x", L"\r"}) {
        console_clear();
        RunResult run = run_on_console(copy, {path, L"-md5"}, key);
        EXPECT_EQ(0u, run.exit_code);
        std::wstring screen = console_text();
        EXPECT_NE(std::wstring::npos, screen.find(widen(SKIPPING) + L"\n\nGetting File Version Info Size failed."))
            << narrow(screen);
        EXPECT_EQ(std::wstring::npos, screen.find(L"Allocating Memory"));
        EXPECT_EQ(std::wstring::npos, screen.find(L"File MD5"));
    }
}

TEST_F(SizeGate, TheAnswerComesFromTheConsoleNotFromStandardInput)
{
    DWORD exit_code = run_with_answer_in_stdin(copy, {path, L"-md5"}, "yyyy\r\n", L"n");
    EXPECT_EQ(0u, exit_code);
    EXPECT_TRUE(on_screen(L"('Y'es|'N'o): n"));
    EXPECT_TRUE(on_screen(widen(SKIPPING)));
    EXPECT_FALSE(on_screen(L"File MD5"));
}

TEST_F(SizeGate, OneByteBelowTheLimitHashesWithoutAQuestion)
{
    std::string smaller = sample_bytes(99);
    write_file(path, smaller);
    RunResult run = run_quillet(copy, {path, L"-md5"});
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(std::string::npos, run.out.find(file_heading(path) + "Allocating Memory (99) Bytes...done!")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("File MD5: " + reference_md5(smaller)));
    EXPECT_EQ(std::string::npos, run.out.find("Do you want to proceed?"));
}

TEST(SizeGateLimitZero, EvenAFileThatCannotBeOpenedIsAskedAbout)
{
    ASSERT_TRUE(console_fresh());
    QuilletCopy copy = make_quillet_copy(L"gatezero", "[Hashing]\r\nHashingMaxSize=0\r\nAskIfSizeExceeds=1\r\n");
    std::wstring missing = join_path(copy.folder, L"missing.bin");
    RunResult run = run_on_console(copy, {missing, L"-sha1"}, L"n");
    EXPECT_EQ(0u, run.exit_code);
    std::wstring screen = console_text();
    EXPECT_NE(std::wstring::npos,
              screen.find(L"than \"0\" Bytes. Do you want to proceed?\n('Y'es|'N'o): n\n\n" + widen(SKIPPING)))
        << narrow(screen);
}

TEST(SingleFileRun, AskIfSizeExceedsOtherThanOneComputesNoDigestAndAsksNothing)
{
    for (const char* value : {"0", "2"}) {
        QuilletCopy copy = make_quillet_copy(L"noask", std::string("[Hashing]\r\nAskIfSizeExceeds=") + value +
                                                           "\r\nHashingMaxSize=0\r\n");
        std::wstring image = test_data_file(L"version_missing_table.dll");
        RunResult run = run_quillet(copy, {image, L"-md5"}, RunOptions());
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(0u, run.out.find(plain_banner() + file_heading(image) + "[FileName]\r\n")) << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("Allocating"));
        EXPECT_EQ(std::string::npos, run.out.find("proceed"));
    }
}

TEST(SingleFileRun, OnlyExactlyOneDigestWordAfterThePathHashes)
{
    QuilletCopy copy = make_quillet_copy(L"words", "[Hashing]\r\nHashingMaxSize=0\r\n");
    std::wstring image = test_data_file(L"version_missing_table.dll");
    RunOptions quick;
    quick.timeout_ms = 20000;
    // A limit of 0 would ask about any digest: no question shows that none was wanted.
    for (const std::vector<std::wstring>& args : std::vector<std::vector<std::wstring>>{{image, L"-p", L"-sha1"},
                                                                                        {image, L"-p", L"-sha256"},
                                                                                        {image, L"-md5x"},
                                                                                        {image, L"-plain"},
                                                                                        {image, L"-sha1", L"-md5"}}) {
        RunResult run = run_quillet(copy, args, quick);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(0u, run.out.find(plain_banner() + file_heading(image) + "[FileName]\r\n")) << run.out;
    }
}

TEST(SingleFileRun, DigestWordsIgnoreLetterCase)
{
    QuilletCopy copy = make_quillet_copy(L"case");
    std::wstring image = test_data_file(L"version_blanks.dll");
    std::string bytes = read_file(image);
    RunResult run = run_quillet(copy, {image, L"-MD5"});
    EXPECT_NE(std::string::npos, run.out.find("File MD5: " + reference_md5(bytes) + "\r\n\r\n[FileName]")) << run.out;
    RunResult plain = run_quillet(copy, {image, L"-Sha1", L"-P"});
    EXPECT_EQ(reference_sha1(bytes), plain.out);
}

TEST(SingleFileRun, MissingFileGetsEveryNoticeAndExitsWithZero)
{
    QuilletCopy copy = make_quillet_copy(L"missing");
    std::wstring path = join_path(copy.folder, L"nothing.dll");
    RunResult run = run_quillet(copy, {path, L"-md5"});
    EXPECT_EQ(0u, run.exit_code);
    std::string expected = plain_banner() + file_heading(path) +
                           failure_notice(ERROR_FILE_NOT_FOUND, "Could not open File for reading.") + "\r\n" +
                           failure_notice(ERROR_FILE_NOT_FOUND, "show_hash_info::CreateFile") +
                           "Getting File Version Info Size failed. Reason: 2\r\nFailed for File: " + narrow(path) +
                           "\r\nDetail: " + system_text(ERROR_FILE_NOT_FOUND) + "\r\n";
    EXPECT_EQ(expected, run.out);
}

TEST(Dispatch, PlainDigestWinsOverEveryCommandWord)
{
    QuilletCopy copy = make_quillet_copy(L"plainwins");
    std::string bytes = "a file named like an option";
    write_file(join_path(copy.folder, L"-d"), bytes);
    RunOptions here;
    here.working_dir = copy.folder;
    RunResult md5 = run_quillet(copy, {L"-d", L"-md5", L"-plain"}, here);
    EXPECT_EQ(reference_md5(bytes), md5.out);
    RunResult sha1 = run_quillet(copy, {L"-d", L"-sha1", L"-p"}, here);
    EXPECT_EQ(reference_sha1(bytes), sha1.out);
    RunResult sha256 = run_quillet(copy, {L"-d", L"-sha256", L"-p"}, here);
    EXPECT_EQ(reference_sha256(bytes), sha256.out);
    // "-verify" comes after the plain digests too.
    write_file(join_path(copy.folder, L"-verify"), bytes);
    EXPECT_EQ(reference_sha1(bytes), run_quillet(copy, {L"-verify", L"-sha1", L"-p"}, here).out);
    EXPECT_EQ(reference_sha256(bytes), run_quillet(copy, {L"-verify", L"-sha256", L"-plain"}, here).out);
}

// With output redirected the colour calls fail with ERROR_INVALID_HANDLE, the last error these
// commands leave behind and return.
TEST(Dispatch, UsageAndPlainDigestReturnTheLastErrorTheSingleFileRunZero)
{
    QuilletCopy copy = make_quillet_copy(L"exits");
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), run_quillet(copy, {}).exit_code);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), run_quillet(copy, {L"-h"}).exit_code);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), run_quillet(copy, {copy.exe, L"-md5", L"-p"}).exit_code);
    EXPECT_EQ(0u, run_quillet(copy, {copy.exe}).exit_code);
    EXPECT_EQ(0u, run_quillet(copy, {copy.exe, L"-md5"}).exit_code);
}

TEST(Dispatch, HelpWordsInAnyCaseGiveTheUsageText)
{
    QuilletCopy copy = make_quillet_copy(L"help");
    std::string usage = run_quillet(copy, {}).out;
    EXPECT_EQ(0u, usage.find(plain_banner() + "\r\nUsage: quillet.exe <full_path_to_file> [optional parameters]\r\n"));
    for (const wchar_t* word : {L"-h", L"-H", L"-help", L"-HeLp", L"/?"})
        EXPECT_EQ(usage, run_quillet(copy, {word}).out) << narrow(word);
}

TEST(Dispatch, AWordThatOnlyBeginsLikeAnOptionIsAFilePath)
{
    QuilletCopy copy = make_quillet_copy(L"prefix");
    RunOptions here;
    here.working_dir = copy.folder;
    for (const wchar_t* word : {L"-helpme", L"-hx", L"-"}) {
        RunResult run = run_quillet(copy, {word}, here);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(0u, run.out.find(plain_banner() + file_heading(word) +
                                   failure_notice(ERROR_FILE_NOT_FOUND, "Could not open File for reading.")))
            << run.out;
    }
}
