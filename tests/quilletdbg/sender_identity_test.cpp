#include <gtest/gtest.h>

#include <windows.h>

#include "sender_identity.h"
#include "text_helpers.h"

namespace {

// Too large for the stack.
SenderCache cache;

const ULONGLONG SECOND = 10000000;

} // namespace

// A cached name stands for the process that was created at the cached time, and for no later
// process that the system gave the same ID.
TEST(SenderIdentity, CachedNameCountsOnlyForTheSameCreationTime)
{
    DWORD self = GetCurrentProcessId();
    ULONGLONG created = process_creation_time(GetCurrentProcess());
    ASSERT_NE(0u, created);
    struct {
        ULONGLONG cached_created;
        const wchar_t* expected;
    } cases[] = {
        {created - 5 * SECOND, L"quilletdbg_unit_tests.exe"}, // an earlier owner of the ID
        {created, L"cached.exe"},                             // this process: the cached name
    };
    for (const auto& c : cases) {
        forget_senders(cache);
        remember_sender(cache, self, c.cached_created, L"cached.exe");
        for (int pass = 0; pass < 2; ++pass) { // the second one finds the handle held
            wchar_t name[TEXT_CHARS] = {};
            identify_sender(cache, self, name);
            EXPECT_STREQ(c.expected, name) << "pass " << pass;
        }
    }
    forget_senders(cache);
}

TEST(SenderIdentity, UnknownProcessGivesNAAndStaysOutOfTheCache)
{
    forget_senders(cache);
    wchar_t name[TEXT_CHARS] = {};
    identify_sender(cache, 0xFFFFFFF0u, name);
    EXPECT_STREQ(L"N/A", name);
    EXPECT_EQ(0, cache.count);
}

// More senders than handles may be held: the oldest handles go, the names stay right.
TEST(SenderIdentity, HeldHandlesStayBounded)
{
    forget_senders(cache);
    DWORD self = GetCurrentProcessId();
    ULONGLONG created = process_creation_time(GetCurrentProcess());
    for (int i = 0; i < HELD_SENDER_HANDLES; ++i) {
        remember_sender(cache, self + 4 * (i + 1) * 1000, created, L"other.exe");
        cache.entries[cache.count - 1].process = OpenProcess(SYNCHRONIZE, FALSE, self);
        ++cache.held;
    }
    wchar_t name[TEXT_CHARS] = {};
    identify_sender(cache, self, name);
    EXPECT_STREQ(L"quilletdbg_unit_tests.exe", name);
    EXPECT_EQ(HELD_SENDER_HANDLES, cache.held);
    forget_senders(cache);
    EXPECT_EQ(0, cache.held);
}
