#include "digest_steps.h"

#include <string.h>
#include <wchar.h>

#include "digest_kinds.h"
#include "failure_notice.h"
#include "report_output.h"
#include "text_color.h"
#include "text_helpers.h"

namespace {

// Sizes below 4 GiB - 1 show as they always have, the low 32 bits as a signed number; the
// larger ones, which used to be refused, show their whole size.
void print_allocating(ULONGLONG size)
{
    if (size < INVALID_FILE_SIZE)
        ql_wprintf(L"Allocating Memory (%d) Bytes...", static_cast<int>(static_cast<DWORD>(size)));
    else
        ql_wprintf(L"Allocating Memory (%I64u) Bytes...", size);
}

} // namespace

void print_step(const DigestStep& step, ULONGLONG size, bool progress)
{
    if (step.kind == DIGEST_FAILED) {
        print_failure(step.code, step.context);
        print_html_break();
        return;
    }
    if (!progress)
        return;
    if (step.kind == DIGEST_ALLOCATING)
        print_allocating(size);
    else if (step.kind == DIGEST_READING)
        ql_wprintf(L"Reading File Content...");
    else if (step.kind == DIGEST_HASHING)
        ql_wprintf(L"Creating Hash Data...");
    if (step.kind != DIGEST_DONE)
        return;
    ql_wprintf(L"done!\n");
    print_html_break();
}

void record_error(bool& sets_error, DWORD& error)
{
    error = GetLastError();
    sets_error = error != ERROR_UNTOUCHED;
    SetLastError(ERROR_UNTOUCHED);
}

void record_step(DigestOutcome& outcome, DigestStepKind kind, const wchar_t* context, DWORD code)
{
    DigestStep& step = outcome.steps[outcome.step_count];
    if (outcome.step_count + 1 < DIGEST_STEPS)
        ++outcome.step_count;
    step.kind = kind;
    step.context = context;
    step.code = code;
    record_error(step.sets_error, step.error);
}

void format_digest(const BYTE* digest, DWORD digest_size, wchar_t* digest_text)
{
    clear_text_buffer(digest_text);
    // Two characters a byte; a digest longer than the text holds is cut, never overrun.
    for (DWORD index = 0; index < digest_size && 2 * (index + 1) < TEXT_CHARS; ++index) {
        wchar_t byte_text[4];
        memset(byte_text, 0, sizeof(byte_text));
        _snwprintf(byte_text, 3, L"%2.2x", digest[index]);
        wcscat(digest_text, byte_text);
    }
}

void print_digest(ALG_ID algorithm, bool progress, const BYTE* digest, DWORD digest_size)
{
    if (progress && digest_name(algorithm)[0] != L'\0')
        ql_wprintf(L"File %ls: ", digest_name(algorithm));

    wchar_t digest_text[TEXT_CHARS];
    format_digest(digest, digest_size, digest_text);
    set_text_color(1);
    ql_wprintf(L"%ls", digest_text);
    print_html_break();
    restore_text_color();
    if (progress)
        ql_wprintf(L"\n\n");
}

namespace {

void repeat_error(bool sets_error, DWORD error)
{
    if (sets_error)
        SetLastError(error);
}

} // namespace

bool replay_outcome(ALG_ID algorithm, const DigestOutcome& outcome, bool progress, wchar_t* digest_text)
{
    bool computed = false;
    for (int index = 0; index < outcome.step_count; ++index) {
        const DigestStep& step = outcome.steps[index];
        repeat_error(step.sets_error, step.error);
        if (step.kind != DIGEST_COMPUTED) {
            print_step(step, outcome.size, progress);
            continue;
        }
        computed = true;
        if (digest_text != nullptr)
            format_digest(outcome.digest, outcome.digest_size, digest_text);
        else
            print_digest(algorithm, progress, outcome.digest, outcome.digest_size);
    }
    repeat_error(outcome.end_sets_error, outcome.end_error);
    return computed;
}
