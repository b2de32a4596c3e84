// Times quillet's digest loop (overlapped reads of 1 MiB pieces into three buffers, each piece
// hashed while the next are read) beside the costs that explain it: the former one-block design
// step by step (the whole file committed, read in one call and hashed in one call), hashing
// memory that is already resident, touching fresh memory, a synchronous read-and-hash loop,
// and the overlapped loop with other piece sizes and buffer counts.
//
//   hash_split <file> md5|sha1
#include <windows.h>

#include <wincrypt.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const DWORD CHUNK_BYTES = 1 << 20;
// quillet's choice (quillet/file_hash.*).
const DWORD QUILLET_PIECE_BYTES = 1 << 20;
const int QUILLET_BUFFERS = 3;
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

// The former design's sequence, each step timed.
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
    print_step(L"total of the one block", done - start, size);
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

struct Slot {
    OVERLAPPED overlapped;
    BYTE* data;
    DWORD wanted;
};

bool start_read(HANDLE file, Slot& slot, ULONGLONG offset, DWORD wanted)
{
    slot.overlapped.Offset = static_cast<DWORD>(offset);
    slot.overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    slot.wanted = wanted;
    return ReadFile(file, slot.data, wanted, nullptr, &slot.overlapped) || GetLastError() == ERROR_IO_PENDING;
}

// quillet's loop with the piece size and the buffer count free: overlapped reads into
// `buffers` buffers of `piece` bytes, each piece hashed as it arrives while the reads of the
// next pieces run. Returns the milliseconds, or a negative value when a call failed.
double time_streamed(const wchar_t* path, ALG_ID algorithm, DWORD piece, int buffers, bool show_digest)
{
    const int MOST_BUFFERS = 4;
    double start = now_ms();
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE || buffers > MOST_BUFFERS)
        return -1;
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    BYTE* block = static_cast<BYTE*>(VirtualAlloc(nullptr, SIZE_T(piece) * buffers, MEM_COMMIT, PAGE_READWRITE));
    Slot slots[MOST_BUFFERS] = {};
    for (int index = 0; index < buffers; ++index) {
        slots[index].data = block + SIZE_T(piece) * index;
        slots[index].overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    Hasher hasher;
    bool ok = block != nullptr && open_hasher(algorithm, hasher);
    ULONGLONG total = static_cast<ULONGLONG>(size.QuadPart);
    ULONGLONG issued = 0, hashed = 0;
    for (int index = 0; ok && index < buffers && issued < total; ++index) {
        DWORD wanted = static_cast<DWORD>(total - issued < piece ? total - issued : piece);
        ok = start_read(file, slots[index], issued, wanted);
        issued += wanted;
    }
    for (int index = 0; ok && hashed < total; index = (index + 1) % buffers) {
        DWORD got = 0;
        ok = GetOverlappedResult(file, &slots[index].overlapped, &got, TRUE) && got == slots[index].wanted &&
             CryptHashData(hasher.hash, slots[index].data, got, 0);
        hashed += got;
        if (ok && issued < total) {
            DWORD wanted = static_cast<DWORD>(total - issued < piece ? total - issued : piece);
            ok = start_read(file, slots[index], issued, wanted);
            issued += wanted;
        }
    }
    double ms = now_ms() - start;
    if (ok && show_digest)
        print_digest(hasher);
    close_hasher(hasher);
    for (int index = 0; index < buffers; ++index)
        if (slots[index].overlapped.hEvent != nullptr)
            CloseHandle(slots[index].overlapped.hEvent);
    if (block != nullptr)
        VirtualFree(block, 0, MEM_RELEASE);
    CloseHandle(file);
    return ok ? ms : -1;
}

// The overlapped loop as quillet runs it, then over a range of piece sizes and buffer counts.
void time_piece_sizes(const wchar_t* path, ALG_ID algorithm, DWORD bytes)
{
    print_step(L"total as quillet runs it", time_streamed(path, algorithm, QUILLET_PIECE_BYTES, QUILLET_BUFFERS, true),
               bytes);
    const DWORD PIECES[] = {64 << 10, 256 << 10, 1 << 20, 4 << 20};
    for (int buffers = 2; buffers <= 3; ++buffers)
        for (DWORD piece : PIECES) {
            wchar_t name[64];
            _snwprintf(name, 63, L"overlapped, %d x %lu KiB pieces", buffers, static_cast<unsigned long>(piece >> 10));
            name[63] = L'\0';
            print_step(name, time_streamed(path, algorithm, piece, buffers, false), bytes);
        }
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
    time_piece_sizes(argv[1], algorithm, size);
    return 0;
}
