#include "user_context.h"

#include <stdlib.h>
#include <string.h>

UserContext user_context = {};

const wchar_t NO_SID_TEXT[] = L"No SID was aquired!";

typedef BOOL(WINAPI* convert_sid_function)(PSID sid, LPWSTR* text);

int convert_sid_to_text_from(const wchar_t* library, PSID sid, wchar_t** text)
{
    HMODULE module = LoadLibraryW(library);
    if (module == nullptr)
        return 0;
    convert_sid_function convert =
        reinterpret_cast<convert_sid_function>(GetProcAddress(module, "ConvertSidToStringSidW"));
    if (convert == nullptr) {
        FreeLibrary(module);
        return 0;
    }
    SetLastError(0);
    int result = convert(sid, text);
    FreeLibrary(module);
    return result;
}

int convert_sid_to_text(PSID sid, wchar_t** text)
{
    return convert_sid_to_text_from(L"advapi32.dll", sid, text);
}

void load_user_context_from(const wchar_t* library)
{
    UserContext& context = user_context;
    memset(context.user_name, 0, sizeof(context.user_name));
    memset(context.domain_name, 0, sizeof(context.domain_name));
    DWORD user_chars = USER_NAME_CHARS;
    GetUserNameW(context.user_name, &user_chars);

    // The first lookup only learns how big the SID is.
    DWORD domain_chars = DOMAIN_NAME_CHARS;
    LookupAccountNameW(nullptr, context.user_name, nullptr, &context.sid_size, context.domain_name, &domain_chars,
                       &context.account_type);
    context.sid = malloc(context.sid_size > 0 ? context.sid_size : 1);
    if (context.sid == nullptr)
        return;
    domain_chars = DOMAIN_NAME_CHARS;
    if (!LookupAccountNameW(nullptr, context.user_name, context.sid, &context.sid_size, context.domain_name,
                            &domain_chars, &context.account_type))
        return;
    if (!convert_sid_to_text_from(library, context.sid, &context.sid_text))
        context.sid_text = const_cast<wchar_t*>(NO_SID_TEXT);
}

void load_user_context()
{
    load_user_context_from(L"advapi32.dll");
}

void release_user_context()
{
    free(user_context.sid);
    user_context.sid = nullptr;
    if (user_context.sid_text != nullptr && user_context.sid_text != NO_SID_TEXT)
        LocalFree(user_context.sid_text);
    user_context.sid_text = nullptr;
}
