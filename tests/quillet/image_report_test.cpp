#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "image_report.h"
#include "multiple_test_support.h"
#include "report_output.h"
#include "settings.h"
#include "stdout_capture.h"
#include "test_files.h"
#include "user_context.h"

namespace {

std::string image_sections(const std::wstring& path)
{
    stdout_capture_begin();
    print_image_checksums(path.c_str());
    print_image_internal_information(path.c_str());
    return stdout_capture_end();
}

class ImageSections : public ::testing::Test {
  protected:
    std::wstring folder;

    void SetUp() override
    {
        settings = Settings();
        html_mode = false;
        load_user_context();
        folder = make_temp_dir(L"image");
    }

    void TearDown() override
    {
        html_mode = false;
    }

    std::wstring make_file(const wchar_t* name, const std::string& bytes)
    {
        std::wstring path = join_path(folder, name);
        write_file(path, bytes);
        return path;
    }
};

} // namespace

TEST_F(ImageSections, ThirtyTwoBitImageShowsItsHeaderAndChecksums)
{
    std::wstring path = data_file(L"image_x86.dll");
    std::string image = read_file(path);
    ASSERT_FALSE(image.empty());
    std::string out = image_sections(path);
    EXPECT_EQ(expected_checksums(image, "") + expected_header_fields(image, ""), out);
    EXPECT_NE(std::string::npos, out.find("-- Machine: 332 --\r\n"));
    EXPECT_NE(std::string::npos, out.find("-- Image Magic: 267 --\r\n"));
}

TEST_F(ImageSections, SixtyFourBitImageShowsItsHeaderAndChecksums)
{
    std::wstring path = data_file(L"image_x64.dll");
    std::string image = read_file(path);
    ASSERT_FALSE(image.empty());
    std::string out = image_sections(path);
    EXPECT_EQ(expected_checksums(image, "") + expected_header_fields(image, ""), out);
    EXPECT_NE(std::string::npos, out.find("-- Machine: 34404 --\r\n"));
    EXPECT_NE(std::string::npos, out.find("-- Image Magic: 523 --\r\n"));
}

TEST_F(ImageSections, StoredChecksumWithTheHighBitShowsNegativeBesideTheComputedOne)
{
    std::string image = read_file(data_file(L"image_x86.dll"));
    ASSERT_FALSE(image.empty());
    write_u32(image, nt_headers_offset(image) + 4 + 20 + 64, 0x87654321);
    std::string out = image_sections(make_file(L"patched.dll", image));
    EXPECT_NE(std::string::npos, out.find("-- Header Sum: -2023406815 --\r\n"));
    EXPECT_NE(std::string::npos, out.find("-- Computed Sum: " + signed_text(pe_checksum(image)) + " --\r\n"));
    EXPECT_NE(std::string::npos, out.find("-- Image Checksum: -2023406815 --\r\n"));
}

TEST_F(ImageSections, HtmlModeEndsEveryLineWithABreak)
{
    html_mode = true;
    std::wstring path = data_file(L"image_x64.dll");
    std::string image = read_file(path);
    std::string out = image_sections(path);
    EXPECT_EQ(expected_checksums(image, "<br>") + expected_header_fields(image, "<br>"), out);
    EXPECT_EQ(18u, count_of(out, "<br>"));
}

TEST_F(ImageSections, FilesThatAreNoImagesGetNoHeaderSectionAndNoMessage)
{
    // Whether the checksum function accepts a file that is no image is the platform's call.
    std::string out = image_sections(make_file(L"notes.txt", "just some text, no image at all\r\n"));
    EXPECT_EQ(std::string::npos, out.find("[ImageExtraInfo]"));
    EXPECT_EQ(std::string::npos, out.find("Error:"));
    EXPECT_EQ("", image_sections(join_path(folder, L"missing.dll")));
}

TEST_F(ImageSections, HeadersPastTheEndGiveNoHeaderSectionAndNoMessage)
{
    std::string out = image_sections(make_file(L"past_end.dll", damaged_image(0x10000)));
    EXPECT_EQ(std::string::npos, out.find("[ImageExtraInfo]"));
    EXPECT_EQ(std::string::npos, out.find("Error:"));
    EXPECT_EQ(0u, out.find("[Checksums]\r\n-- Header Sum: 0 --\r\n-- Computed Sum: ")) << out;
}

TEST_F(ImageSections, HeadersAcrossTheEndGiveTheNoticeAndTheNextFileIsReported)
{
    std::wstring damaged = make_file(L"straddle.dll", damaged_image(0xFFC));
    std::wstring good = data_file(L"image_x86.dll");
    stdout_capture_begin();
    print_image_checksums(damaged.c_str());
    print_image_internal_information(damaged.c_str());
    print_image_checksums(good.c_str());
    print_image_internal_information(good.c_str());
    std::string out = stdout_capture_end();

    EXPECT_EQ(0u, out.find("\r\nError: print_image_internal_information::UNKNOWN Reason: ")) << out;
    EXPECT_EQ(1u, count_of(out, "[Checksums]"));
    EXPECT_EQ(1u, count_of(out, "[ImageExtraInfo]"));
    std::string image = read_file(good);
    std::string tail = expected_checksums(image, "") + expected_header_fields(image, "");
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(tail, out.substr(out.size() - tail.size()));
}

TEST_F(ImageSections, LibraryLookupGivesTheHandleAndNullForAMissingFunction)
{
    EXPECT_TRUE(imagehlp_available());
    FARPROC function = reinterpret_cast<FARPROC>(1);
    HMODULE library = get_imagehlp_function("NoSuchImageHelpFunction", &function);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(nullptr, function);
    FreeLibrary(library);
    library = get_imagehlp_function("MapAndLoad", &function);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(reinterpret_cast<FARPROC>(GetProcAddress(GetModuleHandleW(L"imagehlp.dll"), "MapAndLoad")), function);
    FreeLibrary(library);
}
