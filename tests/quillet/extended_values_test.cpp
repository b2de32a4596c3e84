#include <gtest/gtest.h>

#include <windows.h>

#include <math.h>
#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "csv_document.h"
#include "multiple_test_support.h"
#include "system_text.h"
#include "test_files.h"

namespace {

const bool PE32_PLUS = sizeof(void*) == 8;
const char PDB_GUID[] = "{00112233-4455-6677-8899-AABBCCDDEEFF}";
const char* const EXTENDED_COLUMNS[] = {"Mitigations",    "BuildTime",    "PdbPath",       "PdbGuid",     "PdbAge",
                                        "ExecutionLevel", "Entropy",      "OverlayOffset", "OverlaySize", "Managed",
                                        "Exports",        "TlsCallbacks", "Signatures"};

std::string entropy_text(const std::string& bytes)
{
    double counts[256] = {};
    for (unsigned char c : bytes)
        counts[c] += 1;
    double bits = 0;
    for (double count : counts) {
        if (count > 0)
            bits -= count / bytes.size() * log2(count / bytes.size());
    }
    char text[16];
    snprintf(text, sizeof(text), "%.2f", bits);
    return text;
}

std::string utc_text(uint32_t unix_time)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (unix_time + 11644473600ull) * 10000000ull;
    FILETIME file_time = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time;
    FileTimeToSystemTime(&file_time, &time);
    char text[32];
    snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute, time.wSecond);
    return text;
}

size_t dll_characteristics(const std::string& image)
{
    return optional_header_offset(image) + offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics);
}

std::string with_dll_flag(std::string image, uint16_t flag)
{
    size_t at = dll_characteristics(image);
    uint16_t flags = read_u16(image, at) | flag;
    image[at] = static_cast<char>(flags & 0xFF);
    image[at + 1] = static_cast<char>(flags >> 8);
    return image;
}

// The first debug entry (the CodeView record) turned into another type, its data's first
// double word set to value.
std::string with_debug_type(std::string image, uint32_t type, uint32_t value)
{
    size_t entry = file_offset(image, read_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_DEBUG)));
    write_u32(image, entry + offsetof(IMAGE_DEBUG_DIRECTORY, Type), type);
    write_u32(image, read_u32(image, entry + offsetof(IMAGE_DEBUG_DIRECTORY, PointerToRawData)), value);
    return image;
}

// The image address of a file offset, through the section table.
uint32_t image_address(const std::string& image, size_t offset)
{
    size_t file_header = nt_headers_offset(image) + offsetof(IMAGE_NT_HEADERS32, FileHeader);
    for (int index = 0; index < read_u16(image, file_header + offsetof(IMAGE_FILE_HEADER, NumberOfSections)); ++index) {
        size_t section = section_header(image, index);
        uint32_t start = read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, PointerToRawData));
        if (offset >= start &&
            offset - start < read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData)))
            return read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, VirtualAddress)) +
                   static_cast<uint32_t>(offset - start);
    }
    return 0;
}

// The load configuration the program carries ("QLCF" its time stamp field), made the image's.
std::string with_load_config(std::string image)
{
    size_t config = image.find("QLCF") - sizeof(uint32_t);
    size_t directory = data_directory(image, IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    write_u32(image, directory, image_address(image, config));
    write_u32(image, directory + 4, read_u32(image, config));
    return image;
}

// The runtime header and metadata root the program carries ("BSJB" the root's signature), made
// the image's.
std::string with_clr_header(std::string image)
{
    size_t root = image.find("BSJB");
    size_t header = root - sizeof(IMAGE_COR20_HEADER);
    size_t directory = data_directory(image, IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR);
    write_u32(image, directory, image_address(image, header));
    write_u32(image, directory + 4, sizeof(IMAGE_COR20_HEADER));
    write_u32(image, header + offsetof(IMAGE_COR20_HEADER, MetaData), image_address(image, root));
    write_u32(image, header + offsetof(IMAGE_COR20_HEADER, MetaData) + 4, 32);
    return image;
}

// The TLS directory moved to an address no section holds.
std::string with_lost_tls(std::string image)
{
    write_u32(image, data_directory(image, IMAGE_DIRECTORY_ENTRY_TLS), 0x7FFFFF00);
    return image;
}

// The certificate table's one entry written twice: a second entry of the table.
std::string with_second_certificate(std::string image)
{
    size_t directory = data_directory(image, IMAGE_DIRECTORY_ENTRY_SECURITY);
    uint32_t start = read_u32(image, directory), size = read_u32(image, directory + 4);
    image += image.substr(start, size);
    write_u32(image, directory + 4, size * 2);
    return image;
}

// The time the build's time stamps carry, 2023-11-14 22:13:20 UTC, as the report shows it.
std::string stamp_text()
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (1700000000ull + 11644473600ull) * 10000000ull;
    FILETIME time = {ticks.LowPart, ticks.HighPart};
    return local_time_text(time);
}

struct ExtendedCase {
    const wchar_t* name;
    std::string bytes;
    // The expected cells, in the order of EXTENDED_COLUMNS; "*" is checked apart.
    std::vector<std::string> cells;
    bool damaged;
};

} // namespace

TEST(ExtendedValues, EveryValueIsWhatTheBuildSwitchesAndTheSignaturesSet)
{
    std::string on = read_file(data_file(L"hardening_on.exe"));
    std::string off = read_file(data_file(L"hardening_off.exe"));
    std::string nested = read_file(data_file(L"hardening_nested.exe"));
    ASSERT_FALSE(on.empty() || off.empty() || nested.empty());
    std::string on_time = utc_text(read_u32(on, nt_headers_offset(on) + 8));
    std::string on_mitigations = PE32_PLUS ? "ASLR HighEntropyVA DEP ForceIntegrity" : "ASLR DEP ForceIntegrity";
    std::string tail = std::to_string(on.size());
    const ExtendedCase cases[] = {
        {L"on.exe",
         on,
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", "", "0", "no",
          "hardening_on.exe (2)", "2", "0"},
         false},
        {L"off.exe",
         off,
         {"none", "none", "none", "", "", "none", "*", "", "0", "no", "hardening_off.exe (2)", "2", "0"},
         false},
        {L"tail.exe",
         read_file(data_file(L"hardening_tail.exe")),
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", tail, "16", "no",
          "hardening_on.exe (2)", "2", "0"},
         false},
        {L"signed.exe",
         read_file(data_file(L"hardening_signed.exe")),
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", tail, "16", "no",
          "hardening_on.exe (2)", "2", "1"},
         false},
        {L"nested.exe",
         nested,
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", tail, "16", "no",
          "hardening_on.exe (2)", "2", "2"},
         false},
        {L"two_entries.exe",
         with_second_certificate(nested),
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", tail, "16", "no",
          "hardening_on.exe (2)", "2", "4"},
         false},
        {L"cfg.exe",
         with_load_config(with_dll_flag(on, IMAGE_DLLCHARACTERISTICS_GUARD_CF)),
         {PE32_PLUS ? "ASLR HighEntropyVA DEP CFG ForceIntegrity" : "ASLR DEP CFG SafeSEH ForceIntegrity", on_time,
          "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", "", "0", "no", "hardening_on.exe (2)", "2",
          "0"},
         false},
        {L"container.exe",
         with_dll_flag(off, IMAGE_DLLCHARACTERISTICS_APPCONTAINER | IMAGE_DLLCHARACTERISTICS_GUARD_CF),
         {"AppContainer", "none", "none", "", "", "none", "*", "", "0", "no", "hardening_off.exe (2)", "2", "0"},
         false},
        {L"managed.exe",
         with_clr_header(on),
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", "", "0",
          "v4.0.30319 ILOnly 32BitPreferred", "hardening_on.exe (2)", "2", "0"},
         false},
        {L"cet.exe",
         with_debug_type(on, 20, 1),
         {on_mitigations + " CET", on_time, "none", "", "", "requireAdministrator", "*", "", "0", "no",
          "hardening_on.exe (2)", "2", "0"},
         false},
        {L"repro.exe",
         with_debug_type(on, 16, 0),
         {on_mitigations, "reproducible build, not a time", "none", "", "", "requireAdministrator", "*", "", "0", "no",
          "hardening_on.exe (2)", "2", "0"},
         false},
        {L"lost_tls.exe",
         with_lost_tls(on),
         {on_mitigations, on_time, "hardening_on.pdb", PDB_GUID, "1", "requireAdministrator", "*", "", "0", "no",
          "hardening_on.exe (2)", "", "0"},
         true},
        {L"notes.txt", "MZ, and no image after it", {"", "", "", "", "", "", "", "", "", "", "", "", ""}, false},
    };
    std::wstring folder = make_temp_dir(L"extended-values");
    std::vector<std::wstring> args = {L"-m"};
    for (const ExtendedCase& file : cases) {
        args.push_back(join_path(folder, file.name));
        write_file(args.back(), file.bytes);
    }
    args.push_back(L"-x");
    args.push_back(L"-csv");
    std::wstring exe = quillet_with_settings(L"extended", "");
    CsvDocument document = parse_csv(run_quillet(exe, args).out);
    ASSERT_EQ(sizeof(cases) / sizeof(cases[0]) + 1, document.rows.size());
    for (size_t row = 1; row < document.rows.size(); ++row) {
        const ExtendedCase& file = cases[row - 1];
        for (size_t column = 0; column < file.cells.size(); ++column) {
            std::string expected = file.cells[column] == "*" ? entropy_text(file.bytes) : file.cells[column];
            EXPECT_EQ(expected, csv_value(document, row, EXTENDED_COLUMNS[column]))
                << narrow(file.name) << " " << EXTENDED_COLUMNS[column];
        }
        std::string error = csv_value(document, row, "Error");
        EXPECT_EQ(file.damaged ? 1u : 0u, count_of(error, "Damaged PE image. (193)")) << narrow(file.name) << error;
    }
    // What the CSV cells leave out: a flag without the load configuration's guard flags, an image
    // without exception handlers.
    std::string container = run_quillet(exe, {join_path(folder, L"container.exe"), L"-x"}).out;
    EXPECT_EQ(1u, count_of(container, "-- CFG: flag only --\r\n")) << container;
    EXPECT_EQ(1u, count_of(container, PE32_PLUS ? "-- SafeSEH: not applicable --" : "-- SafeSEH: no SEH --"));
    std::string managed = run_quillet(exe, {join_path(folder, L"managed.exe"), L"-x"}).out;
    EXPECT_EQ(1u, count_of(managed, "[.NET]\r\n-- Managed: yes --\r\n-- Runtime Version: v4.0.30319 --\r\n-- "
                                    "Flags: IL only, 32-bit preferred --\r\n"));
    std::string lost = run_quillet(exe, {join_path(folder, L"lost_tls.exe"), L"-x"}).out;
    size_t notice = lost.find("[TLS Callbacks]\r\n\r\nError: Damaged PE image. Reason: 193");
    EXPECT_NE(std::string::npos, find_after(lost, "[Signatures]\r\n-- Count: 0 --", notice)) << lost;
}

TEST(ExtendedValues, BlockShowsEachValueAndEverySignatureBesideAnUnchangedVerdict)
{
    std::wstring path = data_file(L"hardening_nested.exe");
    std::wstring exe = quillet_with_settings(L"extendedtext", "[OutputInformation]\r\nPrintSignatureInformation=1\r\n");
    std::string text = run_quillet(exe, {path, L"-x"}).out;
    std::string plain = run_quillet(exe, {path}).out;
    const std::string mitigations =
        std::string("[Mitigations]\r\n-- ASLR: yes --\r\n-- High Entropy VA: ") +
        (PE32_PLUS ? "yes" : "not applicable") +
        " --\r\n-- DEP: yes --\r\n-- CFG: no --\r\n-- SafeSEH: " + (PE32_PLUS ? "not applicable" : "no") +
        " --\r\n-- Force Integrity: yes --\r\n-- AppContainer: no --\r\n-- CET Shadow Stack: no --\r\n";
    const std::string expected[] = {
        "[Extended]\r\n" + mitigations,
        "-- PDB Path: hardening_on.pdb --\r\n-- PDB GUID: " + std::string(PDB_GUID) + " --\r\n-- PDB Age: 1 --\r\n",
        "[Manifest]\r\n-- Execution Level: requireAdministrator --\r\n-- UI Access: false --\r\n-- Auto Elevate: true "
        "--\r\n-- Long Path Aware: yes --\r\n",
        "[Overlay]\r\n-- Offset: " + std::to_string(read_file(data_file(L"hardening_on.exe")).size()) +
            " --\r\n-- Size: 16 --\r\n[.NET]\r\n-- Managed: no --\r\n[Exports]\r\n-- DLL Name: hardening_on.exe "
            "--\r\n-- Functions: 2 --\r\n[TLS Callbacks]\r\n-- Count: 2 --\r\n",
        "[Signatures]\r\n-- Count: 2 --\r\n[Signature 1]\r\n-- Digest Algorithm: SHA256 --\r\n-- Signer: Quillet Test "
        "Signer --\r\n-- Issuer: Quillet Test Root --\r\n-- Signed On: " +
            stamp_text() + " --\r\n",
        "[Signature 2, nested]\r\n-- Digest Algorithm: SHA1 --\r\n-- Signer: Quillet Test Signer --\r\n-- Issuer: "
        "Quillet Test Root --\r\n-- Signed On: none --\r\n[Signature]\r\n",
    };
    size_t at = 0;
    for (const std::string& piece : expected) {
        at = find_after(text, piece, at);
        EXPECT_NE(std::string::npos, at) << piece << "\n" << text;
    }
    std::string image = read_file(path);
    size_t text_section = section_header(image, 0);
    std::string code = image.substr(read_u32(image, text_section + offsetof(IMAGE_SECTION_HEADER, PointerToRawData)),
                                    read_u32(image, text_section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData)));
    EXPECT_EQ(1u, count_of(text, "[Entropy]\r\n-- File: " + entropy_text(image) +
                                     " --\r\n-- Section .text: " + entropy_text(code) + " --\r\n"));
    EXPECT_EQ(1u, count_of(text, "[Extended]"));
    EXPECT_EQ(0u, count_of(plain, "[Extended]"));
    // The verdict block is the same with and without the word.
    std::string block = plain.substr(plain.find("[Signature]"));
    EXPECT_EQ(block, text.substr(text.size() - block.size()));
}

TEST(ExtendedValues, WordBesideEveryOtherWordOfTheRuns)
{
    std::wstring folder = make_temp_dir(L"extended-words");
    std::wstring image = join_path(folder, L"a.exe");
    std::wstring notes = join_path(folder, L"b.exe");
    write_file(image, read_file(data_file(L"hardening_off.exe")));
    write_file(notes, "no image, whatever the name says");
    ASSERT_TRUE(CreateDirectoryW(join_path(folder, L"sub").c_str(), nullptr));
    write_file(join_path(folder, L"sub\\c.exe"), read_file(data_file(L"hardening_off.exe")));
    std::wstring pattern = join_path(folder, L"*.exe");
    struct WordCase {
        std::vector<std::wstring> args;
        size_t blocks;
        // A piece each report shows with the block, and how often.
        const char* piece;
        size_t pieces;
    };
    const WordCase cases[] = {
        {{image, L"-x"}, 1, "Allocating Memory", 0},
        {{image, L"-md5", L"-x"}, 1, "File MD5: ", 1},
        {{image, L"-EXTENDED", L"-sha1"}, 1, "File SHA1: ", 1},
        {{image, L"-x", L"-sha1", L"-md5"}, 1, "File SHA1: ", 0},
        {{L"-m", image, L"-x", notes, L"-md5"}, 2, "File MD5: ", 2},
        {{L"-m", image, notes, L"-extended"}, 2, "-- No PE Image --", 1},
        {{L"-d", pattern, L"-x", L"-sha256"}, 2, "File SHA256: ", 2},
        {{L"-d", pattern, L"-s", L"-x"}, 3, "[Mitigations]", 2},
        {{L"-d", pattern, L"-html", L"-x"}, 2, "[Extended]\r\n<br>", 2},
        {{L"-d", pattern, L"-pe", L"-x"}, 1, "[Mitigations]", 1},
        {{L"-d", pattern, L"-unsigned", L"-x"}, 1, "[Signature]", 1},
        {{L"-m", image, L"-unsigned", L"-x", notes}, 1, "[Signature]", 1},
        {{L"-verify", image, L"-x"}, 0, "[Signature]", 1},
    };
    std::wstring exe = quillet_with_settings(L"extendedwords", "");
    for (const WordCase& words : cases) {
        std::string out = run_quillet(exe, words.args).out;
        std::string name = narrow(words.args[0] + L" " + words.args.back());
        EXPECT_EQ(words.blocks, count_of(out, "[Extended]")) << name << "\n" << out;
        EXPECT_EQ(words.pieces, count_of(out, words.piece)) << name;
        EXPECT_EQ(0u, count_of(out, "Could not open File")) << name;
    }

    // A baseline with the columns compares them; one without them says so.
    std::wstring baseline = join_path(folder, L"base.csv");
    std::wstring older = join_path(folder, L"older.csv");
    write_file(baseline, run_quillet(exe, {L"-d", pattern, L"-x", L"-csv"}).out);
    write_file(older, run_quillet(exe, {L"-d", pattern, L"-csv"}).out);
    RunResult same = run_quillet(exe, {L"-d", pattern, L"-compare", baseline});
    EXPECT_EQ(0u, same.exit_code) << same.out;
    write_file(image, read_file(data_file(L"hardening_on.exe")));
    RunResult changed = run_quillet(exe, {L"-d", pattern, L"-cmp", baseline});
    EXPECT_EQ(1u, changed.exit_code);
    std::string on_mitigations = PE32_PLUS ? "ASLR HighEntropyVA DEP ForceIntegrity" : "ASLR DEP ForceIntegrity";
    EXPECT_EQ(1u, count_of(changed.out, "changed  a.exe  Mitigations: none -> " + on_mitigations + "\r\n"))
        << changed.out;
    EXPECT_EQ(1u, count_of(changed.out, "changed  a.exe  ExecutionLevel: none -> requireAdministrator\r\n"));
    RunResult noted = run_quillet(exe, {L"-d", pattern, L"-x", L"-compare", older});
    EXPECT_EQ(1u, count_of(noted.out, "Not compared: Mitigations, BuildTime, PdbPath, PdbGuid, PdbAge, ExecutionLevel, "
                                      "Entropy, OverlayOffset, OverlaySize, Managed, Exports, TlsCallbacks, "
                                      "Signatures, which only one document has."))
        << noted.out;
    write_file(image, read_file(data_file(L"hardening_off.exe")));

    struct CsvCase {
        std::vector<std::wstring> args;
        const char* before;
        size_t rows;
    };
    const CsvCase csv_cases[] = {
        {{L"-d", pattern, L"-csv", L"-x"}, "LastAccessed", 3},
        {{L"-d", pattern, L"-x", L"-md5", L"-csv"}, "MD5", 3},
        {{L"-m", image, L"-csv", L"-x", L"-imphash"}, "ImportHash", 2},
        {{L"-m", image, notes, L"-x", L"-csv"}, "LastAccessed", 3},
    };
    for (const CsvCase& words : csv_cases) {
        CsvDocument document = parse_csv(run_quillet(exe, words.args).out);
        std::string name = narrow(words.args[0] + L" " + words.args.back());
        EXPECT_EQ("", document.fault) << name;
        EXPECT_EQ(words.rows, document.rows.size()) << name;
        int first = csv_column(document, words.before) + 1;
        for (const char* column : EXTENDED_COLUMNS)
            EXPECT_EQ(first++, csv_column(document, column)) << name << " " << column;
        EXPECT_EQ(first, csv_column(document, "Error")) << name;
        for (size_t row = 1; row < document.rows.size(); ++row) {
            bool is_image = csv_value(document, row, "Path").find("b.exe") == std::string::npos;
            EXPECT_EQ(is_image ? "none" : "", csv_value(document, row, "Mitigations")) << name;
        }
    }
}
