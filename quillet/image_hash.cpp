#include "image_hash.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "failure_notice.h"
#include "file_hash.h"
#include "import_ordinals.h"
#include "pe_view.h"
#include "report_output.h"
#include "text_helpers.h"

const wchar_t NO_PE_IMAGE_TEXT[] = L"No PE Image";
const wchar_t DAMAGED_IMAGE_TEXT[] = L"Damaged PE image.";

namespace {

const wchar_t NO_IMPORTS_TEXT[] = L"No Imports";

// Longest digest offered: SHA-256.
const DWORD LONGEST_DIGEST = 32;

// Code signing pads an image whose size is no multiple of 8 before it appends the certificate
// table, and hashes that padding: an unsigned image is hashed as if it were padded, so that
// its hash stays the same when a signature is added.
const ULONGLONG SIGNED_IMAGE_ALIGNMENT = 8;

// Bytes of import text gathered before they go into the hash.
const DWORD IMPORT_TEXT_PIECE = 64 * 1024;

// One image hash or import hash; every handle starts empty so that the clean-up can release
// whatever was obtained.
struct PeDigest {
    const DigestKind* kind;
    const wchar_t* routine;
    PeFile pe;
    HCRYPTPROV provider;
    HCRYPTHASH hash;
    BYTE* buffer;
    // The import text: what is gathered in buffer, what went into the hash before it.
    DWORD gathered;
    ULONGLONG text_bytes;
    // What shows in place of a digest that the file does not have.
    const wchar_t* missing;
    wchar_t text[TEXT_CHARS];
};

struct ByteRange {
    ULONGLONG start;
    ULONGLONG end;
};

void fail(const PeDigest& job, const wchar_t* step, DWORD code)
{
    std::wstring context = std::wstring(job.routine) + L"::" + step;
    print_failure(code, context.c_str());
    print_html_break();
}

PeDigestResult damaged()
{
    print_failure(ERROR_BAD_EXE_FORMAT, DAMAGED_IMAGE_TEXT);
    print_html_break();
    return PE_DIGEST_FAILED;
}

// What a status of the image's reading means for the digest: go on, or the notice it gets.
bool usable(const PeDigest& job, PeStatus status, PeDigestResult& outcome)
{
    if (status == PE_IMAGE)
        return true;
    if (status == PE_DAMAGED) {
        outcome = damaged();
    } else {
        fail(job, L"ReadFile", job.pe.read_error);
        outcome = PE_DIGEST_FAILED;
    }
    return false;
}

// The AES provider type knows MD5 and SHA-1 as well as SHA-256.
bool begin_hash(PeDigest& job)
{
    if (CryptAcquireContextW(&job.provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != 1) {
        job.provider = 0;
        fail(job, L"CryptAcquireContext", GetLastError());
        return false;
    }
    if (CryptCreateHash(job.provider, job.kind->algorithm, 0, 0, &job.hash) != 1) {
        job.hash = 0;
        fail(job, L"CryptCreateHash", GetLastError());
        return false;
    }
    return true;
}

bool allocate_buffer(PeDigest& job, DWORD size)
{
    job.buffer = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (job.buffer != nullptr)
        return true;
    fail(job, L"VirtualAlloc", GetLastError());
    return false;
}

bool feed_hash(PeDigest& job, const BYTE* data, DWORD size)
{
    if (size == 0 || CryptHashData(job.hash, data, size, 0) == 1)
        return true;
    fail(job, L"CryptHashData", GetLastError());
    return false;
}

bool finish_hash(PeDigest& job)
{
    BYTE digest[LONGEST_DIGEST];
    DWORD size = sizeof(digest);
    if (CryptGetHashParam(job.hash, HP_HASHVAL, digest, &size, 0) != 1) {
        fail(job, L"CryptGetHashParam", GetLastError());
        return false;
    }
    clear_text_buffer(job.text);
    for (DWORD index = 0; index < size; ++index)
        _snwprintf(job.text + 2 * index, 3, L"%02x", digest[index]);
    return true;
}

// Streams one range of the file into the hash, a piece at a time.
bool hash_range(PeDigest& job, const ByteRange& range)
{
    for (ULONGLONG offset = range.start; offset < range.end;) {
        ULONGLONG left = range.end - offset;
        DWORD wanted = left < HASH_PIECE_BYTES ? static_cast<DWORD>(left) : HASH_PIECE_BYTES;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        if (!SetFilePointerEx(job.pe.file, position, nullptr, FILE_BEGIN) ||
            !ReadFile(job.pe.file, job.buffer, wanted, &read, nullptr)) {
            fail(job, L"ReadFile", GetLastError());
            return false;
        }
        if (read != wanted) {
            fail(job, L"ReadFile", ERROR_HANDLE_EOF);
            return false;
        }
        if (!feed_hash(job, job.buffer, read))
            return false;
        offset += read;
    }
    return true;
}

// The file without the CheckSum field, the certificate table's directory entry and the
// certificate table itself. An image whose header holds no entry for the table (fewer than
// five data directories) has no table: only the CheckSum is left out.
PeDigestResult hash_signed_image(PeDigest& job)
{
    const PeFile& pe = job.pe;
    PeDigestResult outcome = PE_DIGEST_DONE;
    if (!usable(job, check_certificate_table(pe), outcome))
        return outcome;
    if (!begin_hash(job) || !allocate_buffer(job, HASH_PIECE_BYTES))
        return PE_DIGEST_FAILED;
    bool has_table = pe.has_security_entry && pe.security.Size != 0;
    ULONGLONG table_start = has_table ? pe.security.VirtualAddress : pe.size;
    ULONGLONG table_end = has_table ? table_start + pe.security.Size : pe.size;
    ULONGLONG after_checksum = pe.checksum_offset + sizeof(DWORD);
    ULONGLONG entry_start = pe.has_security_entry ? pe.security_entry_offset : after_checksum;
    ULONGLONG entry_end = pe.has_security_entry ? entry_start + sizeof(IMAGE_DATA_DIRECTORY) : after_checksum;
    const ByteRange ranges[] = {
        {0, pe.checksum_offset}, {after_checksum, entry_start}, {entry_end, table_start}, {table_end, pe.size}};
    for (const ByteRange& range : ranges) {
        if (!hash_range(job, range))
            return PE_DIGEST_FAILED;
    }
    ULONGLONG unaligned = pe.size % SIGNED_IMAGE_ALIGNMENT;
    if (!has_table && unaligned != 0) {
        const BYTE padding[SIGNED_IMAGE_ALIGNMENT] = {};
        if (!feed_hash(job, padding, static_cast<DWORD>(SIGNED_IMAGE_ALIGNMENT - unaligned)))
            return PE_DIGEST_FAILED;
    }
    return PE_DIGEST_DONE;
}

// The C locale's lower case, which quillet runs in: ASCII letters alone.
void lower_case(std::string& text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

// The library's name as the import hash writes it: lower case, without "dll", "ocx" or "sys".
std::string library_part(const std::string& library)
{
    size_t dot = library.rfind('.');
    if (dot == std::string::npos)
        return library;
    std::string extension = library.substr(dot + 1);
    return extension == "dll" || extension == "ocx" || extension == "sys" ? library.substr(0, dot) : library;
}

// Adds to the import text, which goes into the hash a piece at a time; PE_DAMAGED past its
// bound.
PeStatus add_text(PeDigest& job, const std::string& text)
{
    job.text_bytes += text.size();
    if (job.text_bytes > MOST_IMPORT_TEXT_BYTES)
        return PE_DAMAGED;
    for (size_t done = 0; done < text.size();) {
        if (job.gathered == IMPORT_TEXT_PIECE) {
            if (!feed_hash(job, job.buffer, job.gathered))
                return PE_READ_FAILED;
            job.gathered = 0;
        }
        size_t room = IMPORT_TEXT_PIECE - job.gathered;
        size_t part = text.size() - done < room ? text.size() - done : room;
        memcpy(job.buffer + job.gathered, text.data() + done, part);
        job.gathered += static_cast<DWORD>(part);
        done += part;
    }
    return PE_IMAGE;
}

// The function's part of one import: its name, or the ordinal's name from the tables, or
// "ord" and the ordinal.
PeStatus function_part(PeFile& pe, const std::string& library, ULONGLONG thunk, std::string& function)
{
    bool by_ordinal = pe.pe32_plus ? (thunk >> 63) != 0 : (thunk & IMAGE_ORDINAL_FLAG32) != 0;
    if (!by_ordinal) {
        // The hint/name entry: a 16-bit hint, then the name.
        DWORD name = static_cast<DWORD>(thunk) & 0x7FFFFFFF;
        PeStatus status = read_pe_string(pe, name + sizeof(WORD), function);
        lower_case(function);
        return status;
    }
    WORD ordinal = static_cast<WORD>(thunk & 0xFFFF);
    const char* known = imported_ordinal_name(library, ordinal);
    function = known != nullptr ? known : "ord" + std::to_string(ordinal);
    lower_case(function);
    return PE_IMAGE;
}

// The functions of one library, in the order of its lookup table (the address table when the
// lookup table is missing).
PeStatus add_library_imports(PeDigest& job, const IMAGE_IMPORT_DESCRIPTOR& descriptor, DWORD& functions)
{
    PeFile& pe = job.pe;
    std::string library;
    PeStatus status = read_pe_string(pe, descriptor.Name, library);
    lower_case(library);
    std::string prefix = library_part(library) + ".";
    DWORD thunk_size = pe.pe32_plus ? sizeof(ULONGLONG) : sizeof(DWORD);
    DWORD lookup = descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    // Kept across the functions, so that their memory is taken once.
    std::string function, entry;
    for (DWORD rva = lookup; status == PE_IMAGE; rva += thunk_size) {
        ULONGLONG thunk = 0;
        if (rva < lookup || ++functions > MOST_IMPORTED_FUNCTIONS)
            return PE_DAMAGED;
        status = read_pe_rva(pe, rva, &thunk, thunk_size);
        if (status != PE_IMAGE || thunk == 0)
            return status;
        status = function_part(pe, library, thunk, function);
        entry.assign(job.text_bytes == 0 ? "" : ",");
        entry += prefix;
        entry += function;
        if (status == PE_IMAGE)
            status = add_text(job, entry);
    }
    return status;
}

// "library.function" for every import, joined by commas, into the hash. The table ends with
// the first entry that lacks a name or an address table, as the loader reads it.
PeStatus hash_import_text(PeDigest& job)
{
    DWORD libraries = 0, functions = 0;
    DWORD first = job.pe.imports.VirtualAddress;
    for (DWORD rva = first; first != 0; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        PeStatus status = rva < first ? PE_DAMAGED : read_pe_rva(job.pe, rva, &descriptor, sizeof(descriptor));
        if (status != PE_IMAGE)
            return status;
        if (descriptor.Name == 0 || descriptor.FirstThunk == 0)
            break;
        if (++libraries > MOST_IMPORTED_LIBRARIES)
            return PE_DAMAGED;
        status = add_library_imports(job, descriptor, functions);
        if (status != PE_IMAGE)
            return status;
    }
    return PE_IMAGE;
}

PeDigestResult hash_import_names(PeDigest& job)
{
    PeDigestResult outcome = PE_DIGEST_DONE;
    if (job.pe.imports.VirtualAddress == 0) {
        job.missing = NO_IMPORTS_TEXT;
        return PE_NO_DIGEST;
    }
    if (!usable(job, read_pe_sections(job.pe), outcome))
        return outcome;
    if (!begin_hash(job) || !allocate_buffer(job, IMPORT_TEXT_PIECE))
        return PE_DIGEST_FAILED;
    PeStatus status = hash_import_text(job);
    // A hash that failed to take a piece printed its notice already.
    if (status == PE_READ_FAILED && job.pe.read_error == 0)
        return PE_DIGEST_FAILED;
    if (!usable(job, status, outcome))
        return outcome;
    if (job.text_bytes == 0) {
        job.missing = NO_IMPORTS_TEXT;
        return PE_NO_DIGEST;
    }
    return feed_hash(job, job.buffer, job.gathered) ? PE_DIGEST_DONE : PE_DIGEST_FAILED;
}

PeDigestResult compute(PeDigest& job, const wchar_t* path)
{
    DWORD error = 0;
    if (!open_pe_file(job.pe, path, error)) {
        fail(job, L"CreateFile", error);
        return PE_DIGEST_FAILED;
    }
    PeDigestResult outcome = PE_DIGEST_DONE;
    PeStatus status = read_pe_headers(job.pe);
    if (status == PE_NOT_IMAGE) {
        job.missing = NO_PE_IMAGE_TEXT;
        return PE_NO_DIGEST;
    }
    if (!usable(job, status, outcome))
        return outcome;
    if (job.kind->source == SIGNED_IMAGE)
        outcome = hash_signed_image(job);
    else
        outcome = hash_import_names(job);
    if (outcome == PE_DIGEST_DONE && !finish_hash(job))
        return PE_DIGEST_FAILED;
    return outcome;
}

void clean_up(PeDigest& job)
{
    DWORD saved_error = GetLastError();
    if (job.buffer != nullptr)
        VirtualFree(job.buffer, 0, MEM_RELEASE);
    if (job.hash != 0)
        CryptDestroyHash(job.hash);
    if (job.provider != 0)
        CryptReleaseContext(job.provider, 0);
    close_pe_file(job.pe);
    SetLastError(saved_error);
}

} // namespace

PeDigestResult compute_pe_digest(const DigestKind& digest, const wchar_t* path, wchar_t* text)
{
    PeDigest job = {};
    job.kind = &digest;
    job.routine = digest.source == SIGNED_IMAGE ? L"show_image_hash" : L"show_import_hash";
    PeDigestResult outcome = PE_DIGEST_FAILED;
    // Whatever the reading throws, the file and the hash are released before it goes on up.
    try {
        outcome = compute(job, path);
    } catch (...) {
        clean_up(job);
        throw;
    }
    clear_text_buffer(text);
    if (outcome != PE_DIGEST_FAILED)
        copy_text(text, TEXT_CHARS, outcome == PE_DIGEST_DONE ? job.text : job.missing);
    clean_up(job);
    return outcome;
}
