#include "file_record.h"

#include "file_properties.h"
#include "hash_ahead.h"
#include "image_hash.h"
#include "text_helpers.h"

namespace {

void read_file_facts(const std::wstring& path, FileFacts& facts, FailureList& failures)
{
    facts = FileFacts();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        add_failure(failures, UNOPENABLE_FILE_TEXT, GetLastError());
        return;
    }
    facts.opened = true;
    LARGE_INTEGER size;
    facts.size = GetFileSizeEx(file, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
    facts.attributes = GetFileAttributesW(path.c_str());
    facts.has_times = GetFileTime(file, &facts.created, &facts.accessed, &facts.written) == 1;
    if (facts.has_times)
        keep_access_time_before_hashing(path.c_str(), facts.accessed);
    CloseHandle(file);
}

// A digest that fails has no value; its notice goes into the failures.
void read_digests(const RecordFields& fields, const std::wstring& path, FileRecord& record)
{
    for (const DigestKind* digest : fields.digests) {
        wchar_t text[TEXT_CHARS];
        digest_cell_text(*digest, path.c_str(), text);
        record.digests.push_back(text);
    }
}

// Only a file that opens is an image; a fault while its headers are read is a failure.
void read_image_sections(const std::wstring& path, FileRecord& record)
{
    if (!record.facts.opened || (record.facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    record.has_checksums = read_image_checksums(path.c_str(), record.header_sum, record.computed_sum);
    record.has_image_fields = read_image_header_fields(path.c_str(), record.image_fields);
}

} // namespace

void read_file_record(const RecordFields& fields, const std::wstring& path, bool digests_first, FileRecord& record)
{
    record.path = path;
    FailureList* outer = failure_collector;
    failure_collector = &record.failures;
    if (digests_first)
        read_digests(fields, path, record);
    read_file_facts(path, record.facts, record.failures);
    if (!digests_first)
        read_digests(fields, path, record);
    read_version_info(path.c_str(), record.version);
    if (record.version.failure != VERSION_READ)
        add_failure(record.failures, version_failure_text(record.version.failure), record.version.failure_code);
    if (fields.image)
        read_image_sections(path, record);
    failure_collector = outer;
    if (fields.signature)
        read_signature(path.c_str(), record.signature);
}
