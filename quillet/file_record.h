// One file read once into a record, in the order the text report meets its parts; every
// output form (text lines, CSV rows, a comparison's side) is made from the record afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "extended_info.h"
#include "failure_notice.h"
#include "file_hash.h"
#include "image_report.h"
#include "signature_report.h"
#include "version_report.h"

// What to read besides the properties and the version resource.
struct RecordWants {
    // In the order the report computes them.
    std::vector<const DigestKind*> digests;
    // The signature verdict.
    bool signature;
    // The digests are computed before the properties are read (the multiple-file run's order).
    bool digests_first;
    // The image sections of the version report ("[Checksums]", "[ImageExtraInfo]").
    bool image;
    // The extended values ("-extended").
    bool extended;
};

struct DigestValue {
    const DigestKind* kind;
    // Lower-case hex; empty for a file without one (no PE image, no imports) or a failure.
    std::wstring text;
    // Computing it met a failure, which is in the record's failures.
    bool failed;
};

struct FileRecord {
    std::wstring path;
    // Size, attributes and times, from one open for reading; opened false when it failed.
    bool opened;
    ULONGLONG size;
    DWORD attributes;
    bool has_times;
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
    // The translations with their string entries, and what ended the reading early.
    VersionInfo version;
    std::vector<DigestValue> digests;
    // The verdict as the "[Signature]" line shows it; empty for a file that cannot be opened.
    bool has_signature;
    std::wstring signature;
    // Who signed it, as the "[Signer]" lines show it.
    std::vector<SignerFacts> signers;
    // The image sections, read for a PE image when wanted.
    bool has_checksums;
    DWORD header_sum;
    DWORD computed_sum;
    bool has_image_fields;
    DWORD image_fields[IMAGE_HEADER_FIELD_COUNT];
    // The extended values, and their CSV cells (extended_report.h), when asked for.
    bool has_extended;
    ExtendedInfo extended;
    std::vector<std::wstring> extended_cells;
    // Every failure the text report prints for the file, in its order, as text and code.
    FailureList failures;
};

void read_file_record(const RecordWants& wants, const std::wstring& path, FileRecord& record);

// The file could not be opened, or a digest of its whole content failed (an empty file,
// which has no content to read, excepted). An empty image or import hash is a value.
bool record_unreadable(const FileRecord& record);
