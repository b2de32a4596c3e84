#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "multiple_test_support.h"
#include "test_files.h"

namespace {

const char SETTINGS[] = "[HTMLOutputSettings]\r\nInnerALinkTag=class=\"jump\"\r\nInnerSelectTag=class=\"pick\"\r\n"
                        "FilePathTextAppearance=style=\"color:blue\"\r\nInputButtonTag=class=\"back\"\r\n";
const char END_TAGS[] = "\r\n</body>\r\n</html>";

// Ampersands and apostrophes as character references (paths hold no other markup character).
std::string escaped(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '&')
            out += "&amp;";
        else if (c == '\'')
            out += "&#39;";
        else
            out += c;
    }
    return out;
}

std::vector<std::string> link_targets(const std::string& document)
{
    std::vector<std::string> targets;
    const std::string opening = "<a href=\"#";
    for (size_t at = document.find(opening); at != std::string::npos; at = document.find(opening, at + 1)) {
        size_t start = at + opening.size();
        targets.push_back(document.substr(start, document.find('"', start) - start));
    }
    return targets;
}

class HtmlDocument : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;

    void SetUp() override
    {
        exe = quillet_with_settings(L"html", SETTINGS);
    }

    void add_file(const wchar_t* name, const wchar_t* data_name)
    {
        CopyFileW(data_file(data_name).c_str(), join_path(folder, name).c_str(), FALSE);
    }
};

} // namespace

TEST_F(HtmlDocument, ThreeFilesMakeOneDocumentWhoseLinksAllLand)
{
    folder = make_temp_dir(L"html-three");
    add_file(L"one.dll", L"image_x86.dll");
    add_file(L"two.dll", L"image_x64.dll");
    add_file(L"three.dll", L"image_two_translations.dll");
    std::wstring pattern = join_path(folder, L"*.dll");
    RunResult run = run_quillet(exe, {L"-d", pattern, L"-html", L"-md5"});
    const std::string& doc = run.out;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);

    EXPECT_EQ(0u, doc.find("<html>\r\n\t<head>")) << doc;
    EXPECT_EQ(1u, count_of(doc, "<html>"));
    EXPECT_EQ(1u, count_of(doc, "</body>"));
    EXPECT_EQ(1u, count_of(doc, "</html>"));
    ASSERT_GE(doc.size(), sizeof(END_TAGS) - 1);
    EXPECT_EQ(END_TAGS, doc.substr(doc.size() - (sizeof(END_TAGS) - 1)));

    std::vector<std::string> targets = link_targets(doc);
    ASSERT_EQ(3u, targets.size()) << doc;
    std::vector<std::string> sorted = targets;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ((std::vector<std::string>{"one.dll", "three.dll", "two.dll"}), sorted);

    std::string block = "<p>Path and Pattern for:<br><span style=\"color:blue\">" + narrow(pattern) +
                        "</span></p>\r\n<p>Version Information available for<br>following files:</p><span>Quickjump:"
                        "</span>\r\n<select class=\"pick\" id=\"QuilletResultFiles\" name=\"QuilletResultFiles\">"
                        "</select>\r\n\r\n<hr noshade>\r\n<br><a href=\"#" +
                        targets[0] + "\" class=\"jump\">" + targets[0] + "</a><br>\r\n";
    for (size_t index = 1; index < targets.size(); ++index)
        block += "<a href=\"#" + targets[index] + "\" class=\"jump\" >" + targets[index] + "</a><br>\r\n";
    block += "<br><hr noshade>\r\n";
    size_t links = doc.find(block);
    ASSERT_NE(std::string::npos, links) << doc;
    size_t sections = links + block.size();

    EXPECT_EQ(3u, count_of(doc.substr(sections), "File Version Info for:"));
    EXPECT_EQ(3u, count_of(doc.substr(sections), "File MD5: "));
    for (const std::string& target : targets)
        EXPECT_NE(std::string::npos, doc.find("name=\"" + target + "\"", sections)) << target;
    EXPECT_EQ(std::string::npos, doc.substr(0, links).find("File Version Info for:"));
}

TEST_F(HtmlDocument, ValuesFromFilesAreEscapedAndSettingsStayMarkup)
{
    folder = make_temp_dir(L"html&quote");
    add_file(L"x&y'z.dll", L"image_hostile.dll");
    add_file(L"plain.dll", L"image_x86.dll");
    std::wstring pattern = join_path(folder, L"*.dll");
    RunResult run = run_quillet(exe, {L"-d", pattern, L"-html"});
    const std::string& doc = run.out;

    EXPECT_EQ(std::string::npos, doc.find("<script>alert")) << doc;
    EXPECT_EQ(std::string::npos, doc.find("x&y'z"));
    EXPECT_EQ(std::string::npos, doc.find("html&quote"));
    EXPECT_NE(std::string::npos, doc.find("&lt;script&gt;alert(&#39;owned&#39;)&lt;/script&gt;"));
    EXPECT_NE(std::string::npos, doc.find("1 &amp; 2 &quot;quoted&quot; &lt;b&gt;"));
    EXPECT_NE(std::string::npos, doc.find("<a href=\"#x&amp;y&#39;z.dll\" class=\"jump\""));
    EXPECT_NE(std::string::npos, doc.find(">x&amp;y&#39;z.dll</a><br>\r\n"));
    EXPECT_NE(std::string::npos, doc.find("name=\"x&amp;y&#39;z.dll\""));
    EXPECT_NE(std::string::npos, doc.find("<span style=\"color:blue\">" + escaped(narrow(pattern)) + "</span></p>"));
}

TEST_F(HtmlDocument, ConsoleRunPrintsTheSameValuesUnchanged)
{
    folder = make_temp_dir(L"html&plain");
    add_file(L"x&y'z.dll", L"image_hostile.dll");
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll")});
    EXPECT_NE(std::string::npos, run.out.find("-- <script>alert('owned')</script> --\r\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("-- 1 & 2 \"quoted\" <b> --\r\n"));
    EXPECT_NE(std::string::npos, run.out.find("\"" + narrow(join_path(folder, L"x&y'z.dll")) + "\"\r\n"));
    EXPECT_EQ(std::string::npos, run.out.find("&amp;"));
}
