// MD5, SHA-1 and SHA-256 digests of whole files through CryptoAPI.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "digest_steps.h"

// Bytes read and hashed at a time: memory stays a few of these whatever the file's size.
const DWORD HASH_PIECE_BYTES = 1 << 20;

// What a digest is computed over: the whole file, the image as code signing hashes it, or
// the text of the import table's names.
enum DigestSource { WHOLE_FILE, SIGNED_IMAGE, IMPORT_NAMES };

// A digest quillet offers: the command-line word that asks for it, its algorithm, its CSV
// column, the report's label ("File <label>: ") and what it is computed over.
struct DigestKind {
    const wchar_t* word;
    ALG_ID algorithm;
    const wchar_t* name;
    const wchar_t* label;
    DigestSource source;
};

// In the order that a directory run hashes and a CSV document shows them.
const DigestKind DIGEST_KINDS[] = {{L"-md5", CALG_MD5, L"MD5", L"MD5", WHOLE_FILE},
                                   {L"-sha1", CALG_SHA1, L"SHA1", L"SHA1", WHOLE_FILE},
                                   {L"-sha256", CALG_SHA_256, L"SHA256", L"SHA256", WHOLE_FILE},
                                   {L"-imagesha1", CALG_SHA1, L"ImageSHA1", L"Image SHA1", SIGNED_IMAGE},
                                   {L"-imagesha256", CALG_SHA_256, L"ImageSHA256", L"Image SHA256", SIGNED_IMAGE},
                                   {L"-imphash", CALG_MD5, L"ImportHash", L"Import Hash", IMPORT_NAMES}};

// The digest a word asks for (ASCII case ignored), or null for any other word.
const DigestKind* digest_word(const wchar_t* word);

// The name of a whole-file digest ("MD5", "SHA1", "SHA256"), or "" for an algorithm not offered.
const wchar_t* digest_name(ALG_ID algorithm);

// The provider type that offers the algorithm: the basic RSA type knows MD5 and SHA-1 only,
// SHA-256 needs the AES one.
DWORD hash_provider_type(ALG_ID algorithm);

// Computes the digest and records its steps; prints nothing, so any thread may call it.
void compute_digest_outcome(ALG_ID algorithm, const wchar_t* path, DigestOutcome& outcome);

// Both below print (or fill) the digest that was computed ahead for path when there is one
// (hash_ahead.h), and otherwise compute it as they go.
// progress 1: step lines, label and closing empty line; any other value: the digest alone.
void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress);

// The digest as lower-case hex into digest_text (TEXT_CHARS), without progress lines. A failure
// goes through print_failure, and the answer is false.
bool file_digest_text(ALG_ID algorithm, const wchar_t* path, wchar_t* digest_text);
