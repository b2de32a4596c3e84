#include <gtest/gtest.h>

#include <windows.h>

#include "console_harness.h"
#include "text_color.h"

namespace {

WORD current_attribute()
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console_output_handle(), &info);
    return info.wAttributes;
}

void write_console(const wchar_t* text)
{
    DWORD written = 0;
    WriteConsoleW(console_output_handle(), text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
}

class TextColor : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(console_fresh());
        console_route_stdout(true);
    }
    void TearDown() override
    {
        console_route_stdout(false);
    }
};

} // namespace

TEST_F(TextColor, EveryColourShowsBright)
{
    const WORD passed[] = {1, 2, 3, 4, 7};
    const WORD shown[] = {9, 10, 11, 12, 15};
    for (int i = 0; i < 5; ++i) {
        set_text_color(passed[i]);
        EXPECT_EQ(shown[i], current_attribute()) << passed[i];
        restore_text_color();
        EXPECT_EQ(7, current_attribute());
    }
}

TEST_F(TextColor, PrintedCellsCarryTheColour)
{
    write_console(L"a");
    set_text_color(4);
    write_console(L"b");
    restore_text_color();
    write_console(L"c");
    EXPECT_EQ(L"abc", console_row(0));
    EXPECT_EQ(7, console_attribute(0, 0));
    EXPECT_EQ(12, console_attribute(0, 1));
    EXPECT_EQ(7, console_attribute(0, 2));
}

TEST_F(TextColor, SecondSetRemembersTheFirstColour)
{
    set_text_color(2);
    set_text_color(4);
    EXPECT_EQ(12, current_attribute());
    restore_text_color();
    EXPECT_EQ(10, current_attribute());
    restore_text_color(); // a second restore changes nothing
    EXPECT_EQ(10, current_attribute());
}

TEST(TextColorRedirected, NoConsoleLeavesTheStateAndDoesNotFail)
{
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, write_end);
    color_state.info.wAttributes = 0x1234;
    set_text_color(4);
    restore_text_color();
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    EXPECT_EQ(0x1234, color_state.info.wAttributes);
    EXPECT_EQ(write_end, color_state.console);
    DWORD available = 0;
    PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr);
    EXPECT_EQ(0u, available); // nothing, no escape codes, reached the pipe
    CloseHandle(read_end);
    CloseHandle(write_end);
}
