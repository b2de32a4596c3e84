#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "multiple_test_support.h"
#include "reference_digest.h"
#include "test_files.h"

namespace {

const char NOT_A_PATTERN[] = "Detail: The given Directory Path is invalid or Wildcard Missing.\r\n";
const char NOTHING_FOUND[] = "Detail: No files found for the Directory/Pattern/Wildcard.\r\n";
const char END_TAGS[] = "\r\n</body>\r\n</html>";

std::string run_failure(DWORD code, const char* detail)
{
    return "\r\nCould not get Information for Files. Reason: " + system_text(code) + detail;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class DirectoryRun : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;

    void SetUp() override
    {
        exe = quillet_with_settings(L"dir", "");
        folder = make_temp_dir(L"dir-files");
        copy_into(folder, L"alpha.dll", L"image_x86.dll");
        copy_into(folder, L"beta.dll", L"image_x64.dll");
        write_file(join_path(folder, L"notes.txt"), "not listed\r\n");
    }

    static void copy_into(const std::wstring& target, const wchar_t* name, const wchar_t* data_name)
    {
        CopyFileW(data_file(data_name).c_str(), join_path(target, name).c_str(), FALSE);
    }

    // The properties heading and the version report heading of an entry that opened.
    static std::string opened_entry(const std::string& path)
    {
        return "\r\nFile Version Info for:\r\n\"" + path + "\"\r\n\r\n[FileName]\r\n-- " + path + " --\r\n[Language]";
    }
};

} // namespace

TEST_F(DirectoryRun, CompleteListingReportsEveryMatchAndEndsWith18)
{
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll")});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find(opened_entry(narrow(join_path(folder, L"alpha.dll"))))) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(opened_entry(narrow(join_path(folder, L"beta.dll")))));
    EXPECT_EQ(2u, count_of(run.out, "File Version Info for:"));
    EXPECT_EQ(std::string::npos, run.out.find("notes.txt"));
    EXPECT_EQ(std::string::npos, run.out.find("<br>"));
}

TEST_F(DirectoryRun, ExistingFolderWithoutWildcardIsRefused)
{
    for (const std::wstring& path : {folder, folder + L"\\"}) {
        RunResult run = run_quillet(exe, {L"-directory", path});
        EXPECT_TRUE(ends_with(run.out, run_failure(ERROR_PATH_NOT_FOUND, NOT_A_PATTERN))) << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("File Version Info for:"));
    }
}

TEST_F(DirectoryRun, WithoutPatternPrintsTheFailure)
{
    RunResult run = run_quillet(exe, {L"-d"});
    EXPECT_TRUE(ends_with(run.out, run_failure(ERROR_INVALID_PARAMETER, "Detail: No Directory Name given.\r\n")))
        << run.out;
}

TEST_F(DirectoryRun, MissingFolderPrintsTheFailureAndThePattern)
{
    std::wstring pattern = join_path(folder, L"nowhere\\*.dll");
    RunResult run = run_quillet(exe, {L"-d", pattern});
    std::string tail = run_failure(ERROR_FILE_NOT_FOUND, NOTHING_FOUND) +
                       "Given Directory/Pattern/Wildcard: " + narrow(pattern) + "\r\n";
    EXPECT_TRUE(ends_with(run.out, tail)) << run.out;
}

TEST_F(DirectoryRun, BareWildcardReportsNamesRelativeToTheCurrentFolder)
{
    RunResult run = run_quillet(exe, {L"-d", L"*.dll"}, folder);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find(opened_entry("alpha.dll"))) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(opened_entry("beta.dll")));
}

TEST_F(DirectoryRun, PatternAtADriveRootOpensEachEntry)
{
    wchar_t letter = map_test_drive(folder);
    ASSERT_NE(0, letter) << "no drive letter could be mapped";
    std::wstring root = std::wstring(1, letter) + L":\\";
    RunResult run = run_quillet(exe, {L"-d", root + L"*.dll"});
    unmap_test_drive(letter);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    // The root keeps its backslash, and the separator follows it.
    EXPECT_NE(std::string::npos, run.out.find(opened_entry(narrow(root + L"\\alpha.dll")))) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(opened_entry(narrow(root + L"\\beta.dll"))));
}

TEST_F(DirectoryRun, BothDigestsComeBetweenPropertiesAndVersionReport)
{
    std::wstring path = join_path(folder, L"alpha.dll");
    std::string bytes = read_file(path);
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"alpha*.dll"), L"-sha1", L"-md5"});
    size_t properties = run.out.find("\r\nFile Version Info for:\r\n\"" + narrow(path) + "\"\r\n\r\n");
    size_t md5 = find_after(run.out, "File MD5: " + digest_text(CALG_MD5, bytes) + "\r\n\r\n", properties);
    size_t sha1 = find_after(run.out, "File SHA1: " + digest_text(CALG_SHA1, bytes) + "\r\n\r\n", md5);
    size_t report = find_after(run.out, "[FileName]\r\n-- " + narrow(path) + " --\r\n", sha1);
    EXPECT_NE(std::string::npos, report) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "File MD5: "));
    EXPECT_EQ(1u, count_of(run.out, "File SHA1: "));
}

TEST_F(DirectoryRun, Sha256ComesAfterTheOtherDigestsWhereverItStands)
{
    std::wstring path = join_path(folder, L"alpha.dll");
    std::string bytes = read_file(path);
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"alpha*.dll"), L"-sha256", L"-md5", L"-sha1"});
    size_t md5 = run.out.find("File MD5: " + reference_md5(bytes) + "\r\n\r\n");
    size_t sha1 = find_after(run.out, "File SHA1: " + reference_sha1(bytes) + "\r\n\r\n", md5);
    size_t sha256 = find_after(
        run.out, "Creating Hash Data...done!\r\nFile SHA256: " + reference_sha256(bytes) + "\r\n\r\n[FileName]", sha1);
    EXPECT_NE(std::string::npos, sha256) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "File SHA256: "));
}

TEST_F(DirectoryRun, EntryPathLongerThanTheBufferIsReportedAsUnopenable)
{
    std::wstring deep = folder;
    while (deep.size() < 225) {
        deep = join_path(deep, L"nested_folder_name");
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring long_name(300 - deep.size(), L'x');
    long_name += L".dll";
    ASSERT_TRUE(CopyFileW(data_file(L"image_x86.dll").c_str(), join_path(deep, long_name).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(data_file(L"image_x86.dll").c_str(), join_path(deep, L"a.dll").c_str(), FALSE));

    RunResult run = run_quillet(exe, {L"-d", join_path(deep, L"*.dll")});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    std::string whole = narrow(join_path(deep, long_name));
    size_t heading = run.out.find("\r\nFile Version Info for:\r\n\"" + whole + "\"\r\n\r\n");
    EXPECT_NE(std::string::npos, heading) << run.out;
    EXPECT_NE(std::string::npos,
              find_after(run.out, "\r\nError: Could not open File for reading. Reason: 206\r\n", heading));
    EXPECT_EQ(1u, count_of(run.out, whole));
    EXPECT_NE(std::string::npos, run.out.find(opened_entry(narrow(join_path(deep, L"a.dll")))));
}

TEST_F(DirectoryRun, HtmlWordBeforeThePatternIsTakenAsThePattern)
{
    RunResult run = run_quillet(exe, {L"-d", L"-html", join_path(folder, L"*.dll")});
    EXPECT_NE(std::string::npos, run.out.find(run_failure(ERROR_FILE_NOT_FOUND, NOTHING_FOUND) +
                                              "Given Directory/Pattern/Wildcard: -html\r\n"))
        << run.out;
    EXPECT_TRUE(ends_with(run.out, END_TAGS));
}

TEST_F(DirectoryRun, HtmlRunThatFindsNothingStillClosesTheDocument)
{
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.none"), L"-html"});
    size_t head = run.out.find("<html>");
    size_t rule = find_after(run.out, "\r\n</p><br><hr noshade>\r\n", head);
    size_t failure = find_after(run.out, run_failure(ERROR_FILE_NOT_FOUND, NOTHING_FOUND), rule);
    EXPECT_NE(std::string::npos, failure) << run.out;
    EXPECT_TRUE(ends_with(run.out, END_TAGS));
    EXPECT_EQ(std::string::npos, run.out.find("Quickjump"));
    EXPECT_EQ(1u, count_of(run.out, "</html>"));
}
