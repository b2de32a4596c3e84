#include "digest_report.h"

#include "file_hash.h"
#include "image_hash.h"
#include "report_guard.h"
#include "report_output.h"
#include "text_color.h"
#include "text_helpers.h"

namespace {

// The routine that a digest's notices name.
const wchar_t* digest_routine(const DigestKind& digest)
{
    if (digest.source == SIGNED_IMAGE)
        return L"show_image_hash";
    return digest.source == IMPORT_NAMES ? L"show_import_hash" : L"show_hash_info";
}

void print_value(const DigestKind& digest, const wchar_t* value, int progress)
{
    if (progress == 1)
        ql_wprintf(L"File %ls: ", digest.label);
    set_text_color(1);
    ql_wprintf(L"%ls", value);
    print_html_break();
    restore_text_color();
    if (progress == 1)
        ql_wprintf(L"\n\n");
}

} // namespace

void show_digest(const DigestKind& digest, const wchar_t* path, int progress)
{
    run_report_step(digest_routine(digest), [&]() {
        if (digest.source == WHOLE_FILE) {
            show_hash_info(digest.algorithm, path, progress);
            return;
        }
        wchar_t text[TEXT_CHARS];
        if (compute_pe_digest(digest, path, text) != PE_DIGEST_FAILED)
            print_value(digest, text, progress);
    });
}

void digest_cell_text(const DigestKind& digest, const wchar_t* path, wchar_t* text)
{
    clear_text_buffer(text);
    bool finished = run_report_step(digest_routine(digest), [&]() {
        if (digest.source == WHOLE_FILE) {
            file_digest_text(digest.algorithm, path, text);
            return;
        }
        if (compute_pe_digest(digest, path, text) != PE_DIGEST_DONE)
            clear_text_buffer(text);
    });
    if (!finished)
        clear_text_buffer(text);
}
