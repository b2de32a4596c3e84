#include "file_hash.h"

#include <string.h>
#include <wchar.h>

#include "digest_steps.h"
#include "hash_ahead.h"

namespace {

// Bytes read and hashed at a time, and the buffers they rotate through: while one piece is
// hashed the reads of the next two run. bench/hash_split.cpp times the choices; pieces of
// 64 KiB pay a read's fixed cost too often, and beyond 1 MiB nothing is gained but memory.
const int READ_BUFFERS = 3;

// One buffer and the read that fills it.
struct Piece {
    OVERLAPPED overlapped;
    BYTE* data;
    ULONGLONG offset;
    DWORD wanted;
    DWORD filled;
    bool reading;
};

// Everything one digest holds; all empty at the start so that the clean-up can release
// whatever was obtained on any path.
struct HashJob {
    ALG_ID algorithm;
    const wchar_t* path;
    bool progress;
    HANDLE file;
    ULONGLONG size;
    BYTE* content;
    DWORD piece_bytes;
    int buffer_count;
    Piece pieces[READ_BUFFERS];
    ULONGLONG issued;
    HCRYPTPROV provider;
    HCRYPTHASH hash;
    // The hash is set up before the reading and fed while it runs, but its failures are
    // reported where they belong in the printed sequence: after the reading.
    const wchar_t* setup_failure;
    DWORD setup_error;
    bool hash_failed;
    DWORD hash_error;
    DWORD digest_size;
    BYTE* digest;
    // Set when the digest is computed ahead: the steps are recorded there, never printed.
    DigestOutcome* outcome;
};

// A step as it happens: printed at once, or recorded for the printing thread.
void reach(HashJob& job, DigestStepKind kind, const wchar_t* context = nullptr, DWORD code = 0)
{
    if (job.outcome != nullptr) {
        record_step(*job.outcome, kind, context, code);
        return;
    }
    DigestStep step = {kind, context, code, false, 0};
    print_step(step, job.size, job.progress);
}

void fail(HashJob& job, const wchar_t* context, DWORD code)
{
    reach(job, DIGEST_FAILED, context, code);
}

bool open_file(HashJob& job)
{
    job.file = CreateFileW(job.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (job.file != INVALID_HANDLE_VALUE)
        return true;
    job.file = nullptr;
    fail(job, L"show_hash_info::CreateFile", GetLastError());
    return false;
}

bool read_size(HashJob& job)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(job.file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        fail(job, L"show_hash_info::GetFileSize", GetLastError());
        return false;
    }
    job.size = (static_cast<ULONGLONG>(high) << 32) | low;
    return true;
}

// The events of the reads; creating an event clears the last error, which the plain digest
// returns, so it is kept as it was.
bool create_events(HashJob& job)
{
    DWORD saved_error = GetLastError();
    for (int index = 0; index < job.buffer_count; ++index) {
        job.pieces[index].overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (job.pieces[index].overlapped.hEvent == nullptr) {
            fail(job, L"show_hash_info::CreateEvent", GetLastError());
            return false;
        }
    }
    SetLastError(saved_error);
    return true;
}

// One block for all buffers. An empty file asks for an empty block, which the platform
// refuses: that refusal is the empty file's notice.
bool allocate_content(HashJob& job)
{
    reach(job, DIGEST_ALLOCATING);
    job.piece_bytes = job.size < HASH_PIECE_BYTES ? static_cast<DWORD>(job.size) : HASH_PIECE_BYTES;
    ULONGLONG pieces = job.piece_bytes == 0 ? 0 : (job.size + job.piece_bytes - 1) / job.piece_bytes;
    job.buffer_count = pieces < READ_BUFFERS ? static_cast<int>(pieces) : READ_BUFFERS;
    job.content = static_cast<BYTE*>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(job.piece_bytes) * job.buffer_count, MEM_COMMIT, PAGE_READWRITE));
    if (job.content == nullptr) {
        fail(job, L"show_hash_info::VrtualAlloc", GetLastError());
        return false;
    }
    for (int index = 0; index < job.buffer_count; ++index)
        job.pieces[index].data = job.content + static_cast<SIZE_T>(job.piece_bytes) * index;
    if (!create_events(job))
        return false;
    reach(job, DIGEST_DONE);
    return true;
}

// The basic RSA provider type knows MD5 and SHA-1 only; SHA-256 needs the AES one.
DWORD provider_type(ALG_ID algorithm)
{
    return algorithm == CALG_SHA_256 ? PROV_RSA_AES : PROV_RSA_FULL;
}

// The one place that asks the platform for a hash of the algorithm.
void set_up_hash(HashJob& job)
{
    if (CryptAcquireContextW(&job.provider, nullptr, nullptr, provider_type(job.algorithm), CRYPT_VERIFYCONTEXT) != 1) {
        job.provider = 0;
        job.setup_failure = L"show_hash_info::CryptAcquireContext";
        job.setup_error = GetLastError();
        return;
    }
    if (CryptCreateHash(job.provider, job.algorithm, 0, 0, &job.hash) != 1) {
        job.hash = 0;
        job.setup_failure = L"show_hash_info::CryptCreateHash";
        job.setup_error = GetLastError();
    }
}

// Starts the read of what the piece still lacks. A read that is merely under way leaves
// ERROR_IO_PENDING behind, which must not become the plain digest's exit code.
bool start_read(HashJob& job, Piece& piece)
{
    DWORD saved_error = GetLastError();
    ULONGLONG offset = piece.offset + piece.filled;
    piece.overlapped.Offset = static_cast<DWORD>(offset);
    piece.overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    piece.reading = true;
    if (ReadFile(job.file, piece.data + piece.filled, piece.wanted - piece.filled, nullptr, &piece.overlapped) != 1 &&
        GetLastError() != ERROR_IO_PENDING) {
        piece.reading = false;
        fail(job, L"show_hash_info::ReadFile", GetLastError());
        return false;
    }
    SetLastError(saved_error);
    return true;
}

// Gives the piece the next part of the file, if any is left.
bool start_next_piece(HashJob& job, Piece& piece)
{
    if (job.issued == job.size)
        return true;
    ULONGLONG left = job.size - job.issued;
    piece.offset = job.issued;
    piece.wanted = left < job.piece_bytes ? static_cast<DWORD>(left) : job.piece_bytes;
    piece.filled = 0;
    job.issued += piece.wanted;
    return start_read(job, piece);
}

// Waits until the piece is full. The file is shared for reading only, so it cannot shrink
// while it is read; should it end early all the same, that is reported, never hashed.
bool collect_piece(HashJob& job, Piece& piece)
{
    while (piece.filled < piece.wanted) {
        DWORD saved_error = GetLastError();
        DWORD read = 0;
        BOOL finished = GetOverlappedResult(job.file, &piece.overlapped, &read, TRUE);
        piece.reading = false;
        if (finished != 1) {
            fail(job, L"show_hash_info::ReadFile", GetLastError());
            return false;
        }
        if (read == 0) {
            fail(job, L"show_hash_info::ReadFile", ERROR_HANDLE_EOF);
            return false;
        }
        SetLastError(saved_error);
        piece.filled += read;
        if (piece.filled < piece.wanted && !start_read(job, piece))
            return false;
    }
    return true;
}

void hash_piece(HashJob& job, const Piece& piece)
{
    if (job.hash == 0 || job.hash_failed)
        return;
    if (CryptHashData(job.hash, piece.data, piece.wanted, 0) != 1) {
        job.hash_failed = true;
        job.hash_error = GetLastError();
    }
}

// Reads the whole file piece by piece in order, hashing each piece while the following ones
// are read. A hash that cannot be fed does not stop the reading: a read failure is reported
// first, as it comes first.
bool read_and_hash(HashJob& job)
{
    reach(job, DIGEST_READING);
    for (int index = 0; index < job.buffer_count; ++index)
        if (!start_next_piece(job, job.pieces[index]))
            return false;
    ULONGLONG collected = 0;
    for (int index = 0; collected < job.size; index = (index + 1) % job.buffer_count) {
        Piece& piece = job.pieces[index];
        if (!collect_piece(job, piece))
            return false;
        hash_piece(job, piece);
        collected += piece.wanted;
        if (!start_next_piece(job, piece))
            return false;
    }
    reach(job, DIGEST_DONE);
    return true;
}

bool report_hashing(HashJob& job)
{
    if (job.setup_failure != nullptr) {
        fail(job, job.setup_failure, job.setup_error);
        return false;
    }
    reach(job, DIGEST_HASHING);
    if (job.hash_failed) {
        fail(job, L"show_hash_info::CryptHashData", job.hash_error);
        return false;
    }
    reach(job, DIGEST_DONE);
    return true;
}

bool read_digest(HashJob& job)
{
    DWORD field_size = sizeof(job.digest_size);
    if (CryptGetHashParam(job.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&job.digest_size), &field_size, 0) != 1) {
        fail(job, L"show_hash_info::CryptGetHashParam", GetLastError());
        return false;
    }
    job.digest = static_cast<BYTE*>(VirtualAlloc(nullptr, job.digest_size, MEM_COMMIT, PAGE_READWRITE));
    if (job.digest == nullptr) {
        fail(job, L"show_hash_info::VirtualAlloc", GetLastError());
        return false;
    }
    DWORD digest_size = job.digest_size;
    if (CryptGetHashParam(job.hash, HP_HASHVAL, job.digest, &digest_size, 0) != 1) {
        fail(job, L"show_hash_info::CryptGetHashParam", GetLastError());
        return false;
    }
    job.digest_size = digest_size;
    return true;
}

// Reads still under way after a failure write into the buffers: they are cancelled and
// waited for before the buffers go, without disturbing the last error.
void stop_reads(HashJob& job)
{
    DWORD saved_error = GetLastError();
    bool cancelled = false;
    for (int index = 0; index < job.buffer_count; ++index) {
        Piece& piece = job.pieces[index];
        if (!piece.reading)
            continue;
        if (!cancelled)
            CancelIo(job.file);
        cancelled = true;
        DWORD read = 0;
        GetOverlappedResult(job.file, &piece.overlapped, &read, TRUE);
        piece.reading = false;
    }
    SetLastError(saved_error);
}

void clean_up(HashJob& job)
{
    stop_reads(job);
    for (int index = 0; index < job.buffer_count; ++index)
        if (job.pieces[index].overlapped.hEvent != nullptr)
            CloseHandle(job.pieces[index].overlapped.hEvent);
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

bool compute_digest(HashJob& job)
{
    if (!(open_file(job) && read_size(job) && allocate_content(job)))
        return false;
    set_up_hash(job);
    return read_and_hash(job) && report_hashing(job) && read_digest(job);
}

void keep_digest(const HashJob& job, DigestOutcome& outcome)
{
    outcome.digest_size = job.digest_size < DIGEST_BYTES ? job.digest_size : DIGEST_BYTES;
    memcpy(outcome.digest, job.digest, outcome.digest_size);
    record_step(outcome, DIGEST_COMPUTED, nullptr, 0);
}

} // namespace

void compute_digest_outcome(ALG_ID algorithm, const wchar_t* path, DigestOutcome& outcome)
{
    outcome = DigestOutcome();
    SetLastError(ERROR_UNTOUCHED);
    HashJob job = {};
    job.algorithm = algorithm;
    job.path = path;
    job.outcome = &outcome;
    bool computed = compute_digest(job);
    outcome.size = job.size;
    if (computed)
        keep_digest(job, outcome);
    clean_up(job);
    record_error(outcome.end_sets_error, outcome.end_error);
}

void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress)
{
    const DigestOutcome* ready = digest_computed_ahead(algorithm, path);
    if (ready != nullptr) {
        replay_outcome(algorithm, *ready, progress == 1, nullptr);
        return;
    }
    HashJob job = {};
    job.algorithm = algorithm;
    job.path = path;
    job.progress = progress == 1;
    if (compute_digest(job))
        print_digest(algorithm, job.progress, job.digest, job.digest_size);
    clean_up(job);
}

bool file_digest_text(ALG_ID algorithm, const wchar_t* path, wchar_t* digest_text)
{
    const DigestOutcome* ready = digest_computed_ahead(algorithm, path);
    if (ready != nullptr)
        return replay_outcome(algorithm, *ready, false, digest_text);
    HashJob job = {};
    job.algorithm = algorithm;
    job.path = path;
    bool computed = compute_digest(job);
    if (computed)
        format_digest(job.digest, job.digest_size, digest_text);
    clean_up(job);
    return computed;
}
