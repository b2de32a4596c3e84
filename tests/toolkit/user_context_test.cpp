#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "user_context.h"

TEST(UserContext, LooksUpTheAccountAndItsSidText)
{
    load_user_context();
    wchar_t expected_user[USER_NAME_CHARS] = {};
    DWORD chars = USER_NAME_CHARS;
    GetUserNameW(expected_user, &chars);
    EXPECT_STREQ(expected_user, user_context.user_name);
    EXPECT_NE(L'\0', user_context.domain_name[0]);
    ASSERT_NE(nullptr, user_context.sid_text);
    EXPECT_EQ(0, wcsncmp(user_context.sid_text, L"S-1-", 4)) << user_context.sid_text;
    EXPECT_TRUE(IsValidSid(user_context.sid));
}

TEST(UserContext, ConversionBoundAtRunTime)
{
    load_user_context();
    wchar_t* text = nullptr;
    EXPECT_NE(0, convert_sid_to_text(user_context.sid, &text));
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ(user_context.sid_text, text);
    LocalFree(text);
}

TEST(UserContext, LibraryWithoutTheFunctionGivesTheFallbackText)
{
    user_context.sid_text = nullptr;
    load_user_context_from(L"kernel32.dll");
    EXPECT_STREQ(L"No SID was aquired!", user_context.sid_text);
    user_context.sid_text = nullptr;
    load_user_context_from(L"no-such-library-here.dll");
    EXPECT_STREQ(L"No SID was aquired!", user_context.sid_text);
    wchar_t* text = nullptr;
    EXPECT_EQ(0, convert_sid_to_text_from(L"kernel32.dll", user_context.sid, &text));
    EXPECT_EQ(nullptr, text);
}
