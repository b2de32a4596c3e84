// The hexadecimal view, which no command word selects, called directly.
#include <gtest/gtest.h>

#include <string>

#include "console_harness.h"
#include "file_print.h"
#include "process_runner.h"
#include "stdout_capture.h"
#include "test_files.h"

namespace {

std::string hex_print(const std::wstring& path)
{
    stdout_capture_begin();
    print_file_to_screen(path.c_str(), PRINT_HEX);
    return stdout_capture_end();
}

} // namespace

TEST(HexView, FifteenBytesToALineWithTheirText)
{
    std::wstring path = join_path(make_temp_dir(L"inihex"), L"hex.txt");
    write_file(path, "ABCDEFGHIJKLMN\r\nxyz\t");
    std::string out = hex_print(path);
    EXPECT_EQ("Printing File to Screen (Hex Mode): " + narrow(path) +
                  "\r\n\r\n"
                  "41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 0d ABCDEFGHIJKLMN \r\n"
                  "0a 78 79 7a 09                                xyz.\r\n"
                  "\r\n",
              out);
}

TEST(HexView, EmptyFileAndRefusedImage)
{
    std::wstring folder = make_temp_dir(L"inihex");
    std::wstring path = join_path(folder, L"empty.txt");
    write_file(path, "");
    EXPECT_EQ("Printing File to Screen (Hex Mode): " + narrow(path) + "\r\n\r\n\r\n", hex_print(path));

    path = join_path(folder, L"image.dll");
    write_file(path, std::string("MZ\x90\x00\x03\x00\x00\x00\x04\x00", 10));
    EXPECT_EQ(0u, hex_print(path).find("Could not open File. Reason: Binary Files are not allowed"));
}

TEST(HexViewConsole, Colours)
{
    ASSERT_TRUE(console_fresh());
    std::wstring path = join_path(make_temp_dir(L"inihexcon"), L"hex.txt");
    write_file(path, "0123456789abcdefg");
    RunOptions options;
    options.share_console = true;
    RunResult run = run_program(windows_path(HEX_VIEW_HELPER), {path}, options);
    EXPECT_EQ(0u, run.exit_code);
    COORD at;
    ASSERT_TRUE(console_find(L"30 31 32", at));
    EXPECT_EQ(L"30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 0123456789abcde", console_row(at.Y));
    EXPECT_EQ(31, console_attribute(at.Y, at.X));
    EXPECT_EQ(78, console_attribute(at.Y, at.X + 45));
    EXPECT_EQ(L"66 67 " + std::wstring(13 * 3, L' ') + L"fg", console_row(at.Y + 1));
    EXPECT_EQ(31, console_attribute(at.Y + 1, at.X));
    EXPECT_EQ(78, console_attribute(at.Y + 1, at.X + 46));
    EXPECT_EQ(10, console_attribute(at.Y - 2, 37));
}
