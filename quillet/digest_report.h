// Any digest of DIGEST_KINDS, handed to what computes it: the whole-file digests to
// show_hash_info, the image and import hashes to compute_pe_digest.
#pragma once

#include <windows.h>

#include "digest_kinds.h"

// The digest as show_hash_info prints the whole-file ones: progress 1 prints the label
// "File <label>: " and a closing empty line, any other value the value alone. A file that is
// no PE image shows "No PE Image"; a damaged one gets its failure notice. What the computing
// throws ends in a notice too.
void show_digest(const DigestKind& digest, const wchar_t* path, int progress);

// The value as a CSV cell shows it: the digest as lower-case hex, or empty when the file has
// none (no PE image, no imports) or it failed, whose notice went through print_failure.
void digest_cell_text(const DigestKind& digest, const wchar_t* path, wchar_t* text);
