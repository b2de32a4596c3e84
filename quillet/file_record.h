// What a directory or multiple-file run learns about one file, read once and then written as
// CSV rows or as a JSON object.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "failure_notice.h"
#include "file_hash.h"
#include "image_report.h"
#include "signature_report.h"
#include "version_report.h"

// What a record holds beside the properties and the version resource: the digests asked for,
// in column order, the signature when PrintSignatureInformation is 1 (or "-unsigned"), and the
// image sections when a JSON run has OutputExtraImageInformation 1.
struct RecordFields {
    std::vector<const DigestKind*> digests;
    bool signature = false;
    bool image = false;
};

// Size, attributes and times as the properties block reads them, from the same open.
struct FileFacts {
    bool opened;
    ULONGLONG size;
    DWORD attributes;
    bool has_times;
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
};

struct FileRecord {
    std::wstring path;
    FileFacts facts = {};
    // One per RecordFields::digests; empty where there is no value (its failure, if any, is
    // among the failures).
    std::vector<std::wstring> digests;
    VersionInfo version = {};
    SignatureFacts signature;
    bool has_checksums = false;
    DWORD header_sum = 0;
    DWORD computed_sum = 0;
    bool has_image_fields = false;
    DWORD image_fields[IMAGE_HEADER_FIELD_COUNT] = {};
    // Every failure the text report would print for the file, in the report's order.
    FailureList failures = {};
};

// Reads the record of path; digests_first: the multiple-file run's order, which hashes before
// the properties.
void read_file_record(const RecordFields& fields, const std::wstring& path, bool digests_first, FileRecord& record);
