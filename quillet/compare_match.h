// Matching the current files with a baseline's and telling what differs.
#pragma once

#include <string>
#include <vector>

#include "compare_baseline.h"

enum CompareStatus {
    STATUS_UNCHANGED,
    STATUS_CHANGED,
    STATUS_ADDED,
    STATUS_REMOVED,
    STATUS_MOVED,
    STATUS_UNREADABLE,
    STATUS_COUNT
};

// One line of the text report, one row of the CSV form.
struct Difference {
    CompareStatus status;
    std::wstring path;
    // A moved file's path in the baseline.
    std::wstring old_path;
    // The differing column, prefixed with the translation ("0409/04B0 FileVersion") when the
    // file has more than one; "Translation" for one that appeared or vanished; "Error" for an
    // unreadable file.
    std::wstring column;
    std::wstring old_value;
    std::wstring new_value;
    // "0409/04B0" for a string entry of that translation (named in column or not); empty for
    // a column outside one.
    std::wstring translation;
};

struct Comparison {
    // In the current run's order, the removed files last in the baseline's order.
    std::vector<Difference> differences;
    // Files (a moved file once, as moved).
    size_t counts[STATUS_COUNT];
};

// Whether both documents carry the digest of DIGEST_KINDS[index], or the signature verdict.
bool digest_compared(const ComparedSide& baseline, const ComparedSide& current, size_t index);
bool signature_compared(const ComparedSide& baseline, const ComparedSide& current);
bool extended_compared(const ComparedSide& baseline, const ComparedSide& current, int index);

void compare_sides(const ComparedSide& baseline, const ComparedSide& current, Comparison& comparison);

// "0409/04B0"
std::wstring translation_name(const ComparedTranslation& translation);
