// All the whole-file digests of one file from one open and one read of it, for the threads that
// hash ahead: each piece read goes to every digest asked for, into a buffer and provider
// contexts that the thread keeps from one file to the next.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "digest_steps.h"

// The whole-file digests that one file can be asked for at once (MD5, SHA1, SHA256).
const int MOST_PASS_DIGESTS = 3;

// What a hashing thread keeps between files: its read buffer (with room for the digests behind
// it) and a provider context of each type, obtained when first needed. All empty at first.
struct DigestScratch {
    BYTE* buffer;
    HCRYPTPROV full_provider;
    HCRYPTPROV aes_provider;
};

// outcomes[i] receives what compute_digest_outcome(algorithms[i], path, outcomes[i]) records:
// the same steps, notices and course of the last error, and the same digest. count is at most
// MOST_PASS_DIGESTS.
void compute_digest_outcomes(const ALG_ID* algorithms, DigestOutcome* outcomes, int count, const wchar_t* path,
                             DigestScratch& scratch);

// Gives back what the thread kept.
void release_digest_scratch(DigestScratch& scratch);
