// The hashes analysts look PE images up by: the image hash that code signing computes (SHA-1 or
// SHA-256) and the import hash.
#pragma once

#include <windows.h>

#include "digest_kinds.h"

// What a file that is no PE image shows in place of an image hash or an import hash.
extern const wchar_t NO_PE_IMAGE_TEXT[];

// The context text of the notice for a damaged image (ERROR_BAD_EXE_FORMAT).
extern const wchar_t DAMAGED_IMAGE_TEXT[];

// The limits of the import hash: an image beyond any of them counts as damaged. Real images
// stay far below them (the largest of Wine's system folders: 22 libraries, 906 functions,
// 30,190 bytes of text).
const DWORD MOST_IMPORTED_LIBRARIES = 4096;
const DWORD MOST_IMPORTED_FUNCTIONS = 64 * 1024;
const DWORD MOST_IMPORT_TEXT_BYTES = 16 * 1024 * 1024;

enum PeDigestResult {
    // text holds the digest as lower-case hex.
    PE_DIGEST_DONE,
    // text holds what shows in its place: "No PE Image", or "No Imports".
    PE_NO_DIGEST,
    // The notice went through print_failure.
    PE_DIGEST_FAILED
};

// The image hash (source SIGNED_IMAGE) or the import hash (IMPORT_NAMES) of path, into text
// (TEXT_CHARS). Prints nothing but failure notices.
PeDigestResult compute_pe_digest(const DigestKind& digest, const wchar_t* path, wchar_t* text);
