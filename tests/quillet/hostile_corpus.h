// A corpus of malformed files made from real images: the same seed gives the same files.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct HostileFile {
    std::wstring name;
    std::string bytes;
};

// small_image: a DLL with a version resource; program_image: a program built by this build.
// Both must be sound PE images with a resource section that holds a version resource.
std::vector<HostileFile> make_hostile_corpus(const std::string& small_image, const std::string& program_image,
                                             uint32_t seed);

// Writes every file of the corpus into folder; false when one could not be written whole.
bool write_hostile_corpus(const std::vector<HostileFile>& corpus, const std::wstring& folder);

// Seeded mutations of the import table, the certificate table's entry, the data directory
// count and the section table of any PE image (no version resource needed), and crafted
// hostile import tables: names past any bound or to the end of the file, thousands of
// descriptors, thunks pointing anywhere, tables that point back into themselves, hundreds of
// thousands of ordinals. Names begin with tag; count files at least (fewer when the image has
// no import table).
std::vector<HostileFile> make_import_corpus(const std::string& image, const std::wstring& tag, uint32_t seed,
                                            size_t count);

// Little-endian fields of a file's bytes (at must leave room for the field).
uint16_t get16(const std::string& b, size_t at);
uint32_t get32(const std::string& b, size_t at);
void put16(std::string& b, size_t at, uint16_t value);
void put32(std::string& b, size_t at, uint32_t value);
