// "-json": the objects of a tree read back and held against the CSV document of the same tree,
// the comparison's objects against its CSV rows, and the words -json stands beside.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "test_files.h"

using nlohmann::json;

namespace {

const char* const ENTRIES[] = {"Comments",     "CompanyName",    "FileDescription", "FileVersion",
                               "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
                               "ProductName",  "ProductVersion", "PrivateBuild",    "SpecialBuild"};

// Standard output as JSON Lines: no byte-order mark, "\n" alone after every object. The lines
// are also left for the schema check (scripts/check_json_schema.py).
std::vector<json> parse_lines(const std::string& out, const char* sample = nullptr)
{
    EXPECT_EQ(0u, out.find('{')) << out;
    EXPECT_EQ(std::string::npos, out.find('\r')) << out;
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    if (sample != nullptr)
        write_file(join_path(windows_path(JSON_SAMPLES_DIR), widen(sample)), out);
    std::vector<json> lines;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(json::parse(out.substr(start, end - start)));
    return lines;
}

// Seconds since 1601 of an ISO 8601 time with "Z" or a "+hh:mm" offset.
long long utc_seconds(const std::string& text)
{
    SYSTEMTIME parts = {};
    int hours = 0, minutes = 0;
    char sign = 'Z';
    sscanf(text.c_str(), "%hu-%hu-%huT%hu:%hu:%hu%c%d:%d", &parts.wYear, &parts.wMonth, &parts.wDay, &parts.wHour,
           &parts.wMinute, &parts.wSecond, &sign, &hours, &minutes);
    FILETIME time = {};
    SystemTimeToFileTime(&parts, &time);
    long long seconds = ((static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000000;
    return seconds - (sign == 'Z' ? 0 : (sign == '-' ? -1 : 1) * (hours * 3600 + minutes * 60));
}

std::string text_or_empty(const json& value)
{
    return value.is_string() ? value.get<std::string>() : "";
}

// What the CSV document shows of a value taken from a file: its formula guard.
std::string guarded(const std::string& value)
{
    return !value.empty() && std::string("=+-@\t\r").find(value[0]) != std::string::npos ? "'" + value : value;
}

std::string hex4(unsigned value)
{
    char text[8];
    snprintf(text, sizeof(text), "%04X", value);
    return text;
}

// The CSV rows a file's object stands for, rebuilt field by field.
std::vector<std::string> csv_rows_of(const json& file, const std::vector<std::string>& digest_columns)
{
    static const std::map<std::string, unsigned> BITS = {
        {"READONLY", 0x1}, {"DIRECTORY", 0x10}, {"ARCHIVE", 0x20}, {"NORMAL", 0x80}};
    std::string facts = "|" + (file["size"].is_null() ? "" : std::to_string(file["size"].get<unsigned long long>()));
    unsigned attributes = 0;
    for (const json& name : file["attributes"].is_null() ? json::array() : file["attributes"])
        attributes |= BITS.at(name.get<std::string>());
    facts += "|" + (file["attributes"].is_null() ? "" : std::to_string(attributes));
    // Each run reads the files, so the access time only has to be there in both.
    for (const char* time : {"created", "lastWritten"})
        facts += "|" + (file[time].is_null() ? "" : std::to_string(utc_seconds(file[time])));
    facts += file["lastAccessed"].is_null() ? "|" : "|set";
    for (const std::string& column : digest_columns)
        facts += "|" + text_or_empty(file["digests"][column]);
    facts += "|" + (file["signature"].is_object() ? text_or_empty(file["signature"]["verdict"]) : "");
    std::string errors;
    for (const json& error : file["errors"])
        errors += (errors.empty() ? "" : "; ") + error["text"].get<std::string>() + " (" +
                  std::to_string(static_cast<int>(error["code"].get<unsigned>())) + ")";
    std::vector<std::string> rows;
    json translations = file["translations"].empty() ? json::array({json()}) : file["translations"];
    for (const json& translation : translations) {
        std::string row = guarded(file["path"]);
        row += "|" + (translation.is_null() ? "" : hex4(translation["languageId"]));
        row += "|" + (translation.is_null() ? "" : hex4(translation["codePage"]));
        row += "|" + (translation.is_null() ? "" : translation["language"].get<std::string>());
        for (const char* entry : ENTRIES)
            row +=
                "|" + guarded(translation.is_null() ? "" : text_or_empty(translation["strings"].value(entry, json())));
        rows.push_back(row + facts + "|" + errors);
    }
    return rows;
}

std::string csv_row(const CsvDocument& document, size_t index, const std::vector<std::string>& columns)
{
    std::string row = csv_value(document, index, "Path");
    for (const char* name : {"LanguageId", "CodePage", "Language"})
        row += "|" + csv_value(document, index, name);
    for (const char* entry : ENTRIES)
        row += "|" + csv_value(document, index, entry);
    row += "|" + csv_value(document, index, "Size") + "|" + csv_value(document, index, "Attributes");
    for (const char* time : {"Created", "LastWritten"}) {
        std::string value = csv_value(document, index, time);
        row += "|" + (value.empty() ? "" : std::to_string(utc_seconds(value)));
    }
    row += csv_value(document, index, "LastAccessed").empty() ? "|" : "|set";
    for (const std::string& column : columns)
        row += "|" + csv_value(document, index, column);
    std::string signature = csv_value(document, index, "Signature");
    return row + "|" + (signature == "?" ? "" : signature) + "|" + csv_value(document, index, "Error");
}

class JsonLines : public ::testing::Test {
  protected:
    std::wstring exe;
    std::wstring folder;
    HANDLE locked = INVALID_HANDLE_VALUE;

    // Two translations, a signed file, one that cannot be opened, a subfolder.
    void SetUp() override
    {
        exe = quillet_with_settings(L"json", "[OutputInformation]\r\nPrintSignatureInformation=1\r\n"
                                             "OutputExtraImageInformation=1\r\n");
        folder = make_temp_dir(L"json-tree");
        CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr);
        copy_into(L"two.dll", L"version_translations.dll");
        copy_into(L"signed.dll", L"signature_signed.dll");
        copy_into(L"sub\\crafted.dll", L"version_csv.dll");
        copy_into(L"locked.dll", L"image_x64.dll");
        write_file(join_path(folder, L"notes.txt"), "no version resource\r\n");
        SetFileAttributesW(join_path(folder, L"notes.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        locked =
            CreateFileW(join_path(folder, L"locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    }

    void TearDown() override
    {
        CloseHandle(locked);
    }

    void copy_into(const wchar_t* name, const wchar_t* data_name)
    {
        CopyFileW(data_file(data_name).c_str(), join_path(folder, name).c_str(), FALSE);
    }

    RunResult run(std::vector<std::wstring> words)
    {
        return run_quillet(exe, words, folder);
    }
};

} // namespace

TEST_F(JsonLines, EachObjectHoldsWhatTheCsvRowsOfItsFileHold)
{
    std::wstring pattern = join_path(folder, L"*");
    RunResult csv = run({L"-d", pattern, L"-s", L"-md5", L"-imphash", L"-csv"});
    RunResult lines = run({L"-d", pattern, L"-json", L"-s", L"-md5", L"-imphash"});
    EXPECT_EQ(csv.exit_code, lines.exit_code);
    EXPECT_EQ("", lines.err);
    CsvDocument document = parse_csv(csv.out);
    const std::vector<std::string> digests = {"MD5", "ImportHash"};
    std::vector<std::string> from_csv, from_json;
    for (size_t row = 1; row < document.rows.size(); ++row)
        from_csv.push_back(csv_row(document, row, digests));
    std::map<std::string, json> by_name;
    for (const json& file : parse_lines(lines.out, "tree.jsonl")) {
        json csv_keys = {{"MD5", file["digests"]["md5"]}, {"ImportHash", file["digests"]["importHash"]}};
        json keyed = file;
        keyed["digests"] = csv_keys;
        for (const std::string& row : csv_rows_of(keyed, digests))
            from_json.push_back(row);
        std::string path = file["path"];
        by_name[path.substr(narrow(folder).size() + 1)] = file;
    }
    EXPECT_EQ(from_csv, from_json);
    ASSERT_EQ(1u, by_name.count("notes.txt"));
    EXPECT_EQ(json({"ARCHIVE", "READONLY"}), by_name["notes.txt"]["attributes"]);
    EXPECT_TRUE(by_name["notes.txt"]["image"].is_null());
    EXPECT_TRUE(by_name["notes.txt"]["digests"]["importHash"].is_null());
    EXPECT_EQ(
        json::array({{{"subject", "Quillet Test Signer"}, {"issuer", "Quillet Test Root"}, {"signedOn", nullptr}}}),
        by_name["signed.dll"]["signature"]["signers"]);
    std::string image = read_file(join_path(folder, L"two.dll"));
    EXPECT_EQ(pe_checksum(image), by_name["two.dll"]["image"]["computedSum"]);
    EXPECT_EQ(read_u32(image, nt_headers_offset(image) + 88), by_name["two.dll"]["image"]["imageChecksum"]);
    EXPECT_EQ(32u, by_name["locked.dll"]["errors"][0]["code"]) << by_name["locked.dll"];
}

TEST_F(JsonLines, ComparisonObjectsHoldTheRowsOfTheCsvComparison)
{
    std::wstring pattern = join_path(folder, L"*.*");
    std::wstring baseline = join_path(make_temp_dir(L"json-base"), L"before.csv");
    write_file(baseline, run({L"-d", pattern, L"-s", L"-md5", L"-csv"}).out);
    CopyFileW(data_file(L"version_csv.dll").c_str(), join_path(folder, L"two.dll").c_str(), FALSE);
    MoveFileW(join_path(folder, L"signed.dll").c_str(), join_path(folder, L"sub\\signed.dll").c_str());
    SetFileAttributesW(join_path(folder, L"notes.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(join_path(folder, L"notes.txt").c_str());
    write_file(join_path(folder, L"new.txt"), "added\r\n");
    RunResult csv = run({L"-d", pattern, L"-s", L"-compare", baseline, L"-csv"});
    RunResult lines = run({L"-d", pattern, L"-s", L"-json", L"-compare", baseline});
    EXPECT_EQ(1u, lines.exit_code);
    EXPECT_EQ(csv.err, lines.err);
    CsvDocument document = parse_csv(csv.out);
    std::vector<json> objects = parse_lines(lines.out, "compare.jsonl");
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(json({{"unchanged", 2}, {"changed", 1}, {"added", 1}, {"removed", 1}, {"moved", 1}, {"unreadable", 1}}),
              objects.back()["summary"]);
    // Each object gives its own row (moved, added, removed) or one row per change.
    size_t row = 1;
    for (size_t index = 0; index + 1 < objects.size(); ++index) {
        const json& file = objects[index];
        std::string status = file["status"];
        std::string old_path = guarded(text_or_empty(file["oldPath"]));
        if (status != "changed" && status != "unreadable") {
            EXPECT_EQ(status + "|" + guarded(file["path"]) + "|" + old_path,
                      csv_value(document, row, "Status") + "|" + csv_value(document, row, "Path") + "|" +
                          csv_value(document, row, "OldPath"));
            ++row;
        }
        for (const json& change : file["changes"]) {
            std::string column = change["column"];
            std::string named = text_or_empty(change["translation"]) + " " + column;
            std::string csv_column = csv_value(document, row, "Column");
            EXPECT_TRUE(csv_column == column || csv_column == named) << csv_column << " " << change;
            EXPECT_EQ(guarded(change["old"]) + "|" + guarded(change["new"]) + "|" + guarded(file["path"]),
                      csv_value(document, row, "Old") + "|" + csv_value(document, row, "New") + "|" +
                          csv_value(document, row, "Path"));
            ++row;
        }
    }
    EXPECT_EQ(document.rows.size(), row);
    // The values as they are, where the CSV document guards them.
    bool unguarded = false;
    for (const json& file : objects)
        for (const json& change : file.value("changes", json::array()))
            unguarded = unguarded || (change["column"] == "FileVersion" && change["new"] == "=1+2");
    EXPECT_TRUE(unguarded) << lines.out;
}

struct WordCase {
    const char* name;
    std::vector<std::wstring> words;
    DWORD exit_code;
    // The names of the files reported, relative to the folder, sorted; "" for an object
    // without a path.
    std::vector<std::string> names;
    json digests;
};

// Every object valid JSON on standard output alone; the digests as asked.
TEST_F(JsonLines, WordsBesideJson)
{
    const json none = json::object();
    DWORD handle = 0;
    GetFileVersionInfoSizeW(join_path(folder, L"notes.txt").c_str(), &handle);
    const DWORD no_resource = GetLastError();
    const WordCase cases[] = {
        {"digest word last", {L"-m", L"two.dll", L"-json", L"-md5"}, 0, {"two.dll"}, {"md5"}},
        {"json wins over csv", {L"-m", L"-json", L"two.dll", L"-csv", L"-sha1"}, 0, {"two.dll"}, {"sha1"}},
        {"html has no effect", {L"-d", L"two.dll", L"-html", L"-json", L"-sha256"}, 18, {"two.dll"}, {"sha256"}},
        {"json word as the pattern", {L"-d", L"-json"}, 2, {""}, none},
        {"folder without wildcard", {L"-d", L"sub", L"-json"}, 3, {""}, none},
        {"no file names", {L"-m", L"-json"}, 87, {""}, none},
        {"a missing file", {L"-m", L"missing.dll", L"-json"}, 2, {"missing.dll"}, none},
        {"unsigned only", {L"-d", L"*.dll", L"-unsigned", L"-json"}, 18, {"locked.dll", "two.dll"}, none},
        {"images only",
         {L"-d", L"*", L"-pe", L"-json", L"-imagesha256", L"-imphash"},
         18,
         {"locked.dll", "signed.dll", "two.dll"},
         {"imageSha256", "importHash"}},
        {"no PE image", {L"-m", L"notes.txt", L"-imagesha1", L"-json"}, no_resource, {"notes.txt"}, {"imageSha1"}},
    };
    for (const WordCase& test : cases) {
        SCOPED_TRACE(test.name);
        RunResult run_result = run(test.words);
        EXPECT_EQ(test.exit_code, run_result.exit_code);
        EXPECT_EQ("", run_result.err);
        std::vector<std::string> names;
        for (const json& file : parse_lines(run_result.out)) {
            std::string path = file.value("path", "");
            names.push_back(path.substr(path.rfind('\\') + 1));
            if (!file.contains("path"))
                EXPECT_EQ(1u, file["errors"].size()) << file;
            else if (test.digests.empty())
                EXPECT_EQ(none, file["digests"]);
            else
                for (const json& key : test.digests)
                    EXPECT_TRUE(file["digests"].contains(key)) << file;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(test.names, names);
    }
}

TEST(JsonOutput, TheLogGetsTheLinesAfterItsSeparator)
{
    std::wstring exe = quillet_with_settings(L"jsonlog", "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\n");
    RunResult run = run_quillet(exe, {L"-m", data_file(L"version_translations.dll"), L"-json", data_file(L"nothere")});
    std::string log = read_file(exe.substr(0, exe.size() - 4) + L".log");
    EXPECT_EQ(2u, parse_lines(run.out).size());
    EXPECT_EQ("-----\n" + run.out, log.substr(log.size() - std::min(log.size(), run.out.size() + 6)));
}
