// Awkward names and long paths in every kind of run, long settings texts, and text outside
// ASCII on the console, in redirected output and in the log.
#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

#include "console_harness.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

const wchar_t* const AWKWARD_NAMES[] = {L"100% %d %ls.dll",   L"a&b.dll",        L"#hash.dll",
                                        L"umlaut_\u00e4.dll", L"cyr_\u0436.dll", L"jp_\u65e5\u672c.dll"};
const char COMPANY_LINE[] = "[CompanyName]\r\n-- Image Test Ltd --\r\n";
const char HEADING[] = "\r\nFile Version Info for:\r\n";

std::string html_text(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '\'')
            out += "&#39;";
        else
            out += c;
    }
    return out;
}

// The heading and the start of the version report of a file that opened, as redirected output
// shows it (br: "<br>" in an HTML document).
std::string opened_entry(const std::string& path)
{
    return std::string(HEADING) + "\"" + path + "\"\r\n\r\n[FileName]\r\n-- " + path + " --\r\n[Language]";
}

std::wstring copy_image(const std::wstring& folder, const std::wstring& name)
{
    std::wstring path = join_path(folder, name);
    CopyFileW(data_file(L"image_x86.dll").c_str(), path.c_str(), FALSE);
    return path;
}

class AwkwardNames : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;
    std::vector<std::wstring> paths;

    void SetUp() override
    {
        exe = quillet_with_settings(L"awkward", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\n");
        folder = make_temp_dir(L"awkward-files");
        for (const wchar_t* name : AWKWARD_NAMES)
            paths.push_back(copy_image(folder, name));
    }

    std::string log_text()
    {
        return read_file(exe.substr(0, exe.size() - 4) + L".log");
    }
};

} // namespace

TEST_F(AwkwardNames, SingleFileRunsPrintEveryNameWholeAndGoOn)
{
    for (const std::wstring& path : paths) {
        RunResult run = run_quillet(exe, {path});
        EXPECT_EQ(0u, run.exit_code);
        std::string entry = opened_entry(narrow(path));
        size_t at = run.out.find(entry);
        EXPECT_NE(std::string::npos, at) << run.out;
        EXPECT_NE(std::string::npos, find_after(run.out, COMPANY_LINE, at)) << run.out;
        // The log receives the same text, as UTF-8 too.
        std::string log = log_text();
        EXPECT_NE(std::string::npos, find_after(log, COMPANY_LINE, log.find(entry))) << log;
    }
}

TEST_F(AwkwardNames, MultipleRunReportsEveryName)
{
    std::vector<std::wstring> args = {L"-m"};
    args.insert(args.end(), paths.begin(), paths.end());
    args.push_back(L"-md5");
    RunResult run = run_quillet(exe, args);
    EXPECT_NE(5u, run.exit_code);
    std::string md5 = "File MD5: " + digest_text(CALG_MD5, read_file(paths[0]));
    EXPECT_EQ(paths.size(), count_of(run.out, md5));
    for (const std::wstring& path : paths)
        EXPECT_EQ(1u, count_of(run.out, opened_entry(narrow(path)))) << narrow(path) << run.out;
    EXPECT_EQ(paths.size(), count_of(run.out, COMPANY_LINE));
}

TEST_F(AwkwardNames, DirectoryRunReportsEveryName)
{
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll")});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    for (const std::wstring& path : paths)
        EXPECT_EQ(1u, count_of(run.out, opened_entry(narrow(path)))) << narrow(path) << run.out;
    EXPECT_EQ(paths.size(), count_of(run.out, COMPANY_LINE));
}

TEST_F(AwkwardNames, HtmlDirectoryRunLinksEveryNameAndShowsItAsText)
{
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-html"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string name = html_text(narrow(AWKWARD_NAMES[i]));
        std::string path = html_text(narrow(paths[i]));
        EXPECT_EQ(1u, count_of(run.out, "<a href=\"#" + name + "\"")) << name << run.out;
        EXPECT_EQ(1u, count_of(run.out, "<a name=\"" + name + "\"></a>")) << name;
        EXPECT_EQ(1u, count_of(run.out, "<span >\"" + path + "\"</span>")) << name;
        EXPECT_EQ(1u, count_of(run.out, "[FileName]\r\n<br>-- " + path + " --\r\n<br>")) << name;
    }
    EXPECT_EQ(paths.size(), count_of(run.out, "-- Image Test Ltd --\r\n<br>"));
}

TEST(LongPaths, SingleAndMultipleRunsAt259AndBeyond)
{
    std::wstring exe = quillet_with_settings(L"long", "");
    std::wstring at_limit = copy_image(folder_of_length(L"long259", 259 - 6), L"a.dll");
    std::wstring beyond = copy_image(folder_of_length(L"long300", 300), L"\u00e4%s.dll");
    ASSERT_EQ(259u, at_limit.size());
    ASSERT_TRUE(file_exists(beyond));
    for (const std::wstring& path : {at_limit, beyond}) {
        RunResult run = run_quillet(exe, {path});
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_NE(std::string::npos, find_after(run.out, COMPANY_LINE, run.out.find(opened_entry(narrow(path)))))
            << run.out;
    }
    RunResult run = run_quillet(exe, {L"-m", at_limit, beyond});
    EXPECT_NE(5u, run.exit_code);
    EXPECT_EQ(1u, count_of(run.out, opened_entry(narrow(at_limit)))) << run.out;
    EXPECT_EQ(1u, count_of(run.out, opened_entry(narrow(beyond))));
    EXPECT_EQ(2u, count_of(run.out, COMPANY_LINE));
}

TEST(LongPaths, DirectoryEntriesOf259CharactersOpenAndLongerOnesAreReported)
{
    std::wstring exe = quillet_with_settings(L"longdir", "");
    std::wstring folder = folder_of_length(L"longdir", 200);
    std::wstring fits = copy_image(folder, std::wstring(259 - 201 - 4, L'f') + L".dll");
    std::wstring too_long = copy_image(folder, std::wstring(260 - 201 - 4, L'g') + L".dll");
    ASSERT_EQ(259u, fits.size());
    ASSERT_EQ(260u, too_long.size());
    std::string unopenable = expected_notice("Could not open File for reading.", ERROR_FILENAME_EXCED_RANGE,
                                             std::to_string(ERROR_FILENAME_EXCED_RANGE));

    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll")});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ(1u, count_of(run.out, opened_entry(narrow(fits)))) << run.out;
    EXPECT_EQ(1u, count_of(run.out, std::string(HEADING) + "\"" + narrow(too_long) + "\"\r\n\r\n" + unopenable));

    run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-html"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    for (const std::wstring& path : {fits, too_long}) {
        std::string name = narrow(path.substr(folder.size() + 1));
        EXPECT_EQ(1u, count_of(run.out, "<a href=\"#" + name + "\"")) << name << run.out;
        EXPECT_EQ(1u, count_of(run.out, "<a name=\"" + name + "\"></a><span >\"" + narrow(path) + "\"</span>")) << name;
    }
    EXPECT_EQ(1u, count_of(run.out, "[FileName]\r\n<br>-- " + narrow(fits) + " --\r\n<br>"));
    EXPECT_NE(std::string::npos, run.out.find("Reason: 206\r\n<br>"));

    // A pattern that does not fit itself leaves every entry unopenable, none dropped.
    std::wstring deep = folder_of_length(L"longpattern", 258);
    copy_image(deep, L"x.dll");
    run = run_quillet(exe, {L"-d", join_path(deep, L"*.dll")});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ(1u, count_of(run.out,
                           std::string(HEADING) + "\"" + narrow(join_path(deep, L"x.dll")) + "\"\r\n\r\n" + unopenable))
        << run.out;
}

TEST(LongSettingsTexts, EveryTextSettingIsCutTo259Characters)
{
    const char* const keys[] = {"InnerHeadStyleTag", "InnerHeadScriptTag", "InnerBodyTag",          "InputButtonTag",
                                "InnerALinkTag",     "InnerSelectTag",     "FilePathTextAppearance"};
    const size_t lengths[] = {260, 300, 1000, 4000, 259, 520, 10000};
    std::string ini = "[HTMLOutputSettings]\r\n";
    std::vector<std::string> kept;
    for (size_t i = 0; i < 7; ++i) {
        std::string value = std::string("v") + static_cast<char>('A' + i);
        while (value.size() < lengths[i])
            value += static_cast<char>('0' + value.size() % 10);
        ini += std::string(keys[i]) + "=" + value + "\r\n";
        kept.push_back(value.substr(0, 259));
    }
    std::wstring exe = quillet_with_settings(L"longini", ini);
    std::wstring folder = make_temp_dir(L"longini-files");
    copy_image(folder, L"one.dll");

    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-html"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ(1u, count_of(run.out, "<style type=\"text/css\">\r\n\t" + kept[0] + "\r\n\t</style>")) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "\r\n\r\n" + kept[1] + "\r\n\t</script>"));
    EXPECT_EQ(1u, count_of(run.out, "<body " + kept[2] + "  onload="));
    EXPECT_EQ(1u, count_of(run.out, "title=\"Go Back\" " + kept[3] + " onClick="));
    EXPECT_EQ(1u, count_of(run.out, "<a href=\"#one.dll\" " + kept[4] + ">one.dll</a>"));
    EXPECT_EQ(1u, count_of(run.out, "<select " + kept[5] + " id=\"QuilletResultFiles\""));
    EXPECT_EQ(2u, count_of(run.out, "<span " + kept[6] + ">"));
}

TEST(NonAsciiConsole, PathsAreShownWholeOnTheConsole)
{
    ASSERT_TRUE(console_fresh());
    std::wstring exe = quillet_with_settings(L"console", "");
    std::wstring folder = make_temp_dir(L"console-files");
    std::wstring path = copy_image(folder, L"\u00e4\u0436 100% & #.dll");
    RunOptions options;
    options.share_console = true;
    RunResult run = run_program(exe, {path}, options);
    EXPECT_EQ(0u, run.exit_code);
    std::wstring screen = console_text();
    std::wstring expected = L"File Version Info for:\n\"" + path + L"\"\n\n[FileName]\n-- " + path + L" --\n[Language]";
    size_t at = screen.find(expected);
    EXPECT_NE(std::wstring::npos, at) << narrow(screen);
    EXPECT_NE(std::wstring::npos, screen.find(L"[CompanyName]\n-- Image Test Ltd --", at)) << narrow(screen);
    // The file name keeps its colour: bright cyan.
    COORD cell;
    ASSERT_TRUE(console_find(L"-- " + path + L" --", cell));
    EXPECT_EQ(11, console_attribute(cell.Y, cell.X + 3));
}
