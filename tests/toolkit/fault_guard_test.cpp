#include <gtest/gtest.h>

#include <windows.h>

#include "fault_guard.h"

namespace {

void write_through(void* address)
{
    *static_cast<volatile int*>(address) = 1;
}

void count_up(void* counter)
{
    ++*static_cast<int*>(counter);
}

DWORD WINAPI fault_on_thread(void* result)
{
    *static_cast<bool*>(result) = run_guarded(write_through, reinterpret_cast<void*>(16));
    return 0;
}

} // namespace

TEST(FaultGuard, BodyThatEndsNormallyReportsTrue)
{
    int counter = 0;
    EXPECT_TRUE(run_guarded(count_up, &counter));
    EXPECT_EQ(1, counter);
}

TEST(FaultGuard, AccessViolationEndsOnlyTheBody)
{
    for (int round = 0; round < 5; ++round)
        EXPECT_FALSE(run_guarded(write_through, reinterpret_cast<void*>(8))) << round;
    int counter = 0;
    EXPECT_TRUE(run_guarded(count_up, &counter));
    EXPECT_EQ(1, counter);
}

TEST(FaultGuard, DebugOutputInsideTheGuardIsNoFault)
{
    EXPECT_TRUE(run_guarded([](void*) { OutputDebugStringW(L"guarded debug output\n"); }, nullptr));
}

TEST(FaultGuard, HandledExceptionsNeverReachTheGuard)
{
    // Probing a bad pointer makes the system raise and handle an access violation itself.
    EXPECT_TRUE(run_guarded([](void*) { IsBadReadPtr(reinterpret_cast<void*>(8), 4); }, nullptr));
}

TEST(FaultGuard, InnerGuardCatchesFirstAndOuterStillWorks)
{
    struct Nested {
        bool inner;
    } nested = {true};
    bool outer = run_guarded(
        [](void* context) {
            static_cast<Nested*>(context)->inner = run_guarded(write_through, nullptr);
            write_through(nullptr);
        },
        &nested);
    EXPECT_FALSE(nested.inner);
    EXPECT_FALSE(outer);
}

TEST(FaultGuard, WorksOnOtherThreads)
{
    bool result = true;
    HANDLE thread = CreateThread(nullptr, 0, fault_on_thread, &result, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(result);
}
