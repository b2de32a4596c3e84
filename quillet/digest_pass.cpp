#include "digest_pass.h"

#include <string.h>

#include "file_hash.h"

namespace {

// The buffer: one piece of the file, then room for the digests read out of the hashes.
const SIZE_T SCRATCH_BYTES = HASH_PIECE_BYTES + MOST_PASS_DIGESTS * DIGEST_BYTES;

struct PassDigest {
    ALG_ID algorithm;
    DigestOutcome* outcome;
    HCRYPTHASH hash;
    // As in show_hash_info: the hash is set up before the reading, and a failure of it or of
    // feeding it is reported after the reading.
    const wchar_t* setup_failure;
    DWORD setup_error;
    bool hash_failed;
    DWORD hash_error;
};

struct Pass {
    PassDigest digests[MOST_PASS_DIGESTS];
    int count;
    const wchar_t* path;
    HANDLE file;
    ULONGLONG size;
    DigestScratch* scratch;
};

// A step that every digest of the pass meets at the same point, with the same effect on the
// last error: recorded for the first, then repeated for the others.
void record_shared(Pass& pass, DigestStepKind kind, const wchar_t* context = nullptr, DWORD code = 0)
{
    DigestOutcome& first = *pass.digests[0].outcome;
    record_step(first, kind, context, code);
    const DigestStep& step = first.steps[first.step_count - 1];
    for (int index = 1; index < pass.count; ++index) {
        SetLastError(step.sets_error ? step.error : ERROR_UNTOUCHED);
        record_step(*pass.digests[index].outcome, kind, context, code);
    }
}

// The same open and size as show_hash_info's, without the overlapped flag: this thread reads
// and hashes in turn, while the other threads and the report run beside it.
bool open_file(Pass& pass)
{
    pass.file = CreateFileW(pass.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (pass.file == INVALID_HANDLE_VALUE) {
        pass.file = nullptr;
        record_shared(pass, DIGEST_FAILED, L"show_hash_info::CreateFile", GetLastError());
        return false;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(pass.file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        record_shared(pass, DIGEST_FAILED, L"show_hash_info::GetFileSize", GetLastError());
        return false;
    }
    pass.size = (static_cast<ULONGLONG>(high) << 32) | low;
    return true;
}

// The thread's buffer, committed at its first file. An empty file still asks the platform for
// an empty block, whose refusal is that file's notice, as in show_hash_info.
bool take_buffer(Pass& pass)
{
    record_shared(pass, DIGEST_ALLOCATING);
    if (pass.size == 0) {
        VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE);
        record_shared(pass, DIGEST_FAILED, L"show_hash_info::VrtualAlloc", GetLastError());
        return false;
    }
    DigestScratch& scratch = *pass.scratch;
    if (scratch.buffer == nullptr)
        scratch.buffer = static_cast<BYTE*>(VirtualAlloc(nullptr, SCRATCH_BYTES, MEM_COMMIT, PAGE_READWRITE));
    if (scratch.buffer == nullptr) {
        record_shared(pass, DIGEST_FAILED, L"show_hash_info::VrtualAlloc", GetLastError());
        return false;
    }
    record_shared(pass, DIGEST_DONE);
    return true;
}

// The thread's context for the algorithm's provider type. One that is kept leaves the last
// error as acquiring it does (ERROR_SUCCESS), so that the recorded course stays show_hash_info's;
// a type whose context cannot be acquired is asked again at the next file.
HCRYPTPROV provider_for(DigestScratch& scratch, ALG_ID algorithm)
{
    DWORD type = hash_provider_type(algorithm);
    HCRYPTPROV& kept = type == PROV_RSA_AES ? scratch.aes_provider : scratch.full_provider;
    if (kept != 0) {
        SetLastError(NO_ERROR);
        return kept;
    }
    if (CryptAcquireContextW(&kept, nullptr, nullptr, type, CRYPT_VERIFYCONTEXT) != 1)
        kept = 0;
    return kept;
}

// Each digest's set-up, and its start of the reading with what the set-up did to the last error.
void set_up_hashes(Pass& pass)
{
    for (int index = 0; index < pass.count; ++index) {
        PassDigest& digest = pass.digests[index];
        HCRYPTPROV provider = provider_for(*pass.scratch, digest.algorithm);
        if (provider == 0) {
            digest.setup_failure = L"show_hash_info::CryptAcquireContext";
            digest.setup_error = GetLastError();
        } else if (CryptCreateHash(provider, digest.algorithm, 0, 0, &digest.hash) != 1) {
            digest.hash = 0;
            digest.setup_failure = L"show_hash_info::CryptCreateHash";
            digest.setup_error = GetLastError();
        }
        record_step(*digest.outcome, DIGEST_READING, nullptr, 0);
    }
}

// Feeds the piece to every digest that can take it; a failure stays that digest's own, and the
// last error it left is what that digest's course would show next.
void hash_piece(Pass& pass, DWORD bytes)
{
    for (int index = 0; index < pass.count; ++index) {
        PassDigest& digest = pass.digests[index];
        if (digest.hash == 0 || digest.hash_failed)
            continue;
        if (CryptHashData(digest.hash, pass.scratch->buffer, bytes, 0) != 1) {
            digest.hash_failed = true;
            digest.hash_error = GetLastError();
        }
        SetLastError(ERROR_UNTOUCHED);
    }
}

// One read of the whole file in order. The file is shared for reading only, so it cannot
// shrink while it is read; should it end early all the same, that is reported, never hashed.
bool read_and_hash(Pass& pass)
{
    for (ULONGLONG done = 0; done < pass.size;) {
        ULONGLONG left = pass.size - done;
        DWORD wanted = left < HASH_PIECE_BYTES ? static_cast<DWORD>(left) : HASH_PIECE_BYTES;
        DWORD read = 0;
        if (ReadFile(pass.file, pass.scratch->buffer, wanted, &read, nullptr) != 1) {
            record_shared(pass, DIGEST_FAILED, L"show_hash_info::ReadFile", GetLastError());
            return false;
        }
        if (read == 0) {
            record_shared(pass, DIGEST_FAILED, L"show_hash_info::ReadFile", ERROR_HANDLE_EOF);
            return false;
        }
        hash_piece(pass, read);
        done += read;
    }
    for (int index = 0; index < pass.count; ++index) {
        const PassDigest& digest = pass.digests[index];
        SetLastError(digest.hash_failed ? digest.hash_error : ERROR_UNTOUCHED);
        record_step(*digest.outcome, DIGEST_DONE, nullptr, 0);
    }
    return true;
}

// The rest of one digest as show_hash_info reports it: its hashing, then reading the digest out.
void finish_digest(PassDigest& digest, BYTE* room)
{
    DigestOutcome& outcome = *digest.outcome;
    if (digest.setup_failure != nullptr) {
        record_step(outcome, DIGEST_FAILED, digest.setup_failure, digest.setup_error);
        return;
    }
    record_step(outcome, DIGEST_HASHING, nullptr, 0);
    if (digest.hash_failed) {
        record_step(outcome, DIGEST_FAILED, L"show_hash_info::CryptHashData", digest.hash_error);
        return;
    }
    record_step(outcome, DIGEST_DONE, nullptr, 0);
    DWORD digest_size = 0;
    DWORD field_size = sizeof(digest_size);
    if (CryptGetHashParam(digest.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&digest_size), &field_size, 0) != 1) {
        record_step(outcome, DIGEST_FAILED, L"show_hash_info::CryptGetHashParam", GetLastError());
        return;
    }
    DWORD filled = digest_size < DIGEST_BYTES ? digest_size : DIGEST_BYTES;
    if (CryptGetHashParam(digest.hash, HP_HASHVAL, room, &filled, 0) != 1) {
        record_step(outcome, DIGEST_FAILED, L"show_hash_info::CryptGetHashParam", GetLastError());
        return;
    }
    outcome.digest_size = filled;
    memcpy(outcome.digest, room, filled);
    record_step(outcome, DIGEST_COMPUTED, nullptr, 0);
}

void clean_up(Pass& pass)
{
    for (int index = 0; index < pass.count; ++index) {
        pass.digests[index].outcome->size = pass.size;
        if (pass.digests[index].hash != 0)
            CryptDestroyHash(pass.digests[index].hash);
    }
    if (pass.file != nullptr)
        CloseHandle(pass.file);
    DigestOutcome& first = *pass.digests[0].outcome;
    record_error(first.end_sets_error, first.end_error);
    for (int index = 1; index < pass.count; ++index) {
        pass.digests[index].outcome->end_sets_error = first.end_sets_error;
        pass.digests[index].outcome->end_error = first.end_error;
    }
}

} // namespace

void compute_digest_outcomes(const ALG_ID* algorithms, DigestOutcome* outcomes, int count, const wchar_t* path,
                             DigestScratch& scratch)
{
    if (count < 1)
        return;
    Pass pass = {};
    pass.count = count < MOST_PASS_DIGESTS ? count : MOST_PASS_DIGESTS;
    pass.path = path;
    pass.scratch = &scratch;
    for (int index = 0; index < pass.count; ++index) {
        outcomes[index] = DigestOutcome();
        pass.digests[index].algorithm = algorithms[index];
        pass.digests[index].outcome = &outcomes[index];
    }
    SetLastError(ERROR_UNTOUCHED);
    if (open_file(pass) && take_buffer(pass)) {
        set_up_hashes(pass);
        if (read_and_hash(pass)) {
            for (int index = 0; index < pass.count; ++index)
                finish_digest(pass.digests[index], scratch.buffer + HASH_PIECE_BYTES + index * DIGEST_BYTES);
        }
    }
    clean_up(pass);
}

void release_digest_scratch(DigestScratch& scratch)
{
    if (scratch.buffer != nullptr)
        VirtualFree(scratch.buffer, 0, MEM_RELEASE);
    if (scratch.full_provider != 0)
        CryptReleaseContext(scratch.full_provider, 0);
    if (scratch.aes_provider != 0)
        CryptReleaseContext(scratch.aes_provider, 0);
    scratch = DigestScratch();
}
