// Hostile import tables and certificate entries made from any real image.
#include "hostile_corpus.h"

#include <stdio.h>

#include <random>

namespace {

const size_t SECTION_BYTES = 40;
const size_t DESCRIPTOR_BYTES = 20;
const uint32_t NAME_BOUND = 16 * 1024;

// Where the parts an import table mutation needs lie, as file offsets.
struct ImportLayout {
    size_t optional;
    bool wide;
    size_t directory_count; // NumberOfRvaAndSizes
    size_t directories;
    size_t sections;
    size_t section_count;
    size_t descriptors; // 0: the image imports nothing
    uint32_t descriptors_rva;
    size_t thunk_bytes;
};

size_t to_offset(const std::string& b, const ImportLayout& l, uint32_t rva)
{
    for (size_t i = 0; i < l.section_count; ++i) {
        size_t s = l.sections + i * SECTION_BYTES;
        uint32_t address = get32(b, s + 12);
        if (rva >= address && rva - address < get32(b, s + 16) && get32(b, s + 20) + (rva - address) < b.size())
            return get32(b, s + 20) + (rva - address);
    }
    return 0;
}

bool read_imports_layout(const std::string& b, ImportLayout& l)
{
    l = ImportLayout{};
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z')
        return false;
    size_t nt = get32(b, 0x3C);
    if (nt + 24 + 112 + 16 * 8 > b.size() || get32(b, nt) != 0x4550)
        return false;
    l.optional = nt + 24;
    l.wide = get16(b, l.optional) == 0x20B;
    l.directory_count = l.optional + (l.wide ? 108 : 92);
    l.directories = l.optional + (l.wide ? 112 : 96);
    l.section_count = get16(b, nt + 6);
    l.sections = l.optional + get16(b, nt + 20);
    if (l.section_count == 0 || l.sections + l.section_count * SECTION_BYTES > b.size())
        return false;
    l.thunk_bytes = l.wide ? 8 : 4;
    l.descriptors_rva = get32(b, l.directories + 8);
    l.descriptors = l.descriptors_rva == 0 ? 0 : to_offset(b, l, l.descriptors_rva);
    if (l.descriptors + DESCRIPTOR_BYTES > b.size())
        l.descriptors = 0;
    return true;
}

class ImportMaker {
  public:
    ImportMaker(const std::string& image, const ImportLayout& layout, const std::wstring& tag, uint32_t seed)
        : image_(image), l_(layout), tag_(tag), random_(seed)
    {
    }

    std::vector<HostileFile> files;

    uint32_t next(uint32_t bound)
    {
        return bound == 0 ? 0 : static_cast<uint32_t>(random_() % bound);
    }

    void add(const wchar_t* kind, const std::string& bytes)
    {
        wchar_t name[96];
        swprintf(name, 96, L"%ls_%ls_%04u.dll", tag_.c_str(), kind, static_cast<unsigned>(files.size()));
        files.push_back(HostileFile{name, bytes});
    }

    // Appends payload to the last section's data (cut to the end of that data first) and
    // answers its address.
    uint32_t append(std::string& b, const std::string& payload)
    {
        size_t last = l_.sections + (l_.section_count - 1) * SECTION_BYTES;
        uint32_t raw = get32(b, last + 16);
        size_t end = static_cast<size_t>(get32(b, last + 20)) + raw;
        if (end > b.size())
            end = b.size(), raw = static_cast<uint32_t>(end - get32(b, last + 20));
        b.resize(end);
        b += payload;
        put32(b, last + 16, raw + static_cast<uint32_t>(payload.size()));
        // The loader maps no more than VirtualSize: keep it in step.
        put32(b, last + 8, raw + static_cast<uint32_t>(payload.size()));
        return get32(b, last + 12) + raw;
    }

    std::string thunk(uint64_t value) const
    {
        std::string t(l_.thunk_bytes, '\0');
        put32(t, 0, static_cast<uint32_t>(value));
        if (l_.wide)
            put32(t, 4, static_cast<uint32_t>(value >> 32));
        return t;
    }

    uint64_t ordinal_flag() const
    {
        return l_.wide ? 0x8000000000000000ull : 0x80000000ull;
    }

    size_t descriptor(uint32_t index) const
    {
        return l_.descriptors + index * DESCRIPTOR_BYTES;
    }

    // Descriptors of the image up to the empty one (at most limit).
    uint32_t descriptor_count(const std::string& b, uint32_t limit) const
    {
        uint32_t count = 0;
        while (count < limit && descriptor(count) + DESCRIPTOR_BYTES <= b.size() &&
               get32(b, descriptor(count) + 12) != 0)
            ++count;
        return count;
    }

    // A name of length letters (no zero when terminated is false) that one thunk or a library
    // points at.
    void long_name(uint32_t length, bool terminated, bool as_library)
    {
        std::string b = image_;
        std::string payload = std::string(2, '\0') + std::string(length, 'q');
        if (terminated)
            payload += '\0';
        uint32_t rva = append(b, payload);
        uint32_t index = next(descriptor_count(b, 64));
        if (as_library) {
            put32(b, descriptor(index) + 12, rva + 2);
        } else {
            uint32_t lookup = get32(b, descriptor(index));
            size_t first = to_offset(b, l_, lookup != 0 ? lookup : get32(b, descriptor(index) + 16));
            if (first == 0)
                return;
            b.replace(first, l_.thunk_bytes, thunk(rva));
        }
        add(terminated ? L"imp_longname" : L"imp_endname", b);
    }

    // count thunks in a new lookup table of the first descriptor, each made by make.
    template <typename Make> void new_table(const wchar_t* kind, uint32_t count, bool terminated, Make make)
    {
        std::string b = image_;
        std::string table;
        table.reserve(static_cast<size_t>(count + 1) * l_.thunk_bytes);
        for (uint32_t i = 0; i < count; ++i)
            table += thunk(make(i));
        if (terminated)
            table += thunk(0);
        uint32_t rva = append(b, table);
        put32(b, descriptor(0), rva);
        put32(b, descriptor(0) + 16, rva);
        add(kind, b);
    }

    // The sample: thousands of imports that all name one huge name.
    void shared_huge_name(uint32_t imports, uint32_t length)
    {
        std::string b = image_;
        uint32_t name = append(b, std::string(2, '\0') + std::string(length, 'n') + std::string(1, '\0'));
        std::string table;
        for (uint32_t i = 0; i < imports; ++i)
            table += thunk(name);
        table += thunk(0);
        uint32_t rva = append(b, table);
        put32(b, descriptor(0), rva);
        put32(b, descriptor(0) + 16, rva);
        add(L"imp_sharedname", b);
    }

    // count copies of the image's descriptors in a new table, ended or not.
    void many_descriptors(uint32_t count, bool terminated)
    {
        std::string b = image_;
        uint32_t own = descriptor_count(b, 64);
        if (own == 0)
            return;
        std::string table;
        for (uint32_t i = 0; i < count; ++i)
            table += b.substr(descriptor(i % own), DESCRIPTOR_BYTES);
        if (terminated)
            table += std::string(DESCRIPTOR_BYTES, '\0');
        put32(b, l_.directories + 8, append(b, table));
        put32(b, l_.directories + 12, static_cast<uint32_t>(table.size()));
        add(L"imp_descriptors", b);
    }

    // Tables that point back at themselves or at each other.
    void loops()
    {
        std::string b = image_;
        // The lookup table is the descriptor table.
        put32(b, descriptor(0), l_.descriptors_rva);
        add(L"imp_loop_lookup", b);
        b = image_;
        // A name that is the descriptor table.
        put32(b, descriptor(0) + 12, l_.descriptors_rva);
        add(L"imp_loop_name", b);
        b = image_;
        // Every descriptor shares the first one's tables.
        for (uint32_t i = 1; i < descriptor_count(b, 64); ++i)
            b.replace(descriptor(i), DESCRIPTOR_BYTES, image_.substr(descriptor(0), DESCRIPTOR_BYTES));
        add(L"imp_loop_shared", b);
        b = image_;
        // The directory points at the last bytes of the image's address range.
        put32(b, l_.directories + 8, 0xFFFFFFF0u);
        add(L"imp_loop_wrap", b);
    }

    void flips(const wchar_t* kind, size_t first, size_t bytes, int count)
    {
        for (int i = 0; i < count && bytes > 0 && first + bytes <= image_.size(); ++i) {
            std::string b = image_;
            uint32_t changes = 1 + next(6);
            for (uint32_t c = 0; c < changes; ++c) {
                size_t at = first + next(static_cast<uint32_t>(bytes));
                b[at] = static_cast<char>(random_() & 0xFF);
            }
            add(kind, b);
        }
    }

    // The certificate entry, the directory count, the optional header's size and the sections'
    // file data, one field at a time.
    void headers()
    {
        size_t security = l_.directories + 4 * 8;
        const uint32_t size = static_cast<uint32_t>(image_.size());
        const uint32_t entries[][2] = {
            {size, 8},        {size + 8, 16},          {0, 64},           {16, 64},
            {size - 8, 0},    {size - 8, 0xFFFFFFF8u}, {0xFFFFFFF0u, 32}, {static_cast<uint32_t>(security), 8},
            {size / 2, size}, {next(size), next(size)}};
        for (const auto& entry : entries) {
            std::string b = image_;
            put32(b, security, entry[0]);
            put32(b, security + 4, entry[1]);
            add(L"cert_entry", b);
        }
        for (uint32_t count : {0u, 1u, 2u, 4u, 5u, 17u, 0xFFFFFFFFu}) {
            std::string b = image_;
            put32(b, l_.directory_count, count);
            add(L"hdr_directories", b);
        }
        for (uint16_t optional : {0, 2, 64, 0x60, 0xF0, 0xFFFF}) {
            std::string b = image_;
            put16(b, l_.optional - 4, optional);
            add(L"hdr_optional", b);
        }
        for (int i = 0; i < 6; ++i) {
            std::string b = image_;
            size_t section = l_.sections + next(static_cast<uint32_t>(l_.section_count)) * SECTION_BYTES;
            put32(b, section + 20 - 4 * next(2), next(size + 4096));
            add(L"hdr_sectiondata", b);
        }
    }

  private:
    const std::string& image_;
    ImportLayout l_;
    std::wstring tag_;
    std::mt19937 random_;
};

void crafted_tables(ImportMaker& maker, const ImportLayout& l, size_t image_size)
{
    for (uint32_t length : {NAME_BOUND - 1, NAME_BOUND, NAME_BOUND + 1, 64u * 1024, 256u * 1024})
        maker.long_name(length, true, maker.next(2) == 0);
    maker.long_name(1000 + maker.next(50000), false, maker.next(2) == 0);
    maker.shared_huge_name(8192, 256 * 1024);
    maker.shared_huge_name(20000, 2000);
    maker.many_descriptors(3000 + maker.next(3000), true);
    maker.many_descriptors(5000, false);
    uint64_t flag = maker.ordinal_flag();
    maker.new_table(L"imp_ordinals", 300000, true, [&](uint32_t i) { return flag | (i & 0xFFFF); });
    maker.new_table(L"imp_ordinals", 60000, false, [&](uint32_t i) { return flag | i; });
    uint32_t reach = static_cast<uint32_t>(image_size) * 2;
    maker.new_table(L"imp_anywhere", 20000, true, [&](uint32_t) { return maker.next(reach); });
    maker.new_table(L"imp_anywhere", 2000, true, [&](uint32_t) { return maker.next(0xFFFFFFFFu); });
    maker.loops();
}

} // namespace

std::vector<HostileFile> make_import_corpus(const std::string& image, const std::wstring& tag, uint32_t seed,
                                            size_t count)
{
    ImportLayout l;
    if (!read_imports_layout(image, l))
        return {};
    ImportMaker maker(image, l, tag, seed);
    maker.headers();
    if (l.descriptors != 0) {
        crafted_tables(maker, l, image.size());
        uint32_t descriptors = maker.descriptor_count(image, 64);
        maker.flips(L"imp_descflip", l.descriptors, descriptors * DESCRIPTOR_BYTES, 4);
    }
    // The rest: random changes where the import table and its names live, or the headers.
    size_t first = l.descriptors != 0 ? l.descriptors & ~static_cast<size_t>(0xFFF) : 0;
    size_t stretch = l.descriptors != 0 ? image.size() - first : l.sections + l.section_count * SECTION_BYTES;
    if (stretch > 0x4000)
        stretch = 0x4000;
    while (maker.files.size() < count)
        maker.flips(l.descriptors != 0 ? L"imp_flip" : L"hdr_flip", first, stretch, 1);
    return maker.files;
}
