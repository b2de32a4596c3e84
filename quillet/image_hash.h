// The hashes analysts look PE images up by: the image hash that code signing computes (SHA-1 or
// SHA-256) and the import hash; and the one way in to every digest of DIGEST_KINDS.
#pragma once

#include <windows.h>

#include "file_hash.h"

// What a file that is no PE image shows in place of an image hash or an import hash.
extern const wchar_t NO_PE_IMAGE_TEXT[];

// The context text of the notice for a damaged image (ERROR_BAD_EXE_FORMAT).
extern const wchar_t DAMAGED_IMAGE_TEXT[];

// Any digest of the table, as show_hash_info prints the whole-file ones: progress 1 prints the
// label "File <label>: " and a closing empty line, any other value the value alone. A file
// that is no PE image shows "No PE Image"; a damaged one gets its failure notice.
void show_digest(const DigestKind& digest, const wchar_t* path, int progress);

// The value as a CSV cell shows it: the digest as lower-case hex, or empty when the file has
// none (no PE image, no imports) or it failed, whose notice went through print_failure.
void digest_cell_text(const DigestKind& digest, const wchar_t* path, wchar_t* text);
