// Code signatures: whether a file is signed, by whom and when, as WinVerifyTrust judges it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "signer_reading.h"

// The verdict on the file's signature as the "[Signature]" line shows it ("Signed",
// "Signed (catalog)", "Unsigned", "Changed after signing", "Not a signable file", or the
// system's text of any other result followed by its code in hexadecimal) and the signers its
// block names (at most one: the signature's first signer). The verdict is empty for a
// directory or a file that cannot be opened, which get no block.
struct SignatureFacts {
    std::wstring verdict;
    std::vector<SignerFacts> signers;
};

void read_signature(const wchar_t* path, SignatureFacts& facts);

// Set by a directory or multiple-file run with "-unsigned": only files that are not signed
// are reported, each with its signature block whatever the settings say.
extern bool unsigned_only;

// Whether reports show the signature block (and a CSV document the Signature column).
bool signature_shown();

// What "-unsigned" leaves out: a directory, and a file whose verdict is "Signed", "Signed
// (catalog)" or "Not a signable file". A file that cannot be opened stays, for its notice.
bool left_out_as_signed(const wchar_t* path);

// The "[Signature]" block that ends a file report, when signature_shown().
void print_signature_information(const wchar_t* path);

// "-verify FILE" / "-v FILE": the banner and FILE's block, whatever the settings say. Exit code
// 0 signed (embedded or catalog), 1 unsigned, 2 changed after signing, 3 any other verdict, 87
// without FILE, the open failure's code when FILE cannot be opened.
DWORD command_verify();
