// Times the steps of quillet's digest one by one, with the same platform calls in the same
// order (the whole file committed, read in one call and hashed in one call), and beside them
// the costs that explain the total: hashing memory that is already resident, touching fresh
// memory, and a chunked read-and-hash loop that keeps only a small buffer.
//
//   hash_split <file> md5|sha1
#include <windows.h>

#include <wincrypt.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const DWORD CHUNK_BYTES = 1 << 20;
const double MIB = 1024.0 * 1024.0;

LARGE_INTEGER frequency;

double now_ms()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void print_step(const wchar_t* name, double ms, DWORD bytes)
{
    if (bytes > 0 && ms > 0)
        wprintf(L"%-34ls %9.1f ms %9.1f MB/s\n", name, ms, bytes / MIB / (ms / 1000.0));
    else
        wprintf(L"%-34ls %9.1f ms\n", name, ms);
}

struct Hasher {
    HCRYPTPROV provider;
    HCRYPTHASH hash;
};

bool open_hasher(ALG_ID algorithm, Hasher& hasher)
{
    hasher = Hasher{0, 0};
    if (!CryptAcquireContextW(&hasher.provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return false;
    return CryptCreateHash(hasher.provider, algorithm, 0, 0, &hasher.hash) != 0;
}

void close_hasher(Hasher& hasher)
{
    if (hasher.hash != 0)
        CryptDestroyHash(hasher.hash);
    if (hasher.provider != 0)
        CryptReleaseContext(hasher.provider, 0);
}

void print_digest(const Hasher& hasher)
{
    BYTE digest[64];
    DWORD size = sizeof(digest);
    if (!CryptGetHashParam(hasher.hash, HP_HASHVAL, digest, &size, 0))
        return;
    wprintf(L"%-34ls ", L"digest");
    for (DWORD index = 0; index < size; ++index)
        wprintf(L"%02x", digest[index]);
    wprintf(L"\n");
}

// quillet's own sequence, each step timed.
bool time_whole_file(const wchar_t* path, ALG_ID algorithm, BYTE*& content, DWORD& size)
{
    double start = now_ms();
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    size = GetFileSize(file, nullptr);
    double opened = now_ms();
    content = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    double allocated = now_ms();
    DWORD read = 0;
    BOOL read_ok = content != nullptr && ReadFile(file, content, size, &read, nullptr);
    double was_read = now_ms();
    CloseHandle(file);
    if (!read_ok || read != size)
        return false;
    Hasher hasher;
    bool hasher_ok = open_hasher(algorithm, hasher);
    double created = now_ms();
    bool hashed = hasher_ok && CryptHashData(hasher.hash, content, size, 0);
    double done = now_ms();
    print_step(L"open and size", opened - start, 0);
    print_step(L"VirtualAlloc (commit)", allocated - opened, 0);
    print_step(L"ReadFile, one call", was_read - allocated, size);
    print_step(L"acquire context, create hash", created - was_read, 0);
    print_step(L"CryptHashData, one call", done - created, size);
    print_step(L"total as quillet runs it", done - start, size);
    if (hashed)
        print_digest(hasher);
    close_hasher(hasher);
    return hashed;
}

void time_resident_hash(ALG_ID algorithm, const BYTE* content, DWORD size)
{
    Hasher hasher;
    if (!open_hasher(algorithm, hasher))
        return;
    double start = now_ms();
    CryptHashData(hasher.hash, content, size, 0);
    print_step(L"CryptHashData again, resident", now_ms() - start, size);
    close_hasher(hasher);
}

void time_fresh_memory(DWORD size)
{
    double start = now_ms();
    BYTE* memory = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (memory == nullptr)
        return;
    memset(memory, 1, size);
    print_step(L"commit and touch fresh memory", now_ms() - start, size);
    VirtualFree(memory, 0, MEM_RELEASE);
}

void time_chunked(const wchar_t* path, ALG_ID algorithm)
{
    double start = now_ms();
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BYTE* chunk = static_cast<BYTE*>(VirtualAlloc(nullptr, CHUNK_BYTES, MEM_COMMIT, PAGE_READWRITE));
    Hasher hasher;
    if (file == INVALID_HANDLE_VALUE || chunk == nullptr || !open_hasher(algorithm, hasher))
        return;
    DWORD total = 0;
    DWORD read = 0;
    while (ReadFile(file, chunk, CHUNK_BYTES, &read, nullptr) && read > 0) {
        CryptHashData(hasher.hash, chunk, read, 0);
        total += read;
    }
    print_step(L"1 MiB chunks: read and hash", now_ms() - start, total);
    close_hasher(hasher);
    VirtualFree(chunk, 0, MEM_RELEASE);
    CloseHandle(file);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 || (_wcsicmp(argv[2], L"md5") != 0 && _wcsicmp(argv[2], L"sha1") != 0)) {
        fwprintf(stderr, L"usage: hash_split <file> md5|sha1\n");
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    ALG_ID algorithm = _wcsicmp(argv[2], L"md5") == 0 ? CALG_MD5 : CALG_SHA1;
    BYTE* content = nullptr;
    DWORD size = 0;
    bool whole_ok = time_whole_file(argv[1], algorithm, content, size);
    if (whole_ok)
        time_resident_hash(algorithm, content, size);
    if (content != nullptr)
        VirtualFree(content, 0, MEM_RELEASE);
    if (!whole_ok) {
        fwprintf(stderr, L"could not hash %ls: %lu\n", argv[1], GetLastError());
        return 1;
    }
    time_fresh_memory(size);
    time_chunked(argv[1], algorithm);
    return 0;
}
