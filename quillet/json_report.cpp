#include "json_report.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>

#include "extended_report.h"
#include "report_output.h"
#include "settings.h"
#include "utf8_output.h"

namespace {

struct NamedFlag {
    DWORD flag;
    const char* name;
};

// The attribute names without "FILE_ATTRIBUTE_", in the order a list shows them.
const NamedFlag ATTRIBUTE_NAMES[] = {{FILE_ATTRIBUTE_ARCHIVE, "ARCHIVE"},
                                     {FILE_ATTRIBUTE_COMPRESSED, "COMPRESSED"},
                                     {FILE_ATTRIBUTE_DEVICE, "DEVICE"},
                                     {FILE_ATTRIBUTE_DIRECTORY, "DIRECTORY"},
                                     {FILE_ATTRIBUTE_ENCRYPTED, "ENCRYPTED"},
                                     {FILE_ATTRIBUTE_HIDDEN, "HIDDEN"},
                                     {0x8000, "INTEGRITY_STREAM"},
                                     {FILE_ATTRIBUTE_NORMAL, "NORMAL"},
                                     {FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, "NOT_CONTENT_INDEXED"},
                                     {0x20000, "NO_SCRUB_DATA"},
                                     {FILE_ATTRIBUTE_OFFLINE, "OFFLINE"},
                                     {0x80000, "PINNED"},
                                     {FILE_ATTRIBUTE_READONLY, "READONLY"},
                                     {0x400000, "RECALL_ON_DATA_ACCESS"},
                                     {0x40000, "RECALL_ON_OPEN"},
                                     {FILE_ATTRIBUTE_REPARSE_POINT, "REPARSE_POINT"},
                                     {FILE_ATTRIBUTE_SPARSE_FILE, "SPARSE_FILE"},
                                     {FILE_ATTRIBUTE_SYSTEM, "SYSTEM"},
                                     {FILE_ATTRIBUTE_TEMPORARY, "TEMPORARY"},
                                     {0x100000, "UNPINNED"},
                                     {0x10000, "VIRTUAL"}};

// The keys of the digests, by their CSV column names.
const std::pair<const wchar_t*, const char*> DIGEST_KEYS[] = {{L"MD5", "md5"},
                                                              {L"SHA1", "sha1"},
                                                              {L"SHA256", "sha256"},
                                                              {L"ImageSHA1", "imageSha1"},
                                                              {L"ImageSHA256", "imageSha256"},
                                                              {L"ImportHash", "importHash"}};

JsonValue text_value(const std::wstring& text)
{
    return utf8_of(text);
}

// A bit without a name shows as its hexadecimal value ("0x01000000").
JsonValue attribute_list(DWORD attributes)
{
    JsonValue names = JsonValue::array();
    DWORD named = 0;
    for (const NamedFlag& attribute : ATTRIBUTE_NAMES) {
        named |= attribute.flag;
        if ((attributes & attribute.flag) != 0)
            names.push_back(attribute.name);
    }
    for (DWORD bit = 1; bit != 0; bit <<= 1) {
        char text[16];
        _snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(bit));
        if ((attributes & bit & ~named) != 0)
            names.push_back(text);
    }
    return names;
}

JsonValue time_value(bool has_times, const FILETIME& time)
{
    std::string text = has_times ? iso_utc_time(time) : std::string();
    return text.empty() ? JsonValue() : JsonValue(text);
}

const char* digest_key(const DigestKind& digest)
{
    for (const auto& key : DIGEST_KEYS) {
        if (wcscmp(key.first, digest.name) == 0)
            return key.second;
    }
    return "";
}

JsonValue path_value(const RecordWants&, const FileRecord& record)
{
    return text_value(record.path);
}

JsonValue size_value(const RecordWants&, const FileRecord& record)
{
    return record.opened ? JsonValue(record.size) : JsonValue();
}

JsonValue attributes_value(const RecordWants&, const FileRecord& record)
{
    return record.opened ? attribute_list(record.attributes) : JsonValue();
}

JsonValue created_value(const RecordWants&, const FileRecord& record)
{
    return time_value(record.has_times, record.created);
}

JsonValue written_value(const RecordWants&, const FileRecord& record)
{
    return time_value(record.has_times, record.written);
}

JsonValue accessed_value(const RecordWants&, const FileRecord& record)
{
    return time_value(record.has_times, record.accessed);
}

// Only the entries the translation has.
JsonValue translations_value(const RecordWants&, const FileRecord& record)
{
    JsonValue list = JsonValue::array();
    for (const TranslationInfo& translation : record.version.translations) {
        JsonValue strings = JsonValue::object();
        for (int index = 0; index < VERSION_STRING_COUNT; ++index) {
            if (!translation.values[index].empty())
                strings[utf8_of(VERSION_STRING_NAMES[index])] = text_value(translation.values[index]);
        }
        JsonValue entry = JsonValue::object();
        entry["languageId"] = translation.language;
        entry["codePage"] = translation.code_page;
        entry["language"] = text_value(translation.language_name);
        entry["strings"] = strings;
        list.push_back(entry);
    }
    return list;
}

// null where there is no value: no PE image, no imports, or a failure (among the errors).
JsonValue digests_value(const RecordWants& fields, const FileRecord& record)
{
    JsonValue digests = JsonValue::object();
    for (const DigestKind* kind : fields.digests)
        digests[digest_key(*kind)] = JsonValue();
    for (const DigestValue& digest : record.digests) {
        if (!digest.text.empty())
            digests[digest_key(*digest.kind)] = text_value(digest.text);
    }
    return digests;
}

bool signature_asked(const RecordWants& fields)
{
    return fields.signature;
}

// null for a folder or a file that cannot be opened, which have no verdict.
// With "-extended" every signature the file carries (certificate-table entries and nested
// ones), each with its digest algorithm; otherwise the signer the "[Signer]" lines show.
JsonValue signer_list(const RecordWants& fields, const FileRecord& record)
{
    JsonValue signers = JsonValue::array();
    if (fields.extended && record.extended.state == EXTENDED_IMAGE && !record.extended.signatures.entries.empty()) {
        for (const SignatureEntry& signature : record.extended.signatures.entries) {
            JsonValue entry = JsonValue::object();
            entry["subject"] = text_value(signature.signer);
            entry["issuer"] = text_value(signature.issuer);
            entry["signedOn"] = time_value(signature.stamped, signature.signed_on);
            entry["digestAlgorithm"] = text_value(signature.digest_algorithm);
            entry["nested"] = signature.nested;
            signers.push_back(entry);
        }
        return signers;
    }
    for (const SignerFacts& signer : record.signers) {
        JsonValue entry = JsonValue::object();
        entry["subject"] = text_value(signer.subject);
        entry["issuer"] = text_value(signer.issuer);
        entry["signedOn"] = time_value(signer.stamped, signer.signed_on);
        signers.push_back(entry);
    }
    return signers;
}

JsonValue signature_value(const RecordWants& fields, const FileRecord& record)
{
    if (record.signature.empty())
        return JsonValue();
    JsonValue signers = signer_list(fields, record);
    JsonValue signature = JsonValue::object();
    signature["verdict"] = text_value(record.signature);
    signature["signers"] = signers;
    return signature;
}

bool extended_asked(const RecordWants& fields)
{
    return fields.extended;
}

// The CSV columns' values under their names in lower camel case, null where a cell is empty;
// null as a whole for a file that is no PE image or could not be read.
JsonValue extended_value(const RecordWants&, const FileRecord& record)
{
    if (record.extended.state != EXTENDED_IMAGE || record.extended_cells.size() != EXTENDED_COLUMN_COUNT)
        return JsonValue();
    JsonValue extended = JsonValue::object();
    for (int index = 0; index < EXTENDED_COLUMN_COUNT; ++index) {
        std::string key = utf8_of(EXTENDED_COLUMN_NAMES[index]);
        key[0] = static_cast<char>(key[0] - 'A' + 'a');
        const std::wstring& cell = record.extended_cells[static_cast<size_t>(index)];
        extended[key] = cell.empty() ? JsonValue() : text_value(cell);
    }
    return extended;
}

bool image_asked(const RecordWants& fields)
{
    return fields.image;
}

// The sections' labels in lower camel case; null for a file that is no PE image.
JsonValue image_value(const RecordWants&, const FileRecord& record)
{
    if (!record.has_image_fields)
        return JsonValue();
    JsonValue image = JsonValue::object();
    image["headerSum"] = record.has_checksums ? JsonValue(record.header_sum) : JsonValue();
    image["computedSum"] = record.has_checksums ? JsonValue(record.computed_sum) : JsonValue();
    for (size_t index = 0; index < IMAGE_HEADER_FIELD_COUNT; ++index)
        image[IMAGE_HEADER_FIELDS[index].key] = record.image_fields[index];
    return image;
}

JsonValue errors_value(const RecordWants&, const FileRecord& record)
{
    return failure_list(record.failures);
}

bool always(const RecordWants&)
{
    return true;
}

// The members of a file's object, in order; asked says whether the run wants the member.
struct FileMember {
    const char* key;
    bool (*asked)(const RecordWants& fields);
    JsonValue (*value)(const RecordWants& fields, const FileRecord& record);
};

const FileMember FILE_MEMBERS[] = {{"path", always, path_value},
                                   {"size", always, size_value},
                                   {"attributes", always, attributes_value},
                                   {"created", always, created_value},
                                   {"lastWritten", always, written_value},
                                   {"lastAccessed", always, accessed_value},
                                   {"translations", always, translations_value},
                                   {"digests", always, digests_value},
                                   {"signature", signature_asked, signature_value},
                                   {"image", image_asked, image_value},
                                   {"extended", extended_asked, extended_value},
                                   {"errors", always, errors_value}};

} // namespace

void begin_json_output()
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    if (settings.WriteOutputToQuilletLog == 1 && log_stream != nullptr) {
        fflush(log_stream);
        _setmode(_fileno(log_stream), _O_BINARY);
        fputs("\n", log_stream);
    }
}

void write_json_object(const JsonValue& object)
{
    ql_print_document(wide_of_utf8(json_line(object)).c_str());
}

JsonValue file_object(const RecordWants& fields, const FileRecord& record)
{
    JsonValue object = JsonValue::object();
    for (const FileMember& member : FILE_MEMBERS) {
        if (member.asked(fields))
            object[member.key] = member.value(fields, record);
    }
    return object;
}

void write_json_failure(const RecordWants& fields, const std::wstring& path, const wchar_t* text, DWORD code)
{
    FileRecord record = FileRecord();
    record.path = path;
    add_failure(record.failures, text, code);
    if (!path.empty()) {
        write_json_object(file_object(fields, record));
        return;
    }
    JsonValue object = JsonValue::object();
    object["errors"] = failure_list(record.failures);
    write_json_object(object);
}

std::string iso_utc_time(const FILETIME& time)
{
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&time, &utc))
        return std::string();
    char text[32];
    _snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
              utc.wMinute, utc.wSecond);
    text[31] = '\0';
    return text;
}

JsonValue failure_list(const FailureList& failures)
{
    JsonValue list = JsonValue::array();
    for (const FailureEntry& failure : failures.entries) {
        JsonValue entry = JsonValue::object();
        entry["text"] = text_value(failure.text);
        entry["code"] = static_cast<unsigned long>(failure.code);
        list.push_back(entry);
    }
    return list;
}
