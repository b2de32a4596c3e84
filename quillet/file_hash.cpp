#include "file_hash.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "failure_notice.h"
#include "report_output.h"
#include "text_color.h"
#include "text_helpers.h"

namespace {

// Everything one digest holds; all empty at the start so that the clean-up can release
// whatever was obtained on any path.
struct HashJob {
    ALG_ID algorithm;
    const wchar_t* path;
    bool progress;
    HANDLE file;
    DWORD size;
    BYTE* content;
    HCRYPTPROV provider;
    HCRYPTHASH hash;
    DWORD digest_size;
    BYTE* digest;
};

void fail(const wchar_t* context, DWORD code)
{
    print_failure(code, context);
    print_html_break();
}

void print_progress(const HashJob& job, const wchar_t* text)
{
    if (job.progress)
        ql_wprintf(L"%ls", text);
}

void print_done(const HashJob& job)
{
    if (!job.progress)
        return;
    ql_wprintf(L"done!\n");
    print_html_break();
}

bool open_file(HashJob& job)
{
    job.file =
        CreateFileW(job.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (job.file != INVALID_HANDLE_VALUE)
        return true;
    job.file = nullptr;
    fail(L"show_hash_info::CreateFile", GetLastError());
    return false;
}

// The whole file is held and hashed at once; a size beyond 32 bits would hash only part of
// it under the full file's name, so such a file is refused instead.
bool read_size(HashJob& job)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    job.size = GetFileSize(job.file, &high);
    if (job.size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        fail(L"show_hash_info::GetFileSize", GetLastError());
        return false;
    }
    if (job.size == INVALID_FILE_SIZE || high != 0) {
        fail(L"show_hash_info::GetFileSize", ERROR_FILE_TOO_LARGE);
        return false;
    }
    return true;
}

bool allocate_content(HashJob& job)
{
    if (job.progress)
        ql_wprintf(L"Allocating Memory (%d) Bytes...", static_cast<int>(job.size));
    job.content = static_cast<BYTE*>(VirtualAlloc(nullptr, job.size, MEM_COMMIT, PAGE_READWRITE));
    if (job.content == nullptr) {
        fail(L"show_hash_info::VrtualAlloc", GetLastError());
        return false;
    }
    print_done(job);
    return true;
}

// A file that shrank while it was read would otherwise be hashed with zeros for its lost
// tail; that is reported instead of a digest.
bool read_content(HashJob& job)
{
    print_progress(job, L"Reading File Content...");
    DWORD total = 0;
    while (total < job.size) {
        DWORD read = 0;
        if (ReadFile(job.file, job.content + total, job.size - total, &read, nullptr) != 1) {
            fail(L"show_hash_info::ReadFile", GetLastError());
            return false;
        }
        if (read == 0) {
            fail(L"show_hash_info::ReadFile", ERROR_HANDLE_EOF);
            return false;
        }
        total += read;
    }
    print_done(job);
    return true;
}

// The basic RSA provider type knows MD5 and SHA-1 only; SHA-256 needs the AES one.
DWORD provider_type(ALG_ID algorithm)
{
    return algorithm == CALG_SHA_256 ? PROV_RSA_AES : PROV_RSA_FULL;
}

bool hash_content(HashJob& job)
{
    if (CryptAcquireContextW(&job.provider, nullptr, nullptr, provider_type(job.algorithm), CRYPT_VERIFYCONTEXT) != 1) {
        job.provider = 0;
        fail(L"show_hash_info::CryptAcquireContext", GetLastError());
        return false;
    }
    if (CryptCreateHash(job.provider, job.algorithm, 0, 0, &job.hash) != 1) {
        job.hash = 0;
        fail(L"show_hash_info::CryptCreateHash", GetLastError());
        return false;
    }
    print_progress(job, L"Creating Hash Data...");
    if (CryptHashData(job.hash, job.content, job.size, 0) != 1) {
        fail(L"show_hash_info::CryptHashData", GetLastError());
        return false;
    }
    print_done(job);
    return true;
}

bool read_digest(HashJob& job)
{
    DWORD field_size = sizeof(job.digest_size);
    if (CryptGetHashParam(job.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&job.digest_size), &field_size, 0) != 1) {
        fail(L"show_hash_info::CryptGetHashParam", GetLastError());
        return false;
    }
    job.digest = static_cast<BYTE*>(VirtualAlloc(nullptr, job.digest_size, MEM_COMMIT, PAGE_READWRITE));
    if (job.digest == nullptr) {
        fail(L"show_hash_info::VirtualAlloc", GetLastError());
        return false;
    }
    DWORD digest_size = job.digest_size;
    if (CryptGetHashParam(job.hash, HP_HASHVAL, job.digest, &digest_size, 0) != 1) {
        fail(L"show_hash_info::CryptGetHashParam", GetLastError());
        return false;
    }
    job.digest_size = digest_size;
    return true;
}

void print_digest(const HashJob& job)
{
    if (job.progress && job.algorithm == CALG_MD5)
        ql_wprintf(L"File MD5: ");
    else if (job.progress && job.algorithm == CALG_SHA1)
        ql_wprintf(L"File SHA1: ");
    else if (job.progress && job.algorithm == CALG_SHA_256)
        ql_wprintf(L"File SHA256: ");

    wchar_t digest_text[TEXT_CHARS];
    clear_text_buffer(digest_text);
    // Two characters a byte; a digest longer than the text holds is cut, never overrun.
    for (DWORD index = 0; index < job.digest_size && 2 * (index + 1) < TEXT_CHARS; ++index) {
        wchar_t byte_text[4];
        memset(byte_text, 0, sizeof(byte_text));
        _snwprintf(byte_text, 3, L"%2.2x", job.digest[index]);
        wcscat(digest_text, byte_text);
    }
    set_text_color(1);
    ql_wprintf(L"%ls", digest_text);
    print_html_break();
    restore_text_color();
    if (job.progress)
        ql_wprintf(L"\n\n");
}

void clean_up(HashJob& job)
{
    if (job.content != nullptr)
        VirtualFree(job.content, 0, MEM_RELEASE);
    if (job.digest != nullptr)
        VirtualFree(job.digest, 0, MEM_RELEASE);
    if (job.hash != 0)
        CryptDestroyHash(job.hash);
    if (job.provider != 0)
        CryptReleaseContext(job.provider, 0);
    if (job.file != nullptr)
        CloseHandle(job.file);
}

} // namespace

void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress)
{
    HashJob job = {};
    job.algorithm = algorithm;
    job.path = path;
    job.progress = progress == 1;
    if (open_file(job) && read_size(job) && allocate_content(job) && read_content(job) && hash_content(job) &&
        read_digest(job))
        print_digest(job);
    clean_up(job);
}
