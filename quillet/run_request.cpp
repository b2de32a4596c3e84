#include "run_request.h"

#include <wchar.h>

#include "extended_info.h"
#include "report_output.h"
#include "text_helpers.h"

namespace {

bool is_word(int index, const wchar_t* option)
{
    return _wcsicmp(stored_words[index], option) == 0;
}

bool is_compare_word(int index)
{
    return is_word(index, L"-compare") || is_word(index, L"-cmp");
}

// The first compare word from word first on; a directory run's word 2 is always its pattern.
int find_compare_word(int first)
{
    for (int index = first; index < stored_word_count; ++index) {
        if (is_compare_word(index))
            return index;
    }
    return -1;
}

// Any word but the compare word's value, as a directory run searches its options.
bool has_word(const RunRequest& request, const wchar_t* option)
{
    for (int index = 0; index < stored_word_count; ++index) {
        if (index != request.compare + 1 && is_word(index, option))
            return true;
    }
    return false;
}

// The words of a multiple-file run that are never paths, wherever they stand.
bool is_run_word(const RunRequest& request, int index)
{
    return index == request.compare || (request.compare != -1 && index == request.compare + 1) ||
           is_word(index, L"-csv") || is_word(index, L"-json") || is_word(index, L"-unsigned") ||
           is_extended_word(stored_words[index]);
}

void read_directory_words(RunRequest& request)
{
    request.compare = find_compare_word(3);
    request.has_pattern = stored_word_count > 2;
    if (request.has_pattern)
        request.pattern = stored_words[2];
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (has_word(request, digest.word))
            request.digests.push_back(&digest);
    }
    request.recurse = has_word(request, L"-s") || has_word(request, L"-recurse");
    request.pe_only = has_word(request, L"-pe");
    request.unsigned_only = has_word(request, L"-unsigned");
    request.extended = has_word(request, L"-extended") || has_word(request, L"-x");
    request.html = !request.csv && has_word(request, L"-html");
}

// Only the last other word can ask for a digest; the paths end at the first digest word.
void read_listed_words(RunRequest& request)
{
    request.compare = find_compare_word(2);
    request.digests_first = true;
    int last_other = -1;
    bool paths_ended = false;
    for (int index = 2; index < stored_word_count; ++index) {
        request.unsigned_only = request.unsigned_only || is_word(index, L"-unsigned");
        request.extended = request.extended || (index != request.compare + 1 && is_extended_word(stored_words[index]));
        if (is_run_word(request, index))
            continue;
        last_other = index;
        paths_ended = paths_ended || digest_word(stored_words[index]) != nullptr;
        if (!paths_ended)
            request.paths.push_back(stored_words[index]);
    }
    request.has_other_word = last_other != -1;
    const DigestKind* digest = last_other == -1 ? nullptr : digest_word(stored_words[last_other]);
    if (digest != nullptr)
        request.digests.push_back(digest);
}

} // namespace

void read_run_request(RunKind kind, RunRequest& request)
{
    request = RunRequest();
    request.kind = kind;
    request.csv = csv_mode;
    request.json = json_mode;
    if (kind == DIRECTORY_RUN)
        read_directory_words(request);
    else
        read_listed_words(request);
    request.has_baseline = request.compare != -1 && request.compare + 1 < stored_word_count;
    if (request.has_baseline)
        request.baseline = stored_words[request.compare + 1];
}
