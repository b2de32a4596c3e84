#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "multiple_test_support.h"
#include "test_files.h"

namespace {

const char IMAGE_SETTINGS[] = "[OutputInformation]\r\nOutputExtraImageInformation=1\r\n";

class ImageSectionsRun : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;

    void SetUp() override
    {
        exe = quillet_with_settings(L"image-run", IMAGE_SETTINGS);
        folder = make_temp_dir(L"image-run-files");
    }

    std::wstring copy_data(const wchar_t* name, const wchar_t* data_name)
    {
        std::wstring path = join_path(folder, name);
        CopyFileW(data_file(data_name).c_str(), path.c_str(), FALSE);
        return path;
    }

    static std::string sections_of(const std::wstring& path)
    {
        std::string image = read_file(path);
        return expected_checksums(image, "") + expected_header_fields(image, "");
    }
};

} // namespace

TEST_F(ImageSectionsRun, BothMachineTypesFollowTheirEntries)
{
    std::wstring x86 = copy_data(L"x86.dll", L"image_x86.dll");
    std::wstring x64 = copy_data(L"x64.dll", L"image_x64.dll");
    RunResult run = run_quillet(exe, {L"-m", x86, x64});
    std::string entries = "[CompanyName]\r\n-- Image Test Ltd --\r\n[FileVersion]\r\n-- 3.1.0.7 --\r\n";
    size_t first = run.out.find(entries + sections_of(x86));
    size_t second = run.out.find(entries + sections_of(x64));
    EXPECT_NE(std::string::npos, first) << run.out;
    EXPECT_NE(std::string::npos, second);
    EXPECT_LT(first, second);
    EXPECT_NE(std::string::npos, run.out.find("-- Machine: 332 --\r\n", first));
    EXPECT_NE(std::string::npos, run.out.find("-- Image Magic: 267 --\r\n", first));
    EXPECT_NE(std::string::npos, run.out.find("-- Image Magic: 523 --\r\n", second));
}

TEST_F(ImageSectionsRun, EveryTranslationGetsTheSections)
{
    std::wstring path = copy_data(L"two.dll", L"image_two_translations.dll");
    RunResult run = run_quillet(exe, {L"-m", path});
    std::string sections = sections_of(path);
    size_t first = run.out.find("-- Two Tables --\r\n" + sections);
    size_t second = find_after(run.out, "[Language]", first);
    EXPECT_NE(std::string::npos, first) << run.out;
    EXPECT_NE(std::string::npos, find_after(run.out, "-- Zwei Tabellen --\r\n" + sections, second));
    EXPECT_EQ(2u, count_of(run.out, "[Checksums]"));
    EXPECT_EQ(2u, count_of(run.out, "[ImageExtraInfo]"));
}

TEST_F(ImageSectionsRun, DamagedHeadersNeitherCrashNorStopTheRun)
{
    std::wstring past_end = join_path(folder, L"past_end.dll");
    std::wstring straddle = join_path(folder, L"straddle.dll");
    write_file(past_end, damaged_image(0x10000));
    write_file(straddle, damaged_image(0xFFC));
    std::wstring good = copy_data(L"good.dll", L"image_x86.dll");
    RunResult run = run_quillet(exe, {L"-m", past_end, straddle, good});
    ASSERT_FALSE(run.timed_out);
    size_t first = run.out.find("\r\nFile Version Info for:\r\n\"" + narrow(past_end) + "\"");
    size_t second = find_after(run.out, "\r\nFile Version Info for:\r\n\"" + narrow(straddle) + "\"", first);
    size_t last = find_after(run.out, "-- 3.1.0.7 --\r\n" + sections_of(good) + "\r\n", second);
    EXPECT_NE(std::string::npos, last) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "[ImageExtraInfo]"));
}

TEST_F(ImageSectionsRun, BareNameIsTheFileInTheCurrentFolderNotTheOneBesideTheProgram)
{
    std::wstring program_folder = exe.substr(0, exe.find_last_of(L'\\'));
    CopyFileW(data_file(L"image_x64.dll").c_str(), join_path(program_folder, L"probe.dll").c_str(), FALSE);
    std::wstring local = copy_data(L"probe.dll", L"image_x86.dll");
    RunResult run = run_quillet(exe, {L"-m", L"probe.dll"}, folder);
    EXPECT_NE(std::string::npos, run.out.find("-- 3.1.0.7 --\r\n" + sections_of(local))) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("-- Image Magic: 523 --"));
}

TEST_F(ImageSectionsRun, SettingOffLeavesTheSectionsOut)
{
    std::wstring plain =
        quillet_with_settings(L"image-off", "[OutputInformation]\r\nOutputExtraImageInformation=2\r\n");
    std::wstring path = copy_data(L"x86.dll", L"image_x86.dll");
    RunResult run = run_quillet(plain, {L"-m", path});
    EXPECT_NE(std::string::npos, run.out.find("-- 3.1.0.7 --\r\n")) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("[Checksums]"));
    EXPECT_EQ(std::string::npos, run.out.find("[ImageExtraInfo]"));
}
