// Who signed a file and when, as its signature (or the catalog that lists it) says.
#pragma once

#include <windows.h>

#include <string>

// The signer of a signature: the certificate's subject and issuer names, and the time stamp.
struct SignerFacts {
    std::wstring subject;
    std::wstring issuer;
    bool stamped;
    FILETIME signed_on;
};

// Reads the signer of source (the signed file itself or the catalog that lists it); false when
// no signer can be read.
bool read_signer(const wchar_t* source, SignerFacts& facts);

// "[Signer]", "[Issuer]" and "[Signed On]" (the time stamp, or "none") read from source: the
// signed file itself or the catalog that lists it. Nothing when no signer can be read.
void print_signer_lines(const wchar_t* source);
