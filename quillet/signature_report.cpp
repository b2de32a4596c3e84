#include "signature_report.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <mscat.h>

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "error_detail.h"
#include "fault_guard.h"
#include "file_properties.h"
#include "report_frame.h"
#include "report_output.h"
#include "settings.h"
#include "text_helpers.h"
#include "version_report.h"

namespace {

const DWORD ENCODINGS = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// What a fault inside the platform's parsing of a damaged signature is reported as.
const LONG DAMAGED_SIGNATURE = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Catalog hashes are SHA-1 or SHA-256 digests; anything longer is not one.
const DWORD LONGEST_CATALOG_HASH = 64;

// A TSTInfo's fifth field is its genTime (RFC 3161).
const DWORD GEN_TIME_FIELD = 4;

enum VerifyExit { EXIT_SIGNED = 0, EXIT_UNSIGNED = 1, EXIT_CHANGED = 2, EXIT_OTHER_VERDICT = 3 };

// The trust result of one file, and where its signature lies: in the file or in a catalog.
struct TrustCheck {
    const wchar_t* path;
    HANDLE file;
    LONG result;
    bool in_catalog;
    wchar_t catalog_path[MAX_PATH];
};

// Who signed, as read from the signature itself; every handle starts empty so that the
// clean-up can release whatever a damaged signature let the reading obtain.
struct SignerReading {
    const wchar_t* source;
    HCERTSTORE store;
    HCRYPTMSG message;
    CMSG_SIGNER_INFO* info;
    DWORD info_size;
    PCCERT_CONTEXT certificate;
    bool found;
    wchar_t signer[TEXT_CHARS];
    wchar_t issuer[TEXT_CHARS];
    bool stamped;
    FILETIME signed_on;
};

typedef BOOL(WINAPI* acquire_context2_function)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
typedef BOOL(WINAPI* calc_hash2_function)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

const wchar_t SHA256_ALGORITHM[] = L"SHA256";

// A catalog admin context for one hash algorithm: acquired at the first file that needs it,
// then kept for the rest of the run.
struct CatalogAdmin {
    bool tried;
    HCATADMIN handle;
    // Null for the SHA-1 context of the first catalog interface.
    calc_hash2_function calc_hash2;
};

// Since Windows 8 the system's catalogs list files by their SHA-256 hash, before that by SHA-1.
// The SHA-256 interface is bound at run time, so that older systems still start the program.
CatalogAdmin sha256_admin = {};
CatalogAdmin sha1_admin = {};

void release_catalog_admins()
{
    for (CatalogAdmin* admin : {&sha256_admin, &sha1_admin}) {
        if (admin->handle != nullptr)
            CryptCATAdminReleaseContext(admin->handle, 0);
        admin->handle = nullptr;
    }
}

void acquire_sha256_admin()
{
    HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    if (wintrust == nullptr)
        return;
    acquire_context2_function acquire =
        reinterpret_cast<acquire_context2_function>(GetProcAddress(wintrust, "CryptCATAdminAcquireContext2"));
    calc_hash2_function calc_hash2 =
        reinterpret_cast<calc_hash2_function>(GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2"));
    if (acquire != nullptr && calc_hash2 != nullptr &&
        acquire(&sha256_admin.handle, nullptr, SHA256_ALGORITHM, nullptr, 0) == TRUE)
        sha256_admin.calc_hash2 = calc_hash2;
    else
        sha256_admin.handle = nullptr;
}

void acquire_sha1_admin()
{
    if (CryptCATAdminAcquireContext(&sha1_admin.handle, nullptr, 0) != TRUE)
        sha1_admin.handle = nullptr;
}

HCATADMIN run_catalog_admin(CatalogAdmin& admin, void (*acquire)())
{
    static bool release_registered = false;
    if (admin.tried)
        return admin.handle;
    admin.tried = true;
    acquire();
    if (admin.handle != nullptr && !release_registered) {
        release_registered = true;
        atexit(release_catalog_admins);
    }
    return admin.handle;
}

// No UI, no revocation check, and nothing fetched from the network: many machines are offline.
LONG verify_trust(DWORD choice, void* subject)
{
    WINTRUST_DATA data;
    memset(&data, 0, sizeof(data));
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = choice;
    if (choice == WTD_CHOICE_FILE)
        data.pFile = static_cast<WINTRUST_FILE_INFO*>(subject);
    else
        data.pCatalog = static_cast<WINTRUST_CATALOG_INFO*>(subject);
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

void hash_to_member_tag(const BYTE* hash, DWORD size, wchar_t* tag)
{
    for (DWORD index = 0; index < size; ++index)
        wsprintfW(tag + 2 * index, L"%02X", hash[index]);
    tag[2 * size] = L'\0';
}

bool verify_in_catalog(TrustCheck& check, HCATADMIN admin, BYTE* hash, DWORD hash_size)
{
    HCATINFO listed = CryptCATAdminEnumCatalogFromHash(admin, hash, hash_size, 0, nullptr);
    if (listed == nullptr)
        return false;
    CATALOG_INFO info;
    memset(&info, 0, sizeof(info));
    info.cbStruct = sizeof(info);
    bool found = CryptCATCatalogInfoFromContext(listed, &info, 0) == TRUE;
    if (found) {
        wchar_t member_tag[2 * LONGEST_CATALOG_HASH + 1];
        hash_to_member_tag(hash, hash_size, member_tag);
        WINTRUST_CATALOG_INFO member;
        memset(&member, 0, sizeof(member));
        member.cbStruct = sizeof(member);
        member.pcwszCatalogFilePath = info.wszCatalogFile;
        member.pcwszMemberTag = member_tag;
        member.pcwszMemberFilePath = check.path;
        member.hMemberFile = check.file;
        member.pbCalculatedFileHash = hash;
        member.cbCalculatedFileHash = hash_size;
        check.result = verify_trust(WTD_CHOICE_CATALOG, &member);
        check.in_catalog = true;
        copy_text(check.catalog_path, MAX_PATH, info.wszCatalogFile);
    }
    CryptCATAdminReleaseCatalogContext(admin, listed, 0);
    return found;
}

bool calc_catalog_hash(const CatalogAdmin& admin, HANDLE file, BYTE* hash, DWORD& size)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    size = LONGEST_CATALOG_HASH;
    if (admin.calc_hash2 != nullptr)
        return admin.calc_hash2(admin.handle, file, &size, hash, 0) == TRUE;
    return CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0) == TRUE;
}

// A file without an embedded signature may still be listed in one of the system's catalogs:
// by its SHA-256 hash, else by its SHA-1 hash.
void look_up_catalogs(TrustCheck& check)
{
    struct Lookup {
        CatalogAdmin* admin;
        void (*acquire)();
    };
    const Lookup lookups[] = {{&sha256_admin, acquire_sha256_admin}, {&sha1_admin, acquire_sha1_admin}};
    for (const Lookup& lookup : lookups) {
        HCATADMIN admin = run_catalog_admin(*lookup.admin, lookup.acquire);
        BYTE hash[LONGEST_CATALOG_HASH];
        DWORD hash_size = 0;
        if (admin != nullptr && calc_catalog_hash(*lookup.admin, check.file, hash, hash_size) &&
            verify_in_catalog(check, admin, hash, hash_size))
            return;
    }
}

bool may_be_in_catalog(LONG result)
{
    return result == TRUST_E_NOSIGNATURE || result == TRUST_E_SUBJECT_FORM_UNKNOWN ||
           result == TRUST_E_PROVIDER_UNKNOWN;
}

// The trust provider parses the file's certificate table itself; it runs guarded, so that a
// damaged one costs this file's verdict only.
void call_check_trust(void* context)
{
    TrustCheck& check = *static_cast<TrustCheck*>(context);
    WINTRUST_FILE_INFO subject;
    memset(&subject, 0, sizeof(subject));
    subject.cbStruct = sizeof(subject);
    subject.pcwszFilePath = check.path;
    subject.hFile = check.file;
    check.result = verify_trust(WTD_CHOICE_FILE, &subject);
    if (may_be_in_catalog(check.result))
        look_up_catalogs(check);
}

void check_trust(TrustCheck& check)
{
    if (!run_guarded(call_check_trust, &check)) {
        check.result = DAMAGED_SIGNATURE;
        check.in_catalog = false;
    }
}

// The system's text of code without its line end, then the code in hexadecimal.
std::wstring other_verdict(LONG result)
{
    wchar_t* system_text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(result),
                       0x400, reinterpret_cast<LPWSTR>(&system_text), 0, nullptr);
    std::wstring text = length > 0 ? system_text : L"UNKNOWN_ERROR_CODE";
    if (system_text != nullptr)
        LocalFree(system_text);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    wchar_t code[16];
    wsprintfW(code, L" (0x%08X)", static_cast<unsigned>(result));
    return text + code;
}

std::wstring verdict_text(const TrustCheck& check)
{
    switch (check.result) {
    case ERROR_SUCCESS:
        return check.in_catalog ? L"Signed (catalog)" : L"Signed";
    case TRUST_E_NOSIGNATURE:
        return L"Unsigned";
    case TRUST_E_BAD_DIGEST:
        return L"Changed after signing";
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
        return L"Not a signable file";
    default:
        return other_verdict(check.result);
    }
}

DWORD verdict_exit_code(const TrustCheck& check)
{
    switch (check.result) {
    case ERROR_SUCCESS:
        return EXIT_SIGNED;
    case TRUST_E_NOSIGNATURE:
        return EXIT_UNSIGNED;
    case TRUST_E_BAD_DIGEST:
        return EXIT_CHANGED;
    default:
        return EXIT_OTHER_VERDICT;
    }
}

const CRYPT_ATTRIBUTE* find_attribute(const CRYPT_ATTRIBUTES& attributes, const char* oid)
{
    for (DWORD index = 0; index < attributes.cAttr; ++index) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[index];
        if (attribute.pszObjId != nullptr && strcmp(attribute.pszObjId, oid) == 0 && attribute.cValue > 0)
            return &attribute;
    }
    return nullptr;
}

bool decode_time(LPCSTR type, const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    DWORD size = sizeof(time);
    return CryptDecodeObjectEx(ENCODINGS, type, value.pbData, value.cbData, 0, nullptr, &time, &size) == TRUE;
}

// The decoded structure in memory of its own (LocalFree), or null when data is no such thing.
void* decode_allocated(LPCSTR type, const BYTE* data, DWORD size)
{
    void* decoded = nullptr;
    DWORD decoded_size = 0;
    if (CryptDecodeObjectEx(ENCODINGS, type, data, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decoded_size) !=
        TRUE)
        return nullptr;
    return decoded;
}

// An Authenticode counter-signature: a signer info whose signing time is the time stamp.
bool read_counter_signature(const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    CMSG_SIGNER_INFO* counter =
        static_cast<CMSG_SIGNER_INFO*>(decode_allocated(PKCS7_SIGNER_INFO, value.pbData, value.cbData));
    if (counter == nullptr)
        return false;
    const CRYPT_ATTRIBUTE* signing_time = find_attribute(counter->AuthAttrs, szOID_RSA_signingTime);
    bool found = signing_time != nullptr && decode_time(szOID_RSA_signingTime, signing_time->rgValue[0], time);
    LocalFree(counter);
    return found;
}

// The genTime field of an encoded TSTInfo.
bool read_gen_time(const BYTE* encoded, DWORD size, FILETIME& time)
{
    CRYPT_SEQUENCE_OF_ANY* fields =
        static_cast<CRYPT_SEQUENCE_OF_ANY*>(decode_allocated(X509_SEQUENCE_OF_ANY, encoded, size));
    if (fields == nullptr)
        return false;
    bool found =
        fields->cValue > GEN_TIME_FIELD && decode_time(X509_CHOICE_OF_TIME, fields->rgValue[GEN_TIME_FIELD], time);
    LocalFree(fields);
    return found;
}

// Some providers hand the token's content over still wrapped in its OCTET STRING.
bool read_wrapped_gen_time(const BYTE* encoded, DWORD size, FILETIME& time)
{
    CRYPT_DATA_BLOB* inner = static_cast<CRYPT_DATA_BLOB*>(decode_allocated(X509_OCTET_STRING, encoded, size));
    if (inner == nullptr)
        return false;
    bool found = read_gen_time(inner->pbData, inner->cbData, time);
    LocalFree(inner);
    return found;
}

// The genTime of the time-stamp token's TSTInfo content.
bool read_token_time(HCRYPTMSG token, FILETIME& time)
{
    DWORD content_size = 0;
    if (CryptMsgGetParam(token, CMSG_CONTENT_PARAM, 0, nullptr, &content_size) != TRUE || content_size == 0)
        return false;
    BYTE* content = static_cast<BYTE*>(VirtualAlloc(nullptr, content_size, MEM_COMMIT, PAGE_READWRITE));
    if (content == nullptr)
        return false;
    bool found = CryptMsgGetParam(token, CMSG_CONTENT_PARAM, 0, content, &content_size) == TRUE &&
                 (read_gen_time(content, content_size, time) || read_wrapped_gen_time(content, content_size, time));
    VirtualFree(content, 0, MEM_RELEASE);
    return found;
}

// An RFC 3161 time stamp: a signed message whose content is the TSTInfo.
bool read_rfc3161_stamp(const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    HCRYPTMSG token = CryptMsgOpenToDecode(ENCODINGS, 0, 0, 0, nullptr, nullptr);
    if (token == nullptr)
        return false;
    bool found = CryptMsgUpdate(token, value.pbData, value.cbData, TRUE) == TRUE && read_token_time(token, time);
    CryptMsgClose(token);
    return found;
}

void read_time_stamp(SignerReading& reading)
{
    const CRYPT_ATTRIBUTES& unsigned_attributes = reading.info->UnauthAttrs;
    const CRYPT_ATTRIBUTE* counter = find_attribute(unsigned_attributes, szOID_RSA_counterSign);
    if (counter != nullptr)
        reading.stamped = read_counter_signature(counter->rgValue[0], reading.signed_on);
    const CRYPT_ATTRIBUTE* token = find_attribute(unsigned_attributes, szOID_RFC3161_counterSign);
    if (!reading.stamped && token != nullptr)
        reading.stamped = read_rfc3161_stamp(token->rgValue[0], reading.signed_on);
}

bool open_signature(SignerReading& reading)
{
    DWORD encoding = 0, content_type = 0, format_type = 0;
    if (CryptQueryObject(CERT_QUERY_OBJECT_FILE, reading.source,
                         CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED | CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                         CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type, &reading.store,
                         &reading.message, nullptr) != TRUE)
        return false;
    if (CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &reading.info_size) != TRUE ||
        reading.info_size == 0)
        return false;
    reading.info = static_cast<CMSG_SIGNER_INFO*>(VirtualAlloc(nullptr, reading.info_size, MEM_COMMIT, PAGE_READWRITE));
    return reading.info != nullptr &&
           CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, reading.info, &reading.info_size) == TRUE;
}

// The signature's data may be hostile too: the reading runs guarded like the trust check.
void call_read_signer(void* context)
{
    SignerReading& reading = *static_cast<SignerReading*>(context);
    if (!open_signature(reading))
        return;
    CERT_INFO wanted;
    memset(&wanted, 0, sizeof(wanted));
    wanted.Issuer = reading.info->Issuer;
    wanted.SerialNumber = reading.info->SerialNumber;
    reading.certificate =
        CertFindCertificateInStore(reading.store, ENCODINGS, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (reading.certificate == nullptr)
        return;
    CertGetNameStringW(reading.certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, reading.signer, TEXT_CHARS);
    CertGetNameStringW(reading.certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr,
                       reading.issuer, TEXT_CHARS);
    read_time_stamp(reading);
    reading.found = true;
}

void release_signer_reading(SignerReading& reading)
{
    if (reading.certificate != nullptr)
        CertFreeCertificateContext(reading.certificate);
    if (reading.info != nullptr)
        VirtualFree(reading.info, 0, MEM_RELEASE);
    if (reading.message != nullptr)
        CryptMsgClose(reading.message);
    if (reading.store != nullptr)
        CertCloseStore(reading.store, 0);
}

void print_signer(const TrustCheck& check)
{
    SignerReading reading;
    memset(&reading, 0, sizeof(reading));
    reading.source = check.in_catalog ? check.catalog_path : check.path;
    bool completed = run_guarded(call_read_signer, &reading);
    if (completed && reading.found) {
        wchar_t signed_on[TEXT_CHARS];
        clear_text_buffer(signed_on);
        if (reading.stamped)
            format_file_time(reading.signed_on, signed_on, TEXT_CHARS);
        else
            copy_text(signed_on, TEXT_CHARS, L"none");
        print_colored_line(7, L"%ls", L"[Signer]\n");
        print_colored_line(2, L"-- %ls --\n", reading.signer);
        print_colored_line(7, L"%ls", L"[Issuer]\n");
        print_colored_line(2, L"-- %ls --\n", reading.issuer);
        print_colored_line(7, L"%ls", L"[Signed On]\n");
        print_colored_line(2, L"-- %ls --\n", signed_on);
    }
    release_signer_reading(reading);
}

void print_block(const TrustCheck& check)
{
    print_colored_line(7, L"%ls", L"[Signature]\n");
    print_colored_line(2, L"-- %ls --\n", verdict_text(check).c_str());
    print_signer(check);
}

// Directories and files that cannot be opened have no verdict; false then, with the open's
// code in error. A directory never opens this way.
bool open_for_check(const wchar_t* path, TrustCheck& check, DWORD& error)
{
    memset(&check, 0, sizeof(check));
    check.path = path;
    check.file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (check.file != INVALID_HANDLE_VALUE)
        return true;
    error = GetLastError();
    return false;
}

} // namespace

std::wstring signature_verdict(const wchar_t* path)
{
    TrustCheck check;
    DWORD error = 0;
    if (!open_for_check(path, check, error))
        return std::wstring();
    check_trust(check);
    CloseHandle(check.file);
    return verdict_text(check);
}

void print_signature_information(const wchar_t* path)
{
    if (settings.PrintSignatureInformation != 1)
        return;
    TrustCheck check;
    DWORD error = 0;
    if (!open_for_check(path, check, error))
        return;
    check_trust(check);
    print_block(check);
    CloseHandle(check.file);
}

DWORD command_verify()
{
    print_banner();
    if (stored_word_count < 3) {
        ql_wprintf(L"\nCould not verify File. Reason: ");
        print_error_detail(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const wchar_t* path = stored_words[2];
    TrustCheck check;
    DWORD error = 0;
    if (!open_for_check(path, check, error)) {
        print_unopenable_file(error);
        return error;
    }
    ql_wprintf(L"\n");
    check_trust(check);
    print_block(check);
    CloseHandle(check.file);
    return verdict_exit_code(check);
}
