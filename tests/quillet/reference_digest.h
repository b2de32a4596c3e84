// MD5 (RFC 1321), SHA-1 (RFC 3174) and SHA-256 (FIPS 180-4) written out in the tests, so that quillet's digests are
// compared with a computation that shares nothing with the platform's providers.
#pragma once

#include <stdint.h>

#include <string>

// Lower-case hexadecimal digests of bytes.
std::string reference_md5(const std::string& bytes);
std::string reference_sha1(const std::string& bytes);
std::string reference_sha256(const std::string& bytes);

// MD5 of content too large to hold: head, then zero_count zero bytes, then tail.
std::string reference_md5_with_zeros(const std::string& head, uint64_t zero_count, const std::string& tail);
