#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "failure_notice.h"
#include "html_text.h"
#include "report_output.h"
#include "stdout_capture.h"
#include "test_files.h"
#include "text_helpers.h"
#include "user_context.h"

namespace {

class HtmlText : public ::testing::Test {
  protected:
    UserContext saved;

    void SetUp() override
    {
        load_user_context();
        saved = user_context;
        html_mode = false;
    }

    void TearDown() override
    {
        user_context = saved;
        html_mode = false;
    }

    std::string notice_with_names(const wchar_t* domain, const wchar_t* user, wchar_t* sid_text)
    {
        copy_text(user_context.domain_name, DOMAIN_NAME_CHARS, domain);
        copy_text(user_context.user_name, USER_NAME_CHARS, user);
        user_context.sid_text = sid_text;
        stdout_capture_begin();
        print_failure(2, L"Could not open File for reading.");
        return stdout_capture_end();
    }
};

} // namespace

TEST_F(HtmlText, EscapesTheFiveMarkupCharacters)
{
    EXPECT_EQ(L"&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;",
              html_escape(L"<script>alert('x')</script> & \"q\""));
    EXPECT_EQ(L"&amp;amp;", html_escape(L"&amp;"));
    EXPECT_EQ(L"C:\\plain\\path 100%.dll", html_escape(L"C:\\plain\\path 100%.dll"));
    EXPECT_EQ(L"", html_escape(L""));
    EXPECT_EQ(L"(null)", html_escape(nullptr));
}

TEST_F(HtmlText, ValuesChangeOnlyInHtmlMode)
{
    EXPECT_EQ(L"a<b>&'\"", html_value(L"a<b>&'\""));
    EXPECT_EQ(L"(null)", html_value(nullptr));
    html_mode = true;
    EXPECT_EQ(L"a&lt;b&gt;&amp;&#39;&quot;", html_value(L"a<b>&'\""));
}

TEST_F(HtmlText, FailureNoticeEscapesAccountNamesInHtmlOnly)
{
    wchar_t sid[] = L"S-1-<5>";
    std::string console = notice_with_names(L"DOM&AIN", L"<img src=x>", sid);
    EXPECT_NE(std::string::npos, console.find("User Context: DOM&AIN\\<img src=x>\r\n"));
    EXPECT_NE(std::string::npos, console.find("User SID: S-1-<5>\r\n"));

    html_mode = true;
    std::string html = notice_with_names(L"DOM&AIN", L"<img src=x>", sid);
    EXPECT_NE(std::string::npos, html.find("User Context: DOM&amp;AIN\\&lt;img src=x&gt;\r\n<br>"));
    EXPECT_NE(std::string::npos, html.find("User SID: S-1-&lt;5&gt;\r\n<br>"));
    EXPECT_EQ(std::string::npos, html.find("<img"));
}
