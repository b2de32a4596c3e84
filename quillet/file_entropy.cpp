// Shannon entropy in bits per byte of the whole file and of each section's stored data: packed
// or encrypted data comes near 8. A fixed buffer whatever the file's size, and at most a few
// times the file's size read.
#include <math.h>

#include <algorithm>
#include <string>

#include "extended_info.h"
#include "file_hash.h"

namespace {

const int BYTE_VALUES = 256;

struct ByteCounts {
    ULONGLONG counts[BYTE_VALUES];
    ULONGLONG total;
};

void count_bytes(ByteCounts& counts, const BYTE* data, size_t size)
{
    for (size_t index = 0; index < size; ++index)
        ++counts.counts[data[index]];
    counts.total += size;
}

double bits_per_byte(const ByteCounts& counts)
{
    double bits = 0.0;
    for (ULONGLONG count : counts.counts) {
        if (count == 0)
            continue;
        double share = static_cast<double>(count) / static_cast<double>(counts.total);
        bits -= share * log2(share);
    }
    return bits;
}

// Bytes the sections may take to read beyond the file itself: sections may share data, and a
// forged table could make every one of thousands cover the whole file.
const ULONGLONG SECTION_READ_FACTOR = 4;

// Section names are eight bytes, zero-padded, not always ended; bytes outside printable ASCII
// show as "?".
std::wstring section_name(const IMAGE_SECTION_HEADER& section)
{
    std::wstring name;
    for (BYTE c : section.Name) {
        if (c == 0)
            break;
        name += c >= 0x20 && c < 0x7F ? static_cast<wchar_t>(c) : L'?';
    }
    return name;
}

struct EntropyRead {
    PeFile* pe;
    BYTE* buffer;
};

// Counts the bytes of [start, end) a piece at a time; false when a read fails.
bool count_range(EntropyRead& read, ULONGLONG start, ULONGLONG end, ByteCounts& counts)
{
    PeFile& pe = *read.pe;
    for (ULONGLONG offset = start; offset < end;) {
        DWORD wanted = static_cast<DWORD>(std::min<ULONGLONG>(HASH_PIECE_BYTES, end - offset));
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        if (!SetFilePointerEx(pe.file, position, nullptr, FILE_BEGIN) ||
            !ReadFile(pe.file, read.buffer, wanted, &got, nullptr))
            pe.read_error = GetLastError();
        else if (got != wanted)
            pe.read_error = ERROR_HANDLE_EOF;
        if (pe.read_error != 0)
            return false;
        count_bytes(counts, read.buffer, got);
        offset += got;
    }
    return true;
}

// Each section's stored data, read on its own, as long as the budget lasts.
PeStatus read_sections(EntropyRead& read, EntropyValues& values)
{
    const PeFile& pe = *read.pe;
    ULONGLONG budget = SECTION_READ_FACTOR * pe.size;
    for (const IMAGE_SECTION_HEADER& section : pe.sections) {
        ULONGLONG start = std::min<ULONGLONG>(section.PointerToRawData, pe.size);
        ULONGLONG end = std::min<ULONGLONG>(start + section.SizeOfRawData, pe.size);
        SectionEntropy entry = {section_name(section), end > start, false, 0.0};
        if (entry.has_data && end - start <= budget) {
            ByteCounts counts = ByteCounts();
            if (!count_range(read, start, end, counts))
                return PE_READ_FAILED;
            budget -= end - start;
            entry.computed = true;
            entry.bits = bits_per_byte(counts);
        }
        values.sections.push_back(entry);
    }
    return PE_IMAGE;
}

} // namespace

void read_entropy(PeFile& pe, EntropyValues& values)
{
    EntropyRead read = {&pe, static_cast<BYTE*>(VirtualAlloc(nullptr, HASH_PIECE_BYTES, MEM_COMMIT, PAGE_READWRITE))};
    if (read.buffer == nullptr) {
        values.read = ValueRead{PE_READ_FAILED, L"show_extended_info::VirtualAlloc", GetLastError()};
        return;
    }
    ByteCounts file = ByteCounts();
    PeStatus status = count_range(read, 0, pe.size, file) ? read_sections(read, values) : PE_READ_FAILED;
    VirtualFree(read.buffer, 0, MEM_RELEASE);
    values.file_bits = bits_per_byte(file);
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
