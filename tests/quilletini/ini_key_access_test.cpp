// Reading and writing keys with the real quilletini.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "ini_runs.h"
#include "test_files.h"

namespace {

class IniKeyAccess : public ::testing::Test {
  protected:
    void SetUp() override
    {
        folder = make_temp_dir(L"inikey");
        ini = join_path(folder, L"tool.ini");
        write_file(ini, "[Numbers]\r\nSmall=42\r\nNegative=-7\r\nWord=abc\r\n[Texts]\r\nGreeting=hello world\r\n"
                        "Percent=100% %s %d\r\n");
    }

    std::string file_line()
    {
        return BANNER + "Accessing File: " + narrow(ini) + "\r\n";
    }

    std::string number_report(const std::string& section, const std::string& key, const std::string& data)
    {
        return file_line() + "\r\nBinary Data Read from:\r\nSection=" + section + "\r\nKey=" + key +
               "\r\nData=" + data + "\r\n";
    }

    std::string string_report(const std::string& section, const std::string& key, const std::string& data)
    {
        return file_line() + "\r\nString Data Read from:\r\nSection=" + section + "\r\nKey=" + key +
               "\r\nString Data=" + data + "\r\n";
    }

    std::string write_report(const std::string& section, const std::string& key, const std::string& data)
    {
        return file_line() + "\r\nData has been writen to:\r\nSection=" + section + "\r\nKey=" + key +
               "\r\nData=" + data + "\r\n";
    }

    void expect_output(const std::vector<std::wstring>& args, const std::string& expected)
    {
        RunResult run = run_ini(args);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(expected, run.out);
    }

    std::wstring folder;
    std::wstring ini;
};

// What the platform leaves as last error for a number read of a missing key in this file.
std::string missing_key_code(const std::wstring& ini, const wchar_t* section = L"Numbers")
{
    SetLastError(0);
    GetPrivateProfileIntW(section, L"Absent", -1, ini.c_str());
    return std::to_string(static_cast<int>(GetLastError()));
}

} // namespace

TEST_F(IniKeyAccess, NumberReads)
{
    expect_output({ini, L"read", L"Numbers", L"Small", L"-b"}, number_report("Numbers", "Small", "42"));
    expect_output({ini, L"read", L"Numbers", L"Negative", L"-b"}, number_report("Numbers", "Negative", "-7"));
    // Text that is no number reads as 0.
    expect_output({ini, L"read", L"Numbers", L"Word", L"-b"}, number_report("Numbers", "Word", "0"));
}

TEST_F(IniKeyAccess, NumberReadOfAMissingKeyCouldNotGetData)
{
    std::string failed = file_line() + "Could not get Data. Reason: " + missing_key_code(ini) + "\r\n";
    expect_output({ini, L"read", L"Numbers", L"Absent", L"-b"}, failed);
    expect_output({ini, L"read", L"NoSection", L"Small", L"-b"}, failed);
}

TEST_F(IniKeyAccess, StringReads)
{
    expect_output({ini, L"read", L"Texts", L"Greeting", L"-s"}, string_report("Texts", "Greeting", "hello world"));
    expect_output({ini, L"read", L"Numbers", L"Small", L"-s"}, string_report("Numbers", "Small", "42"));
    // Values and words reach the screen as they are, never as formats.
    expect_output({ini, L"read", L"Texts", L"Percent", L"-s"}, string_report("Texts", "Percent", "100% %s %d"));
    expect_output({ini, L"read", L"Texts", L"%s%n", L"-s"}, string_report("Texts", "%s%n", ""));
}

TEST_F(IniKeyAccess, StringReadOfAMissingKeyGivesAnEmptyValue)
{
    expect_output({ini, L"read", L"Texts", L"Absent", L"-s"}, string_report("Texts", "Absent", ""));
    expect_output({ini, L"read", L"NoSection", L"Absent", L"-s"}, string_report("NoSection", "Absent", ""));
}

TEST_F(IniKeyAccess, LongStringValueIsCutTo519Characters)
{
    std::string value;
    for (int i = 0; i < 700; ++i)
        value += static_cast<char>('a' + i % 26);
    write_file(ini, "[Long]\r\nValue=" + value + "\r\n");
    expect_output({ini, L"read", L"Long", L"Value", L"-s"}, string_report("Long", "Value", value.substr(0, 519)));
    value.resize(519);
    write_file(ini, "[Long]\r\nValue=" + value + "\r\n");
    expect_output({ini, L"read", L"Long", L"Value", L"-s"}, string_report("Long", "Value", value));
}

TEST_F(IniKeyAccess, WriteChangesAKeyAndKeepsTheRest)
{
    expect_output({ini, L"write", L"Numbers", L"Small", L"-s", L"43"}, write_report("Numbers", "Small", "43"));
    std::string content = read_file(ini);
    EXPECT_NE(std::string::npos, content.find("Small=43\r\n"));
    EXPECT_EQ(std::string::npos, content.find("Small=42"));
    EXPECT_NE(std::string::npos, content.find("Greeting=hello world\r\n"));
    expect_output({ini, L"read", L"Numbers", L"Small", L"-b"}, number_report("Numbers", "Small", "43"));
}

TEST_F(IniKeyAccess, WriteCreatesSectionAndKeyInAnExistingFile)
{
    std::string before = read_file(ini);
    expect_output({ini, L"write", L"Added", L"Phrase", L"-b", L"two words"},
                  write_report("Added", "Phrase", "two words"));
    std::string after = read_file(ini);
    EXPECT_EQ(0u, after.find(before));
    EXPECT_NE(std::string::npos, after.find("[Added]\r\nPhrase=two words\r\n", before.size()));
    expect_output({ini, L"read", L"Added", L"Phrase", L"-s"}, string_report("Added", "Phrase", "two words"));

    expect_output({ini, L"write", L"Texts", L"New", L"-x", L"%s"}, write_report("Texts", "New", "%s"));
    wchar_t value[32] = {};
    GetPrivateProfileStringW(L"Texts", L"New", L"", value, 32, ini.c_str());
    EXPECT_EQ(L"%s", std::wstring(value));
}

TEST_F(IniKeyAccess, RelativePathIsTakenFromTheWorkingFolder)
{
    RunResult run = run_ini({L"tool.ini", L"read", L"Numbers", L"Small", L"-b"}, folder);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(number_report("Numbers", "Small", "42"), run.out);
    run = run_ini({L"tool.ini", L"write", L"Numbers", L"Small", L"-s", L"5"}, folder);
    EXPECT_EQ(write_report("Numbers", "Small", "5"), run.out);
    EXPECT_EQ(5u, GetPrivateProfileIntW(L"Numbers", L"Small", -1, ini.c_str()));
}

TEST_F(IniKeyAccess, FailedWriteReportsTheReason)
{
    // A folder exists, so the checks pass, but it cannot take a key.
    RunResult run = run_ini({folder, L"write", L"Numbers", L"Small", L"-s", L"1"});
    EXPECT_EQ(0u, run.exit_code);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(L"Numbers", L"Small", L"1", folder.c_str()));
    std::string code = std::to_string(static_cast<int>(GetLastError()));
    EXPECT_NE("0", code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(folder) +
                  "\r\n\r\nWriting Data to Section/Key failed. Reason: " + code + "\r\n",
              run.out);
}

TEST_F(IniKeyAccess, WrittenSettingIsReadByQuillet)
{
    std::wstring tool_folder = make_temp_dir(L"iniquillet");
    std::wstring quillet = copy_program(windows_path(QUILLET_EXE), tool_folder);
    std::wstring settings = join_path(tool_folder, L"quillet.ini");
    std::wstring log = join_path(tool_folder, L"quillet.log");
    write_file(settings, "[OutputInformation]\r\nWriteOutputToQuilletLog=0\r\n");

    EXPECT_FALSE(run_program(quillet, {L"-h"}).timed_out);
    EXPECT_FALSE(file_exists(log)); // the setting is off: no log yet

    RunResult run = run_ini({settings, L"write", L"OutputInformation", L"WriteOutputToQuilletLog", L"-s", L"1"});
    EXPECT_EQ(0u, run.exit_code);
    run = run_ini({settings, L"read", L"OutputInformation", L"WriteOutputToQuilletLog", L"-b"});
    EXPECT_NE(std::string::npos, run.out.find("Data=1\r\n"));

    EXPECT_FALSE(run_program(quillet, {L"-h"}).timed_out);
    ASSERT_TRUE(file_exists(log));
    EXPECT_EQ(0u, read_file(log).find("-----------------"));
}

TEST(IniKeyAccessConsole, ReportColours)
{
    ASSERT_TRUE(console_fresh());
    std::wstring folder = make_temp_dir(L"inikeycon");
    std::wstring ini = join_path(folder, L"c.ini");
    write_file(ini, "[S]\r\nN=5\r\nT=text\r\n");

    RunResult run = run_ini_on_console({ini, L"read", L"S", L"N", L"-b"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(7, attribute_of(L"Accessing File: "));
    EXPECT_EQ(15, attribute_of(ini));
    EXPECT_EQ(10, attribute_of(L"Binary Data Read from:"));
    EXPECT_EQ(10, attribute_of(L"Data=5"));

    console_clear();
    run_ini_on_console({ini, L"read", L"S", L"T", L"-s"});
    EXPECT_EQ(10, attribute_of(L"String Data=text", 14));

    console_clear();
    run_ini_on_console({ini, L"read", L"S", L"Absent", L"-b"});
    EXPECT_EQ(12, attribute_of(L"Could not get Data. Reason: "));
    // On the console as in a file, the code is the read's own.
    COORD at;
    ASSERT_TRUE(console_find(L"Could not get Data. Reason: ", at));
    EXPECT_EQ(widen("Could not get Data. Reason: " + missing_key_code(ini, L"S")), console_row(at.Y));

    console_clear();
    run_ini_on_console({ini, L"write", L"S", L"W", L"-s", L"v"});
    EXPECT_EQ(10, attribute_of(L"Data has been writen to:"));

    console_clear();
    run_ini_on_console({folder, L"write", L"S", L"W", L"-s", L"v"});
    EXPECT_EQ(12, attribute_of(L"Writing Data to Section/Key failed. Reason: "));
}
