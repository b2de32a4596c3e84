#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "captured_print.h"
#include "error_detail.h"
#include "system_text.h"

namespace {

void* refuse_commit(SIZE_T)
{
    return nullptr;
}

} // namespace

TEST(ErrorDetail, PrintsTheSystemsTextUnchanged)
{
    for (DWORD code : {0u, 2u, 5u, 87u, 10061u}) {
        captured_text.clear();
        print_error_detail(code);
        std::wstring expected = system_text_wide(code);
        ASSERT_NE(L"UNKNOWN_ERROR_CODE\n", expected) << code;
        EXPECT_EQ(expected, captured_text) << code;
    }
}

TEST(ErrorDetail, CodeWithoutTextGivesTheFixedText)
{
    captured_text.clear();
    print_error_detail(0x2000FFFF);
    EXPECT_EQ(L"UNKNOWN_ERROR_CODE\n", captured_text);
}

TEST(ErrorDetail, HighBitCodesAreLookedUpUnsigned)
{
    // NTE_BAD_ALGID, the form of the CryptoAPI failures.
    captured_text.clear();
    print_error_detail(0x80090008);
    EXPECT_EQ(system_text_wide(0x80090008), captured_text);
}

TEST(ErrorDetail, FailedCommitStillPrintsAndWritesNothingThroughIt)
{
    error_detail_commit = refuse_commit;
    captured_text.clear();
    print_error_detail(2);
    error_detail_commit = [](SIZE_T bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE); };
    EXPECT_EQ(system_text_wide(2), captured_text);
}
