#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "reference_digest.h"
#include "report_runs.h"
#include "test_files.h"

namespace {

// Dashes, the local "dd.mm.yyyy :: hh:mm", dashes.
const size_t SEPARATOR_CHARS = 17 + 19 + 17;

bool is_time_text(const std::string& text)
{
    return std::regex_match(text, std::regex("\\d\\d\\.\\d\\d\\.\\d{4} :: \\d\\d:\\d\\d"));
}

// The properties block as the platform describes path; the access time only by its form, as
// reading the file may move it.
bool has_properties_block(const std::string& out, const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    std::string before = "Is the File readable: YES\r\nFile Size (Bytes): " + std::to_string(data.nFileSizeLow) +
                         "\r\nFile Attributes: " + std::to_string(data.dwFileAttributes) +
                         "\r\nFile created: " + local_time_text(data.ftCreationTime) + "\r\nFile last Access: ";
    std::string after = "\r\nFile last Write: " + local_time_text(data.ftLastWriteTime) + "\r\n\r\n";
    size_t at = out.find(before);
    if (at == std::string::npos)
        return false;
    at += before.size();
    return is_time_text(out.substr(at, 19)) && out.compare(at + 19, after.size(), after) == 0;
}

bool is_separator(const std::string& text)
{
    return text.size() == SEPARATOR_CHARS && text.compare(0, 17, std::string(17, '-')) == 0 &&
           is_time_text(text.substr(17, 19)) && text.compare(36, 17, std::string(17, '-')) == 0;
}

std::wstring sample_file(const QuilletCopy& copy, const std::string& bytes)
{
    std::wstring path = join_path(copy.folder, L"sample.bin");
    write_file(path, bytes);
    return path;
}

} // namespace

TEST(Settings, WithoutASettingsFileTheDefaultsApply)
{
    QuilletCopy copy = make_quillet_copy(L"defaults");
    // Just below the default limit of 5000000 bytes: hashed without a question.
    std::string bytes(4999999, 'q');
    std::wstring path = sample_file(copy, bytes);
    RunResult run = run_quillet(copy, {path, L"-md5"});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(plain_banner() + file_heading(path) +
                  "Allocating Memory (4999999) Bytes...done!\r\nReading File Content...done!\r\nCreating Hash "
                  "Data...done!\r\nFile MD5: " +
                  reference_md5(bytes) + "\r\n\r\n",
              run.out.substr(0, run.out.find("Getting File Version Info Size failed.")));
    EXPECT_FALSE(file_exists(join_path(copy.folder, L"quillet.log")));
    DeleteFileW(path.c_str());
}

TEST(Settings, APartialFileKeepsTheDefaultsOfWhatItLeavesOut)
{
    QuilletCopy copy = make_quillet_copy(L"partial", "[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    std::wstring path = sample_file(copy, "some bytes");
    RunResult run = run_quillet(copy, {path, L"-sha1"});
    EXPECT_TRUE(has_properties_block(run.out, path)) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("File SHA1: " + reference_sha1("some bytes")));
    EXPECT_FALSE(file_exists(join_path(copy.folder, L"quillet.log")));
}

TEST(Settings, KeyNamesMatchWithoutRegardToCase)
{
    QuilletCopy copy = make_quillet_copy(L"keycase", "[outputinformation]\r\nprintextrafileproperties=1\r\n");
    std::wstring path = sample_file(copy, "x");
    EXPECT_TRUE(has_properties_block(run_quillet(copy, {path}).out, path));
}

TEST(Settings, AFlagOfTwoIsOff)
{
    QuilletCopy copy = make_quillet_copy(
        L"flagtwo", "[Hashing]\r\nAskIfSizeExceeds=2\r\n[OutputInformation]\r\nPrintExtraFileProperties=2\r\n"
                    "WriteOutputToQuilletLog=2\r\nPrintProcessingTimeInformation=2\r\n");
    std::wstring path = sample_file(copy, "x");
    RunResult run = run_quillet(copy, {path, L"-md5"});
    EXPECT_EQ(plain_banner() + file_heading(path) + "Getting File Version Info Size failed.",
              run.out.substr(0, run.out.find(" Reason: ")));
    EXPECT_FALSE(file_exists(join_path(copy.folder, L"quillet.log")));
}

TEST(Settings, AProgramInADottedFolderFindsItsSettingsFile)
{
    std::wstring parent = make_temp_dir(L"dotted");
    std::wstring folder = join_path(parent, L"my.tools");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    QuilletCopy copy;
    copy.folder = folder;
    copy.exe = copy_program(windows_path(QUILLET_EXE), folder);
    write_file(join_path(folder, L"quillet.ini"), "[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    std::wstring path = sample_file(copy, "dotted");
    EXPECT_TRUE(has_properties_block(run_quillet(copy, {path}).out, path));
}

TEST(Settings, ARenamedProgramReadsTheSettingsFileOfItsOwnName)
{
    QuilletCopy copy;
    copy.folder = make_temp_dir(L"renamed");
    copy.exe = copy_program(windows_path(QUILLET_EXE), copy.folder, L"vr.tool.exe");
    write_file(join_path(copy.folder, L"quillet.ini"), "[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    std::wstring path = sample_file(copy, "renamed");
    EXPECT_FALSE(has_properties_block(run_quillet(copy, {path}).out, path));
    write_file(join_path(copy.folder, L"vr.tool.ini"), "[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    EXPECT_TRUE(has_properties_block(run_quillet(copy, {path}).out, path));
}

TEST(Settings, TwoLoggedRunsGiveTwoSeparatorsEachBeforeItsRun)
{
    QuilletCopy copy = make_quillet_copy(L"log", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\n");
    std::wstring path = sample_file(copy, "logged");
    RunResult first = run_quillet(copy, {path, L"-md5"});
    RunResult second = run_quillet(copy, {});
    std::string log = read_file(join_path(copy.folder, L"quillet.log"));
    ASSERT_EQ(2 * SEPARATOR_CHARS + first.out.size() + second.out.size(), log.size()) << log;
    EXPECT_TRUE(is_separator(log.substr(0, SEPARATOR_CHARS))) << log;
    EXPECT_EQ(first.out, log.substr(SEPARATOR_CHARS, first.out.size()));
    size_t second_start = SEPARATOR_CHARS + first.out.size();
    EXPECT_TRUE(is_separator(log.substr(second_start, SEPARATOR_CHARS))) << log;
    EXPECT_EQ(second.out, log.substr(second_start + SEPARATOR_CHARS));
}

TEST(Settings, AnUnopenableLogPrintsItsNoticeAndTheRunGoesOn)
{
    QuilletCopy copy = make_quillet_copy(L"nolog", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\n");
    std::wstring log_path = join_path(copy.folder, L"quillet.log");
    ASSERT_TRUE(CreateDirectoryW(log_path.c_str(), nullptr));
    HANDLE probe = CreateFileW(log_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(INVALID_HANDLE_VALUE, probe);
    DWORD code = GetLastError();

    RunResult usage = run_quillet(copy, {});
    RunResult plain_usage = run_quillet(make_quillet_copy(L"nolog-ref"), {});
    std::string notice = "Could not open \"" + narrow(log_path) + "\" for writing.\r\nReason: " + std::to_string(code) +
                         "\r\nError Detail: " + system_text(code) + "\r\n";
    EXPECT_EQ(notice + plain_usage.out, usage.out);
}
