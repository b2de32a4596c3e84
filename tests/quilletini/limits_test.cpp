// quilletini at its limits: long names and values, paths at the buffer's length, and text
// outside ASCII in paths and values, on the console and in redirected output.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "ini_runs.h"
#include "test_files.h"

namespace {

const wchar_t SECTION[] = L"Sekti\u00f6n \u0436";
const wchar_t KEY[] = L"Schl\u00fcssel";
const wchar_t VALUE[] = L"Wert \u0436\u044b \u65e5\u672c 100% & #";

// The text as a UTF-16 file with its byte order mark, which the profile functions read as such.
std::string utf16_file(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text)
        bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

std::wstring letters(size_t count, wchar_t first)
{
    std::wstring text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<wchar_t>(first + i % 26);
    return text;
}

std::string string_report(const std::wstring& ini, const std::wstring& section, const std::wstring& key,
                          const std::wstring& data)
{
    return BANNER + "Accessing File: " + narrow(ini) + "\r\n\r\nString Data Read from:\r\nSection=" + narrow(section) +
           "\r\nKey=" + narrow(key) + "\r\nString Data=" + narrow(data) + "\r\n";
}

class IniNonAscii : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ini = join_path(make_temp_dir(L"ini-utf"), L"\u8a2d\u5b9a \u00e4\u0436.ini");
        write_file(ini, utf16_file(std::wstring(L"[") + SECTION + L"]\r\n" + KEY + L"=" + VALUE + L"\r\n"));
    }

    std::wstring ini;
};

} // namespace

TEST_F(IniNonAscii, RedirectedOutputCarriesPathNamesAndValueWholeAsUtf8)
{
    RunResult run = run_ini({ini, L"read", SECTION, KEY, L"-s"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(string_report(ini, SECTION, KEY, VALUE), run.out);

    std::wstring written = std::wstring(L"neu ") + VALUE;
    run = run_ini({ini, L"write", SECTION, KEY, L"-s", written});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) + "\r\n\r\nData has been writen to:\r\nSection=" +
                  narrow(SECTION) + "\r\nKey=" + narrow(KEY) + "\r\nData=" + narrow(written) + "\r\n",
              run.out);
    EXPECT_EQ(string_report(ini, SECTION, KEY, written), run_ini({ini, L"read", SECTION, KEY, L"-s"}).out);
}

TEST_F(IniNonAscii, ConsoleShowsPathAndValueWhole)
{
    ASSERT_TRUE(console_fresh());
    RunResult run = run_ini_on_console({ini, L"read", SECTION, KEY, L"-s"});
    EXPECT_EQ(0u, run.exit_code);
    std::wstring screen = console_text();
    EXPECT_NE(std::wstring::npos, screen.find(L"Accessing File: " + ini + L"\n\nString Data Read from:\nSection=" +
                                              SECTION + L"\nKey=" + KEY + L"\nString Data=" + VALUE + L"\n"))
        << narrow(screen);
    // The path keeps its colour (white) and the value its own (bright green).
    COORD at;
    ASSERT_TRUE(console_find(ini, at));
    EXPECT_EQ(15, console_attribute(at.Y, at.X));
    ASSERT_TRUE(console_find(VALUE, at));
    EXPECT_EQ(10, console_attribute(at.Y, at.X));
}

TEST_F(IniNonAscii, PrintedFileHeaderShowsThePathWhole)
{
    std::wstring text = join_path(make_temp_dir(L"ini-print"), L"\u00e4\u0436\u65e5 %s.txt");
    write_file(text, "plain bytes\r\n");
    RunResult run = run_ini({text, L"print"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Printing File to Screen (Plain Mode): " + narrow(text) + "\r\n\r\nplain bytes\r\n\r\n",
              run.out);
}

TEST(IniLimits, LongSectionKeyAndValueAreWrittenAndShownWhole)
{
    std::wstring ini = join_path(make_temp_dir(L"ini-long"), L"long.ini");
    write_file(ini, "[Other]\r\nKept=1\r\n");
    std::wstring section = letters(1000, L'a');
    std::wstring key = letters(1000, L'A');
    std::wstring value = letters(20000, L'a') + L"\u0436";

    RunResult run = run_ini({ini, L"write", section, key, L"-s", value});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) + "\r\n\r\nData has been writen to:\r\nSection=" +
                  narrow(section) + "\r\nKey=" + narrow(key) + "\r\nData=" + narrow(value) + "\r\n",
              run.out);
    // The read buffer holds 520 characters: the value comes back cut to 519.
    run = run_ini({ini, L"read", section, key, L"-s"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(string_report(ini, section, key, value.substr(0, 519)), run.out);
    run = run_ini({ini, L"read", L"Other", L"Kept", L"-b"});
    EXPECT_NE(std::string::npos, run.out.find("\r\nData=1\r\n")) << run.out;
}

TEST(IniLimits, NumbersAtTheEndsOfTheirRange)
{
    std::wstring ini = join_path(make_temp_dir(L"ini-numbers"), L"numbers.ini");
    write_file(ini, "[N]\r\nHigh=2147483647\r\nLow=-2147483648\r\nWrapped=4294967294\r\n");
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"High", "2147483647"}, {L"Low", "-2147483648"}, {L"Wrapped", "-2"}};
    for (const auto& item : cases) {
        RunResult run = run_ini({ini, L"read", L"N", item.first, L"-b"});
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) + "\r\n\r\nBinary Data Read from:\r\nSection=N\r\nKey=" +
                      narrow(item.first) + "\r\nData=" + item.second + "\r\n",
                  run.out);
    }
}

TEST(IniLimits, FilesWhosePathsHave259CharactersAreReadWrittenAndPrinted)
{
    std::wstring folder = folder_of_length(L"ini-259", 250);
    std::wstring ini = join_path(folder, L"abcd.ini");
    std::wstring text = join_path(folder, L"abcd.txt");
    ASSERT_EQ(259u, ini.size());
    write_file(ini, "[Main]\r\nCount=7\r\n");
    write_file(text, "at the limit\r\n");

    RunResult run = run_ini({ini, L"read", L"Main", L"Count", L"-b"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find("Accessing File: " + narrow(ini) + "\r\n\r\nBinary Data")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\r\nData=7\r\n"));
    run = run_ini({ini, L"write", L"Main", L"Count", L"-s", L"8"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ("[Main]\r\nCount=8\r\n", read_file(ini));
    run = run_ini({text, L"print"});
    EXPECT_EQ(BANNER + "Printing File to Screen (Plain Mode): " + narrow(text) + "\r\n\r\nat the limit\r\n\r\n",
              run.out);
}
