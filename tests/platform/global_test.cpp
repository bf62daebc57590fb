// Global memory blocks: lock counts, flags, resizing and stale handles.
#include "platform/clock.h"
#include "platform/global.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cstring>

namespace {

// The lock count sits in the low byte of the flags and nothing else does: a
// moveable block locked twice reads 2, a shared one carries its share flag
// above the count.
TEST(GlobalMemory, FlagsHoldTheLockCountAndTheShareFlag) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalFlags(h), 0u);
    ASSERT_NE(GlobalLock(h), nullptr);
    ASSERT_NE(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalFlags(h), 2u);
    EXPECT_TRUE(GlobalUnlock(h));  // still locked once
    EXPECT_FALSE(GlobalUnlock(h)); // now free
    EXPECT_FALSE(GlobalUnlock(h)); // not locked: refused
    EXPECT_EQ(GlobalFlags(h), 0u);
    EXPECT_EQ(GlobalFree(h), nullptr);

    HGLOBAL shared = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, 4);
    ASSERT_NE(shared, nullptr);
    GlobalLock(shared);
    EXPECT_EQ(GlobalFlags(shared), GMEM_DDESHARE | 1u);
    GlobalUnlock(shared);
    GlobalFree(shared);
}

// A resized block keeps its bytes up to the smaller size and reads zero
// beyond; a freed handle is refused everywhere, and freeing it again hands
// it back.
TEST(GlobalMemory, ResizeKeepsTheBytesAndAFreedHandleIsRefused) {
    const std::size_t live = global_live_blocks();
    const char text[] = "abcdef";
    HGLOBAL h = global_from_bytes(text, 6);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(global_live_blocks(), live + 1);
    ASSERT_EQ(GlobalReAlloc(h, 10, GMEM_MOVEABLE), h);
    EXPECT_EQ(GlobalSize(h), 10u);
    const auto* p = static_cast<const char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "abcdef\0\0\0\0", 10), 0);
    EXPECT_EQ(GlobalHandle(p), h);
    GlobalUnlock(h);
    ASSERT_EQ(GlobalReAlloc(h, 3, 0), h);
    p = static_cast<const char*>(GlobalLock(h));
    EXPECT_EQ(std::string(p, 3), "abc");
    GlobalUnlock(h);

    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(global_live_blocks(), live);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalFlags(h), GMEM_INVALID_HANDLE);
    EXPECT_EQ(GlobalFree(h), h);
    EXPECT_EQ(GlobalAlloc(0, global_max_size + 1), nullptr);
}

} // namespace

namespace {

// The steady clock starts at one second, so no time it gives is 0 ("now"),
// and a sleep of n milliseconds lasts at least n milliseconds.
TEST(SteadyClockTimes, StartAtOneSecondAndSleepInMilliseconds) {
    SteadyClock clock;
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t first = clock.now_ms();
    EXPECT_GE(first, 1000u);
    EXPECT_LT(first, 1000u + 60000u);
    const auto before = std::chrono::steady_clock::now();
    clock.sleep_ms(30);
    const auto slept = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - before);
    EXPECT_GE(slept.count(), 30);
    const std::uint64_t after = clock.now_ms();
    EXPECT_GE(after, first + 30);
    // No more than the wait took on the steady clock either (a millisecond
    // for the rounding at each end).
    const auto since_first = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_LE(after - first, static_cast<std::uint64_t>(since_first.count()) + 2);
}

} // namespace
