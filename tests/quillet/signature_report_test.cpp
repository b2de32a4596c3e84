#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "test_files.h"

namespace {

// The build signs with a fixed time-stamp time: 2023-11-14 22:13:20 UTC.
const unsigned long long STAMP_UNIX_TIME = 1700000000ull;
const unsigned long long FILETIME_TICKS_PER_SECOND = 10000000ull;
const unsigned long long UNIX_EPOCH_IN_FILETIME_SECONDS = 11644473600ull;

// One file of the table: its bytes, the verdict line and exit code "-verify" gives, and the
// "[Signed On]" value when the block shows a signer (empty: no signer lines).
struct SignatureCase {
    const wchar_t* name;
    std::string bytes;
    std::string verdict;
    DWORD exit_code;
    std::string signed_on;
};

// Verdicts of other results, whose text is the system's.
const char OTHER_RESULT[] = "";

// Windows asks that the signer's root be trusted, Wine does not: with the test root in the
// prefix's Root store both should give the same verdicts.
void trust_test_root()
{
    std::string der = read_file(data_file(L"test_root.der"));
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    ASSERT_NE(nullptr, root);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                 static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                 nullptr));
    CertCloseStore(root, 0);
}

// The stamp's time in the report's local "dd.mm.yyyy :: hh:mm" form.
std::string stamp_time_text()
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (STAMP_UNIX_TIME + UNIX_EPOCH_IN_FILETIME_SECONDS) * FILETIME_TICKS_PER_SECOND;
    FILETIME utc = {ticks.LowPart, ticks.HighPart};
    return local_time_text(utc);
}

size_t security_directory_offset(const std::string& image)
{
    size_t optional = optional_header_offset(image);
    size_t directories = read_u16(image, optional) == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                             ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                             : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    return optional + directories + IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
}

// One byte of the first section's data inverted: the signed hash no longer matches.
std::string changed_in_a_section(std::string image)
{
    size_t file_header = nt_headers_offset(image) + offsetof(IMAGE_NT_HEADERS32, FileHeader);
    size_t sections = optional_header_offset(image) +
                      read_u16(image, file_header + offsetof(IMAGE_FILE_HEADER, SizeOfOptionalHeader));
    size_t data = read_u32(image, sections + offsetof(IMAGE_SECTION_HEADER, PointerToRawData));
    image[data + 16] = static_cast<char>(~image[data + 16]);
    return image;
}

// The certificate table and its WIN_CERTIFICATE cut to half: the PKCS#7 blob ends midway.
std::string truncated_signature(std::string image)
{
    size_t directory = security_directory_offset(image);
    uint32_t table = read_u32(image, directory);
    uint32_t half = (read_u32(image, directory + 4) / 2) & ~7u;
    write_u32(image, directory + 4, half);
    write_u32(image, table, half);
    image.resize(table + half);
    return image;
}

std::string table_past_the_end(std::string image)
{
    write_u32(image, security_directory_offset(image), static_cast<uint32_t>(image.size()) + 4096);
    return image;
}

std::vector<SignatureCase> signature_cases()
{
    std::string unsigned_image = read_file(data_file(L"signature_subject.dll"));
    std::string signed_image = read_file(data_file(L"signature_signed.dll"));
    // Measured under Wine 8; the table pointing past the end counts as no signature there.
    return {
        {L"unsigned.dll", unsigned_image, "Unsigned", 1, ""},
        {L"signed.dll", signed_image, "Signed", 0, "none"},
        {L"stamped.dll", read_file(data_file(L"signature_stamped.dll")), "Signed", 0, stamp_time_text()},
        {L"changed.dll", changed_in_a_section(signed_image), "Changed after signing", 2, "none"},
        {L"truncated.dll", truncated_signature(signed_image), OTHER_RESULT, 3, ""},
        {L"past_end.dll", table_past_the_end(signed_image), "Unsigned", 1, ""},
        {L"notes.txt", "plain text, nothing to sign\r\n", "Not a signable file", 3, ""},
    };
}

std::string signature_block(const SignatureCase& file, const std::string& verdict, const std::string& br)
{
    std::string block = "[Signature]\r\n" + br + "-- " + verdict + " --\r\n" + br;
    if (!file.signed_on.empty())
        block += "[Signer]\r\n" + br + "-- Quillet Test Signer --\r\n" + br + "[Issuer]\r\n" + br +
                 "-- Quillet Test Root --\r\n" + br + "[Signed On]\r\n" + br + "-- " + file.signed_on + " --\r\n" + br;
    return block;
}

// Another result shows the system's text of its code and the code: both must agree.
std::string checked_other_verdict(const std::string& out)
{
    size_t start = out.find("[Signature]\r\n-- ");
    size_t end = find_after(out, " --\r\n", start);
    if (end == std::string::npos)
        return "(no verdict line)";
    std::string verdict = out.substr(start + 16, end - start - 16);
    unsigned code = 0;
    EXPECT_EQ(1, sscanf(verdict.substr(verdict.rfind(" (0x")).c_str(), " (0x%8X)", &code)) << verdict;
    std::string text = system_text(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    char code_text[16];
    snprintf(code_text, sizeof(code_text), " (0x%08X)", code);
    EXPECT_EQ(text + code_text, verdict);
    EXPECT_NE(0u, code);
    return verdict;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Signatures : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        trust_test_root();
    }

    std::wstring folder = make_temp_dir(L"signed-files");
    std::vector<SignatureCase> cases = signature_cases();

    std::wstring write_case(const SignatureCase& file)
    {
        std::wstring path = join_path(folder, file.name);
        write_file(path, file.bytes);
        return path;
    }
};

} // namespace

TEST_F(Signatures, VerifyAndTheDirectoryRunBlockForEachKindOfFile)
{
    std::wstring exe = quillet_with_settings(L"verify", "");
    for (SignatureCase& file : cases) {
        RunResult run = run_quillet(exe, {L"-verify", write_case(file)});
        if (file.verdict == OTHER_RESULT)
            file.verdict = checked_other_verdict(run.out);
        EXPECT_EQ(file.exit_code, run.exit_code) << narrow(file.name);
        EXPECT_TRUE(
            ends_with(run.out, "Contact: quillet@example.org\r\n\r\n" + signature_block(file, file.verdict, "")))
            << narrow(file.name) << "\n"
            << run.out;
    }
    ASSERT_TRUE(CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr));

    std::wstring reporting = quillet_with_settings(L"sigdir", "[OutputInformation]\r\nPrintSignatureInformation=1\r\n");
    for (const char* br : {"", "<br>"}) {
        std::vector<std::wstring> args = {L"-d", join_path(folder, L"*")};
        if (*br != '\0')
            args.push_back(L"-html");
        RunResult run = run_quillet(reporting, args);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
        // ".", ".." and "sub" are directories: no block.
        EXPECT_EQ(cases.size(), count_of(run.out, "[Signature]")) << run.out;
        for (const SignatureCase& file : cases) {
            size_t heading = run.out.find("\\" + narrow(file.name) + "\"");
            size_t report = find_after(run.out, "[FileName]\r\n", heading);
            size_t block = find_after(run.out, signature_block(file, file.verdict, br), heading);
            size_t next_heading = find_after(run.out, "File Version Info for:", heading);
            EXPECT_NE(std::string::npos, block) << narrow(file.name) << "\n" << run.out;
            EXPECT_LT(block, next_heading) << narrow(file.name);
            if (report < next_heading) {
                EXPECT_LT(report, block) << narrow(file.name);
            }
        }
    }
}

TEST_F(Signatures, SingleFileAndMultipleRunsEndEachReportWithTheBlockOnlyWhenAsked)
{
    std::wstring signed_path = write_case(cases[1]);
    std::wstring unsigned_path = write_case(cases[0]);
    std::string signed_block = signature_block(cases[1], "Signed", "");
    std::string unsigned_block = signature_block(cases[0], "Unsigned", "");
    std::wstring exe = quillet_with_settings(L"sigkey", "[OutputInformation]\r\nPrintSignatureInformation=1\r\n");

    RunResult single = run_quillet(exe, {signed_path});
    EXPECT_TRUE(ends_with(single.out, signed_block)) << single.out;
    EXPECT_LT(single.out.find("[FileName]"), single.out.find(signed_block));
    EXPECT_EQ(1u, count_of(single.out, "[Signature]"));

    RunResult multiple = run_quillet(exe, {L"-m", signed_path, unsigned_path, join_path(folder, L"missing.dll")});
    size_t first = multiple.out.find(signed_block + "\r\n\r\nFile Version Info for:\r\n\"" + narrow(unsigned_path));
    EXPECT_NE(std::string::npos, find_after(multiple.out, unsigned_block + "\r\n\r\nFile Version Info for:", first))
        << multiple.out;
    EXPECT_EQ(2u, count_of(multiple.out, "[Signature]"));

    for (const char* key : {"", "[OutputInformation]\r\nPrintSignatureInformation=2\r\n"}) {
        std::wstring quiet = quillet_with_settings(L"sigoff", key);
        EXPECT_EQ(0u, count_of(run_quillet(quiet, {signed_path}).out, "[Signature]"));
        EXPECT_EQ(0u, count_of(run_quillet(quiet, {L"-d", join_path(folder, L"*.dll")}).out, "[Signature]"));
    }
}

TEST_F(Signatures, VerifyWithoutAFileOrWithOneThatCannotBeOpened)
{
    std::wstring exe = quillet_with_settings(L"verifyfail", "");
    RunResult bare = run_quillet(exe, {L"-v"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), bare.exit_code);
    EXPECT_TRUE(ends_with(bare.out, "\r\nCould not verify File. Reason: " + system_text(ERROR_INVALID_PARAMETER)))
        << bare.out;

    std::wstring missing = join_path(folder, L"missing.dll");
    RunResult run = run_quillet(exe, {L"-VERIFY", missing});
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), run.exit_code);
    EXPECT_TRUE(
        ends_with(run.out, expected_notice("Could not open File for reading.", ERROR_FILE_NOT_FOUND, "2") + "\r\n"))
        << run.out;

    RunResult directory = run_quillet(exe, {L"-v", folder});
    EXPECT_NE(0u, directory.exit_code);
    EXPECT_EQ(0u, count_of(directory.out, "[Signature]"));
    EXPECT_NE(std::string::npos, directory.out.find("Error: Could not open File for reading. Reason: " +
                                                    std::to_string(directory.exit_code)));
}

TEST_F(Signatures, UnsignedRunsReportOnlyFilesThatAreNotSignedWithTheirBlock)
{
    size_t kept = 0;
    for (const SignatureCase& file : cases) {
        write_case(file);
        kept += file.verdict != "Signed" && file.verdict != "Not a signable file" ? 1 : 0;
    }
    ASSERT_TRUE(CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr));
    std::wstring exe = quillet_with_settings(L"unsigned", "");

    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*"), L"-unsigned"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ(kept, count_of(run.out, "File Version Info for:")) << run.out;
    EXPECT_EQ(kept, count_of(run.out, "[Signature]"));
    for (const SignatureCase& file : cases) {
        bool shown = count_of(run.out, "\\" + narrow(file.name) + "\"") == 1;
        EXPECT_EQ(file.verdict != "Signed" && file.verdict != "Not a signable file", shown) << narrow(file.name);
    }

    // Signed files are matches that are left out: the listing still ran to its end.
    RunResult all_signed = run_quillet(exe, {L"-d", join_path(folder, L"s*.dll"), L"-unsigned"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), all_signed.exit_code);
    EXPECT_EQ(0u, count_of(all_signed.out, "File Version Info for:") + count_of(all_signed.out, "No files found"));

    CsvDocument csv = parse_csv(run_quillet(exe, {L"-d", join_path(folder, L"*"), L"-csv", L"-unsigned"}).out);
    ASSERT_EQ(kept + 1, csv.rows.size());
    for (size_t row = 1; row <= kept; ++row) {
        EXPECT_NE("Signed", csv_value(csv, row, "Signature"));
        EXPECT_NE("?", csv_value(csv, row, "Signature"));
    }

    std::wstring signed_path = join_path(folder, cases[1].name);
    std::wstring unsigned_path = join_path(folder, cases[0].name);
    RunResult multiple = run_quillet(
        exe, {L"-m", signed_path, unsigned_path, join_path(folder, L"missing.dll"), L"-sha1", L"-unsigned"});
    EXPECT_EQ(2u, count_of(multiple.out, "File Version Info for:")) << multiple.out;
    EXPECT_EQ(1u, count_of(multiple.out, "File SHA1: "));
    EXPECT_EQ(1u, count_of(multiple.out, signature_block(cases[0], "Unsigned", "")));
    EXPECT_EQ(0u, count_of(multiple.out, narrow(signed_path)));
}
