// "-csv": the document read back field by field, its failure rows and exit codes, and what
// stays off standard output.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "reference_digest.h"
#include "test_files.h"

namespace {

const char* const ENTRY_NAMES[] = {"Comments",     "CompanyName",    "FileDescription", "FileVersion",
                                   "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
                                   "ProductName",  "ProductVersion", "PrivateBuild",    "SpecialBuild"};

std::string header_with(const std::string& digests)
{
    std::string header = "Path,LanguageId,CodePage,Language";
    for (const char* name : ENTRY_NAMES)
        header += std::string(",") + name;
    return header + ",Size,Attributes,Created,LastWritten,LastAccessed" + digests + ",Error";
}

std::string joined(const std::vector<std::string>& fields)
{
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : ",") + field;
    return line;
}

// Well formed, with the byte-order mark, the expected header, and every row as wide as it.
void expect_document(const CsvDocument& document, const std::string& header)
{
    EXPECT_TRUE(document.bom);
    EXPECT_EQ("", document.fault);
    ASSERT_FALSE(document.rows.empty());
    EXPECT_EQ(header, joined(document.rows[0]));
    for (const std::vector<std::string>& row : document.rows)
        EXPECT_EQ(document.rows[0].size(), row.size()) << joined(row);
}

FILETIME utc_time(WORD year, WORD month, WORD day)
{
    SYSTEMTIME parts = {year, month, 0, day, 12, 0, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&parts, &time);
    return time;
}

DWORD version_size_error(const std::wstring& path)
{
    DWORD handle = 0;
    GetFileVersionInfoSizeW(path.c_str(), &handle);
    return GetLastError();
}

class CsvRun : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;

    void SetUp() override
    {
        exe = quillet_with_settings(L"csv", "");
        folder = make_temp_dir(L"csv-files");
        // Names may hold commas and letters outside ASCII; quotes and line ends they cannot.
        copy_into(L"w\x00e4hrung, eins.dll", L"version_csv.dll");
        copy_into(L"two.dll", L"version_translations.dll");
        copy_into(L"none.dll", L"version_none.dll");
        write_file(join_path(folder, L"notes.txt"), "no version resource\r\n");
    }

    std::wstring copy_into(const std::wstring& name, const wchar_t* data_name)
    {
        std::wstring path = join_path(folder, name);
        CopyFileW(data_file(data_name).c_str(), path.c_str(), FALSE);
        return path;
    }
};

struct ExpectedRow {
    const wchar_t* name;
    const char* language;
    std::vector<std::string> entries;
};

} // namespace

TEST_F(CsvRun, CraftedValuesComeBackExactlyWithTheFormulaGuard)
{
    const std::string none_error = "Getting File Version Info Size failed. (" +
                                   std::to_string(version_size_error(join_path(folder, L"none.dll"))) + ")";
    const ExpectedRow expected[] = {
        {L"none.dll", "", std::vector<std::string>(12)},
        {L"two.dll",
         "0409",
         {"100%s%n done", "Example Ltd", "", "2.5.0.1", "", "", "", "", "Translations Test", "", "", "nightly"}},
        {L"two.dll", "0407", {"", "", "Zweite Sprache", "", "", "(C) Beispiel GmbH", "", "", "", "", "", ""}},
        {L"w\x00e4hrung, eins.dll",
         "0409",
         {"one, two", "say \"hi\", then go", "line one\r\nline two", "'=1+2",
          "Gr\xC3\xBC\xC3\x9F"
          "e \xE6\x97\xA5\xE6\x9C\xAC",
          "'+cmd", "'-x", "'@sum", "'\ttabbed", "3.1", "lf\nonly", "'\rcr first"}}};
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-csv"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ("", run.err);
    CsvDocument document = parse_csv(run.out);
    expect_document(document, header_with(""));
    ASSERT_EQ(1 + sizeof(expected) / sizeof(expected[0]), document.rows.size()) << run.out;

    // The listing's order is the platform's: rows are matched by path and language.
    for (const ExpectedRow& row : expected) {
        std::wstring path = join_path(folder, row.name);
        size_t found = 0;
        for (size_t index = 1; index < document.rows.size(); ++index) {
            if (csv_value(document, index, "Path") == narrow(path) &&
                csv_value(document, index, "LanguageId") == row.language)
                found = index;
        }
        ASSERT_NE(0u, found) << narrow(path) << " " << row.language;
        for (size_t entry = 0; entry < 12; ++entry)
            EXPECT_EQ(row.entries[entry], csv_value(document, found, ENTRY_NAMES[entry])) << ENTRY_NAMES[entry];
        EXPECT_EQ(std::to_string(read_file(path).size()), csv_value(document, found, "Size"));
        EXPECT_EQ(std::to_string(GetFileAttributesW(path.c_str())), csv_value(document, found, "Attributes"));
        EXPECT_EQ(row.name == std::wstring(L"none.dll") ? none_error : "", csv_value(document, found, "Error"));
    }
}

TEST_F(CsvRun, TimesAreLocalWithTheOffsetInForceAtTheirDateAndSizesAreWhole)
{
    // A sparse file past 4 GiB: the size column holds all 64 bits.
    std::wstring big = join_path(folder, L"big.bin");
    HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER end;
    end.QuadPart = 5368709121LL;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    std::wstring winter = join_path(folder, L"two.dll");
    std::wstring summer = join_path(folder, L"none.dll");
    for (const auto& stamp :
         {std::make_pair(winter, utc_time(2024, 1, 15)), std::make_pair(summer, utc_time(2024, 7, 1))}) {
        HANDLE handle = CreateFileW(stamp.first.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_TRUE(SetFileTime(handle, nullptr, &stamp.second, &stamp.second));
        CloseHandle(handle);
    }
    // Registered with TZ=Europe/Berlin, which Wine's processes take their zone from.
    RunResult run = run_quillet(exe, {L"-m", winter, L"-csv", summer, big});
    CsvDocument document = parse_csv(run.out);
    expect_document(document, header_with(""));
    ASSERT_EQ(5u, document.rows.size()) << run.out;
    EXPECT_EQ("2024-01-15T13:00:00+01:00", csv_value(document, 1, "LastWritten"));
    EXPECT_EQ("2024-01-15T13:00:00+01:00", csv_value(document, 2, "LastAccessed"));
    EXPECT_EQ("2024-07-01T14:00:00+02:00", csv_value(document, 3, "LastWritten"));
    EXPECT_EQ("2024-07-01T14:00:00+02:00", csv_value(document, 3, "LastAccessed"));
    EXPECT_EQ(25u, csv_value(document, 3, "Created").size()) << csv_value(document, 3, "Created");
    EXPECT_EQ(narrow(big), csv_value(document, 4, "Path"));
    EXPECT_EQ("5368709121", csv_value(document, 4, "Size"));
}

struct RunCase {
    const char* name;
    std::vector<std::wstring> words;
    std::string digest_columns;
    // Path (relative to the folder, "" for none) and Error of each row after the header.
    std::vector<std::pair<std::wstring, std::string>> rows;
    DWORD exit_code;
};

TEST_F(CsvRun, WordsFailureRowsAndExitCodes)
{
    std::wstring missing = join_path(folder, L"missing.dll");
    std::string two_md5 = digest_text(CALG_MD5, read_file(join_path(folder, L"two.dll")));
    std::string missing_error = "Could not open File for reading. (2); Getting File Version Info Size failed. (2)";
    std::string notes_error = "Getting File Version Info Size failed. (" +
                              std::to_string(version_size_error(join_path(folder, L"notes.txt"))) + ")";
    const std::wstring two = L"two.dll";
    const RunCase cases[] = {
        {"digest word last", {L"-m", two, L"-csv", L"-md5"}, ",MD5", {{two, ""}, {two, ""}}, 0},
        {"csv word last", {L"-m", L"-csv", two, L"-md5", L"-csv"}, ",MD5", {{two, ""}, {two, ""}}, 0},
        {"paths stop at a digest word", {L"-m", two, L"-sha1", L"notes.txt", L"-csv"}, "", {{two, ""}, {two, ""}}, 0},
        {"missing and no resource",
         {L"-m", L"missing.dll", two, L"notes.txt", L"-csv"},
         "",
         {{L"missing.dll", missing_error}, {two, ""}, {two, ""}, {L"notes.txt", notes_error}},
         static_cast<DWORD>(atoi(notes_error.c_str() + notes_error.find('(') + 1))},
        {"digest of a missing file",
         {L"-m", L"missing.dll", L"-csv", L"-md5"},
         ",MD5",
         {{L"missing.dll", "show_hash_info::CreateFile (2); " + missing_error}},
         2},
        {"no file names", {L"-m", L"-csv"}, "", {{L"", "No File Names given. (87)"}}, 87},
        {"digest word alone", {L"-m", L"-csv", L"-sha1"}, ",SHA1", {}, 0},
        {"folder without wildcard",
         {L"-d", folder, L"-csv"},
         "",
         {{L"", "The given Directory Path is invalid or Wildcard Missing. (3)"}},
         3},
        {"no match",
         {L"-d", L"*.none", L"-csv"},
         "",
         {{L"", "No files found for the Directory/Pattern/Wildcard. (2)"}},
         2},
        {"csv word alone is the pattern",
         {L"-d", L"-csv"},
         "",
         {{L"", "No files found for the Directory/Pattern/Wildcard. (2)"}},
         2},
        {"csv word as the pattern",
         {L"-d", L"-csv", L"two.dll"},
         "",
         {{L"", "No files found for the Directory/Pattern/Wildcard. (2)"}},
         2},
        {"csv wins over html",
         {L"-d", L"tw*.dll", L"-sha256", L"-html", L"-sha1", L"-csv", L"-md5"},
         ",MD5,SHA1,SHA256",
         {{two, ""}, {two, ""}},
         ERROR_NO_MORE_FILES},
    };
    for (const RunCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::wstring> words = test.words;
        RunResult run = run_quillet(exe, words, folder);
        EXPECT_EQ(test.exit_code, run.exit_code);
        EXPECT_EQ("", run.err);
        CsvDocument document = parse_csv(run.out);
        expect_document(document, header_with(test.digest_columns));
        ASSERT_EQ(test.rows.size() + 1, document.rows.size()) << run.out;
        for (size_t index = 0; index < test.rows.size(); ++index) {
            EXPECT_EQ(narrow(test.rows[index].first), csv_value(document, index + 1, "Path"));
            EXPECT_EQ(test.rows[index].second, csv_value(document, index + 1, "Error"));
        }
        if (test.digest_columns == ",MD5" && !test.rows.empty() && test.rows[0].second.empty()) {
            EXPECT_EQ(two_md5, csv_value(document, 1, "MD5"));
        }
    }
}

TEST(CsvOutput, NoticesAndSettingsThatAddTextLeaveStandardOutputToTheDocument)
{
    std::wstring exe = quillet_with_settings(
        L"csvlog", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\nPrintSelfHashSignatures=1\r\n"
                   "PrintExtraSystemInformation=1\r\nPrintExtraFileProperties=1\r\n");
    // A log that cannot be opened: its notice goes to standard error.
    std::wstring log = exe.substr(0, exe.size() - 4) + L".log";
    ASSERT_TRUE(CreateDirectoryW(log.c_str(), nullptr));
    RunResult run = run_quillet(exe, {L"-d", data_file(L"version_translations.dll"), L"-csv"});
    CsvDocument document = parse_csv(run.out);
    expect_document(document, header_with(""));
    EXPECT_EQ(3u, document.rows.size());
    EXPECT_NE(std::string::npos, run.err.find("Could not open \"" + narrow(log) + "\" for writing.")) << run.err;
}

TEST(CsvOutput, Sha256AndSignatureColumnsFollowTheWordAndTheSetting)
{
    std::wstring exe = quillet_with_settings(L"csvsign", "[OutputInformation]\r\nPrintSignatureInformation=1\r\n");
    std::wstring folder = make_temp_dir(L"csv-signed");
    write_file(join_path(folder, L"notes.txt"), "plain text, nothing to sign\r\n");
    const std::pair<const wchar_t*, const char*> files[] = {{L"signature_signed.dll", "Signed"},
                                                            {L"signature_subject.dll", "Unsigned"},
                                                            {L"notes.txt", "Not a signable file"}};
    std::vector<std::wstring> words = {L"-m", L"-csv"};
    for (const auto& file : files) {
        std::wstring path = join_path(folder, file.first);
        if (!file_exists(path))
            CopyFileW(data_file(file.first).c_str(), path.c_str(), FALSE);
        words.push_back(path);
    }
    words.push_back(L"-sha256");
    RunResult run = run_quillet(exe, words);
    CsvDocument document = parse_csv(run.out);
    expect_document(document, header_with(",SHA256,Signature"));
    ASSERT_EQ(4u, document.rows.size()) << run.out;
    for (size_t row = 1; row < 4; ++row) {
        std::wstring path = join_path(folder, files[row - 1].first);
        EXPECT_EQ(files[row - 1].second, csv_value(document, row, "Signature"));
        EXPECT_EQ(reference_sha256(read_file(path)), csv_value(document, row, "SHA256"));
    }
}
