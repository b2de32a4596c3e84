// The steps of computing one digest as the report shows them: printed as they happen, or
// recorded on a worker thread and printed later exactly as they would have been.
#pragma once

#include <windows.h>

#include <wincrypt.h>

// What computing one digest met, step by step, so that one thread can compute it and another
// print it exactly as show_hash_info prints as it goes: the same lines, the same notices, and
// the same last error afterwards.
enum DigestStepKind { DIGEST_ALLOCATING, DIGEST_READING, DIGEST_HASHING, DIGEST_DONE, DIGEST_FAILED, DIGEST_COMPUTED };

struct DigestStep {
    DigestStepKind kind;
    const wchar_t* context; // DIGEST_FAILED: the notice's context text (a literal) and code
    DWORD code;
    // What the work since the step before did to the last error: set it to error, or nothing.
    bool sets_error;
    DWORD error;
};

// No system call sets a code with bit 29, the mark of application-defined codes: work that
// finds this value still there afterwards left the last error as it was.
const DWORD ERROR_UNTOUCHED = 0x2051AC0D;

// More than a digest ever takes: three progress steps with their "done!" and the digest.
const int DIGEST_STEPS = 8;
const DWORD DIGEST_BYTES = 64;

struct DigestOutcome {
    ULONGLONG size;
    int step_count;
    DigestStep steps[DIGEST_STEPS];
    BYTE digest[DIGEST_BYTES];
    DWORD digest_size;
    // What the clean-up after the last step did to the last error.
    bool end_sets_error;
    DWORD end_error;
};

// A step as it happens on the printing thread; progress false prints the failures alone.
void print_step(const DigestStep& step, ULONGLONG size, bool progress);

// A step as it happens on a worker: recorded with what the work before it did to the last
// error, which is then ERROR_UNTOUCHED again for the work after it.
void record_step(DigestOutcome& outcome, DigestStepKind kind, const wchar_t* context, DWORD code);
void record_error(bool& sets_error, DWORD& error);

// The digest as lower-case hex into digest_text (TEXT_CHARS).
void format_digest(const BYTE* digest, DWORD digest_size, wchar_t* digest_text);

// The label (progress only), the digest in blue, and the closing empty line (progress only).
void print_digest(ALG_ID algorithm, bool progress, const BYTE* digest, DWORD digest_size);

// Prints what the outcome recorded as show_hash_info prints it as it goes (digest_text null),
// or fills digest_text as file_digest_text does; the last error takes the same course. The
// answer: the digest was computed.
bool replay_outcome(ALG_ID algorithm, const DigestOutcome& outcome, bool progress, wchar_t* digest_text);
