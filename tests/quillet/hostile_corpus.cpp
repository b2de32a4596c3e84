#include "hostile_corpus.h"

#include <windows.h>

#include <stdio.h>

#include <random>

#include "test_files.h"

namespace {

const uint32_t SUBDIRECTORY = 0x80000000u;
const uint16_t RT_VERSION_ID = 16;
const size_t DIRECTORY_BYTES = 16;
const size_t ENTRY_BYTES = 8;
const size_t SECTION_BYTES = 40;

// Where the parts of a sound image lie, as file offsets.
struct ImageLayout {
    size_t nt;       // IMAGE_NT_HEADERS
    size_t optional; // optional header
    size_t sections; // section table
    size_t section_count;
    size_t resource_entry; // the resource data directory entry (RVA, size)
    size_t rsrc_section;   // the section table entry that holds the resources
    size_t rsrc;           // resource section's raw data
    size_t rsrc_bytes;
    size_t type_entry; // the RT_VERSION entry of the root directory
    size_t name_directory;
    size_t language_directory;
    size_t data_entry; // IMAGE_RESOURCE_DATA_ENTRY of the version resource
    size_t version;    // the version block
    size_t version_bytes;
};

// The section table entry whose raw data holds rva; 0 when none does.
size_t section_of(const std::string& b, const ImageLayout& l, uint32_t rva)
{
    for (size_t i = 0; i < l.section_count; ++i) {
        size_t s = l.sections + i * SECTION_BYTES;
        uint32_t address = get32(b, s + 12);
        if (rva >= address && rva < address + get32(b, s + 16))
            return s;
    }
    return 0;
}

size_t rva_to_offset(const std::string& b, const ImageLayout& l, uint32_t rva)
{
    size_t s = section_of(b, l, rva);
    return s == 0 ? 0 : get32(b, s + 20) + (rva - get32(b, s + 12));
}

// The first entry of the directory at offset (relative to the section) whose id is id, or the
// first entry at all when id is 0.
size_t find_entry(const std::string& b, const ImageLayout& l, size_t directory, uint16_t id)
{
    size_t at = l.rsrc + directory;
    size_t count = get16(b, at + 12) + get16(b, at + 14);
    for (size_t i = 0; i < count; ++i) {
        size_t entry = at + DIRECTORY_BYTES + i * ENTRY_BYTES;
        if (id == 0 || get32(b, entry) == id)
            return entry;
    }
    return 0;
}

bool read_layout(const std::string& b, ImageLayout& l)
{
    l = ImageLayout{};
    l.nt = get32(b, 0x3C);
    l.optional = l.nt + 4 + 20;
    l.section_count = get16(b, l.nt + 6);
    l.sections = l.optional + get16(b, l.nt + 20);
    bool wide = get16(b, l.optional) == 0x20B;
    l.resource_entry = l.optional + (wide ? 112 : 96) + 2 * 8;
    l.rsrc_section = section_of(b, l, get32(b, l.resource_entry));
    l.rsrc = rva_to_offset(b, l, get32(b, l.resource_entry));
    l.rsrc_bytes = get32(b, l.resource_entry + 4);
    if (l.rsrc == 0)
        return false;
    l.type_entry = find_entry(b, l, 0, RT_VERSION_ID);
    if (l.type_entry == 0)
        return false;
    l.name_directory = get32(b, l.type_entry + 4) & ~SUBDIRECTORY;
    size_t name_entry = find_entry(b, l, l.name_directory, 0);
    l.language_directory = get32(b, name_entry + 4) & ~SUBDIRECTORY;
    size_t language_entry = find_entry(b, l, l.language_directory, 0);
    l.data_entry = l.rsrc + get32(b, language_entry + 4);
    l.version = rva_to_offset(b, l, get32(b, l.data_entry));
    l.version_bytes = get32(b, l.data_entry + 4);
    return l.version != 0;
}

// The header (wLength, wValueLength, wType) of the version block child keyed key; npos when
// the block holds no such key.
size_t find_child(const std::string& b, const ImageLayout& l, const wchar_t* key)
{
    std::string pattern;
    for (const wchar_t* c = key; *c != L'\0'; ++c)
        pattern += std::string{static_cast<char>(*c & 0xFF), static_cast<char>(*c >> 8)};
    size_t at = b.find(pattern, l.version);
    return at == std::string::npos || at >= l.version + l.version_bytes ? std::string::npos : at - 6;
}

class CorpusMaker {
  public:
    CorpusMaker(uint32_t seed) : random_(seed) {}

    std::vector<HostileFile> files;

    void add(const std::wstring& name, const std::string& bytes)
    {
        files.push_back(HostileFile{name, bytes});
    }

    uint32_t next(uint32_t bound)
    {
        return bound == 0 ? 0 : static_cast<uint32_t>(random_() % bound);
    }

    void add_truncations(const wchar_t* tag, const std::string& image, const ImageLayout& l, int random_count)
    {
        std::vector<size_t> cuts = {1,
                                    2,
                                    0x3C,
                                    0x40,
                                    l.nt,
                                    l.nt + 4,
                                    l.nt + 6,
                                    l.optional,
                                    l.optional + 64,
                                    l.sections,
                                    l.sections + SECTION_BYTES / 2,
                                    l.sections + l.section_count * SECTION_BYTES,
                                    l.rsrc,
                                    l.rsrc + DIRECTORY_BYTES,
                                    l.rsrc + DIRECTORY_BYTES + ENTRY_BYTES,
                                    l.type_entry + 4,
                                    l.rsrc + l.name_directory,
                                    l.rsrc + l.language_directory,
                                    l.data_entry,
                                    l.data_entry + 8,
                                    l.version,
                                    l.version + 6,
                                    l.version + 40,
                                    l.version + 92,
                                    l.version + l.version_bytes / 2,
                                    l.version + l.version_bytes - 2,
                                    image.size() - 1};
        for (int i = 0; i < random_count; ++i)
            cuts.push_back(1 + next(static_cast<uint32_t>(image.size() - 1)));
        for (size_t cut : cuts) {
            if (cut == 0 || cut >= image.size())
                continue;
            add(numbered(tag, L"cut", files.size()), image.substr(0, cut));
        }
    }

    void add_flips(const wchar_t* tag, const std::string& image, size_t first, size_t bytes, int count)
    {
        for (int i = 0; i < count; ++i) {
            std::string copy = image;
            uint32_t flips = 1 + next(4);
            for (uint32_t f = 0; f < flips; ++f) {
                size_t at = first + next(static_cast<uint32_t>(bytes));
                copy[at] = static_cast<char>(copy[at] ^ (1 << next(8)));
            }
            add(numbered(tag, L"flip", files.size()), copy);
        }
    }

  private:
    static std::wstring numbered(const wchar_t* tag, const wchar_t* kind, size_t number)
    {
        wchar_t name[64];
        swprintf(name, 64, L"%ls_%ls_%03u.dll", kind, tag, static_cast<unsigned>(number));
        return name;
    }

    std::mt19937 random_;
};

void add_loops(CorpusMaker& maker, const std::string& image, const ImageLayout& l)
{
    std::string copy = image;
    // The version type points back at the root directory.
    put32(copy, l.type_entry + 4, SUBDIRECTORY | 0);
    maker.add(L"loop_type_to_root.dll", copy);

    copy = image;
    // The name level points at itself.
    size_t name_entry = find_entry(image, l, l.name_directory, 0);
    put32(copy, name_entry + 4, SUBDIRECTORY | static_cast<uint32_t>(l.name_directory));
    maker.add(L"loop_name_to_itself.dll", copy);

    copy = image;
    // The language level, which should hold the data, leads back up to the name level.
    size_t language_entry = find_entry(image, l, l.language_directory, 0);
    put32(copy, language_entry + 4, SUBDIRECTORY | static_cast<uint32_t>(l.name_directory));
    maker.add(L"loop_language_to_name.dll", copy);

    copy = image;
    // Every level points at the root.
    put32(copy, l.type_entry + 4, SUBDIRECTORY | 0);
    put32(copy, name_entry + 4, SUBDIRECTORY | 0);
    put32(copy, language_entry + 4, SUBDIRECTORY | 0);
    maker.add(L"loop_all_to_root.dll", copy);
}

void add_version_lengths(CorpusMaker& maker, const std::string& image, const ImageLayout& l)
{
    struct Change {
        const wchar_t* name;
        const wchar_t* key; // null: the block itself
        size_t field;       // 0 wLength, 2 wValueLength
        uint16_t value;
    };
    const Change changes[] = {
        {L"ver_root_length_max.dll", nullptr, 0, 0xFFFF},
        {L"ver_root_length_past.dll", nullptr, 0, static_cast<uint16_t>(l.version_bytes + 64)},
        {L"ver_root_length_short.dll", nullptr, 0, 6},
        {L"ver_root_length_zero.dll", nullptr, 0, 0},
        {L"ver_fixed_length_max.dll", nullptr, 2, 0xFFFF},
        {L"ver_strings_length_max.dll", L"StringFileInfo", 0, 0xFFFF},
        {L"ver_strings_length_zero.dll", L"StringFileInfo", 0, 0},
        {L"ver_table_length_max.dll", L"040904b0", 0, 0xFFFF},
        {L"ver_table_length_zero.dll", L"040904b0", 0, 0},
        {L"ver_entry_length_max.dll", L"CompanyName", 0, 0xFFFF},
        {L"ver_entry_value_max.dll", L"CompanyName", 2, 0xFFFF},
        {L"ver_vars_length_max.dll", L"VarFileInfo", 0, 0xFFFF},
        {L"ver_translation_value_max.dll", L"Translation", 2, 0xFFFF},
        {L"ver_translation_length_past.dll", L"Translation", 0, 0x4000},
    };
    for (const Change& change : changes) {
        std::string copy = image;
        size_t at = change.key == nullptr ? l.version : find_child(image, l, change.key);
        if (at == std::string::npos)
            continue;
        put16(copy, at + change.field, change.value);
        maker.add(change.name, copy);
    }

    std::string copy = image;
    put32(copy, l.data_entry + 4, 0x7FFFFFFF);
    maker.add(L"ver_data_size_past_file.dll", copy);
    copy = image;
    put32(copy, l.data_entry, 0x7FFF0000);
    maker.add(L"ver_data_rva_past_image.dll", copy);
    copy = image;
    put32(copy, l.data_entry + 4, 0);
    maker.add(L"ver_data_size_zero.dll", copy);
}

void add_header_damage(CorpusMaker& maker, const std::string& image, const ImageLayout& l)
{
    struct Change {
        const wchar_t* name;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Change changes[] = {
        {L"hdr_lfanew_past_end.dll", 0x3C, static_cast<uint32_t>(image.size() + 4096), true},
        {L"hdr_lfanew_max.dll", 0x3C, 0xFFFFFFF0u, true},
        {L"hdr_lfanew_negative.dll", 0x3C, 0x80000000u, true},
        {L"hdr_signature.dll", l.nt, 0x00004550u ^ 0x01, true},
        {L"hdr_sections_max.dll", l.nt + 6, 0xFFFF, false},
        {L"hdr_sections_zero.dll", l.nt + 6, 0, false},
        {L"hdr_optional_size_max.dll", l.nt + 20, 0xFFFF, false},
        {L"hdr_optional_size_zero.dll", l.nt + 20, 0, false},
        {L"hdr_magic.dll", l.optional, 0x1234, false},
        {L"hdr_resource_rva_past.dll", l.resource_entry, 0x7FFFFF00u, true},
        {L"hdr_resource_size_max.dll", l.resource_entry + 4, 0xFFFFFFF0u, true},
        {L"hdr_rsrc_raw_past_end.dll", l.rsrc_section + 20, 0x7FFFFF00u, true},
        {L"hdr_rsrc_raw_size_max.dll", l.rsrc_section + 16, 0xFFFFFF00u, true},
        {L"hdr_size_of_headers_max.dll", l.optional + 60, 0xFFFFFFF0u, true},
        {L"hdr_size_of_image_small.dll", l.optional + 56, 0x10, true},
    };
    for (const Change& change : changes) {
        std::string copy = image;
        if (change.wide)
            put32(copy, change.at, change.value);
        else
            put16(copy, change.at, static_cast<uint16_t>(change.value));
        maker.add(change.name, copy);
    }
}

void add_tiny_files(CorpusMaker& maker, const std::string& image)
{
    maker.add(L"tiny_empty.dll", "");
    maker.add(L"tiny_mz.dll", "MZ");
    maker.add(L"tiny_mz_header.dll", image.substr(0, 0x40));
    std::string header_only(0x40, '\0');
    header_only[0] = 'M';
    header_only[1] = 'Z';
    put32(header_only, 0x3C, 0x40);
    maker.add(L"tiny_lfanew_at_end.dll", header_only);
    maker.add(L"tiny_pe_signature.dll", header_only + std::string("PE\0\0", 4));
}

} // namespace

uint16_t get16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

uint32_t get32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(get16(b, at)) | static_cast<uint32_t>(get16(b, at + 2)) << 16;
}

void put16(std::string& b, size_t at, uint16_t value)
{
    b[at] = static_cast<char>(value & 0xFF);
    b[at + 1] = static_cast<char>(value >> 8);
}

void put32(std::string& b, size_t at, uint32_t value)
{
    put16(b, at, static_cast<uint16_t>(value & 0xFFFF));
    put16(b, at + 2, static_cast<uint16_t>(value >> 16));
}

std::vector<HostileFile> make_hostile_corpus(const std::string& small_image, const std::string& program_image,
                                             uint32_t seed)
{
    CorpusMaker maker(seed);
    ImageLayout small, program;
    if (!read_layout(small_image, small) || !read_layout(program_image, program) || small.rsrc_section == 0)
        return {};
    add_tiny_files(maker, small_image);
    add_loops(maker, small_image, small);
    add_version_lengths(maker, small_image, small);
    add_header_damage(maker, small_image, small);
    maker.add_truncations(L"dll", small_image, small, 40);
    maker.add_truncations(L"exe", program_image, program, 8);
    size_t headers_end = small.sections + small.section_count * SECTION_BYTES;
    maker.add_flips(L"hdr", small_image, 0, headers_end, 50);
    maker.add_flips(L"rsrc", small_image, small.rsrc, small.rsrc_bytes, 50);
    // The version block itself, where the lengths are.
    maker.add_flips(L"ver", small_image, small.version, small.version_bytes, 30);
    maker.add_flips(L"exehdr", program_image, 0, program.sections + program.section_count * SECTION_BYTES, 8);
    maker.add_flips(L"exersrc", program_image, program.rsrc, program.rsrc_bytes, 8);
    return maker.files;
}

bool write_hostile_corpus(const std::vector<HostileFile>& corpus, const std::wstring& folder)
{
    for (const HostileFile& file : corpus) {
        std::wstring path = join_path(folder, file.name);
        write_file(path, file.bytes);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) || data.nFileSizeHigh != 0 ||
            data.nFileSizeLow != file.bytes.size())
            return false;
    }
    return true;
}
