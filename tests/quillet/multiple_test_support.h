// What the tests of the image sections, the runs over several files and the standalone
// commands share.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "system_text.h"

// The console failure notice for code and context, as the running account sees it.
std::string expected_notice(const std::string& context, DWORD code, const std::string& code_text);

// A file the test build made (tests/data), as a Windows path.
std::wstring data_file(const wchar_t* name);

// A copy of quillet in a new folder with the settings text as its quillet.ini (none when empty).
std::wstring quillet_with_settings(const std::wstring& tag, const std::string& ini);

RunResult run_quillet(const std::wstring& exe, const std::vector<std::wstring>& args,
                      const std::wstring& working_dir = L"");

// Little-endian fields of a file's bytes.
uint32_t read_u32(const std::string& bytes, size_t offset);
uint16_t read_u16(const std::string& bytes, size_t offset);
void write_u32(std::string& bytes, size_t offset, uint32_t value);

// A 4096-byte image whose headers begin at e_lfanew. Past the end of the file: nothing of them
// is there. At 0xFFC: the signature fits, the file header lies past the end of the mapping.
std::string damaged_image(uint32_t e_lfanew);

// Offset of the image's IMAGE_NT_HEADERS.
size_t nt_headers_offset(const std::string& image);

// Offsets in an image's bytes: the optional header, a data directory entry, a section header,
// and the file offset of an image address (through the section table).
size_t optional_header_offset(const std::string& image);
size_t data_directory(const std::string& image, int entry);
size_t section_header(const std::string& image, int index);
size_t file_offset(const std::string& image, uint32_t rva);

// The PE checksum of an image file: 16-bit sums with carries folded, the stored checksum left
// out, plus the file's length.
uint32_t pe_checksum(const std::string& image);

// Where needle first occurs at or after from; npos when it does not, or when from is npos.
size_t find_after(const std::string& haystack, const std::string& needle, size_t from);

// A 32-bit value as "%d" prints it.
std::string signed_text(uint32_t value);

// The "[Checksums]" and "[ImageExtraInfo]" sections an image should get, read straight from the
// file's bytes, each line followed by br.
std::string expected_checksums(const std::string& image, const char* br);
std::string expected_header_fields(const std::string& image, const char* br);

// The digest of bytes as lower-case hex (CALG_MD5 or CALG_SHA1).
std::string digest_text(ALG_ID algorithm, const std::string& bytes);

// Maps a free drive letter to folder for the test's wine prefix (or the system); returns the
// letter, or 0 when none could be mapped. unmap_test_drive removes the mapping.
wchar_t map_test_drive(const std::wstring& folder);
void unmap_test_drive(wchar_t letter);

// Waits until the file exists and holds something, up to timeout_ms; returns its bytes.
std::string wait_for_file(const std::wstring& path, DWORD timeout_ms);
