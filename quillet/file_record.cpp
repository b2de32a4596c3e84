#include "file_record.h"

#include "extended_report.h"
#include "file_properties.h"
#include "hash_ahead.h"
#include "digest_report.h"
#include "report_guard.h"
#include "signature_report.h"
#include "text_helpers.h"

namespace {

void read_file_facts(FileRecord& record)
{
    HANDLE file = CreateFileW(record.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        add_failure(record.failures, UNOPENABLE_FILE_TEXT, GetLastError());
        return;
    }
    record.opened = true;
    LARGE_INTEGER size;
    record.size = GetFileSizeEx(file, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
    record.attributes = GetFileAttributesW(record.path.c_str());
    record.has_times = GetFileTime(file, &record.created, &record.accessed, &record.written) == 1;
    if (record.has_times)
        keep_access_time_before_hashing(record.path.c_str(), record.accessed);
    CloseHandle(file);
}

// A digest that fails leaves its value empty; its notice goes into the failures.
void read_digests(const RecordWants& wants, FileRecord& record)
{
    for (const DigestKind* digest : wants.digests) {
        size_t before = record.failures.entries.size();
        wchar_t text[TEXT_CHARS];
        digest_cell_text(*digest, record.path.c_str(), text);
        DigestValue value = {digest, text, record.failures.entries.size() > before};
        record.digests.push_back(value);
    }
}

// Only a file that opens can be an image; a fault while its headers are read is a failure.
void read_image_sections(FileRecord& record)
{
    if (!record.opened || (record.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    FailureList* outer = failure_collector;
    failure_collector = &record.failures;
    const wchar_t* path = record.path.c_str();
    record.has_checksums = read_image_checksums(path, record.header_sum, record.computed_sum);
    record.has_image_fields = read_image_header_fields(path, record.image_fields);
    failure_collector = outer;
}

void read_signature_facts(FileRecord& record)
{
    SignatureFacts facts;
    read_signature(record.path.c_str(), facts);
    record.signature = facts.verdict;
    record.signers = facts.signers;
}

} // namespace

void read_file_record(const RecordWants& wants, const std::wstring& path, FileRecord& record)
{
    record = FileRecord();
    record.path = path;
    FailureList* outer = failure_collector;
    failure_collector = &record.failures;
    // Every step is guarded: one that throws leaves its notice among the failures, and the
    // record is still made.
    if (wants.digests_first)
        read_digests(wants, record);
    run_report_step(L"print_file_properties", [&]() { read_file_facts(record); });
    if (!wants.digests_first)
        read_digests(wants, record);
    if (run_report_step(L"show_version_info", [&]() { read_version_info(path.c_str(), record.version); }) &&
        record.version.failure != VERSION_READ)
        add_failure(record.failures, version_failure_text(record.version.failure), record.version.failure_code);
    if (wants.image)
        run_report_step(L"print_image_internal_information", [&]() { read_image_sections(record); });
    record.has_signature = wants.signature;
    if (wants.signature)
        run_report_step(L"print_signature_information", [&]() { read_signature_facts(record); });
    record.has_extended = wants.extended;
    if (wants.extended)
        run_report_step(L"show_extended_info", [&]() {
            read_extended_info(path.c_str(), record.extended);
            record.extended_cells = extended_cells(record.extended, record.failures);
        });
    if (wants.extended && record.extended_cells.size() != EXTENDED_COLUMN_COUNT)
        record.extended_cells.assign(EXTENDED_COLUMN_COUNT, std::wstring());
    failure_collector = outer;
}

bool record_unreadable(const FileRecord& record)
{
    if (!record.opened)
        return true;
    for (const DigestValue& digest : record.digests) {
        if (digest.failed && digest.kind->source == WHOLE_FILE && record.size > 0)
            return true;
    }
    return false;
}
