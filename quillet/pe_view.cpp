#include "pe_view.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>

namespace {

const WORD DOS_MAGIC = 0x5A4D;      // "MZ"
const DWORD PE_SIGNATURE = 0x4550;  // "PE\0\0"
const DWORD E_LFANEW_OFFSET = 0x3C; // where the DOS header keeps the offset of "PE\0\0"

// The largest FileAlignment the format allows: the last section's data may be cut that short.
const ULONGLONG MOST_FILE_ALIGNMENT = 64 * 1024;

bool fits(ULONGLONG offset, ULONGLONG size, ULONGLONG limit)
{
    return size <= limit && offset <= limit - size;
}

// The one read of the platform: refills a view at offset with at least size bytes (at least
// PE_READ_BYTES where the file has them).
bool fill_window(PeFile& pe, PeWindow& window, ULONGLONG offset, DWORD size)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    ULONGLONG left = pe.size - offset;
    DWORD wanted = size < PE_READ_BYTES ? PE_READ_BYTES : size;
    if (left < wanted)
        wanted = static_cast<DWORD>(left);
    DWORD read = 0;
    window.filled = 0;
    if (!SetFilePointerEx(pe.file, position, nullptr, FILE_BEGIN) ||
        !ReadFile(pe.file, window.bytes, wanted, &read, nullptr)) {
        pe.read_error = GetLastError();
        return false;
    }
    if (read != wanted) {
        pe.read_error = ERROR_HANDLE_EOF;
        return false;
    }
    window.start = offset;
    window.filled = read;
    return true;
}

// size bytes at offset, through the view; null when they are not all inside the file or cannot
// be read.
const BYTE* view_bytes(PeFile& pe, PeWindow& window, ULONGLONG offset, DWORD size)
{
    if (size > PE_WINDOW_BYTES || !fits(offset, size, pe.size))
        return nullptr;
    bool in_window = offset >= window.start && fits(offset - window.start, size, window.filled);
    if (!in_window && !fill_window(pe, window, offset, size))
        return nullptr;
    return window.bytes + (offset - window.start);
}

// Where the optional header and its data directories lie; PE32 and PE32+ differ in where the
// directories begin.
struct OptionalLayout {
    ULONGLONG start;
    DWORD size;
    DWORD directories;
    DWORD directory_count;
};

// A directory entry that the header holds: inside the optional header and below
// NumberOfRvaAndSizes. One it does not hold stays empty.
bool read_directory(PeFile& pe, const OptionalLayout& layout, int entry, IMAGE_DATA_DIRECTORY& directory)
{
    directory = IMAGE_DATA_DIRECTORY();
    DWORD end = layout.directories + (entry + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    if (static_cast<DWORD>(entry) >= layout.directory_count || end > layout.size)
        return false;
    return pe_read(pe, layout.start + end - sizeof(IMAGE_DATA_DIRECTORY), &directory, sizeof(directory));
}

PeStatus read_image_fields(PeFile& pe, ULONGLONG optional);

PeStatus read_optional_header(PeFile& pe, ULONGLONG optional, WORD optional_size)
{
    WORD magic = 0;
    if (!pe_read(pe, optional, &magic, sizeof(magic)))
        return PE_DAMAGED;
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return PE_DAMAGED;
    pe.pe32_plus = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    OptionalLayout layout = {optional, optional_size,
                             static_cast<DWORD>(pe.pe32_plus ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                             : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)),
                             0};
    DWORD count_field = pe.pe32_plus ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                     : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
    // The fixed fields are read where the format puts them, whatever SizeOfOptionalHeader says;
    // a header too small for the directories simply holds none.
    if (!pe_read(pe, optional + count_field, &layout.directory_count, sizeof(layout.directory_count)) ||
        !pe_read(pe, optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders), &pe.size_of_headers,
                 sizeof(pe.size_of_headers)))
        return PE_DAMAGED;
    pe.checksum_offset = optional + offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum);
    pe.security_entry_offset =
        optional + layout.directories + IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    pe.has_security_entry = read_directory(pe, layout, IMAGE_DIRECTORY_ENTRY_SECURITY, pe.security);
    read_directory(pe, layout, IMAGE_DIRECTORY_ENTRY_IMPORT, pe.imports);
    for (int entry = 0; entry < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++entry)
        read_directory(pe, layout, entry, pe.directories[entry]);
    return read_image_fields(pe, optional);
}

// The image base is 32 bits wide in PE32 and 64 bits in PE32+; DllCharacteristics sits at the
// same place in both.
PeStatus read_image_fields(PeFile& pe, ULONGLONG optional)
{
    DWORD base32 = 0;
    bool read = pe.pe32_plus
                    ? pe_read(pe, optional + offsetof(IMAGE_OPTIONAL_HEADER64, ImageBase), &pe.image_base,
                              sizeof(pe.image_base))
                    : pe_read(pe, optional + offsetof(IMAGE_OPTIONAL_HEADER32, ImageBase), &base32, sizeof(base32));
    if (!pe.pe32_plus)
        pe.image_base = base32;
    if (!read || !pe_read(pe, optional + offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics), &pe.dll_characteristics,
                          sizeof(pe.dll_characteristics)))
        return PE_DAMAGED;
    return PE_IMAGE;
}

// A failed platform read wins over what the missing bytes would have meant.
PeStatus unless_read_failed(const PeFile& pe, PeStatus status)
{
    return pe.read_error != 0 ? PE_READ_FAILED : status;
}

PeStatus find_pe_signature(PeFile& pe, DWORD& nt_offset)
{
    WORD magic = 0;
    DWORD signature = 0;
    if (!pe_read(pe, 0, &magic, sizeof(magic)) || magic != DOS_MAGIC ||
        !pe_read(pe, E_LFANEW_OFFSET, &nt_offset, sizeof(nt_offset)) ||
        !pe_read(pe, nt_offset, &signature, sizeof(signature)) || signature != PE_SIGNATURE)
        return unless_read_failed(pe, PE_NOT_IMAGE);
    return PE_IMAGE;
}

} // namespace

bool open_pe_file(PeFile& pe, const wchar_t* path, DWORD& error)
{
    pe = PeFile();
    pe.file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pe.file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        pe.file = nullptr;
        return false;
    }
    LARGE_INTEGER size;
    pe.tables.bytes = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * PE_WINDOW_BYTES, MEM_COMMIT, PAGE_READWRITE));
    if (!GetFileSizeEx(pe.file, &size) || pe.tables.bytes == nullptr) {
        error = GetLastError();
        close_pe_file(pe);
        return false;
    }
    pe.names.bytes = pe.tables.bytes + PE_WINDOW_BYTES;
    pe.size = static_cast<ULONGLONG>(size.QuadPart);
    return true;
}

void close_pe_file(PeFile& pe)
{
    if (pe.tables.bytes != nullptr)
        VirtualFree(pe.tables.bytes, 0, MEM_RELEASE);
    if (pe.file != nullptr)
        CloseHandle(pe.file);
    pe.tables.bytes = nullptr;
    pe.names.bytes = nullptr;
    pe.file = nullptr;
}

bool pe_read(PeFile& pe, ULONGLONG offset, void* out, DWORD size)
{
    const BYTE* bytes = view_bytes(pe, pe.tables, offset, size);
    if (bytes == nullptr)
        return false;
    memcpy(out, bytes, size);
    return true;
}

PeStatus read_pe_headers(PeFile& pe)
{
    DWORD nt_offset = 0;
    PeStatus status = find_pe_signature(pe, nt_offset);
    if (status != PE_IMAGE)
        return status;
    IMAGE_FILE_HEADER file_header;
    ULONGLONG optional = static_cast<ULONGLONG>(nt_offset) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
    if (!pe_read(pe, nt_offset + offsetof(IMAGE_NT_HEADERS32, FileHeader), &file_header, sizeof(file_header)))
        return unless_read_failed(pe, PE_DAMAGED);
    pe.file_header = file_header;
    pe.section_table = optional + file_header.SizeOfOptionalHeader;
    pe.section_count = file_header.NumberOfSections;
    return unless_read_failed(pe, read_optional_header(pe, optional, file_header.SizeOfOptionalHeader));
}

PeStatus read_pe_sections(PeFile& pe)
{
    ULONGLONG table = pe.section_table;
    if (!fits(table, static_cast<ULONGLONG>(pe.section_count) * sizeof(IMAGE_SECTION_HEADER), pe.size))
        return PE_DAMAGED;
    pe.sections.resize(pe.section_count);
    for (WORD index = 0; index < pe.section_count; ++index) {
        if (!pe_read(pe, table + static_cast<ULONGLONG>(index) * sizeof(IMAGE_SECTION_HEADER), &pe.sections[index],
                     sizeof(IMAGE_SECTION_HEADER)))
            return unless_read_failed(pe, PE_DAMAGED);
    }
    return PE_IMAGE;
}

// The certificate table's entry holds a file offset, not an image address. An entry of size 0
// names no table.
PeStatus check_certificate_table(const PeFile& pe)
{
    if (!pe.has_security_entry || pe.security.Size == 0)
        return PE_IMAGE;
    if (pe.security.VirtualAddress < pe.security_entry_offset + sizeof(IMAGE_DATA_DIRECTORY) ||
        !fits(pe.security.VirtualAddress, pe.security.Size, pe.size))
        return PE_DAMAGED;
    return PE_IMAGE;
}

bool rva_to_offset(const PeFile& pe, DWORD rva, ULONGLONG& offset, ULONGLONG& available)
{
    ULONGLONG headers_end = std::min<ULONGLONG>(pe.size_of_headers, pe.size);
    if (rva < headers_end) {
        offset = rva;
        available = headers_end - rva;
        return true;
    }
    for (const IMAGE_SECTION_HEADER& section : pe.sections) {
        if (rva < section.VirtualAddress || rva - section.VirtualAddress >= section.SizeOfRawData ||
            section.PointerToRawData >= pe.size)
            continue;
        ULONGLONG stored = std::min<ULONGLONG>(section.SizeOfRawData, pe.size - section.PointerToRawData);
        ULONGLONG inside = rva - section.VirtualAddress;
        if (inside >= stored)
            return false;
        offset = section.PointerToRawData + inside;
        available = stored - inside;
        return true;
    }
    return false;
}

PeStatus read_pe_rva(PeFile& pe, DWORD rva, void* out, DWORD size)
{
    ULONGLONG offset = 0, available = 0;
    if (!rva_to_offset(pe, rva, offset, available) || available < size)
        return PE_DAMAGED;
    return pe_read(pe, offset, out, size) ? PE_IMAGE : unless_read_failed(pe, PE_DAMAGED);
}

PeStatus read_pe_string(PeFile& pe, DWORD rva, std::string& text)
{
    text.clear();
    ULONGLONG offset = 0, available = 0;
    if (!rva_to_offset(pe, rva, offset, available))
        return PE_DAMAGED;
    // The name and its zero, no further than the bound and what belongs to the address (which
    // rva_to_offset keeps inside the file).
    DWORD limit = available < PE_MOST_NAME_BYTES + 1ULL ? static_cast<DWORD>(available) : PE_MOST_NAME_BYTES + 1;
    // Most names are short: one small read finds their end, a long one gets a read of its own.
    DWORD wanted = limit < PE_READ_BYTES ? limit : PE_READ_BYTES;
    for (;;) {
        const BYTE* bytes = view_bytes(pe, pe.names, offset, wanted);
        if (bytes == nullptr)
            return unless_read_failed(pe, PE_DAMAGED);
        const void* end = memchr(bytes, 0, wanted);
        if (end != nullptr) {
            text.assign(reinterpret_cast<const char*>(bytes), static_cast<const BYTE*>(end) - bytes);
            return PE_IMAGE;
        }
        if (wanted == limit)
            return PE_DAMAGED;
        wanted = limit;
    }
}

bool sections_overrun_file(const wchar_t* path)
{
    PeFile pe;
    DWORD error = 0;
    if (!open_pe_file(pe, path, error))
        return false;
    bool overruns = false;
    // The version functions read the section table whatever the optional header holds.
    PeStatus headers = read_pe_headers(pe);
    if ((headers == PE_IMAGE || headers == PE_DAMAGED) && read_pe_sections(pe) == PE_IMAGE) {
        for (const IMAGE_SECTION_HEADER& section : pe.sections)
            overruns =
                overruns || !fits(section.PointerToRawData, section.SizeOfRawData, pe.size + MOST_FILE_ALIGNMENT);
    }
    close_pe_file(pe);
    return overruns;
}

PeStatus read_pe_short_string(PeFile& pe, DWORD rva, size_t limit, std::string& text)
{
    text.clear();
    ULONGLONG offset = 0, available = 0;
    if (!rva_to_offset(pe, rva, offset, available))
        return PE_DAMAGED;
    char piece[64];
    for (ULONGLONG index = 0; index < available && index <= limit; index += sizeof(piece)) {
        DWORD wanted = static_cast<DWORD>(std::min<ULONGLONG>(sizeof(piece), available - index));
        if (!pe_read(pe, offset + index, piece, wanted))
            return unless_read_failed(pe, PE_DAMAGED);
        size_t length = strnlen(piece, wanted);
        text.append(piece, length);
        if (length < wanted)
            return text.size() <= limit ? PE_IMAGE : PE_DAMAGED;
    }
    return PE_DAMAGED;
}

bool va_to_rva(const PeFile& pe, ULONGLONG va, DWORD& rva)
{
    if (va < pe.image_base || va - pe.image_base > 0xFFFFFFFFull)
        return false;
    rva = static_cast<DWORD>(va - pe.image_base);
    return true;
}

bool probe_pe_image(const wchar_t* path, bool& is_image, DWORD& error)
{
    PeFile pe;
    if (!open_pe_file(pe, path, error))
        return false;
    DWORD nt_offset = 0;
    PeStatus status = find_pe_signature(pe, nt_offset);
    error = pe.read_error;
    close_pe_file(pe);
    is_image = status == PE_IMAGE;
    return status != PE_READ_FAILED;
}
