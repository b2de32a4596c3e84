#include "file_owner.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "ini_output.h"

namespace {

const DWORD ACCOUNT_CHARS = 513;

bool look_up_owner(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL owner_defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) || owner == nullptr)
        return false;
    if (!IsValidSid(owner))
        return false;
    wchar_t account[ACCOUNT_CHARS];
    wchar_t domain[ACCOUNT_CHARS];
    memset(account, 0, sizeof(account));
    memset(domain, 0, sizeof(domain));
    DWORD account_chars = ACCOUNT_CHARS;
    DWORD domain_chars = ACCOUNT_CHARS;
    SID_NAME_USE account_type;
    return LookupAccountSidW(nullptr, owner, account, &account_chars, domain, &domain_chars, &account_type) != FALSE;
}

} // namespace

void report_file_owner(const wchar_t* path)
{
    // The first call only learns how big the descriptor is.
    DWORD size = 0;
    GetFileSecurityW(path, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0)
        return;
    PSECURITY_DESCRIPTOR descriptor = malloc(size);
    if (descriptor == nullptr)
        return;
    if (GetFileSecurityW(path, OWNER_SECURITY_INFORMATION, descriptor, size, &size) && look_up_owner(descriptor))
        ini_wprintf(L"\nSUCCESS\n");
    free(descriptor);
}
