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

// A later section's data begins inside the first's, as an installer maker lays out .reloc inside
// .rsrc; the section that holds the import table stays where it is.
std::string overlapping_sections(std::string image)
{
    uint32_t imports = read_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_IMPORT));
    int moved = 1;
    if (read_u32(image, section_header(image, moved) + offsetof(IMAGE_SECTION_HEADER, VirtualAddress)) <= imports &&
        read_u32(image, section_header(image, moved + 1) + offsetof(IMAGE_SECTION_HEADER, VirtualAddress)) > imports)
        ++moved;
    uint32_t first = read_u32(image, section_header(image, 0) + offsetof(IMAGE_SECTION_HEADER, PointerToRawData));
    write_u32(image, section_header(image, moved) + offsetof(IMAGE_SECTION_HEADER, PointerToRawData), first + 16);
    return image;
}

// An optional header that holds two data directories: exports and imports, no certificate entry.
std::string two_directories(std::string image)
{
    bool plus = read_u16(image, optional_header_offset(image)) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    write_u32(image,
              optional_header_offset(image) + (plus ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                             : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes)),
              2);
    return image;
}

// Appends payload to the last section's data (at the end of the file) and answers its address.
uint32_t append_to_last_section(std::string& image, const std::string& payload)
{
    size_t file_header = nt_headers_offset(image) + offsetof(IMAGE_NT_HEADERS32, FileHeader);
    size_t last =
        section_header(image, read_u16(image, file_header + offsetof(IMAGE_FILE_HEADER, NumberOfSections)) - 1);
    uint32_t raw = read_u32(image, last + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData));
    image.resize(read_u32(image, last + offsetof(IMAGE_SECTION_HEADER, PointerToRawData)) + raw);
    image += payload;
    write_u32(image, last + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData), raw + static_cast<uint32_t>(payload.size()));
    return read_u32(image, last + offsetof(IMAGE_SECTION_HEADER, VirtualAddress)) + raw;
}

size_t first_descriptor(const std::string& image)
{
    return file_offset(image, read_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_IMPORT)));
}

// The first library's name becomes a hint/name entry whose name has `length` letters.
std::string long_library_name(std::string image, size_t length)
{
    uint32_t name = append_to_last_section(image, std::string(length, 'a') + std::string(1, '\0'));
    write_u32(image, first_descriptor(image) + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name), name);
    return image;
}

// The first library's lookup table runs on through far more entries than any image imports,
// every one naming the same function.
std::string endless_lookup_table(std::string image)
{
    size_t descriptor = first_descriptor(image);
    uint32_t lookup = read_u32(image, descriptor + offsetof(IMAGE_IMPORT_DESCRIPTOR, OriginalFirstThunk));
    uint32_t hint_name = read_u32(image, file_offset(image, lookup));
    bool plus = read_u16(image, optional_header_offset(image)) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    std::string entry(plus ? 8 : 4, '\0');
    write_u32(entry, 0, hint_name);
    std::string table;
    for (int index = 0; index < 70000; ++index)
        table += entry;
    write_u32(image, descriptor + offsetof(IMAGE_IMPORT_DESCRIPTOR, OriginalFirstThunk),
              append_to_last_section(image, table));
    return image;
}

// The image hash of an image without a certificate table: the file less CheckSum and the
// table's directory entry (when the header holds one), padded to a multiple of 8.
std::string unsigned_image_sha256(const std::string& image)
{
    bool plus = read_u16(image, optional_header_offset(image)) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    uint32_t directories =
        read_u32(image, optional_header_offset(image) + (plus ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                                       : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes)));
    size_t checksum = optional_header_offset(image) + offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum);
    size_t entry = data_directory(image, IMAGE_DIRECTORY_ENTRY_SECURITY);
    std::string hashed = image.substr(0, checksum) + image.substr(checksum + 4);
    if (directories > IMAGE_DIRECTORY_ENTRY_SECURITY)
        hashed = image.substr(0, checksum) + image.substr(checksum + 4, entry - checksum - 4) + image.substr(entry + 8);
    if (image.size() % 8 != 0)
        hashed += std::string(8 - image.size() % 8, '\0');
    return reference_sha256(hashed);
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

// One directory run over crafted images: each gets its row, with its value or its notice.
TEST(ImageHashes, CraftedImagesGetTheirValueOrDamagedInOneDirectoryRun)
{
    std::string imports = read_file(data_file(L"imports_subject.exe"));
    std::string signed_image = read_file(data_file(L"signature_signed.dll"));
    std::wstring exe = quillet_with_settings(L"damaged", "");
    std::string import_hash = run_quillet(exe, {data_file(L"imports_subject.exe"), L"-imphash", L"-p"}).out;
    std::string signed_import_hash = run_quillet(exe, {data_file(L"signature_signed.dll"), L"-imphash", L"-p"}).out;
    ASSERT_EQ(32u, import_hash.size());
    const std::string damaged = std::string(DAMAGED) + " (193)";
    // Longest name that an image may hold, and one letter more.
    const size_t most_name = 16 * 1024;
    std::string long_name = long_library_name(imports, most_name);
    struct Case {
        const char* name;
        std::string bytes;
        std::string import_hash; // "" for none, DAMAGED for the notice
        std::string image_hash;
    };
    const Case cases[] = {
        {"notes.txt", "MZ but no PE headers\r\n", "", ""},
        {"truncated.exe", truncated_imports(imports), DAMAGED, unsigned_image_sha256(truncated_imports(imports))},
        {"past_end.dll", certificates_past_the_end(signed_image), signed_import_hash, DAMAGED},
        {"overlap.exe", overlapping_sections(imports), import_hash,
         unsigned_image_sha256(overlapping_sections(imports))},
        {"two_dirs.exe", two_directories(imports), import_hash, unsigned_image_sha256(two_directories(imports))},
        {"name_at_bound.exe", long_name,
         reference_md5(std::string(most_name, 'a') + ".ord17,kernel32.exitprocess,"
                                                     "kernel32.gettickcount,oleaut32.sysfreestring,"
                                                     "ws2_32.closesocket,ws2_32.wsastartup"),
         ""},
        {"name_past_bound.exe", long_library_name(imports, most_name + 1), DAMAGED, ""},
        {"endless_table.exe", endless_lookup_table(imports), DAMAGED, ""},
    };
    std::wstring folder = make_temp_dir(L"crafted-images");
    for (const Case& file : cases)
        write_file(join_path(folder, widen(file.name)), file.bytes);
    RunResult csv = run_quillet(exe, {L"-d", join_path(folder, L"*"), L"-csv", L"-imphash", L"-imagesha256"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), csv.exit_code);
    CsvDocument document = parse_csv(csv.out);
    for (const Case& file : cases) {
        std::string path = narrow(join_path(folder, widen(file.name)));
        size_t row = 1;
        while (row < document.rows.size() && csv_value(document, row, "Path") != path)
            ++row;
        ASSERT_LT(row, document.rows.size()) << path;
        std::string error = csv_value(document, row, "Error");
        EXPECT_EQ(file.import_hash == DAMAGED || file.image_hash == DAMAGED, error.find(damaged) != std::string::npos)
            << file.name << ": " << error;
        EXPECT_EQ(file.import_hash == DAMAGED ? "" : file.import_hash, csv_value(document, row, "ImportHash"))
            << file.name;
        if (!file.image_hash.empty()) {
            EXPECT_EQ(file.image_hash == DAMAGED ? "" : file.image_hash, csv_value(document, row, "ImageSHA256"))
                << file.name;
        }
    }
    // The text report shows the notice in place of the value; a file that is no image says so.
    std::string notice = expected_notice(DAMAGED, ERROR_BAD_EXE_FORMAT, "193");
    RunResult text = run_quillet(exe, {join_path(folder, L"name_past_bound.exe"), L"-imphash"});
    EXPECT_EQ(1u, count_of(text.out, notice)) << text.out;
    EXPECT_EQ("No PE Image", run_quillet(exe, {join_path(folder, L"notes.txt"), L"-imagesha256", L"-p"}).out);
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
