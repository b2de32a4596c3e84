// "print" with the real quilletini: the file's bytes unchanged, images refused, failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "ini_runs.h"
#include "test_files.h"

namespace {

const std::string TEXT = "first line\r\nsecond line 100% %s\r\nno line end at the close";

// The first bytes of a typical executable image: "MZ", 3 pages at byte 4, 4 paragraphs at byte 8.
std::string image_start()
{
    std::string bytes("MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xFF\xFF\x00\x00", 16);
    return bytes + std::string(48, '\0');
}

std::string header(const std::string& shown_path)
{
    return BANNER + "Printing File to Screen (Plain Mode): " + shown_path + "\r\n\r\n";
}

std::string refusal()
{
    return BANNER + "Could not open File. Reason: Binary Files are not allowed (DOS -Header found).\r\n" +
           "Error Detail: " + system_text(ERROR_BAD_FORMAT);
}

class FilePrint : public ::testing::Test {
  protected:
    void SetUp() override
    {
        folder = make_temp_dir(L"iniprint");
    }

    std::wstring make(const std::wstring& name, const std::string& bytes)
    {
        std::wstring path = join_path(folder, name);
        write_file(path, bytes);
        return path;
    }

    void expect_print(const std::wstring& path, const std::string& expected)
    {
        RunResult run = run_ini({path, L"print"});
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(expected, run.out);
    }

    std::wstring folder;
};

} // namespace

TEST_F(FilePrint, TextFileBytesUnchangedBetweenHeaderAndLineEnd)
{
    std::wstring path = make(L"notes.txt", TEXT);
    expect_print(path, header(narrow(path)) + TEXT + "\r\n");
    // Lone line feeds stay lone: the bytes bypass the runtime's text mode.
    path = make(L"unix.txt", "a\nb\n");
    expect_print(path, header(narrow(path)) + "a\nb\n\r\n");
}

TEST_F(FilePrint, WordsAfterPrintAreIgnored)
{
    std::wstring path = make(L"notes.txt", TEXT);
    RunResult run = run_ini({path, L"print", L"Section", L"Key", L"-binary", L"x"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(header(narrow(path)) + TEXT + "\r\n", run.out);
}

TEST_F(FilePrint, EmptyFileGivesTwoLineEnds)
{
    std::wstring path = make(L"empty.txt", "");
    expect_print(path, header(narrow(path)) + "\r\n");
}

TEST_F(FilePrint, Utf16FileIsWrittenByteForByte)
{
    std::string utf16("\xFF\xFEh\0i\0\r\0\n\0\xE4\0\x16\x04", 14);
    std::wstring path = make(L"wide.txt", utf16);
    expect_print(path, header(narrow(path)) + utf16 + "\r\n");
}

TEST_F(FilePrint, ImageWithDosHeaderIsRefused)
{
    expect_print(make(L"fake.dll", image_start()), refusal());
    // The real program is such an image.
    expect_print(ini_exe(), refusal());
}

TEST_F(FilePrint, MzFilesWithoutTheImageValuesArePrinted)
{
    std::string bytes = image_start();
    bytes[4] = 2;
    std::wstring path = make(L"mz4.txt", bytes);
    expect_print(path, header(narrow(path)) + bytes + "\r\n");

    bytes = image_start();
    bytes[8] = 5;
    path = make(L"mz8.txt", bytes);
    expect_print(path, header(narrow(path)) + bytes + "\r\n");

    // Eight bytes are too short for the test, whatever they hold.
    bytes = image_start().substr(0, 8);
    path = make(L"short.txt", bytes);
    expect_print(path, header(narrow(path)) + bytes + "\r\n");

    bytes = "MZ text that merely begins with M and Z";
    path = make(L"mz.txt", bytes);
    expect_print(path, header(narrow(path)) + bytes + "\r\n");
}

TEST_F(FilePrint, DirectoryFailsWithAccessDeniedAndTheOwnerLookup)
{
    // Opened without backup semantics, a folder gives access denied; its owner is found.
    expect_print(folder, BANNER + failure_notice(ERROR_ACCESS_DENIED) + "\r\nSUCCESS\r\n");
}

TEST_F(FilePrint, FileHeldOpenForWritingFailsWithoutTheOwnerLookup)
{
    std::wstring path = make(L"held.txt", TEXT);
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RunResult run = run_ini({path, L"print"});
    CloseHandle(held);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + failure_notice(ERROR_SHARING_VIOLATION), run.out);
}

TEST_F(FilePrint, RelativePathIsShownAsTyped)
{
    CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr);
    make(L"sub\\rel.txt", TEXT);
    RunResult run = run_ini({L"sub\\rel.txt", L"print"}, folder);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(header("sub\\rel.txt") + TEXT + "\r\n", run.out);
    run = run_ini({L".\\sub\\..\\sub\\rel.txt", L"print"}, folder);
    EXPECT_EQ(header(".\\sub\\..\\sub\\rel.txt") + TEXT + "\r\n", run.out);
}

TEST_F(FilePrint, FullPathTooLongIsAFailedOpen)
{
    std::wstring deep = folder;
    while (deep.size() < 230) {
        deep = join_path(deep, std::wstring(40, L'd'));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring name = std::wstring(40, L'n') + L".txt";
    write_file(join_path(deep, name), TEXT);
    RunResult run = run_ini({name, L"print"}, deep);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + failure_notice(ERROR_FILENAME_EXCED_RANGE), run.out);
}

TEST_F(FilePrint, FileOf4GBOrMoreIsAFailedReadNotItsFirstBytes)
{
    // Sparse: 4 GB and 5 bytes, of which the low part of the size alone would say 5.
    std::wstring path = join_path(folder, L"huge.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER end;
    end.QuadPart = 0x100000005LL;
    bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!sized) {
        DeleteFileW(path.c_str());
        GTEST_SKIP() << "no room for a sparse file of 4 GB here";
    }
    RunResult run = run_ini({path, L"print"});
    DeleteFileW(path.c_str());
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + failure_notice(ERROR_NOT_ENOUGH_MEMORY), run.out);
}

TEST_F(FilePrint, RedirectedIntoAFileEverythingArrivesInOrder)
{
    std::wstring path = make(L"notes.txt", TEXT);
    DWORD exit_code = 0;
    std::string out = run_ini_into_file({path, L"print"}, join_path(folder, L"out.txt"), exit_code);
    EXPECT_EQ(0u, exit_code);
    EXPECT_EQ(header(narrow(path)) + TEXT + "\r\n", out);
}

TEST(FilePrintConsole, BytesAppearBetweenHeaderAndLineEndInTheirColours)
{
    ASSERT_TRUE(console_fresh());
    std::wstring folder = make_temp_dir(L"iniprintcon");
    std::wstring path = join_path(folder, L"screen.txt");
    write_file(path, "alpha line\r\nbeta line\r\n");
    RunResult run = run_ini_on_console({path, L"print"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(L"quilletini - settings file editor and file printer\n"
              L"Copyright (C) 2026 The quillet developers\n"
              L"Contact: quillet@example.org - https://quillet.example.org\n"
              L"\n"
              L"Printing File to Screen (Plain Mode): " +
                  path +
                  L"\n"
                  L"\n"
                  L"alpha line\n"
                  L"beta line\n"
                  L"\n",
              console_text());
    EXPECT_EQ(7, attribute_of(L"Printing File to Screen"));
    EXPECT_EQ(11, attribute_of(path));
    EXPECT_EQ(9, attribute_of(L"alpha line"));
    EXPECT_EQ(9, attribute_of(L"beta line", 8));
}

TEST(FilePrintConsole, RefusalAndFailureColours)
{
    ASSERT_TRUE(console_fresh());
    RunResult run = run_ini_on_console({ini_exe(), L"print"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(7, attribute_of(L"Could not open File. Reason: "));
    EXPECT_EQ(12, attribute_of(L"Binary Files are not allowed"));
    EXPECT_EQ(7, attribute_of(L"Error Detail: "));
    EXPECT_EQ(12, attribute_of(L"Error Detail: ", 14));

    console_clear();
    std::wstring folder = make_temp_dir(L"iniprintdir");
    run_ini_on_console({folder, L"print"});
    EXPECT_EQ(12, attribute_of(L"Error: Opening file failed. Reason: ", 36));
    EXPECT_EQ(10, attribute_of(L"User Context: ", 14));
    EXPECT_EQ(10, attribute_of(L"User SID: ", 10));
    EXPECT_EQ(12, attribute_of(L"Detail: ", 8));
    EXPECT_EQ(7, attribute_of(L"SUCCESS"));
}
