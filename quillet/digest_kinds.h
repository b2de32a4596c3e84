// The digests quillet offers, one table that every run, column and word lookup reads.
#pragma once

#include <windows.h>

#include <wincrypt.h>

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

// In the order that a directory run hashes and a CSV document shows them. One table for the
// whole program (an inline variable), so that a DigestKind's address names its kind in every file.
inline const DigestKind DIGEST_KINDS[] = {
    {L"-md5", CALG_MD5, L"MD5", L"MD5", WHOLE_FILE},
    {L"-sha1", CALG_SHA1, L"SHA1", L"SHA1", WHOLE_FILE},
    {L"-sha256", CALG_SHA_256, L"SHA256", L"SHA256", WHOLE_FILE},
    {L"-imagesha1", CALG_SHA1, L"ImageSHA1", L"Image SHA1", SIGNED_IMAGE},
    {L"-imagesha256", CALG_SHA_256, L"ImageSHA256", L"Image SHA256", SIGNED_IMAGE},
    {L"-imphash", CALG_MD5, L"ImportHash", L"Import Hash", IMPORT_NAMES}};

// The digest a word asks for (ASCII case ignored), or null for any other word.
const DigestKind* digest_word(const wchar_t* word);

// The name of a whole-file digest ("MD5", "SHA1", "SHA256"), or "" for an algorithm not offered.
const wchar_t* digest_name(ALG_ID algorithm);
