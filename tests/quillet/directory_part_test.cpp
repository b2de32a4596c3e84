#include <gtest/gtest.h>

#include <string>

#include "directory_walk.h"
#include "text_helpers.h"

namespace {

std::wstring directory_part(const std::wstring& path)
{
    wchar_t out[TEXT_CHARS];
    wmemset(out, L'#', TEXT_CHARS);
    EXPECT_EQ(out, get_directory_part(path.c_str(), out));
    return out;
}

} // namespace

TEST(DirectoryPart, DropsTheLastElementAndItsSeparator)
{
    EXPECT_EQ(L"C:\\Windows\\System32", directory_part(L"C:\\Windows\\System32\\kernel32.dll"));
    EXPECT_EQ(L"C:\\tools", directory_part(L"C:\\tools\\*.dll"));
}

TEST(DirectoryPart, RootKeepsItsBackslashAndBareNamesGiveNothing)
{
    EXPECT_EQ(L"C:\\", directory_part(L"C:\\*.dll"));
    EXPECT_EQ(L"", directory_part(L"*.dll"));
}

TEST(DirectoryPart, OverlongPathIsCutNeverOverrun)
{
    std::wstring path = L"C:\\" + std::wstring(400, L'a') + L"\\*.dll";
    std::wstring part = directory_part(path);
    EXPECT_LT(part.size(), static_cast<size_t>(TEXT_CHARS));
}
