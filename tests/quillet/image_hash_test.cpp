#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <stddef.h>

#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "reference_digest.h"
#include "test_files.h"

namespace {

const char DAMAGED[] = "Damaged PE image.";

// The image hash a signature embeds: the digest that ends its SpcIndirectDataContent.
std::string embedded_digest(const std::wstring& signed_path, DWORD digest_size)
{
    HCRYPTMSG message = nullptr;
    HCERTSTORE store = nullptr;
    DWORD encoding = 0, content_type = 0, format_type = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, signed_path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type, &store, &message,
                          nullptr))
        return "(no signature)";
    DWORD size = 0;
    CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, nullptr, &size);
    std::vector<BYTE> content(size);
    CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, content.data(), &size);
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    std::string hex;
    for (DWORD index = size - digest_size; index < size; ++index) {
        char byte[3];
        snprintf(byte, sizeof(byte), "%02x", content[index]);
        hex += byte;
    }
    return hex;
}

// The file ends inside the import table's first library name.
std::string truncated_imports(std::string image)
{
    size_t descriptor = file_offset(image, read_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_IMPORT)));
    image.resize(file_offset(image, read_u32(image, descriptor + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name))) + 3);
    return image;
}

std::string certificates_past_the_end(std::string image)
{
    write_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_SECURITY), static_cast<uint32_t>(image.size()) + 8);
    return image;
}

// The second section's data begins inside the first's.
std::string overlapping_sections(std::string image)
{
    uint32_t first = read_u32(image, section_header(image, 0) + offsetof(IMAGE_SECTION_HEADER, PointerToRawData));
    write_u32(image, section_header(image, 1) + offsetof(IMAGE_SECTION_HEADER, PointerToRawData), first + 16);
    return image;
}

struct SigningCase {
    const wchar_t* unsigned_name;
    const wchar_t* signed_name;
    const wchar_t* word;
    const char* label;
    DWORD digest_size;
};

} // namespace

TEST(ImageHashes, EqualWhatCodeSigningEmbedsForTheUnsignedAndTheSignedCopy)
{
    const SigningCase cases[] = {
        {L"signature_subject.dll", L"signature_signed.dll", L"-imagesha256", "Image SHA256", 32},
        {L"signature_subject.dll", L"image_sha1_signed.dll", L"-imagesha1", "Image SHA1", 20},
        {L"image_odd.dll", L"image_odd_signed.dll", L"-imagesha256", "Image SHA256", 32},
        {L"image_overlay.dll", L"image_overlay_signed.dll", L"-IMAGESHA1", "Image SHA1", 20},
    };
    // The copies hold what they are meant to: data past the last section, an odd size.
    EXPECT_NE(0u, read_file(data_file(L"image_odd.dll")).size() % 8);
    EXPECT_EQ(0u, read_file(data_file(L"image_overlay.dll")).size() % 8);
    std::wstring exe = quillet_with_settings(L"imagehash", "");
    for (const SigningCase& file : cases) {
        std::string expected = embedded_digest(data_file(file.signed_name), file.digest_size);
        ASSERT_EQ(2u * file.digest_size, expected.size()) << narrow(file.signed_name);
        for (const wchar_t* name : {file.unsigned_name, file.signed_name}) {
            EXPECT_EQ(expected, run_quillet(exe, {data_file(name), file.word, L"-p"}).out) << narrow(name);
            RunResult labelled = run_quillet(exe, {data_file(name), file.word});
            EXPECT_EQ(1u, count_of(labelled.out, std::string("File ") + file.label + ": " + expected + "\r\n\r\n"))
                << labelled.out;
        }
    }
}

TEST(ImageHashes, ImportHashOfHandListedImportsWithOrdinalsNamedByTheTables)
{
    // Ordinals 3 and 115 of ws2_32 and 6 of oleaut32 have names; comctl32's 17 has none there.
    // In the order the linker lays the libraries out.
    std::string expected = reference_md5("comctl32.ord17,kernel32.exitprocess,kernel32.gettickcount,"
                                         "oleaut32.sysfreestring,ws2_32.closesocket,ws2_32.wsastartup");
    std::wstring exe = quillet_with_settings(L"imphash", "");
    std::wstring image = data_file(L"imports_subject.exe");
    EXPECT_EQ(expected, run_quillet(exe, {image, L"-imphash", L"-plain"}).out);
    // No size question, whatever the limit.
    std::wstring small_limit = quillet_with_settings(L"imphashlimit", "[Hashing]\r\nHashingMaxSize=0\r\n");
    RunResult labelled = run_quillet(small_limit, {image, L"-imphash"});
    EXPECT_EQ(1u, count_of(labelled.out, "File Import Hash: " + expected + "\r\n\r\n")) << labelled.out;
    EXPECT_EQ(0u, count_of(labelled.out, "Do you want to proceed?"));
}

TEST(ImageHashes, NoPeImageAndDamagedImagesInTextAndCsv)
{
    std::string imports = read_file(data_file(L"imports_subject.exe"));
    std::string signed_image = read_file(data_file(L"signature_signed.dll"));
    struct Case {
        const wchar_t* name;
        std::string bytes;
        const wchar_t* word;
        const char* column;
        bool damaged;
    };
    const Case cases[] = {
        {L"notes.txt", "MZ but no PE headers\r\n", L"-imphash", "ImportHash", false},
        {L"notes2.txt", "", L"-imagesha256", "ImageSHA256", false},
        {L"truncated.exe", truncated_imports(imports), L"-imphash", "ImportHash", true},
        {L"past_end.dll", certificates_past_the_end(signed_image), L"-imagesha256", "ImageSHA256", true},
        {L"overlap.dll", overlapping_sections(signed_image), L"-imagesha1", "ImageSHA1", true},
        {L"overlap2.exe", overlapping_sections(imports), L"-imphash", "ImportHash", true},
    };
    std::wstring folder = make_temp_dir(L"damaged-images");
    std::wstring exe = quillet_with_settings(L"damaged", "");
    std::string notice = expected_notice(DAMAGED, ERROR_BAD_EXE_FORMAT, "193");
    for (const Case& file : cases) {
        std::wstring path = join_path(folder, file.name);
        write_file(path, file.bytes);
        RunResult text = run_quillet(exe, {path, file.word});
        RunResult csv = run_quillet(exe, {L"-m", path, L"-csv", file.word});
        CsvDocument document = parse_csv(csv.out);
        EXPECT_EQ("", csv_value(document, 1, file.column)) << narrow(file.name);
        // The digest comes first in a multiple-file run; the version resource's failure may follow.
        std::string error = csv_value(document, 1, "Error");
        if (file.damaged) {
            EXPECT_EQ(1u, count_of(text.out, notice)) << narrow(file.name) << "\n" << text.out;
            EXPECT_EQ(0u, error.find(std::string(DAMAGED) + " (193)")) << narrow(file.name) << ": " << error;
            EXPECT_NE(0u, csv.exit_code) << narrow(file.name);
        } else {
            EXPECT_EQ(1u, count_of(text.out, ": No PE Image\r\n\r\n")) << narrow(file.name) << "\n" << text.out;
            EXPECT_EQ("No PE Image", run_quillet(exe, {path, file.word, L"-p"}).out);
            EXPECT_EQ(0u, count_of(error, "(193)")) << narrow(file.name) << ": " << error;
        }
    }
}

TEST(ImageHashes, DirectoryAndMultipleRunsShowTheirColumnsAfterSha256)
{
    std::wstring folder = make_temp_dir(L"imagehash-runs");
    write_file(join_path(folder, L"a.exe"), read_file(data_file(L"imports_subject.exe")));
    std::wstring exe = quillet_with_settings(L"imagehashruns", "");
    RunResult csv =
        run_quillet(exe, {L"-d", join_path(folder, L"*.exe"), L"-imphash", L"-sha256", L"-csv", L"-imagesha1"});
    CsvDocument document = parse_csv(csv.out);
    ASSERT_FALSE(document.rows.empty());
    int sha256 = csv_column(document, "SHA256");
    EXPECT_LT(0, sha256);
    EXPECT_EQ(sha256 + 1, csv_column(document, "ImageSHA1"));
    EXPECT_EQ(sha256 + 2, csv_column(document, "ImportHash"));
    EXPECT_EQ(-1, csv_column(document, "ImageSHA256"));

    RunResult text = run_quillet(exe, {L"-m", join_path(folder, L"a.exe"), L"-imphash"});
    EXPECT_EQ(csv_value(document, 1, "ImportHash").size(), 32u);
    EXPECT_EQ(1u, count_of(text.out, "\r\nFile Import Hash: " + csv_value(document, 1, "ImportHash") + "\r\n\r\n"))
        << text.out;
}

TEST(ImageHashes, PeWordKeepsOnlyImagesWhateverTheirNamesAndFilesThatCannotBeOpened)
{
    std::wstring folder = make_temp_dir(L"pe-filter");
    write_file(join_path(folder, L"image.dat"), read_file(data_file(L"imports_subject.exe")));
    write_file(join_path(folder, L"notes.dll"), "MZ, and nothing after it");
    write_file(join_path(folder, L"empty.exe"), "");
    write_file(join_path(folder, L"locked.bin"), "held without sharing");
    ASSERT_TRUE(CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr));
    HANDLE locked = CreateFileW(join_path(folder, L"locked.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    std::wstring exe = quillet_with_settings(L"pefilter", "");

    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*"), L"-pe", L"-imphash"});
    RunResult html = run_quillet(exe, {L"-d", join_path(folder, L"*"), L"-html", L"-PE"});
    RunResult none = run_quillet(exe, {L"-d", join_path(folder, L"*.dll"), L"-pe"});
    CloseHandle(locked);

    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    EXPECT_EQ(2u, count_of(run.out, "File Version Info for:")) << run.out;
    EXPECT_EQ(1u, count_of(run.out, narrow(join_path(folder, L"image.dat")) + "\""));
    EXPECT_EQ(1u, count_of(run.out, "File Import Hash: "));
    EXPECT_EQ(1u, count_of(run.out, expected_notice("Could not open File for reading.", ERROR_SHARING_VIOLATION, "32")))
        << run.out;
    EXPECT_EQ(2u, count_of(html.out, "<a href=\"#")) << html.out;
    EXPECT_EQ(1u, count_of(html.out, "<a href=\"#locked.bin\""));
    EXPECT_EQ(1u, count_of(none.out, "No files found for the Directory/Pattern/Wildcard.")) << none.out;
    EXPECT_EQ(0u, count_of(none.out, "File Version Info for:"));
}
