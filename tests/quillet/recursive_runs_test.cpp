// "-s": a tree three levels deep with same-named files, an empty folder, a folder too long to
// list and a link back to the top, reported as text, HTML and CSV.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

const char HEADING[] = "\r\nFile Version Info for:\r\n\"";

std::wstring make_folder(const std::wstring& path)
{
    CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
    return path;
}

void copy_image(const std::wstring& path)
{
    CopyFileW(data_file(L"image_x86.dll").c_str(), (L"\\\\?\\" + path).c_str(), FALSE);
}

// Every value of attribute="..." in the document.
std::vector<std::string> attribute_values(const std::string& html, const std::string& attribute)
{
    std::vector<std::string> values;
    std::string start = attribute + "=\"";
    for (size_t at = html.find(start); at != std::string::npos; at = html.find(start, at + 1)) {
        size_t begin = at + start.size();
        values.push_back(html.substr(begin, html.find('"', begin) - begin));
    }
    return values;
}

// The fixture's folder holds only the link "loop" to itself; the test adds the rest.
class RecursiveRun : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring top;
    std::wstring overlong_file;
    std::wstring unlistable;
    // Every *.dll the walk reports, as paths relative to top.
    std::vector<std::wstring> reported;

    void SetUp() override
    {
        exe = quillet_with_settings(L"recurse", "");
        top = windows_path(LOOP_TREE_DIR);
        DWORD loop = GetFileAttributesW(join_path(top, L"loop").c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, loop) << "the fixture's link is missing";
        ASSERT_NE(0u, loop & FILE_ATTRIBUTE_REPARSE_POINT);
        write_file(join_path(top, L"notes.txt"), "not a match\r\n");
        make_folder(join_path(top, L"empty"));
        std::wstring deeper = make_folder(make_folder(join_path(top, L"sub1")) + L"\\deeper");
        for (const wchar_t* relative : {L"a.dll", L"sub1\\a.dll", L"sub1\\deeper\\a.dll", L"sub1\\deeper\\b.dll"}) {
            copy_image(join_path(top, relative));
            reported.push_back(relative);
        }
        // A folder that lists, whose file's path is too long to open; below it one too long
        // to list.
        std::wstring lister =
            make_folder(make_folder(join_path(top, L"long")) + L"\\" + std::wstring(234 - top.size() - 6, L'f'));
        overlong_file = join_path(lister, std::wstring(270 - lister.size() - 5, L'x') + L".dll");
        copy_image(overlong_file);
        reported.push_back(overlong_file.substr(top.size() + 1));
        unlistable = make_folder(lister + L"\\" + std::wstring(40, L'y'));
        copy_image(join_path(unlistable, L"a.dll"));
    }

    RunResult run(const std::vector<std::wstring>& extra, const wchar_t* pattern = L"*.dll")
    {
        std::vector<std::wstring> words = {L"-d", join_path(top, pattern)};
        words.insert(words.end(), extra.begin(), extra.end());
        return run_quillet(exe, words);
    }
};

} // namespace

TEST_F(RecursiveRun, TextReportsTheTreeDepthFirstAndListsNoFolderTwice)
{
    for (const wchar_t* word : {L"-s", L"-RECURSE"}) {
        RunResult text = run({word});
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), text.exit_code);
        EXPECT_EQ(reported.size(), count_of(text.out, HEADING)) << text.out;
        std::vector<size_t> at;
        for (const std::wstring& relative : reported) {
            at.push_back(text.out.find(HEADING + narrow(join_path(top, relative)) + "\"\r\n"));
            EXPECT_NE(std::string::npos, at.back()) << narrow(relative);
        }
        // Matches of a folder before its subfolders', the same name in each folder.
        EXPECT_LT(at[0], at[1]);
        EXPECT_LT(at[1], at[2]);
        EXPECT_LT(at[1], at[3]);
        EXPECT_NE(std::string::npos,
                  find_after(text.out, "\r\nError: Could not open File for reading. Reason: 206\r\n", at[4]));
        std::string notice = "\r\nCould not list Folder. Reason: 206\r\nFailed for Folder: " + narrow(unlistable) +
                             "\r\nDetail: " + system_text(ERROR_FILENAME_EXCED_RANGE);
        EXPECT_NE(std::string::npos, text.out.find(notice)) << text.out;
        EXPECT_EQ(1u, count_of(text.out, "Could not list Folder."));
        EXPECT_EQ(0u, count_of(text.out, "\\loop\\"));
    }

    // "*" matches ".", ".." and the link in every folder listed: reported, never descended.
    RunResult all = run({L"-s"}, L"*");
    const size_t entries = 8 /* top */ + 4 /* sub1 */ + 4 /* deeper */ + 2 /* empty */ + 3 /* long */ + 4;
    EXPECT_EQ(entries, count_of(all.out, HEADING)) << all.out;
    EXPECT_EQ(1u, count_of(all.out, HEADING + narrow(join_path(top, L"loop")) + "\""));
    EXPECT_EQ(0u, count_of(all.out, "\\loop\\"));

    // Without the word the run stays in the pattern's folder.
    RunResult flat = run({});
    EXPECT_EQ(1u, count_of(flat.out, HEADING)) << flat.out;
}

TEST_F(RecursiveRun, HtmlLinksEveryEntryToItsOwnAnchor)
{
    RunResult html = run({L"-html", L"-s"});
    std::vector<std::string> links = attribute_values(html.out, "href");
    links.erase(std::remove_if(links.begin(), links.end(), [](const std::string& link) { return link[0] != '#'; }),
                links.end());
    std::vector<std::string> anchors = attribute_values(html.out, "name");
    anchors.erase(std::remove(anchors.begin(), anchors.end(), "QuilletResultFiles"), anchors.end());
    std::set<std::string> expected;
    for (const std::wstring& relative : reported)
        expected.insert(narrow(relative));
    EXPECT_EQ(reported.size(), links.size()) << html.out;
    EXPECT_EQ(reported.size(), anchors.size());
    EXPECT_EQ(expected, std::set<std::string>(anchors.begin(), anchors.end()));
    std::set<std::string> targets;
    for (const std::string& link : links)
        targets.insert(link.substr(1));
    EXPECT_EQ(expected, targets);
    EXPECT_NE(std::string::npos, html.out.find("<a name=\"a.dll\"></a>"));
}

TEST_F(RecursiveRun, CsvHasARowForEveryEntryAndTheFolderThatCannotBeListed)
{
    RunResult csv = run({L"-csv", L"-s", L"-md5"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), csv.exit_code);
    EXPECT_EQ("", csv.err);
    CsvDocument document = parse_csv(csv.out);
    EXPECT_EQ("", document.fault);
    ASSERT_EQ(reported.size() + 2, document.rows.size()) << csv.out;
    std::set<std::string> paths;
    for (size_t row = 1; row < document.rows.size(); ++row) {
        std::string path = csv_value(document, row, "Path");
        paths.insert(path);
        std::string error;
        if (path == narrow(overlong_file))
            error = "Could not open File for reading. (206)";
        if (path == narrow(unlistable))
            error = "Could not list Folder. (206)";
        EXPECT_EQ(error, csv_value(document, row, "Error")) << path;
    }
    EXPECT_EQ(reported.size() + 1, paths.size());
    EXPECT_EQ(1u, paths.count(narrow(unlistable)));

    // Nothing in the whole tree: the folder's row, then the run's failure.
    csv = run({L"-s", L"-csv"}, L"*.none");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), csv.exit_code);
    document = parse_csv(csv.out);
    ASSERT_EQ(3u, document.rows.size()) << csv.out;
    EXPECT_EQ(narrow(unlistable), csv_value(document, 1, "Path"));
    EXPECT_EQ("No files found for the Directory/Pattern/Wildcard. (2)", csv_value(document, 2, "Error"));
}
