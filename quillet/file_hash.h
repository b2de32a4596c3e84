// MD5, SHA-1 and SHA-256 digests of whole files through CryptoAPI.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "digest_kinds.h"
#include "digest_steps.h"

// Bytes read and hashed at a time: memory stays a few of these whatever the file's size.
const DWORD HASH_PIECE_BYTES = 1 << 20;

// Computes the digest and records its steps; prints nothing, so any thread may call it.
void compute_digest_outcome(ALG_ID algorithm, const wchar_t* path, DigestOutcome& outcome);

// Both below print (or fill) the digest that was computed ahead for path when there is one
// (hash_ahead.h), and otherwise compute it as they go.
// progress 1: step lines, label and closing empty line; any other value: the digest alone.
void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress);

// The digest as lower-case hex into digest_text (TEXT_CHARS), without progress lines. A failure
// goes through print_failure, and the answer is false.
bool file_digest_text(ALG_ID algorithm, const wchar_t* path, wchar_t* digest_text);
