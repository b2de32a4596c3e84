#include "reference_digest.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

uint32_t rotate_left(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

// The message with its padding: 0x80, zeros, and the bit length in 64 bits, as each
// algorithm orders it.
std::vector<uint8_t> padded(const std::string& bytes, bool big_endian_length)
{
    std::vector<uint8_t> message(bytes.begin(), bytes.end());
    uint64_t bit_length = static_cast<uint64_t>(bytes.size()) * 8;
    message.push_back(0x80);
    while (message.size() % 64 != 56)
        message.push_back(0);
    for (int i = 0; i < 8; ++i) {
        int shift = big_endian_length ? 56 - 8 * i : 8 * i;
        message.push_back(static_cast<uint8_t>(bit_length >> shift));
    }
    return message;
}

std::string hex(const std::vector<uint8_t>& digest)
{
    std::string text;
    char byte_text[3];
    for (uint8_t byte : digest) {
        snprintf(byte_text, sizeof(byte_text), "%02x", byte);
        text += byte_text;
    }
    return text;
}

// The SHA state words, most significant byte first.
std::string big_endian_hex(const uint32_t* state, size_t words)
{
    std::vector<uint8_t> digest;
    for (size_t word = 0; word < words; ++word)
        for (int i = 0; i < 4; ++i)
            digest.push_back(static_cast<uint8_t>(state[word] >> (24 - 8 * i)));
    return hex(digest);
}

const int MD5_SHIFTS[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                            14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                            4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

// RFC 1321's table T[i] = floor(2^32 * |sin(i + 1)|).
const uint32_t MD5_TABLE[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void md5_block(const uint8_t* block, uint32_t state[4])
{
    uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = block[4 * i] | (block[4 * i + 1] << 8) | (block[4 * i + 2] << 16) |
                   (static_cast<uint32_t>(block[4 * i + 3]) << 24);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        uint32_t next = d;
        d = c;
        c = b;
        b = b + rotate_left(a + f + MD5_TABLE[i] + words[g], MD5_SHIFTS[i]);
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void sha1_block(const uint8_t* block, uint32_t state[5])
{
    uint32_t words[80];
    for (int i = 0; i < 16; ++i)
        words[i] = (static_cast<uint32_t>(block[4 * i]) << 24) | (block[4 * i + 1] << 16) | (block[4 * i + 2] << 8) |
                   block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        words[i] = rotate_left(words[i - 3] ^ words[i - 8] ^ words[i - 14] ^ words[i - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5a827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ed9eba1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8f1bbcdc;
        } else {
            f = b ^ c ^ d;
            k = 0xca62c1d6;
        }
        uint32_t next = rotate_left(a, 5) + f + e + k + words[i];
        e = d;
        d = c;
        c = rotate_left(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

const uint32_t SHA256_TABLE[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotate_right(uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

void sha256_block(const uint8_t* block, uint32_t state[8])
{
    uint32_t words[64];
    for (int i = 0; i < 16; ++i)
        words[i] = (static_cast<uint32_t>(block[4 * i]) << 24) | (block[4 * i + 1] << 16) | (block[4 * i + 2] << 8) |
                   block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = rotate_right(words[i - 15], 7) ^ rotate_right(words[i - 15], 18) ^ (words[i - 15] >> 3);
        uint32_t s1 = rotate_right(words[i - 2], 17) ^ rotate_right(words[i - 2], 19) ^ (words[i - 2] >> 10);
        words[i] = words[i - 16] + s0 + words[i - 7] + s1;
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = state[i];
    for (int i = 0; i < 64; ++i) {
        uint32_t s1 = rotate_right(v[4], 6) ^ rotate_right(v[4], 11) ^ rotate_right(v[4], 25);
        uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        uint32_t first = v[7] + s1 + choice + SHA256_TABLE[i] + words[i];
        uint32_t s0 = rotate_right(v[0], 2) ^ rotate_right(v[0], 13) ^ rotate_right(v[0], 22);
        uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        for (int j = 7; j > 0; --j)
            v[j] = v[j - 1];
        v[4] += first;
        v[0] = first + s0 + majority;
    }
    for (int i = 0; i < 8; ++i)
        state[i] += v[i];
}

// MD5 fed in parts, for content that is never held whole.
struct Md5Stream {
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    uint8_t block[64] = {};
    size_t filled = 0;
    uint64_t length = 0;
};

void md5_feed(Md5Stream& stream, const uint8_t* bytes, size_t count)
{
    stream.length += count;
    while (count > 0) {
        size_t part = count < 64 - stream.filled ? count : 64 - stream.filled;
        memcpy(stream.block + stream.filled, bytes, part);
        stream.filled += part;
        bytes += part;
        count -= part;
        if (stream.filled == 64) {
            md5_block(stream.block, stream.state);
            stream.filled = 0;
        }
    }
}

std::vector<uint8_t> md5_finish(Md5Stream& stream)
{
    // The padding is what padded() appends to a message of this length's last partial block.
    std::string last(reinterpret_cast<const char*>(stream.block), stream.filled);
    std::vector<uint8_t> tail = padded(last, false);
    uint64_t bit_length = stream.length * 8;
    for (int i = 0; i < 8; ++i)
        tail[tail.size() - 8 + i] = static_cast<uint8_t>(bit_length >> (8 * i));
    for (size_t at = 0; at < tail.size(); at += 64)
        md5_block(&tail[at], stream.state);
    std::vector<uint8_t> digest;
    for (uint32_t word : stream.state)
        for (int i = 0; i < 4; ++i)
            digest.push_back(static_cast<uint8_t>(word >> (8 * i)));
    return digest;
}

} // namespace

std::string reference_md5_with_zeros(const std::string& head, uint64_t zero_count, const std::string& tail)
{
    Md5Stream stream;
    md5_feed(stream, reinterpret_cast<const uint8_t*>(head.data()), head.size());
    std::vector<uint8_t> zeros(1 << 20, 0);
    for (uint64_t left = zero_count; left > 0;) {
        size_t part = left < zeros.size() ? static_cast<size_t>(left) : zeros.size();
        md5_feed(stream, zeros.data(), part);
        left -= part;
    }
    md5_feed(stream, reinterpret_cast<const uint8_t*>(tail.data()), tail.size());
    return hex(md5_finish(stream));
}

std::string reference_md5(const std::string& bytes)
{
    std::vector<uint8_t> message = padded(bytes, false);
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t at = 0; at < message.size(); at += 64)
        md5_block(&message[at], state);
    std::vector<uint8_t> digest;
    for (uint32_t word : state)
        for (int i = 0; i < 4; ++i)
            digest.push_back(static_cast<uint8_t>(word >> (8 * i)));
    return hex(digest);
}

std::string reference_sha1(const std::string& bytes)
{
    std::vector<uint8_t> message = padded(bytes, true);
    uint32_t state[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    for (size_t at = 0; at < message.size(); at += 64)
        sha1_block(&message[at], state);
    return big_endian_hex(state, 5);
}

std::string reference_sha256(const std::string& bytes)
{
    std::vector<uint8_t> message = padded(bytes, true);
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    for (size_t at = 0; at < message.size(); at += 64)
        sha256_block(&message[at], state);
    return big_endian_hex(state, 8);
}
