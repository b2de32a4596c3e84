// Shannon entropy in bits per byte of the whole file and of each section's stored data: packed
// or encrypted data comes near 8. One pass over the file with a fixed buffer, whatever its size.
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

// A section's stored data inside the file; sections never share any (the headers' check).
struct Span {
    ULONGLONG start;
    ULONGLONG end;
    size_t section;
};

bool starts_before(const Span& first, const Span& second)
{
    return first.start < second.start;
}

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

std::vector<Span> section_spans(const PeFile& pe, EntropyValues& values)
{
    std::vector<Span> spans;
    for (size_t index = 0; index < pe.sections.size(); ++index) {
        const IMAGE_SECTION_HEADER& section = pe.sections[index];
        ULONGLONG start = std::min<ULONGLONG>(section.PointerToRawData, pe.size);
        ULONGLONG end = std::min<ULONGLONG>(start + section.SizeOfRawData, pe.size);
        SectionEntropy entry = {section_name(section), end > start, 0.0};
        values.sections.push_back(entry);
        if (end > start)
            spans.push_back(Span{start, end, index});
    }
    std::sort(spans.begin(), spans.end(), starts_before);
    return spans;
}

// Walks the sections that the piece at offset reaches, in file order.
struct SectionSweep {
    std::vector<Span> spans;
    size_t current;
    ByteCounts counts;
};

void sweep_piece(SectionSweep& sweep, EntropyValues& values, ULONGLONG offset, const BYTE* data, DWORD size)
{
    ULONGLONG piece_end = offset + size;
    while (sweep.current < sweep.spans.size()) {
        const Span& span = sweep.spans[sweep.current];
        if (span.start >= piece_end)
            return;
        ULONGLONG from = std::max(span.start, offset);
        ULONGLONG to = std::min(span.end, piece_end);
        count_bytes(sweep.counts, data + (from - offset), static_cast<size_t>(to - from));
        if (to < span.end)
            return;
        values.sections[span.section].bits = bits_per_byte(sweep.counts);
        sweep.counts = ByteCounts();
        ++sweep.current;
    }
}

} // namespace

void read_entropy(PeFile& pe, EntropyValues& values)
{
    SectionSweep sweep = {section_spans(pe, values), 0, ByteCounts()};
    ByteCounts file = ByteCounts();
    BYTE* buffer = static_cast<BYTE*>(VirtualAlloc(nullptr, HASH_PIECE_BYTES, MEM_COMMIT, PAGE_READWRITE));
    if (buffer == nullptr) {
        values.read = ValueRead{PE_READ_FAILED, L"show_extended_info::VirtualAlloc", GetLastError()};
        return;
    }
    PeStatus status = PE_IMAGE;
    for (ULONGLONG offset = 0; offset < pe.size && status == PE_IMAGE;) {
        DWORD wanted = static_cast<DWORD>(std::min<ULONGLONG>(HASH_PIECE_BYTES, pe.size - offset));
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        if (!SetFilePointerEx(pe.file, position, nullptr, FILE_BEGIN) ||
            !ReadFile(pe.file, buffer, wanted, &read, nullptr))
            pe.read_error = GetLastError();
        else if (read != wanted)
            pe.read_error = ERROR_HANDLE_EOF;
        if (pe.read_error != 0) {
            status = PE_READ_FAILED;
            break;
        }
        count_bytes(file, buffer, read);
        sweep_piece(sweep, values, offset, buffer, read);
        offset += read;
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    values.file_bits = bits_per_byte(file);
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
