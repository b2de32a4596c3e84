// "-compare": a tree changed in every way against a baseline quillet wrote of a copy in another
// folder, as text and CSV; baselines in other forms and damaged ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compare_baseline.h"
#include "compare_match.h"
#include "console_harness.h"
#include "csv_document.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

void put(const std::wstring& folder, const wchar_t* name, const wchar_t* data_name)
{
    ASSERT_TRUE(CopyFileW(data_file(data_name).c_str(), join_path(folder, name).c_str(), FALSE)) << narrow(name);
}

std::string without(const std::string& text, const std::string& cut)
{
    std::string result;
    for (size_t at = 0; at < text.size();) {
        size_t found = text.find(cut, at);
        result += text.substr(at, found == std::string::npos ? std::string::npos : found - at);
        at = found == std::string::npos ? text.size() : found + cut.size();
    }
    return result;
}

class CompareRun : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring before;
    std::wstring after;
    std::wstring baseline;

    // The same files in two folders; the baseline describes the first.
    void SetUp() override
    {
        exe = quillet_with_settings(L"compare", "");
        before = make_temp_dir(L"compare-before");
        after = make_temp_dir(L"compare-after");
        for (const std::wstring& top : {before, after}) {
            CreateDirectoryW(join_path(top, L"sub").c_str(), nullptr);
            put(top, L"same.dll", L"image_x86.dll");
            put(top, L"edit.dll", L"version_csv.dll");
            put(top, L"swap.dll", L"image_x86.dll");
            put(top, L"sub\\GROW.dll", L"image_x86.dll");
            put(top, L"old.dll", L"version_none.dll");
            put(top, L"gone.dll", L"version_missing_table.dll");
            put(top, L"locked.dll", L"version_translations.dll");
        }
        baseline = join_path(before, L"baseline.csv");
        RunResult written = run_quillet(exe, {L"-d", join_path(before, L"*.dll"), L"-s", L"-md5", L"-csv"});
        write_file(baseline, written.out);
    }

    RunResult compare(std::vector<std::wstring> extra)
    {
        std::vector<std::wstring> words = {L"-d", join_path(after, L"*.dll"), L"-s", L"-compare", baseline};
        words.insert(words.end(), extra.begin(), extra.end());
        return run_quillet(exe, words);
    }

    // Bytes edited (same size), another version, a new translation, a rename into a
    // subfolder, a deletion, a new file; locked.dll is held open without sharing.
    HANDLE change_everything()
    {
        std::string edited = read_file(join_path(after, L"edit.dll"));
        edited[0x50] ^= 0x20;
        write_file(join_path(after, L"edit.dll"), edited);
        put(after, L"swap.dll", L"version_csv.dll");
        put(after, L"sub\\GROW.dll", L"image_two_translations.dll");
        MoveFileW(join_path(after, L"old.dll").c_str(), join_path(after, L"sub\\renamed.dll").c_str());
        DeleteFileW(join_path(after, L"gone.dll").c_str());
        put(after, L"new.dll", L"version_blanks.dll");
        return CreateFileW(join_path(after, L"locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    }
};

} // namespace

TEST_F(CompareRun, AnUnchangedCopyComparesEqualFromAnotherFolder)
{
    RunResult run = compare({});
    EXPECT_EQ(0u, run.exit_code) << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find("Comparing \"" + narrow(after) + "\" with \"" + narrow(before) + "\" in the baseline.\r\n"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\r\n7 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable"))
        << run.out;
}

TEST_F(CompareRun, TextNamesEveryChangeInItsForm)
{
    HANDLE locked = change_everything();
    RunResult run = compare({L"-html"});
    CloseHandle(locked);
    EXPECT_EQ(1u, run.exit_code);
    EXPECT_EQ(std::string::npos, run.out.find("<br>")) << "-html has no effect";
    const char* const lines[] = {
        "changed  edit.dll  MD5: ",
        "changed  swap.dll  FileVersion: 3.1.0.7 -> =1+2\r\n",
        "changed  swap.dll  CompanyName: Image Test Ltd -> say \"hi\", then go\r\n",
        "changed  swap.dll  FileDescription: \"\" -> line one\\r\\nline two\r\n",
        "changed  sub\\GROW.dll  translation 0407/04B0 added\r\n",
        "changed  sub\\GROW.dll  0409/04B0 ProductName: \"\" -> Two Tables\r\n",
        "moved  old.dll -> sub\\renamed.dll\r\n",
        "added  new.dll\r\n",
        "unreadable  locked.dll  Could not open File for reading. (32)",
        "removed  gone.dll\r\n1 unchanged, 3 changed, 1 added, 1 removed, 1 moved, 1 unreadable\r\n"};
    for (const char* line : lines)
        EXPECT_EQ(1u, count_of(run.out, std::string("\r\n") + line)) << line << "\n" << run.out;
    // Size and version unchanged: the digest alone shows the edit; the moved file has no other line.
    EXPECT_EQ(1u, count_of(run.out, "  edit.dll  ")) << run.out;
    EXPECT_EQ(1u, count_of(run.out, "renamed.dll")) << run.out;
}

TEST_F(CompareRun, CsvHasOneRowPerColumnAndFile)
{
    HANDLE locked = change_everything();
    RunResult run = compare({L"-csv", L"-sha1"});
    CloseHandle(locked);
    EXPECT_EQ(1u, run.exit_code);
    CsvDocument document = parse_csv(run.out);
    EXPECT_TRUE(document.bom);
    ASSERT_EQ("", document.fault) << run.out;
    ASSERT_FALSE(document.rows.empty());
    EXPECT_EQ((std::vector<std::string>{"Status", "Path", "OldPath", "Column", "Old", "New"}), document.rows[0]);
    std::vector<std::string> found;
    for (const std::vector<std::string>& row : document.rows)
        found.push_back(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4] + "|" + row[5]);
    const std::string expected[] = {"moved|sub\\renamed.dll|old.dll|||", "added|new.dll||||",
                                    "changed|swap.dll||FileVersion|3.1.0.7|'=1+2",
                                    "changed|sub\\GROW.dll||Translation||0407/04B0", "removed|gone.dll||||"};
    for (const std::string& row : expected)
        EXPECT_EQ(1, std::count(found.begin(), found.end(), row)) << row << "\n" << run.out;
    EXPECT_EQ("removed|gone.dll||||", found.back());
    // The baseline has no SHA1: it is named, and moves and edits are still told by MD5.
    EXPECT_NE(std::string::npos, run.err.find("Not compared: SHA1, which only one document has.")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("1 unchanged, 3 changed, 1 added, 1 removed, 1 moved, 1 unreadable"));
}

TEST_F(CompareRun, ABaselineWithLfLineEndsAndNoByteOrderMarkLoads)
{
    std::string lf = read_file(baseline);
    ASSERT_EQ(0u, lf.find("\xEF\xBB\xBF"));
    lf = lf.substr(3);
    for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
        lf.erase(at, 1);
    write_file(baseline, lf);
    // Its value with a line end inside quotes now reads back with LF alone: it would differ.
    DeleteFileW(join_path(after, L"edit.dll").c_str());
    RunResult run = compare({});
    EXPECT_EQ(1u, run.exit_code);
    EXPECT_NE(std::string::npos, run.out.find("\r\n6 unchanged, 0 changed, 0 added, 1 removed, 0 moved, 0 unreadable"))
        << run.out;
}

// A later version's document: its columns in another order, one this version does not know.
TEST_F(CompareRun, ColumnsInAnyOrderAndUnknownOnesLoad)
{
    CsvDocument document = parse_csv(read_file(baseline));
    ASSERT_EQ("", document.fault);
    std::string reordered;
    for (std::vector<std::string>& row : document.rows) {
        row.push_back(&row == &document.rows[0] ? "Future" : "=x");
        for (size_t index = row.size(); index-- > 0;) {
            std::string quoted = "\"";
            for (char c : row[index])
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            reordered += quoted + (index == 0 ? "\"\r\n" : "\",");
        }
    }
    write_file(baseline, reordered);
    RunResult run = compare({});
    EXPECT_EQ(0u, run.exit_code) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\r\n7 unchanged, 0 changed")) << run.out;
}

TEST_F(CompareRun, DamagedBaselinesNameTheLineAndEndWith13)
{
    std::string good = read_file(baseline);
    // Values with line ends inside quotes make lines of their own.
    std::string after_last = "line " + std::to_string(count_of(good, "\n") + 1) + ": ";
    struct Case {
        std::string bytes;
        std::string reason;
    } const cases[] = {
        {good + "\"unclosed,\r\n", after_last + "a quoted field is never closed."},
        {without(good, ","), "line 1: no Path column"},
        {"Path;LanguageId;CodePage\r\n", "line 1: fields separated by ';', not by commas."},
        {good.substr(0, good.find("\r\n") + 2) + "a,b\r\n", "line 2: 2 fields where the header has 23."},
        {good + "x\"y\r\n", after_last + "a quote inside a field that does not begin with one."},
        {"\xFF\xFEP\0a\0", "line 1: UTF-16 text, where quillet writes UTF-8."},
        {good + "\xC3(\r\n", after_last + "no UTF-8 text."},
    };
    for (const Case& damaged : cases) {
        write_file(baseline, damaged.bytes);
        RunResult run = compare({});
        EXPECT_EQ(13u, run.exit_code) << damaged.reason;
        EXPECT_NE(std::string::npos,
                  run.out.find("Cannot compare with \"" + narrow(baseline) + "\", " + damaged.reason))
            << run.out;
    }
    DeleteFileW(baseline.c_str());
    RunResult missing = compare({});
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.exit_code);
    EXPECT_NE(std::string::npos, missing.out.find("Could not open File for reading. Reason: 2")) << missing.out;
    RunResult no_value = run_quillet(exe, {L"-d", join_path(after, L"*.dll"), L"-compare"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), no_value.exit_code);
    RunResult folder = run_quillet(exe, {L"-d", after, L"-compare", baseline});
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), folder.exit_code);
}

TEST_F(CompareRun, ListedFilesCompareAsGivenAndNothingFoundRemovesAll)
{
    std::wstring same = join_path(before, L"same.dll");
    std::wstring swap = join_path(before, L"swap.dll");
    write_file(baseline, run_quillet(exe, {L"-m", same, swap, L"-csv", L"-md5"}).out);
    put(before, L"swap.dll", L"version_csv.dll");
    RunResult run = run_quillet(exe, {L"-m", L"-cmp", baseline, same, L"-csv", swap});
    EXPECT_EQ(1u, run.exit_code);
    EXPECT_NE(std::string::npos, run.err.find("1 unchanged, 1 changed, 0 added, 0 removed")) << run.err;
    EXPECT_EQ(1u, count_of(run.out, "changed," + narrow(swap) + ",,MD5,")) << run.out;
    RunResult none = run_quillet(exe, {L"-d", join_path(after, L"*.nothing"), L"-compare", baseline});
    EXPECT_EQ(1u, none.exit_code);
    EXPECT_NE(std::string::npos, none.out.find("0 unchanged, 0 changed, 0 added, 2 removed")) << none.out;
}

namespace {

// How a folder changes between its baseline and the comparison.
enum WordsChange { NO_CHANGE, README_DELETED, NEW_SUBFOLDER };

struct WordsCase {
    std::vector<std::wstring> baseline_words;
    WordsChange change;
    std::vector<std::wstring> compare_words;
    const char* summary;
    DWORD exit_code;
};

} // namespace

// An image, a text file and a folder with an image, compared with the words beside which a
// comparison runs. A baseline file that -pe or -unsigned leaves out and that is still there is
// not gone; an empty image or import hash is a value; "." and ".." are no files.
TEST(CompareWords, StatusesFollowTheWordsOfBothRuns)
{
    std::wstring exe = quillet_with_settings(L"compare-words", "");
    const std::wstring none;
    const WordsCase cases[] = {
        {{L"-imphash"},
         NO_CHANGE,
         {L"-imphash"},
         "3 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable",
         0},
        {{L"-imagesha256"}, NO_CHANGE, {}, "3 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable", 0},
        {{L"-pe"}, NO_CHANGE, {L"-pe"}, "1 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable", 0},
        {{}, NO_CHANGE, {L"-pe"}, "1 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable", 0},
        {{}, README_DELETED, {L"-pe"}, "1 unchanged, 0 changed, 0 added, 1 removed, 0 moved, 0 unreadable", 1},
        {{}, NO_CHANGE, {L"-unsigned"}, "1 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable", 0},
        {{L"-s", L"-md5"},
         NEW_SUBFOLDER,
         {L"-s"},
         "4 unchanged, 0 changed, 2 added, 0 removed, 0 moved, 0 unreadable",
         1},
        {{L"-s"},
         NO_CHANGE,
         {L"-s", L"-pe", L"-imphash"},
         "2 unchanged, 0 changed, 0 added, 0 removed, 0 moved, 0 unreadable",
         0},
    };
    for (const WordsCase& example : cases) {
        std::wstring folder = make_temp_dir(L"compare-words");
        CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr);
        put(folder, L"app.dll", L"image_x86.dll");
        put(folder, L"sub\\x.dll", L"image_x86.dll");
        write_file(join_path(folder, L"readme.txt"), "-beta notes\r\n");
        std::wstring pattern = join_path(folder, L"*");
        std::vector<std::wstring> words = {L"-d", pattern, L"-csv"};
        words.insert(words.end(), example.baseline_words.begin(), example.baseline_words.end());
        std::wstring baseline = join_path(make_temp_dir(L"compare-words-baseline"), L"baseline.csv");
        write_file(baseline, run_quillet(exe, words).out);
        if (example.change == README_DELETED)
            DeleteFileW(join_path(folder, L"readme.txt").c_str());
        if (example.change == NEW_SUBFOLDER) {
            CreateDirectoryW(join_path(folder, L"new").c_str(), nullptr);
            put(folder, L"new\\a.dll", L"image_x86.dll");
        }
        words = {L"-d", pattern, L"-compare", baseline};
        words.insert(words.end(), example.compare_words.begin(), example.compare_words.end());
        RunResult run = run_quillet(exe, words);
        std::string trace = narrow(words[4] + (words.size() > 5 ? words[5] : none)) + "\n" + run.out;
        EXPECT_EQ(example.exit_code, run.exit_code) << trace;
        EXPECT_NE(std::string::npos, run.out.find("\r\n" + std::string(example.summary) + "\r\n")) << trace;
        EXPECT_EQ(std::string::npos, run.out.find("\\.")) << trace;
        if (example.change == NEW_SUBFOLDER) {
            EXPECT_EQ(1u, count_of(run.out, "\r\nadded  new\r\n")) << trace;
            EXPECT_EQ(1u, count_of(run.out, "\r\nadded  new\\a.dll\r\n")) << trace;
        }
    }
}

// A pattern whose folder is gone fails as the same run without the comparison fails: the same
// notice and exit code, with -csv the same failure row; nothing is called removed.
TEST(CompareWords, AMissingFolderFailsTheRun)
{
    std::wstring exe = quillet_with_settings(L"compare-missing", "");
    std::wstring folder = make_temp_dir(L"compare-missing");
    put(folder, L"app.dll", L"image_x86.dll");
    std::wstring baseline = join_path(folder, L"baseline.csv");
    write_file(baseline, run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-csv"}).out);
    std::wstring typo = join_path(folder, L"typo\\*.dll");
    for (const std::vector<std::wstring>& extra :
         {std::vector<std::wstring>{}, {L"-s"}, {L"-csv"}, {L"-s", L"-csv", L"-md5"}}) {
        std::vector<std::wstring> plain = {L"-d", typo};
        plain.insert(plain.end(), extra.begin(), extra.end());
        std::vector<std::wstring> compared = plain;
        compared.insert(compared.begin() + 2, {L"-compare", baseline});
        RunResult expected = run_quillet(exe, plain);
        RunResult run = run_quillet(exe, compared);
        EXPECT_EQ(expected.out, run.out);
        EXPECT_EQ(std::string::npos, (run.out + run.err).find("Comparing")) << run.out;
        EXPECT_EQ(std::string::npos, (run.out + run.err).find("removed")) << run.out;
        bool csv = std::find(extra.begin(), extra.end(), L"-csv") != extra.end();
        EXPECT_EQ(csv ? 2u : expected.exit_code, run.exit_code);
        EXPECT_EQ(csv, run.out.find("No files found for the Directory/Pattern/Wildcard. (2)") != std::string::npos);
    }
}

// The baseline's root is the longest folder its paths share when they do not lie under the
// current one.
TEST(CompareBaseline, RootIsTheCurrentFolderOrTheLongestSharedOne)
{
    const struct {
        std::vector<std::wstring> paths;
        const wchar_t* current_root;
        const wchar_t* root;
        const wchar_t* first;
    } cases[] = {
        {{L"C:\\App\\a.dll", L"c:\\app\\sub\\b.dll"}, L"C:\\APP", L"C:\\APP", L"a.dll"},
        {{L"D:\\x\\app\\sub\\a.dll", L"D:\\x\\app\\b.dll"}, L"C:\\app", L"D:\\x\\app", L"sub\\a.dll"},
        {{L"D:\\x\\ab\\a.dll", L"D:\\x\\abc\\b.dll"}, L"C:\\app", L"D:\\x", L"ab\\a.dll"},
        {{L"C:\\\\a.dll", L"C:\\b.dll"}, L"C:\\", L"C:\\", L"a.dll"},
    };
    for (const auto& example : cases) {
        ComparedSide side;
        std::wstring reason;
        side.columns = map_columns({L"Path", L"LanguageId", L"CodePage"}, reason);
        for (const std::wstring& path : example.paths)
            ASSERT_TRUE(add_side_row(side, {path, L"", L""}, path, reason));
        settle_baseline_root(side, example.current_root);
        EXPECT_EQ(example.root, side.root);
        EXPECT_EQ(example.first, side.files[0].path);
        EXPECT_EQ(1u, side.by_key.count(matching_key(side.files[1].path)));
    }
}

TEST_F(CompareRun, StatusWordsHaveTheirColoursOnTheConsole)
{
    ASSERT_TRUE(console_fresh());
    HANDLE locked = change_everything();
    RunOptions options;
    options.share_console = true;
    RunResult run = run_program(exe, {L"-d", join_path(after, L"*.dll"), L"-s", L"-cmp", baseline}, options);
    CloseHandle(locked);
    EXPECT_EQ(1u, run.exit_code);
    const struct {
        const wchar_t* line;
        WORD color;
    } words[] = {{L"changed  swap.dll", 14},
                 {L"added  new.dll", 10},
                 {L"removed  gone.dll", 12},
                 {L"moved  old.dll", 11},
                 {L"unreadable  locked.dll", 12}};
    for (const auto& word : words) {
        COORD cell;
        ASSERT_TRUE(console_find(word.line, cell)) << narrow(console_text());
        EXPECT_EQ(word.color, console_attribute(cell.Y, cell.X)) << narrow(word.line);
        EXPECT_EQ(console_attribute(0, 0), console_attribute(cell.Y, cell.X + static_cast<SHORT>(wcslen(word.line))))
            << narrow(word.line);
    }
}

TEST_F(CompareRun, TheLogGetsWhatStandardOutputGets)
{
    std::wstring logged = quillet_with_settings(L"compare-log", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\n");
    DeleteFileW(join_path(after, L"gone.dll").c_str());
    RunResult run = run_quillet(logged, {L"-d", join_path(after, L"*.dll"), L"-s", L"-compare", baseline});
    EXPECT_EQ(1u, run.exit_code);
    std::string log = read_file(logged.substr(0, logged.size() - 4) + L".log");
    EXPECT_EQ(1u, count_of(log, "removed  gone.dll\r\n6 unchanged, 0 changed")) << log;
}

namespace {

ComparedSide side_of(const std::vector<std::vector<std::wstring>>& rows)
{
    ComparedSide side;
    std::wstring reason;
    side.columns = map_columns({L"Path", L"LanguageId", L"CodePage", L"Size", L"Error", L"MD5"}, reason);
    for (const std::vector<std::wstring>& row : rows)
        add_side_row(side, row, row[0], reason);
    settle_baseline_root(side, L"");
    return side;
}

} // namespace

// A digest that two removed or two added files share moves none of them.
TEST(CompareMatch, OnlyAMatchOfExactlyOneRemovedAndOneAddedFileIsAMove)
{
    ComparedSide baseline = side_of({{L"a.dll", L"", L"", L"10", L"", L"d1"},
                                     {L"b.dll", L"", L"", L"10", L"", L"d2"},
                                     {L"c.dll", L"", L"", L"10", L"", L"d2"},
                                     {L"e.dll", L"", L"", L"10", L"", L"d3"}});
    ComparedSide current = side_of({{L"x.dll", L"", L"", L"10", L"", L"d1"},
                                    {L"y.dll", L"", L"", L"10", L"", L"d2"},
                                    {L"z.dll", L"", L"", L"11", L"", L"d3"}});
    Comparison comparison;
    compare_sides(baseline, current, comparison);
    std::vector<std::wstring> lines;
    for (const Difference& difference : comparison.differences)
        lines.push_back(std::to_wstring(difference.status) + L" " + difference.old_path + L">" + difference.path);
    EXPECT_EQ(
        (std::vector<std::wstring>{L"4 a.dll>x.dll", L"2 >y.dll", L"2 >z.dll", L"3 >b.dll", L"3 >c.dll", L"3 >e.dll"}),
        lines);
}
