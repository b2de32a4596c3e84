// A directory run over a corpus of malformed files: every entry reported, nothing crashes.
#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <map>
#include <string>
#include <vector>

#include "csv_document.h"
#include "hostile_corpus.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

const uint32_t CORPUS_SEED = 20260107;

// The small image is built for the other machine type, so that the corpus holds damaged images
// of both header forms (PE32 and PE32+) beside the program of this build.
const wchar_t* small_image_name()
{
    return sizeof(void*) == 8 ? L"image_x86.dll" : L"image_x64.dll";
}
const char HEADING[] = "\r\nFile Version Info for:\r\n";
const char SETTINGS[] = "[OutputInformation]\r\nOutputExtraImageInformation=1\r\nPrintExtraFileProperties=1\r\n";
// Generous: a run over the whole corpus takes seconds, a hang must still end the test.
const DWORD RUN_TIMEOUT_MS = 300000;

class HostileCorpus : public ::testing::Test {
  protected:
    std::vector<HostileFile> corpus;
    std::wstring folder;
    std::wstring exe;

    void SetUp() override
    {
        std::string small = read_file(data_file(small_image_name()));
        std::string program = read_file(windows_path(QUILLET_EXE));
        corpus = make_hostile_corpus(small, program, CORPUS_SEED);
        folder = make_temp_dir(L"hostile-corpus");
        ASSERT_TRUE(write_hostile_corpus(corpus, folder));
        exe = quillet_with_settings(L"hostile", SETTINGS);
    }

    RunResult run_over_corpus(const std::vector<std::wstring>& extra)
    {
        std::vector<std::wstring> args = {L"-d", join_path(folder, L"*"), L"-md5", L"-sha1"};
        args.insert(args.end(), extra.begin(), extra.end());
        RunOptions options;
        options.timeout_ms = RUN_TIMEOUT_MS;
        return run_program(exe, args, options);
    }

    // A crash ends the tool with code 5 and leaves no report of the entries after it. The
    // pattern "*" also lists the folder's "." and ".." entries.
    void expect_a_whole_run(const RunResult& run)
    {
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code) << run.err;
        EXPECT_EQ("", run.err);
        EXPECT_EQ(corpus.size() + 2, count_of(run.out, HEADING));
    }

    std::string path_of(const HostileFile& file) const
    {
        return narrow(join_path(folder, file.name));
    }
};

} // namespace

TEST(HostileCorpusMaker, SameSeedSameFilesAndEveryKindIsThere)
{
    std::string small = read_file(data_file(small_image_name()));
    std::string program = read_file(windows_path(QUILLET_EXE));
    std::vector<HostileFile> first = make_hostile_corpus(small, program, CORPUS_SEED);
    std::vector<HostileFile> second = make_hostile_corpus(small, program, CORPUS_SEED);
    ASSERT_GE(first.size(), 200u);
    ASSERT_EQ(first.size(), second.size());
    size_t loops = 0, lengths = 0, cuts = 0, flips = 0, changed = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].name, second[i].name);
        EXPECT_TRUE(first[i].bytes == second[i].bytes) << narrow(first[i].name);
        const std::wstring& name = first[i].name;
        loops += name.rfind(L"loop_", 0) == 0;
        lengths += name.rfind(L"ver_", 0) == 0;
        cuts += name.rfind(L"cut_", 0) == 0;
        flips += name.rfind(L"flip_", 0) == 0;
        bool same_as_source = first[i].bytes == small || first[i].bytes == program;
        changed += !same_as_source;
    }
    EXPECT_EQ(4u, loops);
    EXPECT_EQ(17u, lengths);
    EXPECT_GE(cuts, 60u);
    EXPECT_GE(flips, 100u);
    // Every file differs from the image it was made from.
    EXPECT_EQ(first.size(), changed);
    // The seed decides the random cuts and flips.
    std::vector<HostileFile> other = make_hostile_corpus(small, program, CORPUS_SEED + 1);
    size_t differing = 0;
    for (size_t i = 0; i < first.size() && i < other.size(); ++i)
        differing += first[i].bytes != other[i].bytes;
    EXPECT_GE(differing, 100u);
}

TEST_F(HostileCorpus, ConsoleRunReportsEveryEntryWithItsDigests)
{
    RunResult run = run_over_corpus({});
    expect_a_whole_run(run);
    for (const char* entry : {".", ".."})
        EXPECT_EQ(1u, count_of(run.out, std::string(HEADING) + "\"" + narrow(join_path(folder, widen(entry))) + "\""));
    for (const HostileFile& file : corpus) {
        std::string path = path_of(file);
        size_t heading = run.out.find(std::string(HEADING) + "\"" + path + "\"\r\n\r\n");
        ASSERT_NE(std::string::npos, heading) << path;
        size_t next = run.out.find(HEADING, heading + 1);
        std::string section = run.out.substr(heading, next == std::string::npos ? std::string::npos : next - heading);
        if (file.bytes.empty()) {
            EXPECT_NE(std::string::npos, section.find("show_hash_info::VrtualAlloc")) << section;
            continue;
        }
        EXPECT_NE(std::string::npos, section.find("Is the File readable: YES\r\n")) << path;
        EXPECT_NE(std::string::npos, section.find("File MD5: " + digest_text(CALG_MD5, file.bytes))) << path;
        EXPECT_NE(std::string::npos, section.find("File SHA1: " + digest_text(CALG_SHA1, file.bytes))) << path;
    }
}

TEST_F(HostileCorpus, HtmlRunReportsEveryEntryAndClosesTheDocument)
{
    RunResult run = run_over_corpus({L"-html"});
    expect_a_whole_run(run);
    EXPECT_EQ(0u, run.out.find("<html>")) << run.out.substr(0, 200);
    std::string end = "\r\n</body>\r\n</html>";
    ASSERT_GE(run.out.size(), end.size());
    EXPECT_EQ(end, run.out.substr(run.out.size() - end.size()));
    EXPECT_EQ(corpus.size() + 2, count_of(run.out, "<a href=\"#"));
    for (const HostileFile& file : corpus) {
        std::string name = narrow(file.name);
        EXPECT_EQ(1u, count_of(run.out, "<a name=\"" + name + "\"></a>")) << name;
        EXPECT_EQ(1u, count_of(run.out, "<a href=\"#" + name + "\"")) << name;
        EXPECT_EQ(1u, count_of(run.out, "\"" + path_of(file) + "\"</span>")) << name;
    }
}

TEST_F(HostileCorpus, CsvRunParsesBackToOneRowPerFileAndTranslation)
{
    RunResult csv = run_over_corpus({L"-csv", L"-x"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), csv.exit_code);
    EXPECT_EQ("", csv.err);
    CsvDocument document = parse_csv(csv.out);
    EXPECT_TRUE(document.bom);
    ASSERT_EQ("", document.fault);
    ASSERT_GT(document.rows.size(), corpus.size());
    // A file has rows with a language, one per translation, or one row without.
    std::map<std::string, std::pair<size_t, size_t>> rows_of;
    for (size_t row = 1; row < document.rows.size(); ++row) {
        ASSERT_EQ(document.rows[0].size(), document.rows[row].size()) << row;
        bool language = !csv_value(document, row, "LanguageId").empty();
        std::pair<size_t, size_t>& counts = rows_of[csv_value(document, row, "Path")];
        (language ? counts.first : counts.second) += 1;
    }
    EXPECT_EQ(corpus.size() + 2, rows_of.size());
    size_t language_rows = 0;
    for (const auto& counts : rows_of) {
        EXPECT_TRUE(counts.second.first == 0 ? counts.second.second == 1 : counts.second.second == 0) << counts.first;
        language_rows += counts.second.first;
    }
    // The text report of the same run shows as many translations.
    RunResult text = run_over_corpus({});
    EXPECT_EQ(count_of(text.out, "[Language]\r\n"), language_rows);
    for (const HostileFile& file : corpus) {
        std::string path = path_of(file);
        ASSERT_EQ(1u, rows_of.count(path)) << path;
        for (size_t row = 1; row < document.rows.size(); ++row) {
            if (csv_value(document, row, "Path") != path)
                continue;
            if (file.bytes.empty()) {
                EXPECT_NE(std::string::npos, csv_value(document, row, "Error").find("show_hash_info::VrtualAlloc"));
                continue;
            }
            EXPECT_EQ(digest_text(CALG_MD5, file.bytes), csv_value(document, row, "MD5")) << path;
            EXPECT_EQ(digest_text(CALG_SHA1, file.bytes), csv_value(document, row, "SHA1")) << path;
            EXPECT_EQ(std::to_string(file.bytes.size()), csv_value(document, row, "Size")) << path;
        }
    }
}
