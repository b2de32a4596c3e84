#include "compare_match.h"

#include <stdio.h>

#include <unordered_map>
#include <unordered_set>

namespace {

const size_t NO_MATCH = static_cast<size_t>(-1);

// What became of each file of both sides.
struct Matching {
    std::vector<size_t> baseline_of;
    std::vector<size_t> current_of;
};

void add_difference(Comparison& comparison, CompareStatus status, const std::wstring& path,
                    const std::wstring& old_path = L"", const std::wstring& column = L"",
                    const std::wstring& old_value = L"", const std::wstring& new_value = L"",
                    const std::wstring& translation = L"")
{
    Difference difference = {status, path, old_path, column, old_value, new_value, translation};
    comparison.differences.push_back(std::move(difference));
}

const ComparedTranslation* find_translation(const ComparedFile& file, const ComparedTranslation& wanted)
{
    for (const ComparedTranslation& translation : file.translations) {
        if (translation.language == wanted.language && translation.code_page == wanted.code_page)
            return &translation;
    }
    return nullptr;
}

struct FilePair {
    const ComparedFile& old_file;
    const ComparedFile& new_file;
    // Empty unless the file moved.
    const std::wstring& old_path;
};

void add_changed(Comparison& comparison, const FilePair& pair, const std::wstring& column,
                 const std::wstring& old_value, const std::wstring& new_value, const std::wstring& translation = L"")
{
    if (old_value != new_value)
        add_difference(comparison, STATUS_CHANGED, pair.new_file.path, pair.old_path, column, old_value, new_value,
                       translation);
}

void compare_translations(Comparison& comparison, const FilePair& pair)
{
    bool named = pair.old_file.translations.size() > 1 || pair.new_file.translations.size() > 1;
    for (const ComparedTranslation& now : pair.new_file.translations) {
        const ComparedTranslation* then = find_translation(pair.old_file, now);
        std::wstring name = translation_name(now);
        if (then == nullptr) {
            add_changed(comparison, pair, L"Translation", L"", name);
            continue;
        }
        for (int index = 0; index < VERSION_STRING_COUNT; ++index)
            add_changed(comparison, pair,
                        named ? name + L" " + VERSION_STRING_NAMES[index] : VERSION_STRING_NAMES[index],
                        then->values[index], now.values[index], name);
    }
    for (const ComparedTranslation& then : pair.old_file.translations) {
        if (find_translation(pair.new_file, then) == nullptr)
            add_changed(comparison, pair, L"Translation", translation_name(then), L"");
    }
}

// The differences of a file present on both sides; false when there are none.
bool compare_file(Comparison& comparison, const ComparedSide& baseline, const ComparedSide& current,
                  const FilePair& pair)
{
    size_t before = comparison.differences.size();
    compare_translations(comparison, pair);
    add_changed(comparison, pair, L"Size", pair.old_file.size, pair.new_file.size);
    for (size_t index = 0; index < DIGEST_KIND_COUNT; ++index) {
        if (digest_compared(baseline, current, index))
            add_changed(comparison, pair, DIGEST_KINDS[index].name, pair.old_file.digests[index],
                        pair.new_file.digests[index]);
    }
    if (signature_compared(baseline, current))
        add_changed(comparison, pair, L"Signature", pair.old_file.signature, pair.new_file.signature);
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index) {
        if (extended_compared(baseline, current, index))
            add_changed(comparison, pair, EXTENDED_COLUMN_NAMES[index], pair.old_file.extended[index],
                        pair.new_file.extended[index]);
    }
    add_changed(comparison, pair, L"Error", pair.old_file.error, pair.new_file.error);
    return comparison.differences.size() > before;
}

bool under_unlisted_folder(const std::wstring& key, const std::unordered_set<std::wstring>& unlisted)
{
    for (size_t separator = key.find(L'\\'); separator != std::wstring::npos;
         separator = key.find(L'\\', separator + 1)) {
        if (unlisted.count(key.substr(0, separator)) != 0)
            return true;
    }
    return false;
}

// A file is a move candidate on each side that is left over, readable, and has a size and
// the digest.
std::wstring move_key(const ComparedFile& file, size_t digest)
{
    if (file.unreadable || file.size.empty() || file.digests[digest].empty())
        return L"";
    return file.size + L"\n" + file.digests[digest];
}

// One value that names exactly one file of this side, or none (NO_MATCH).
struct MoveIndex {
    std::unordered_map<std::wstring, size_t> single;
};

void index_candidate(MoveIndex& index, const std::wstring& key, size_t file)
{
    if (key.empty())
        return;
    auto entry = index.single.emplace(key, file);
    if (!entry.second)
        entry.first->second = NO_MATCH;
}

// A removed and an added file with the same size and the same digest, when that digest names
// exactly one of each.
void find_moves(const ComparedSide& baseline, const ComparedSide& current, Matching& matching,
                const std::vector<bool>& left_out)
{
    for (size_t digest = 0; digest < DIGEST_KIND_COUNT; ++digest) {
        // Only a digest of the whole file names its content: an import hash is shared by
        // every build of a program family.
        if (DIGEST_KINDS[digest].source != WHOLE_FILE || !digest_compared(baseline, current, digest))
            continue;
        MoveIndex removed, added;
        for (size_t file = 0; file < baseline.files.size(); ++file) {
            if (matching.current_of[file] == NO_MATCH && !left_out[file])
                index_candidate(removed, move_key(baseline.files[file], digest), file);
        }
        for (size_t file = 0; file < current.files.size(); ++file) {
            if (matching.baseline_of[file] == NO_MATCH)
                index_candidate(added, move_key(current.files[file], digest), file);
        }
        for (const auto& entry : added.single) {
            auto old = removed.single.find(entry.first);
            if (entry.second == NO_MATCH || old == removed.single.end() || old->second == NO_MATCH)
                continue;
            matching.baseline_of[entry.second] = old->second;
            matching.current_of[old->second] = entry.second;
        }
    }
}

void report_current_file(Comparison& comparison, const ComparedSide& baseline, const ComparedSide& current,
                         size_t index, size_t matched)
{
    const ComparedFile& file = current.files[index];
    if (file.unreadable) {
        add_difference(comparison, STATUS_UNREADABLE, file.path, L"", L"Error",
                       matched == NO_MATCH ? L"" : baseline.files[matched].error, file.error);
        ++comparison.counts[STATUS_UNREADABLE];
        return;
    }
    if (matched == NO_MATCH) {
        add_difference(comparison, STATUS_ADDED, file.path);
        ++comparison.counts[STATUS_ADDED];
        return;
    }
    const ComparedFile& old_file = baseline.files[matched];
    bool moved = matching_key(old_file.path) != matching_key(file.path);
    if (moved)
        add_difference(comparison, STATUS_MOVED, file.path, old_file.path);
    static const std::wstring same_path;
    FilePair pair = {old_file, file, moved ? old_file.path : same_path};
    bool changed = compare_file(comparison, baseline, current, pair);
    ++comparison.counts[moved ? STATUS_MOVED : (changed ? STATUS_CHANGED : STATUS_UNCHANGED)];
}

} // namespace

bool digest_compared(const ComparedSide& baseline, const ComparedSide& current, size_t index)
{
    return baseline.columns.digests[index] >= 0 && current.columns.digests[index] >= 0;
}

bool signature_compared(const ComparedSide& baseline, const ComparedSide& current)
{
    return baseline.columns.signature >= 0 && current.columns.signature >= 0;
}

bool extended_compared(const ComparedSide& baseline, const ComparedSide& current, int index)
{
    return baseline.columns.extended[index] >= 0 && current.columns.extended[index] >= 0;
}

std::wstring translation_name(const ComparedTranslation& translation)
{
    wchar_t name[24];
    _snwprintf(name, 24, L"%04lX/%04lX", translation.language, translation.code_page);
    name[23] = L'\0';
    return name;
}

void compare_sides(const ComparedSide& baseline, const ComparedSide& current, Comparison& comparison)
{
    comparison = Comparison();
    Matching matching = {std::vector<size_t>(current.files.size(), NO_MATCH),
                         std::vector<size_t>(baseline.files.size(), NO_MATCH)};
    std::unordered_set<std::wstring> unlisted;
    for (size_t index = 0; index < current.files.size(); ++index) {
        std::wstring key = matching_key(current.files[index].path);
        if (current.files[index].unlisted_folder)
            unlisted.insert(key);
        auto found = baseline.by_key.find(key);
        if (found == baseline.by_key.end())
            continue;
        matching.baseline_of[index] = found->second;
        matching.current_of[found->second] = index;
    }
    // Files below a folder that could not be listed are not known to be gone; files the run's
    // filters left out are still there.
    std::vector<bool> left_out(baseline.files.size(), false);
    for (size_t index = 0; index < baseline.files.size(); ++index) {
        std::wstring key = matching_key(baseline.files[index].path);
        left_out[index] =
            current.left_out.count(key) != 0 || (!unlisted.empty() && under_unlisted_folder(key, unlisted));
    }
    find_moves(baseline, current, matching, left_out);
    for (size_t index = 0; index < current.files.size(); ++index)
        report_current_file(comparison, baseline, current, index, matching.baseline_of[index]);
    for (size_t index = 0; index < baseline.files.size(); ++index) {
        if (matching.current_of[index] != NO_MATCH || left_out[index])
            continue;
        add_difference(comparison, STATUS_REMOVED, baseline.files[index].path);
        ++comparison.counts[STATUS_REMOVED];
    }
}
