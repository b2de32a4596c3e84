// Which build an image is: the header's time stamp and the debug directory's CodeView record
// (the PDB path, GUID and age that symbol servers index by).
#include <objbase.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "extended_info.h"

namespace {

// Not yet in every toolchain's headers: the time stamp is a hash of the build, not a time.
const DWORD DEBUG_TYPE_REPRO = 16;

// More debug entries than a linker writes: a directory this long is no debug directory.
const DWORD MOST_DEBUG_ENTRIES = 256;

// A PDB path longer than this is cut off by every tool that reads it.
const DWORD LONGEST_PDB_PATH = 1024;

const DWORD CODEVIEW_RSDS = 0x53445352; // "RSDS": GUID, age, path
const DWORD CODEVIEW_NB10 = 0x3031424E; // "NB10": offset, time stamp, age, path

#pragma pack(push, 1)
struct RsdsHeader {
    DWORD signature;
    GUID guid;
    DWORD age;
};
struct Nb10Header {
    DWORD signature;
    DWORD offset;
    DWORD time_stamp;
    DWORD age;
};
#pragma pack(pop)

// The PDB path is UTF-8 in RSDS records; older linkers wrote the system's code page.
std::wstring widen_path(const char* text, size_t length)
{
    for (UINT code_page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int chars = MultiByteToWideChar(code_page, flags, text, static_cast<int>(length), nullptr, 0);
        if (chars <= 0)
            continue;
        std::wstring wide(static_cast<size_t>(chars), L'\0');
        MultiByteToWideChar(code_page, flags, text, static_cast<int>(length), &wide[0], chars);
        return wide;
    }
    return std::wstring();
}

std::wstring guid_text(const GUID& guid)
{
    wchar_t text[40];
    if (StringFromGUID2(guid, text, 40) == 0)
        return std::wstring();
    return text;
}

// The record's path: zero-ended inside the record.
PeStatus read_pdb_path(const char* path, size_t room, BuildValues& values)
{
    size_t length = strnlen(path, room);
    if (length == room)
        return PE_DAMAGED;
    values.pdb_path = widen_path(path, length);
    return PE_IMAGE;
}

PeStatus read_codeview(PeFile& pe, const IMAGE_DEBUG_DIRECTORY& entry, BuildValues& values)
{
    if (entry.PointerToRawData == 0 || entry.SizeOfData < sizeof(DWORD))
        return PE_IMAGE;
    DWORD size = std::min<DWORD>(entry.SizeOfData, sizeof(RsdsHeader) + LONGEST_PDB_PATH);
    std::string record(size, '\0');
    if (!pe_read(pe, entry.PointerToRawData, &record[0], size))
        return pe.read_error != 0 ? PE_READ_FAILED : PE_DAMAGED;
    DWORD signature = 0;
    memcpy(&signature, record.data(), sizeof(signature));
    if (signature == CODEVIEW_RSDS && size > sizeof(RsdsHeader)) {
        RsdsHeader header;
        memcpy(&header, record.data(), sizeof(header));
        values.has_codeview = true;
        values.pdb_guid = guid_text(header.guid);
        values.pdb_age = header.age;
        return read_pdb_path(record.data() + sizeof(header), size - sizeof(header), values);
    }
    if (signature == CODEVIEW_NB10 && size > sizeof(Nb10Header)) {
        Nb10Header header;
        memcpy(&header, record.data(), sizeof(header));
        values.has_codeview = true;
        values.pdb_age = header.age;
        return read_pdb_path(record.data() + sizeof(header), size - sizeof(header), values);
    }
    return PE_IMAGE;
}

} // namespace

PeStatus read_debug_entries(PeFile& pe, std::vector<IMAGE_DEBUG_DIRECTORY>& entries)
{
    entries.clear();
    const IMAGE_DATA_DIRECTORY& directory = pe.directories[IMAGE_DIRECTORY_ENTRY_DEBUG];
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return PE_IMAGE;
    DWORD count = directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY);
    if (count > MOST_DEBUG_ENTRIES)
        return PE_DAMAGED;
    entries.resize(count);
    for (DWORD index = 0; index < count; ++index) {
        PeStatus status = read_pe_rva(pe, directory.VirtualAddress + index * sizeof(IMAGE_DEBUG_DIRECTORY),
                                      &entries[index], sizeof(IMAGE_DEBUG_DIRECTORY));
        if (status != PE_IMAGE) {
            entries.clear();
            return status;
        }
    }
    return PE_IMAGE;
}

void read_build_identity(PeFile& pe, BuildValues& values)
{
    values.time_stamp = pe.file_header.TimeDateStamp;
    std::vector<IMAGE_DEBUG_DIRECTORY> entries;
    PeStatus status = read_debug_entries(pe, entries);
    for (const IMAGE_DEBUG_DIRECTORY& entry : entries) {
        if (entry.Type == DEBUG_TYPE_REPRO)
            values.reproducible = true;
        if (entry.Type == IMAGE_DEBUG_TYPE_CODEVIEW && !values.has_codeview && status == PE_IMAGE)
            status = read_codeview(pe, entry, values);
    }
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
