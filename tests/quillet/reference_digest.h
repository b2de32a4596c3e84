// MD5 (RFC 1321), SHA-1 (RFC 3174) and SHA-256 (FIPS 180-4) written out in the tests, so that quillet's digests are
// compared with a computation that shares nothing with the platform's providers.
#pragma once

#include <string>

// Lower-case hexadecimal digests of bytes.
std::string reference_md5(const std::string& bytes);
std::string reference_sha1(const std::string& bytes);
std::string reference_sha256(const std::string& bytes);
