// Who signed a file and when, as its signature (or the catalog that lists it) says.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>

// The encodings of Authenticode signatures.
const DWORD ENCODINGS = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

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

// The signer's time stamp: an Authenticode counter-signature's signing time or an RFC 3161
// token's genTime, from its unsigned attributes. False when it has none that can be read.
bool read_signer_time_stamp(const CMSG_SIGNER_INFO& info, FILETIME& time);

// The certificate's subject and issuer as display names, into TEXT_CHARS buffers.
void read_certificate_names(PCCERT_CONTEXT certificate, wchar_t* signer, wchar_t* issuer);

// The attribute with that object identifier that has a value, or null.
const CRYPT_ATTRIBUTE* find_attribute(const CRYPT_ATTRIBUTES& attributes, const char* oid);
