#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <string>

#include "console_harness.h"
#include "report_runs.h"
#include "test_files.h"
#include "version_report.h"

namespace {

std::string language_name(WORD language)
{
    wchar_t name[260] = {};
    VerLanguageNameW(language, name, 260);
    return narrow(name);
}

std::string entry(const std::string& name, const std::string& value)
{
    return "[" + name + "]\r\n-- " + value + " --\r\n";
}

std::string language_block(WORD language)
{
    return "[Language]\r\n-- " + language_name(language) + " --\r\n";
}

// Runs the single-file report on a copy of a test image and returns its version report.
std::string version_report_of(const std::wstring& image, std::wstring& path)
{
    QuilletCopy copy = make_quillet_copy(L"version");
    path = join_path(copy.folder, image);
    CopyFileW(test_data_file(image).c_str(), path.c_str(), FALSE);
    RunResult run = run_quillet(copy, {path});
    EXPECT_EQ(0u, run.exit_code) << run.out;
    EXPECT_EQ(0u, run.out.find(plain_banner() + file_heading(path))) << run.out;
    return run.out.substr(plain_banner().size() + file_heading(path).size());
}

std::string file_name_block(const std::wstring& path)
{
    return "[FileName]\r\n-- " + narrow(path) + " --\r\n";
}

// Offset of the resource data entry of the version resource in an image file.
size_t version_data_entry(const std::string& image)
{
    auto u16 = [&](size_t at) {
        return static_cast<size_t>(static_cast<uint8_t>(image[at]) | static_cast<uint8_t>(image[at + 1]) << 8);
    };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    size_t pe = u32(0x3c);
    size_t sections = u16(pe + 6);
    size_t optional = pe + 24;
    size_t directories = optional + (u16(optional) == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? 96 : 112);
    size_t resource_rva = u32(directories + 8 * IMAGE_DIRECTORY_ENTRY_RESOURCE);
    size_t section_table = optional + u16(pe + 20);
    size_t root = 0;
    for (size_t i = 0; i < sections; ++i) {
        size_t header = section_table + 40 * i;
        size_t address = u32(header + 12), raw_size = u32(header + 16), raw_pointer = u32(header + 20);
        if (resource_rva >= address && resource_rva < address + raw_size)
            root = resource_rva - address + raw_pointer;
    }
    // type directory -> RT_VERSION -> its first name -> its first language -> data entry
    auto first_child = [&](size_t directory) { return root + (u32(directory + 20) & 0x7fffffff); };
    size_t types = u16(root + 12) + u16(root + 14);
    for (size_t i = 0; i < types; ++i) {
        size_t child = root + 16 + 8 * i;
        if (u32(child) != 16)
            continue;
        size_t name_directory = root + (u32(child + 4) & 0x7fffffff);
        return first_child(first_child(name_directory));
    }
    return 0;
}

} // namespace

TEST(VersionReport, TwoTranslationsPrintTheirOwnEntriesInTheFixedOrder)
{
    std::wstring path;
    std::string report = version_report_of(L"version_translations.dll", path);
    std::string expected = file_name_block(path) + language_block(0x0409) + entry("Comments", "100%s%n done") +
                           entry("CompanyName", "Example Ltd") + entry("FileVersion", "2.5.0.1") +
                           entry("ProductName", "Translations Test") + entry("SpecialBuild", "nightly") +
                           language_block(0x0407) + entry("FileDescription", "Zweite Sprache") +
                           entry("LegalCopyright", "(C) Beispiel GmbH");
    EXPECT_EQ(expected, report);
    EXPECT_EQ(std::string::npos, report.find("VendorBuildKey"));
    EXPECT_EQ(std::string::npos, report.find("never shown"));
}

TEST(VersionReport, BlanksAreTrimmedTabsKeptAndBlankValuesLeftOut)
{
    std::wstring path;
    std::string report = version_report_of(L"version_blanks.dll", path);
    std::string expected = file_name_block(path) + language_block(0x0409) + entry("CompanyName", "Example Ltd") +
                           entry("FileDescription", "\tTabbed description") +
                           entry("InternalName", "inner  blanks stay");
    EXPECT_EQ(expected, report);
    EXPECT_EQ(std::string::npos, report.find("[FileVersion]"));
    EXPECT_EQ(std::string::npos, report.find("[ProductName]"));
}

TEST(VersionReport, TranslationWithoutItsStringTableShowsOnlyItsLanguage)
{
    std::wstring path;
    std::string report = version_report_of(L"version_missing_table.dll", path);
    std::string expected =
        file_name_block(path) + language_block(0x0409) + entry("FileVersion", "1.0.0.0") + language_block(0x040c);
    EXPECT_EQ(expected, report);
}

TEST(VersionReport, ImageWithoutVersionResourcePrintsTheNoResourceLines)
{
    QuilletCopy copy = make_quillet_copy(L"noversion");
    std::wstring path = test_data_file(L"version_none.dll");
    DWORD handle = 0;
    ASSERT_EQ(0u, GetFileVersionInfoSizeW(path.c_str(), &handle));
    DWORD code = GetLastError();
    RunResult run = run_quillet(copy, {path});
    EXPECT_EQ(0u, run.exit_code);
    std::string expected = plain_banner() + file_heading(path) +
                           "Getting File Version Info Size failed. Reason: " + std::to_string(code) +
                           "\r\nFailed for File: " + narrow(path) + "\r\nDetail: " + system_text(code) + "\r\n";
    EXPECT_EQ(expected, run.out);
}

TEST(VersionReport, PlainTextFilePrintsTheNoResourceLines)
{
    QuilletCopy copy = make_quillet_copy(L"textfile");
    std::wstring path = join_path(copy.folder, L"notes.txt");
    write_file(path, "just text\r\n");
    DWORD handle = 0;
    ASSERT_EQ(0u, GetFileVersionInfoSizeW(path.c_str(), &handle));
    DWORD code = GetLastError();
    RunResult run = run_quillet(copy, {path});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ("Getting File Version Info Size failed. Reason: " + std::to_string(code) +
                  "\r\nFailed for File: " + narrow(path) + "\r\nDetail: " + system_text(code) + "\r\n",
              run.out.substr(plain_banner().size() + file_heading(path).size()));
}

// The version data entry of a valid image made to claim a megabyte that the file does not
// hold: the platform's version functions fault reading it.
TEST(VersionReport, DamagedVersionResourceGivesTheUnreadableLinesInsteadOfACrash)
{
    std::string image = read_file(test_data_file(L"version_translations.dll"));
    size_t data_entry = version_data_entry(image);
    ASSERT_NE(0u, data_entry);
    ASSERT_LT(data_entry + 8, image.size());
    uint32_t huge = 0x100000;
    memcpy(&image[data_entry + 4], &huge, sizeof(huge));
    QuilletCopy copy = make_quillet_copy(L"damaged");
    std::wstring path = join_path(copy.folder, L"damaged.dll");
    write_file(path, image);

    RunResult run = run_quillet(copy, {path, L"-md5"});
    EXPECT_EQ(0u, run.exit_code) << run.out;
    std::string report = from_marker(run.out, "Getting File Version Info");
    EXPECT_EQ("Getting File Version Info failed. Reason: 13\r\nDetail: " + system_text(ERROR_INVALID_DATA) + "\r\n",
              report);
    EXPECT_NE(std::string::npos, run.out.find("File MD5: ")) << "the digest before the report still works";

    std::wstring valid = test_data_file(L"version_missing_table.dll");
    RunResult several = run_quillet(copy, {L"-m", path, valid});
    // The next file of the run is reported as usual.
    EXPECT_NE(std::string::npos, several.out.find("Getting File Version Info failed. Reason: 13\r\n"));
    EXPECT_NE(std::string::npos, several.out.find("[FileName]\r\n-- " + narrow(valid) + " --\r\n")) << several.out;
}

TEST(VersionReport, LinesShowInTheirColoursOnTheConsole)
{
    ASSERT_TRUE(console_fresh());
    QuilletCopy copy = make_quillet_copy(L"colours", "[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    RunOptions options;
    options.share_console = true;
    RunResult run = run_quillet(copy, {test_data_file(L"version_missing_table.dll")}, options);
    EXPECT_EQ(0u, run.exit_code);
    const WORD white = 15, cyan = 11, green = 10;
    struct Expected {
        const wchar_t* text;
        WORD attribute;
    };
    for (const Expected& line :
         {Expected{L"Revu Zezo Rudurur Ozav", white}, Expected{L"File Version Info for:", white},
          Expected{L"Is the File readable: YES", white}, Expected{L"[FileName]", white},
          Expected{L"version_missing_table.dll --", cyan}, Expected{L"[Language]", white},
          Expected{L"-- English --", green}, Expected{L"[FileVersion]", white}, Expected{L"-- 1.0.0.0 --", green}}) {
        COORD at;
        ASSERT_TRUE(console_find(line.text, at)) << narrow(line.text) << "\n" << narrow(console_text());
        EXPECT_EQ(line.attribute, console_attribute(at.Y, at.X)) << narrow(line.text);
    }
    COORD at;
    ASSERT_TRUE(console_find(L"\"Z:", at));
    EXPECT_EQ(FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE, console_attribute(at.Y, at.X))
        << "the path line is in the restored colour";
}

TEST(VersionReport, PathIsPrintedAsPassed)
{
    QuilletCopy copy = make_quillet_copy(L"aspassed");
    CopyFileW(test_data_file(L"version_missing_table.dll").c_str(), join_path(copy.folder, L"v.dll").c_str(), FALSE);
    RunOptions options;
    options.working_dir = copy.folder;
    RunResult run = run_quillet(copy, {L".\\V.DLL"}, options);
    EXPECT_NE(std::string::npos, run.out.find("[FileName]\r\n-- .\\V.DLL --\r\n")) << run.out;
}

TEST(TrimSpaces, RemovesOnlyBlanksAtBothEnds)
{
    wchar_t output[64];
    wchar_t around[] = L"  a b  ";
    EXPECT_STREQ(L"a b", trim_spaces(around, output));
    wchar_t blanks[] = L"   ";
    EXPECT_STREQ(L"", trim_spaces(blanks, output));
    wchar_t empty[] = L"";
    EXPECT_STREQ(L"", trim_spaces(empty, output));
    wchar_t tabbed[] = L"\t x \t";
    EXPECT_STREQ(L"\t x \t", trim_spaces(tabbed, output));
    wchar_t in_place[] = L" same buffer ";
    EXPECT_STREQ(L"same buffer", trim_spaces(in_place, in_place));
}
