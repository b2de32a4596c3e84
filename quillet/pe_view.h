// A PE image read through bounds-checked views: every offset, size and count comes from the
// file and is checked against the file before it is used, so a hostile image can make a read
// fail but never go astray.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Bytes a view keeps at most; the headers and a typical import table fit in one.
const DWORD PE_WINDOW_BYTES = 64 * 1024;

// Bytes one read of a view fetches at least: small reads where a table is scattered, few
// where it runs on.
const DWORD PE_READ_BYTES = 4 * 1024;

// Longest name (of a library or an imported function) that an image may hold: four times the
// longest decorated name that Microsoft's compilers write.
const DWORD PE_MOST_NAME_BYTES = 16 * 1024;

// One stretch of the file kept in memory. Tables and names have a view each, so that reading
// a table and the names it points at do not keep refilling one another.
struct PeWindow {
    BYTE* bytes;
    ULONGLONG start;
    DWORD filled;
};

enum PeStatus {
    PE_IMAGE,
    // No "MZ", or e_lfanew does not point at "PE\0\0" inside the file.
    PE_NOT_IMAGE,
    // The headers, the sections or a table they name do not hold together.
    PE_DAMAGED,
    // A read the platform refused; its code is in read_error.
    PE_READ_FAILED
};

struct PeFile {
    HANDLE file;
    ULONGLONG size;
    DWORD read_error;
    PeWindow tables;
    PeWindow names;

    bool pe32_plus;
    // File offsets of the fields that code signing leaves out of its hash.
    ULONGLONG checksum_offset;
    ULONGLONG security_entry_offset;
    // Images with fewer data directories have no entry for the certificate table (and cannot
    // be signed); a missing import entry reads as empty.
    bool has_security_entry;
    IMAGE_DATA_DIRECTORY security;
    IMAGE_DATA_DIRECTORY imports;
    DWORD size_of_headers;
    // Where the section table lies; read_pe_sections reads it.
    ULONGLONG section_table;
    WORD section_count;
    std::vector<IMAGE_SECTION_HEADER> sections;

    // What the reports beyond the hashes read: the file header, the image's preferred base
    // (addresses inside the image that are no RVAs count from it), its DLL characteristics and
    // every data directory the header holds (the others stay empty).
    IMAGE_FILE_HEADER file_header;
    ULONGLONG image_base;
    WORD dll_characteristics;
    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
};

// Opens path for reading; false with the system's code in error.
bool open_pe_file(PeFile& pe, const wchar_t* path, DWORD& error);
void close_pe_file(PeFile& pe);

// Copies size bytes at offset; false when they are not all inside the file or cannot be read.
bool pe_read(PeFile& pe, ULONGLONG offset, void* out, DWORD size);

// Reads and checks the file header and the optional header: its magic is known and its fields
// up to the data directories lie inside the file. Directory entries that the header does not
// hold (beyond NumberOfRvaAndSizes or SizeOfOptionalHeader) read as empty.
PeStatus read_pe_headers(PeFile& pe);

// Reads the section table, which must lie inside the file. Sections may share file data: the
// loader maps each from its own offset.
PeStatus read_pe_sections(PeFile& pe);

// The certificate table (when the image has one) lies inside the file, after the fields that
// code signing leaves out of its hash.
PeStatus check_certificate_table(const PeFile& pe);

// The file offset of an image address and how many bytes of the file belong to it from there
// (to the end of its section's data, or of the headers); false when no part of the file does.
bool rva_to_offset(const PeFile& pe, DWORD rva, ULONGLONG& offset, ULONGLONG& available);

// Copies size bytes at an image address; PE_DAMAGED when they do not all belong to it.
PeStatus read_pe_rva(PeFile& pe, DWORD rva, void* out, DWORD size);

// The zero-ended byte string at an image address, PE_MOST_NAME_BYTES at most; PE_DAMAGED when
// its zero is missing before that bound or the end of what belongs to that address.
PeStatus read_pe_string(PeFile& pe, DWORD rva, std::string& text);

// The zero-ended byte string at an image address, of at most limit bytes before its zero;
// PE_DAMAGED when the zero is missing there or before the end of what belongs to the address.
PeStatus read_pe_short_string(PeFile& pe, DWORD rva, size_t limit, std::string& text);

// An address inside the image (a pointer the linker wrote) as an image address; false when it
// lies below the image's base or more than 4 GiB above it.
bool va_to_rva(const PeFile& pe, ULONGLONG va, DWORD& rva);

// Whether path is a PE image with a section that claims more file data than the file holds
// (beyond the padding of a last section cut short). Some platforms' version functions take
// such a claim as the memory to read the section into: gigabytes, for a forged header.
bool sections_overrun_file(const wchar_t* path);

// Whether path holds a PE image as far as "MZ" and the "PE\0\0" that e_lfanew points at;
// false with error set when it cannot be opened or read.
bool probe_pe_image(const wchar_t* path, bool& is_image, DWORD& error);
