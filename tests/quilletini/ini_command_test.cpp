// The command line of quilletini: usage line, refusals in the order the checks run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "ini_runs.h"
#include "test_files.h"

namespace {

const std::string USAGE =
    "Usage: quilletini [file] [access]<read|write|print> [key] [data] [type]<-s|-b> [data_to_write]\r\n";
const std::string BAD_PATH = "Error: Invalid Path to File given (First Parameter).\r\n";
const std::string BAD_ACCESS =
    "Error: You must specify \"read\" or \"write\" or \"print\" access (Second Parameter).\r\n";
const std::string NO_SECTION = "Error: You must\ta valid key section (Third Parameter).\r\n";
const std::string NO_KEY = "Error: You must specify valid data (Fourth Parameter).\r\n";
const std::string NO_TYPE = "Error: You must specify what data is: (B)inary or (S)tring (Fifth Parameter).\r\n";
const std::string BAD_TYPE = "Error: Only (-B)inary or (-S)tring is alowed (Fifth Parameter).\r\n";
const std::string NO_VALUE = "Error: You must specify some data to write (Sixth Parameter).\r\n";

class IniCommand : public ::testing::Test {
  protected:
    void SetUp() override
    {
        folder = make_temp_dir(L"inicmd");
        ini = join_path(folder, L"settings.ini");
        original = "[Main]\r\nCount=12\r\n";
        write_file(ini, original);
    }

    // Runs quilletini and checks its whole output and exit code; nothing may have changed.
    void expect_run(const std::vector<std::wstring>& args, DWORD exit_code, const std::string& after_banner)
    {
        RunResult run = run_ini(args);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(exit_code, run.exit_code);
        EXPECT_EQ(BANNER + after_banner, run.out);
        EXPECT_EQ("", run.err);
        EXPECT_EQ(original, read_file(ini));
    }

    std::wstring folder;
    std::wstring ini;
    std::string original;
};

} // namespace

TEST_F(IniCommand, UsageLineWithoutWordsOrWithOnlyAFile)
{
    expect_run({}, 0, USAGE);
    expect_run({ini}, 0, USAGE);
    // The usage line comes before the file is looked at.
    expect_run({join_path(folder, L"missing.ini")}, 0, USAGE);
}

TEST_F(IniCommand, MissingFileIsRefusedBeforeTheAccessWord)
{
    std::wstring missing = join_path(folder, L"missing.ini");
    expect_run({missing, L"bogus"}, 87, BAD_PATH);
    expect_run({missing, L"read", L"Main", L"Count", L"-b"}, 87, BAD_PATH);
    expect_run({missing, L"write", L"Main", L"Count", L"-s", L"1"}, 87, BAD_PATH);
    expect_run({missing, L"print"}, 87, BAD_PATH);
    EXPECT_FALSE(file_exists(missing)); // a write never makes the file
}

TEST_F(IniCommand, UnknownAccessWordIsRefused)
{
    expect_run({ini, L"bogus"}, 87, BAD_ACCESS);
    expect_run({ini, L"readx", L"Main", L"Count", L"-b"}, 87, BAD_ACCESS);
    expect_run({ini, L"", L"Main", L"Count", L"-b"}, 87, BAD_ACCESS);
}

TEST_F(IniCommand, MissingWordsAreRefusedOneAfterTheOther)
{
    for (const wchar_t* access : {L"read", L"write"}) {
        SCOPED_TRACE(narrow(access));
        expect_run({ini, access}, 87, NO_SECTION);
        expect_run({ini, access, L"Main"}, 87, NO_KEY);
        expect_run({ini, access, L"Main", L"Count"}, 87, NO_TYPE);
    }
    expect_run({ini, L"write", L"Main", L"Count", L"-s"}, 87, NO_VALUE);
}

TEST_F(IniCommand, LongTypeWordsAreRefusedForReadsAndWritesInAnyCase)
{
    for (const wchar_t* type : {L"-binary", L"-string", L"-BINARY", L"-String"}) {
        SCOPED_TRACE(narrow(type));
        expect_run({ini, L"read", L"Main", L"Count", type}, 87, BAD_TYPE);
        expect_run({ini, L"write", L"Main", L"Count", type, L"5"}, 87, BAD_TYPE);
        // The type word is refused before a missing value is noticed.
        expect_run({ini, L"write", L"Main", L"Count", type}, 87, BAD_TYPE);
    }
}

TEST_F(IniCommand, AccessAndTypeWordsIgnoreLetterCase)
{
    RunResult run = run_ini({ini, L"READ", L"Main", L"Count", L"-B"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) +
                  "\r\n\r\nBinary Data Read from:\r\nSection=Main\r\n"
                  "Key=Count\r\nData=12\r\n",
              run.out);

    run = run_ini({ini, L"rEaD", L"main", L"count", L"-S"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) +
                  "\r\n\r\nString Data Read from:\r\nSection=main\r\n"
                  "Key=count\r\nString Data=12\r\n",
              run.out);

    run = run_ini({ini, L"WRITE", L"Main", L"Count", L"-S", L"13"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find("Data has been writen to:"));
    EXPECT_EQ(13u, GetPrivateProfileIntW(L"Main", L"Count", -1, ini.c_str()));

    run = run_ini({ini, L"PrInT"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find("Printing File to Screen (Plain Mode): "));
}

TEST_F(IniCommand, ReadWithAnotherTypeWordPrintsOnlyTheFileLine)
{
    expect_run({ini, L"read", L"Main", L"Count", L"-x"}, 0, "Accessing File: " + narrow(ini) + "\r\n");
    expect_run({ini, L"read", L"Main", L"Count", L"-bb"}, 0, "Accessing File: " + narrow(ini) + "\r\n");
}

TEST_F(IniCommand, WordsAfterTheSixthAreIgnored)
{
    RunResult run = run_ini({ini, L"write", L"Main", L"Count", L"-s", L"7", L"extra", L"more"});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(BANNER + "Accessing File: " + narrow(ini) +
                  "\r\n\r\nData has been writen to:\r\nSection=Main\r\n"
                  "Key=Count\r\nData=7\r\n",
              run.out);
}

TEST_F(IniCommand, FullPathTooLongForTheProfileFunctionsIsRefused)
{
    // Working folder and relative name together pass 260 characters; the file itself exists.
    std::wstring deep = folder;
    while (deep.size() < 230) {
        deep = join_path(deep, std::wstring(40, L'd'));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring name = std::wstring(40, L'n') + L".ini";
    write_file(join_path(deep, name), original);
    ASSERT_EQ(original, read_file(join_path(deep, name)));

    RunResult run = run_ini({name, L"write", L"Main", L"Count", L"-s", L"99"}, deep);
    EXPECT_EQ(87u, run.exit_code);
    EXPECT_EQ(BANNER + BAD_PATH, run.out);
    run = run_ini({name, L"read", L"Main", L"Count", L"-b"}, deep);
    EXPECT_EQ(87u, run.exit_code);
    EXPECT_EQ(BANNER + BAD_PATH, run.out);
    EXPECT_EQ(original, read_file(join_path(deep, name)));
}

TEST(IniCommandConsole, BannerAndRefusalColours)
{
    ASSERT_TRUE(console_fresh());
    std::wstring folder = make_temp_dir(L"inicon");
    RunResult run = run_ini_on_console({join_path(folder, L"missing.ini"), L"read"});
    EXPECT_EQ(87u, run.exit_code);
    EXPECT_EQ(L"quilletini - settings file editor and file printer\n"
              L"Copyright (C) 2026 The quillet developers\n"
              L"Contact: quillet@example.org - https://quillet.example.org\n"
              L"\n"
              L"Error: Invalid Path to File given (First Parameter).\n",
              console_text());
    EXPECT_EQ(15, attribute_of(L"quilletini - settings"));
    EXPECT_EQ(15, attribute_of(L"Contact: "));
    EXPECT_EQ(12, attribute_of(L"Error: Invalid Path"));
    EXPECT_EQ(12, attribute_of(L"(First Parameter).", 17));
}

TEST(IniCommandConsole, UsageLineInTheCurrentColour)
{
    ASSERT_TRUE(console_fresh());
    RunResult run = run_ini_on_console({});
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(7, attribute_of(L"Usage: quilletini"));
    EXPECT_EQ(7, attribute_of(L"[data_to_write]"));
}
