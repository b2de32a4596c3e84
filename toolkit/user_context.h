// The account that runs the tool, looked up once at start.
#pragma once

#include <windows.h>

const int USER_NAME_CHARS = 257;
const int DOMAIN_NAME_CHARS = 260;

struct UserContext {
    wchar_t user_name[USER_NAME_CHARS];
    wchar_t domain_name[DOMAIN_NAME_CHARS];
    PSID sid;
    DWORD sid_size;
    SID_NAME_USE account_type;
    // The SID's string form (allocated by the system), NO_SID_TEXT, or null.
    wchar_t* sid_text;
};

extern UserContext user_context;

extern const wchar_t NO_SID_TEXT[];

void load_user_context();

// Converts sid to text with ConvertSidToStringSidW bound at run time from "advapi32.dll".
// Returns non-zero on success, 0 when the library, the function or the conversion fails.
int convert_sid_to_text(PSID sid, wchar_t** text);

// The same with the library named; load_user_context and convert_sid_to_text use
// "advapi32.dll". Another name shows what a system without the function gives.
void load_user_context_from(const wchar_t* library);
int convert_sid_to_text_from(const wchar_t* library, PSID sid, wchar_t** text);

// Frees what the lookup allocated (the settings file editor does so at exit).
void release_user_context();
