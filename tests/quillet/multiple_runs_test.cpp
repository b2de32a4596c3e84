#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "multiple_test_support.h"
#include "reference_digest.h"
#include "test_files.h"

namespace {

const char NO_FILE_NAMES[] = "Detail: No File Names given.\r\n";

class MultipleRun : public ::testing::Test {
  protected:
    std::wstring folder;
    std::wstring exe;
    std::wstring first;
    std::wstring second;

    void SetUp() override
    {
        exe = quillet_with_settings(L"multi", "");
        folder = make_temp_dir(L"multi-files");
        first = join_path(folder, L"first.dll");
        second = join_path(folder, L"second.dll");
        CopyFileW(data_file(L"image_x86.dll").c_str(), first.c_str(), FALSE);
        CopyFileW(data_file(L"image_two_translations.dll").c_str(), second.c_str(), FALSE);
    }

    // The properties heading and the version report's file heading of one file.
    static std::string file_block(const std::wstring& path)
    {
        return "\r\nFile Version Info for:\r\n\"" + narrow(path) + "\"\r\n\r\n[FileName]\r\n-- " + narrow(path) +
               " --\r\n";
    }

    static std::string digest_block(const char* label, ALG_ID algorithm, const std::wstring& path)
    {
        std::string bytes = read_file(path);
        return "\r\nAllocating Memory (" + std::to_string(bytes.size()) +
               ") Bytes...done!\r\nReading File Content...done!\r\nCreating Hash Data...done!\r\n" + label +
               digest_text(algorithm, bytes) + "\r\n\r\n";
    }
};

} // namespace

TEST_F(MultipleRun, LastWordDigestComesBeforeEachFilesReport)
{
    RunResult run = run_quillet(exe, {L"-m", first, second, L"-sha1"});
    ASSERT_FALSE(run.timed_out);
    size_t first_digest = run.out.find(digest_block("File SHA1: ", CALG_SHA1, first) + file_block(first));
    size_t second_digest = run.out.find(digest_block("File SHA1: ", CALG_SHA1, second) + file_block(second));
    EXPECT_NE(std::string::npos, first_digest) << run.out;
    EXPECT_NE(std::string::npos, second_digest);
    EXPECT_LT(first_digest, second_digest);
    EXPECT_EQ(2u, count_of(run.out, "File Version Info for:"));
    EXPECT_EQ(2u, count_of(run.out, "File SHA1: "));
    EXPECT_EQ(0u, count_of(run.out, "\"-sha1\""));
    EXPECT_EQ(0u, count_of(run.out, "File MD5: "));
}

TEST_F(MultipleRun, Sha256IsADigestOnlyAsTheLastWordAndAStopWordElsewhere)
{
    RunResult run = run_quillet(exe, {L"-m", first, second, L"-SHA256"});
    for (const std::wstring& path : {first, second}) {
        std::string bytes = read_file(path);
        std::string digest = "\r\nAllocating Memory (" + std::to_string(bytes.size()) +
                             ") Bytes...done!\r\nReading File Content...done!\r\nCreating Hash Data...done!\r\n" +
                             "File SHA256: " + reference_sha256(bytes) + "\r\n\r\n";
        EXPECT_NE(std::string::npos, run.out.find(digest + file_block(path))) << run.out;
    }
    EXPECT_EQ(2u, count_of(run.out, "File SHA256: "));

    RunResult stopped = run_quillet(exe, {L"-m", first, L"-sha256", second});
    EXPECT_EQ(1u, count_of(stopped.out, "File Version Info for:")) << stopped.out;
    EXPECT_EQ(std::string::npos, stopped.out.find("Allocating Memory"));
}

TEST_F(MultipleRun, DigestWordIsMatchedWithoutRegardToCase)
{
    RunResult run = run_quillet(exe, {L"-multiple", first, L"-MD5"});
    EXPECT_NE(std::string::npos, run.out.find(digest_block("File MD5: ", CALG_MD5, first) + file_block(first)))
        << run.out;
    EXPECT_EQ(1u, count_of(run.out, "File Version Info for:"));
}

TEST_F(MultipleRun, DigestWordInTheMiddleStopsTheRunWithoutDigest)
{
    RunResult run = run_quillet(exe, {L"-m", first, L"-md5", second});
    EXPECT_NE(std::string::npos, run.out.find(file_block(first))) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "File Version Info for:"));
    EXPECT_EQ(std::string::npos, run.out.find(narrow(second)));
    EXPECT_EQ(std::string::npos, run.out.find("Allocating Memory"));
}

TEST_F(MultipleRun, DigestWordRightAfterTheCommandPrintsOnlyTheBanner)
{
    RunResult run = run_quillet(exe, {L"-m", L"-md5"});
    RunResult banner_only = run_quillet(exe, {L"-m", L"-sha1"});
    EXPECT_NE(std::string::npos, run.out.find("Revu Zezo Rudurur Ozav"));
    EXPECT_EQ(std::string::npos, run.out.find("File Version Info for:"));
    EXPECT_EQ(std::string::npos, run.out.find("Could not get Information"));
    EXPECT_EQ(std::string::npos, run.out.find("Allocating Memory"));
    EXPECT_EQ(banner_only.out, run.out);
}

TEST_F(MultipleRun, WithoutFileNamesPrintsTheFailure)
{
    RunResult run = run_quillet(exe, {L"-m"});
    std::string failure =
        "\r\nCould not get Information for Files. Reason: " + system_text(ERROR_INVALID_PARAMETER) + NO_FILE_NAMES;
    ASSERT_GE(run.out.size(), failure.size());
    EXPECT_EQ(failure, run.out.substr(run.out.size() - failure.size()));
    EXPECT_EQ(1u, count_of(run.out, "Could not get Information"));
}

TEST_F(MultipleRun, FileThatCannotBeOpenedDoesNotStopTheRun)
{
    std::wstring missing = join_path(folder, L"missing.dll");
    RunResult run = run_quillet(exe, {L"-m", missing, first});
    size_t notice = run.out.find("\r\nError: Could not open File for reading. Reason: 2\r\n");
    size_t next = run.out.find(file_block(first));
    EXPECT_NE(std::string::npos, notice) << run.out;
    EXPECT_NE(std::string::npos, next);
    EXPECT_LT(notice, next);
    EXPECT_NE(std::string::npos, run.out.find("-- Image Test Ltd --", next));
}

TEST_F(MultipleRun, HtmlWordIsJustAPathHere)
{
    RunResult run = run_quillet(exe, {L"-m", L"-html"});
    EXPECT_NE(std::string::npos, run.out.find("\r\nFile Version Info for:\r\n\"-html\"\r\n")) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("<html>"));
    EXPECT_EQ(std::string::npos, run.out.find("<br>"));
}
