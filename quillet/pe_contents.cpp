// What an image carries beside its code: data appended after its sections, a .NET runtime
// header, an export directory and TLS callbacks.
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "extended_info.h"

namespace {

const DWORD METADATA_SIGNATURE = 0x424A5342; // "BSJB"
// The metadata's version string is at most 255 bytes and its zero.
const DWORD LONGEST_RUNTIME_VERSION = 256;
// A DLL name longer than a path.
const size_t LONGEST_DLL_NAME = 512;
// More TLS callbacks than any real image has: a list this long has lost its end.
const DWORD MOST_TLS_CALLBACKS = 4096;

#pragma pack(push, 1)
struct MetadataRoot {
    DWORD signature;
    WORD major_version;
    WORD minor_version;
    DWORD reserved;
    DWORD version_length;
};
#pragma pack(pop)

bool directory_present(const PeFile& pe, int entry)
{
    return pe.directories[entry].VirtualAddress != 0 && pe.directories[entry].Size != 0;
}

// What the file stores for the headers and the sections, up to its end.
ULONGLONG end_of_section_data(const PeFile& pe)
{
    ULONGLONG end = std::min<ULONGLONG>(pe.size_of_headers, pe.size);
    for (const IMAGE_SECTION_HEADER& section : pe.sections) {
        if (section.SizeOfRawData == 0)
            continue;
        ULONGLONG section_end = static_cast<ULONGLONG>(section.PointerToRawData) + section.SizeOfRawData;
        end = std::max(end, std::min(section_end, pe.size));
    }
    return end;
}

std::wstring widen_ascii(const std::string& text)
{
    std::wstring wide;
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

PeStatus count_callbacks(PeFile& pe, DWORD list, DWORD pointer_size, DWORD& count)
{
    for (count = 0; count < MOST_TLS_CALLBACKS; ++count) {
        DWORD rva = list + count * pointer_size;
        ULONGLONG callback = 0;
        if (rva < list)
            return PE_DAMAGED;
        PeStatus status = read_pe_rva(pe, rva, &callback, pointer_size);
        if (status != PE_IMAGE || callback == 0)
            return status;
    }
    return PE_DAMAGED;
}

} // namespace

void read_overlay(const PeFile& pe, OverlayValues& values)
{
    ULONGLONG start = end_of_section_data(pe);
    ULONGLONG table_start = pe.size, table_end = pe.size;
    if (pe.has_security_entry && pe.security.Size != 0) {
        table_start = pe.security.VirtualAddress;
        table_end = table_start + pe.security.Size;
    }
    // The certificate table is no overlay: it is what signing appends.
    ULONGLONG covered_start = std::max(start, table_start);
    ULONGLONG covered_end = std::min(pe.size, table_end);
    ULONGLONG covered = covered_end > covered_start ? covered_end - covered_start : 0;
    values.size = pe.size - start - covered;
    values.offset = values.size == 0 ? 0 : (table_start <= start && start < table_end ? table_end : start);
    values.read.status = PE_IMAGE;
}

void read_managed(PeFile& pe, ManagedValues& values)
{
    PeStatus status = PE_IMAGE;
    if (directory_present(pe, IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR)) {
        IMAGE_COR20_HEADER header;
        MetadataRoot root;
        status = read_pe_rva(pe, pe.directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR].VirtualAddress, &header,
                             sizeof(header));
        if (status == PE_IMAGE)
            status = read_pe_rva(pe, header.MetaData.VirtualAddress, &root, sizeof(root));
        if (status == PE_IMAGE &&
            (root.signature != METADATA_SIGNATURE || root.version_length > LONGEST_RUNTIME_VERSION))
            status = PE_DAMAGED;
        char version[LONGEST_RUNTIME_VERSION] = {};
        if (status == PE_IMAGE && root.version_length > 0)
            status = read_pe_rva(pe, header.MetaData.VirtualAddress + sizeof(root), version, root.version_length);
        if (status == PE_IMAGE) {
            values.managed = true;
            values.flags = header.Flags;
            values.runtime_version = widen_ascii(std::string(version, strnlen(version, root.version_length)));
        }
    }
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}

void read_exports(PeFile& pe, ExportValues& values)
{
    PeStatus status = PE_IMAGE;
    if (directory_present(pe, IMAGE_DIRECTORY_ENTRY_EXPORT)) {
        IMAGE_EXPORT_DIRECTORY directory;
        status =
            read_pe_rva(pe, pe.directories[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress, &directory, sizeof(directory));
        std::string name;
        if (status == PE_IMAGE)
            status = read_pe_short_string(pe, directory.Name, LONGEST_DLL_NAME, name);
        if (status == PE_IMAGE) {
            values.present = true;
            values.dll_name = widen_ascii(name);
            values.functions = directory.NumberOfFunctions;
        }
    }
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}

// The callbacks are a zero-ended list of addresses that AddressOfCallBacks points at.
void read_tls_callbacks(PeFile& pe, TlsValues& values)
{
    PeStatus status = PE_IMAGE;
    if (directory_present(pe, IMAGE_DIRECTORY_ENTRY_TLS)) {
        DWORD directory = pe.directories[IMAGE_DIRECTORY_ENTRY_TLS].VirtualAddress;
        DWORD pointer_size = pe.pe32_plus ? sizeof(ULONGLONG) : sizeof(DWORD);
        ULONGLONG list = 0;
        DWORD rva = 0;
        status =
            pe.pe32_plus
                ? read_pe_rva(pe, directory + offsetof(IMAGE_TLS_DIRECTORY64, AddressOfCallBacks), &list, pointer_size)
                : read_pe_rva(pe, directory + offsetof(IMAGE_TLS_DIRECTORY32, AddressOfCallBacks), &list, pointer_size);
        if (status == PE_IMAGE && list != 0)
            status = va_to_rva(pe, list, rva) ? count_callbacks(pe, rva, pointer_size, values.callbacks) : PE_DAMAGED;
    }
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
