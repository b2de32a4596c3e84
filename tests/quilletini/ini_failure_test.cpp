#include <gtest/gtest.h>

#include <string>

#include "ini_output.h"
#include "stdout_capture.h"
#include "test_files.h"
#include "user_context.h"

TEST(IniFailureNotice, FixedHeaderWithoutLeadingLineBreakOrBreakTags)
{
    load_user_context();
    stdout_capture_begin();
    print_failure(5);
    std::string out = stdout_capture_end();
    std::string expected_head =
        "Error: Opening file failed. Reason: 5\r\nUser Context: " + narrow(user_context.domain_name) + "\\" +
        narrow(user_context.user_name) + "\r\nUser SID: " + narrow(user_context.sid_text) + "\r\nDetail: ";
    EXPECT_EQ(expected_head, out.substr(0, expected_head.size()));
    EXPECT_EQ("\r\n", out.substr(out.size() - 2));
    EXPECT_EQ(std::string::npos, out.find("<br>"));
}
