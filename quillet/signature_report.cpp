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
#include "signer_reading.h"
#include "text_helpers.h"
#include "version_report.h"

namespace {

// What a fault inside the platform's parsing of a damaged signature is reported as.
const LONG DAMAGED_SIGNATURE = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Catalog hashes are SHA-1 or SHA-256 digests; anything longer is not one.
const DWORD LONGEST_CATALOG_HASH = 64;

enum VerifyExit { EXIT_SIGNED = 0, EXIT_UNSIGNED = 1, EXIT_CHANGED = 2, EXIT_OTHER_VERDICT = 3 };

// The trust result of one file, and where its signature lies: in the file or in a catalog.
struct TrustCheck {
    const wchar_t* path;
    HANDLE file;
    LONG result;
    bool in_catalog;
    wchar_t catalog_path[MAX_PATH];
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

void print_block(const TrustCheck& check)
{
    print_colored_line(7, L"%ls", L"[Signature]\n");
    print_colored_line(2, L"-- %ls --\n", verdict_text(check).c_str());
    print_signer_lines(check.in_catalog ? check.catalog_path : check.path);
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

void read_signature(const wchar_t* path, SignatureFacts& facts)
{
    facts = SignatureFacts();
    TrustCheck check;
    DWORD error = 0;
    if (!open_for_check(path, check, error))
        return;
    check_trust(check);
    CloseHandle(check.file);
    facts.verdict = verdict_text(check);
    SignerFacts signer;
    if (read_signer(check.in_catalog ? check.catalog_path : check.path, signer))
        facts.signers.push_back(signer);
}

bool unsigned_only = false;

bool signature_shown()
{
    return settings.PrintSignatureInformation == 1 || unsigned_only;
}

bool left_out_as_signed(const wchar_t* path)
{
    TrustCheck check;
    DWORD error = 0;
    if (!open_for_check(path, check, error)) {
        DWORD attributes = GetFileAttributesW(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    check_trust(check);
    CloseHandle(check.file);
    return check.result == ERROR_SUCCESS || check.result == TRUST_E_SUBJECT_FORM_UNKNOWN;
}

void print_signature_information(const wchar_t* path)
{
    if (!signature_shown())
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
