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
