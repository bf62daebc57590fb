#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"

#if defined(__SANITIZE_ADDRESS__)
#define MEMTEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMTEST_ASAN 1
#endif
#endif
#ifdef MEMTEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

std::vector<std::string> messages;

int capture(int kind, const char*, const char* text) {
    messages.push_back(std::to_string(kind) + ":" + text);
    return 0;
}

bool reported(const std::string& part) {
    for (const auto& m : messages)
        if (m.find(part) != std::string::npos) return true;
    return false;
}

// True when a pointer kept past a move or free no longer sees the block's
// data: under AddressSanitizer the memory is marked unreadable (reading it
// would be reported), otherwise it holds the poison byte.
bool retired(const void* p, std::size_t n) {
#ifdef MEMTEST_ASAN
    (void)n;
    return __asan_address_is_poisoned(p) != 0;
#else
    auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != memory_poison_byte) return false;
    return true;
#endif
}

class Memory : public ::testing::Test {
protected:
    void SetUp() override {
        saved_debug_ = memory_debug();
        saved_hook_ = current_message_hook();
        set_message_hook(capture);
        messages.clear();
    }
    void TearDown() override {
        set_memory_fail_after(-1);
        set_memory_debug(saved_debug_);
        set_message_hook(saved_hook_);
        free_scratch();
    }
    std::uint32_t* cells(handle block) {
        // Pointers of the current lock; callers relock after any allocation.
        auto* p = static_cast<std::uint32_t*>(lock_handle(block));
        unlock_handle(block);
        return p;
    }
    const char* text_at(handle block, std::int32_t cell) {
        return reinterpret_cast<const char*>(cells(block) + cell);
    }

private:
    bool saved_debug_ = false;
    message_hook saved_hook_ = nullptr;
};

bool all_zero(const void* p, std::size_t n) {
    auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

// ---------------------------------------------------------------- handles ---

TEST_F(Memory, NewHandlesAreZeroFilledAndCounted) {
    std::size_t before = live_handle_count();
    handle a = new_handle(1000);
    handle b = new_handle(0);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(handle_slot(a), 0u);
    EXPECT_EQ(handle_size(a), 1000u);
    EXPECT_EQ(handle_size(b), 1u); // 0 bytes are taken as 1
    EXPECT_EQ(live_handle_count(), before + 2);
    {
        handle_lock<unsigned char> p(a);
        ASSERT_TRUE(p);
        EXPECT_TRUE(all_zero(p.get(), 1000));
        std::memset(p.get(), 0xAB, 1000);
    }
    free_handle(a);
    // A dirty block given back is zero-filled when handed out again.
    handle c = new_handle(1000);
    {
        handle_lock<unsigned char> p(c);
        EXPECT_TRUE(all_zero(p.get(), 1000));
    }
    free_handle(b);
    free_handle(c);
    free_handle(0); // ignored
    EXPECT_EQ(live_handle_count(), before);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Memory, FreedHandleIsRejectedAfterItsSlotIsReused) {
    handle old = new_handle(16);
    free_handle(old);
    handle reused = new_handle(16);
    ASSERT_EQ(handle_slot(reused), handle_slot(old)); // the slot came back
    EXPECT_NE(reused, old);                           // under a new generation
    EXPECT_FALSE(handle_valid(old));
    EXPECT_TRUE(handle_valid(reused));

    EXPECT_EQ(lock_handle(old), nullptr);
    EXPECT_TRUE(reported("BLK1032 stale handle"));
    EXPECT_TRUE(reported(std::to_string(old)));
    messages.clear();

    // A second free of the old handle must not free the slot's new owner.
    free_handle(old);
    EXPECT_TRUE(reported("BLK1032 stale handle"));
    EXPECT_TRUE(handle_valid(reused));
    EXPECT_EQ(resize_handle(old, 64), 0u);
    EXPECT_EQ(handle_size(reused), 16u);
    free_handle(reused);
}

TEST_F(Memory, ForeignHandlesAreReportedNeverFollowed) {
    handle live = new_handle(8);
    const handle foreign[] = {
        1u << handle_index_bits,                         // slot 0
        live ^ (1u << handle_index_bits),                // wrong generation
        (live & ~handle_index_mask) | handle_index_mask, // slot past the table
        0xFFFFFFFFu,
    };
    for (handle h : foreign) {
        messages.clear();
        EXPECT_FALSE(handle_valid(h));
        EXPECT_EQ(handle_size(h), 0u);
        EXPECT_EQ(lock_handle(h), nullptr);
        EXPECT_TRUE(reported("10:BLK1032 stale handle")) << h;
        unlock_handle(h);
        free_handle(h);
        EXPECT_EQ(copy_handle_prefix(h, 4), 0u);
        EXPECT_EQ(dup_sized_handle(h), 0u);
    }
    EXPECT_TRUE(handle_valid(live));
    EXPECT_EQ(lock_handle(0), nullptr); // none is not an error
    free_handle(live);
}

TEST_F(Memory, LocksNestAndAnUnbalancedUnlockIsReported) {
    handle h = new_handle(32);
    void* p1 = lock_handle(h);
    void* p2 = lock_handle(h);
    EXPECT_EQ(p1, p2); // a locked block never moves on lock
    EXPECT_EQ(handle_lock_count(h), 2u);
    unlock_handle(h);
    unlock_handle(h);
    EXPECT_EQ(handle_lock_count(h), 0u);
    EXPECT_TRUE(messages.empty());
    unlock_handle(h);
    EXPECT_TRUE(reported("BLK1032 unlock of unlocked handle"));
    EXPECT_EQ(handle_lock_count(h), 0u);
    free_handle(h);
}

TEST_F(Memory, ResizeKeepsContentsAndHandleAndZeroesGrowth) {
    handle h = new_handle(64);
    {
        handle_lock<unsigned char> p(h);
        for (int i = 0; i < 64; ++i) p.get()[i] = static_cast<unsigned char>(i + 1);
    }
    // Shrink, then grow: the bytes cut off must not come back.
    EXPECT_EQ(resize_handle(h, 10), h);
    EXPECT_EQ(handle_size(h), 10u);
    EXPECT_EQ(resize_handle(h, 100000), h);
    EXPECT_EQ(handle_size(h), 100000u);
    {
        handle_lock<unsigned char> p(h);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(p.get()[i], i + 1);
        EXPECT_TRUE(all_zero(p.get() + 10, 100000 - 10));
    }
    handle fresh = resize_handle(0, 12); // handle 0 allocates
    EXPECT_TRUE(handle_valid(fresh));
    EXPECT_EQ(handle_size(fresh), 12u);
    free_handle(fresh);
    free_handle(h);
}

TEST_F(Memory, CopyPrefixCopiesTheFirstBytes) {
    handle h = new_handle(8);
    std::memcpy(lock_handle(h), "abcdefg", 8);
    unlock_handle(h);

    handle part = copy_handle_prefix(h, 3);
    ASSERT_NE(part, 0u);
    EXPECT_NE(part, h);
    EXPECT_EQ(handle_size(part), 3u);
    EXPECT_EQ(std::memcmp(lock_handle(part), "abc", 3), 0);
    unlock_handle(part);

    // Asking for more than the block holds copies what is there, zero after.
    handle more = copy_handle_prefix(h, 20);
    {
        handle_lock<char> p(more);
        EXPECT_STREQ(p.get(), "abcdefg");
        EXPECT_TRUE(all_zero(p.get() + 8, 12));
    }
    EXPECT_EQ(copy_handle_prefix(0, 10), 0u);
    free_handle(part);
    free_handle(more);
    free_handle(h);
}

TEST_F(Memory, DupSizedHandleTrustsOnlyASizeThatFits) {
    handle h = new_handle(64);
    {
        handle_lock<std::uint32_t> p(h);
        p.get()[0] = 12;
        p.get()[1] = 0x11111111;
        p.get()[2] = 0x22222222;
        p.get()[3] = 0x33333333; // beyond the stated size
    }
    handle copy = dup_sized_handle(h);
    ASSERT_NE(copy, 0u);
    EXPECT_EQ(handle_size(copy), 12u);
    {
        handle_lock<std::uint32_t> p(copy);
        EXPECT_EQ(p.get()[1], 0x11111111u);
        EXPECT_EQ(p.get()[2], 0x22222222u);
    }
    free_handle(copy);

    // A size claiming more than the block holds is refused, not followed.
    static_cast<std::uint32_t*>(lock_handle(h))[0] = 1000000;
    unlock_handle(h);
    EXPECT_EQ(dup_sized_handle(h), 0u);
    EXPECT_TRUE(reported("10:BLK1032 sized handle"));

    // A block too small to hold the size itself.
    handle tiny = new_handle(2);
    messages.clear();
    EXPECT_EQ(dup_sized_handle(tiny), 0u);
    EXPECT_TRUE(reported("BLK1032"));
    free_handle(tiny);
    free_handle(h);
}

TEST_F(Memory, DebugOptionMovesUnlockedBlocksAndPoisonsOldCopies) {
    set_memory_debug(true);
    handle h = new_handle(64);
    auto* first = static_cast<char*>(lock_handle(h));
    std::strcpy(first, "live data");
    EXPECT_EQ(lock_handle(h), first); // nested: stays put
    unlock_handle(h);
    unlock_handle(h);

    auto* second = static_cast<char*>(lock_handle(h));
    EXPECT_NE(second, first);
    EXPECT_STREQ(second, "live data");
    EXPECT_TRUE(retired(first, 64));
    unlock_handle(h);

    // Growing moves the block even while it is locked.
    auto* locked = static_cast<char*>(lock_handle(h));
    resize_handle(h, 65);
    EXPECT_TRUE(retired(locked, 64));
    unlock_handle(h);

    // A pointer kept past free sees no data either.
    auto* last = static_cast<char*>(lock_handle(h));
    unlock_handle(h);
    free_handle(h);
    EXPECT_TRUE(retired(last, 64));

    // Allocating in an indexed block moves it even without growth.
    handle block = new_hblock(0, 0, 0);
    void* before = cells(block);
    hblock_alloc(block, 4, 0);
    EXPECT_TRUE(retired(before, sizeof(bhead)));
    free_hblock(block);
}

TEST_F(Memory, RunningOutOfMemoryIsFatal) {
    set_memory_debug(false);
    set_memory_fail_after(0);
    try {
        new_handle(100);
        FAIL() << "no unwind";
    } catch (const fatal_unwind& e) {
        EXPECT_EQ(e.code, 9);
    }
    EXPECT_TRUE(reported("9:Insufficient memory to allocate handle for 100 bytes"));

    // A failed resize leaves the block as it was.
    handle h = new_handle(8);
    std::strcpy(static_cast<char*>(lock_handle(h)), "kept");
    unlock_handle(h);
    set_memory_fail_after(0);
    EXPECT_THROW(resize_handle(h, 5000), fatal_unwind);
    EXPECT_TRUE(reported("Insufficient memory to reallocate to 5000 bytes"));
    EXPECT_TRUE(handle_valid(h));
    EXPECT_EQ(handle_size(h), 8u);
    EXPECT_STREQ(static_cast<char*>(lock_handle(h)), "kept");
    unlock_handle(h);

    // Absurd sizes never reach the system allocator.
    EXPECT_THROW(new_handle(0xC0000000u), fatal_unwind);
    EXPECT_TRUE(reported("allocate handle for 3221225472 bytes"));
    EXPECT_THROW(resize_handle(h, 0xFFFFFFFFu), fatal_unwind);
    EXPECT_EQ(handle_size(h), 8u);
    EXPECT_THROW(scratch_alloc(std::size_t{1} << 40), fatal_unwind);
    mem_pool* pool = new_block(0);
    EXPECT_THROW(block_alloc(pool, std::size_t{1} << 40, 0), fatal_unwind);
    free_block(pool);

    // Growth of an indexed block that cannot get memory.
    handle block = new_hblock(0, 0, 0);
    set_memory_fail_after(0);
    EXPECT_THROW(hblock_alloc(block, 10000, 0), fatal_unwind);
    EXPECT_NE(hblock_alloc(block, 10000, 0), -1); // and it works again after
    free_hblock(block);
    free_handle(h);
}

TEST_F(Memory, FreeAllHandlesInvalidatesEveryHandle) {
    // Run apart: it frees the handles of everything else in the process.
    EXPECT_EXIT(
        {
            handle a = new_handle(10);
            handle b = new_hblock(0, 0, 0);
            free_all_handles();
            bool ok = live_handle_count() == 0 && !handle_valid(a) && !handle_valid(b);
            handle c = new_handle(10);
            ok = ok && c != a && c != b && !handle_valid(a);
            free_handle(c);
            // A handle whose slot was freed and taken again before the
            // table was dropped names no block made after it.
            free_all_handles();
            handle d = new_handle(10);
            free_handle(d);
            d = new_handle(10);
            free_all_handles();
            handle e = new_handle(10);
            ok = ok && e != d && !handle_valid(d);
            free_handle(e);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------- indexed blocks ---

TEST_F(Memory, IndexedBlockStartsWithItsHead) {
    handle block = new_hblock(0, 0, 0);
    const auto* b = static_cast<const bhead*>(lock_handle(block));
    EXPECT_EQ(b->kind & 0xFF, std::uint32_t{'H'});
    EXPECT_EQ(b->guard, block_guard);
    EXPECT_EQ(b->size, hblock_default_cells);
    EXPECT_EQ(b->cur, bhead_cells);
    EXPECT_EQ(b->step, hblock_default_cells);
    EXPECT_EQ(handle_size(block), hblock_default_cells * 4);
    unlock_handle(block);
    free_hblock(block);
}

TEST_F(Memory, IndexedBlockGrowsAndKeepsStrings) {
    handle block = new_hblock(10, 8, 0);
    EXPECT_EQ(hblock_alloc(block, 0, 0), 5); // 0 bytes still get a cell
    EXPECT_EQ(hblock_alloc(block, 5, 0), 6); // rounded up to two cells
    EXPECT_EQ(hblock_alloc(block, 4, 0), 8);

    std::vector<std::pair<std::int32_t, std::string>> strings;
    for (int i = 0; i < 3000; ++i) {
        std::string s = "string number " + std::to_string(i) + std::string(i % 13, 'x');
        strings.emplace_back(hblock_add_string(block, s.c_str()), s);
    }
    std::int32_t empty1 = hblock_add_string(block, nullptr);
    std::int32_t empty2 = hblock_add_string(block, nullptr);
    EXPECT_EQ(empty2, empty1 + 1); // "" takes one cell
    EXPECT_STREQ(text_at(block, empty1), "");
    for (const auto& [cell, s] : strings) ASSERT_STREQ(text_at(block, cell), s.c_str());

    // A large reservation beyond the step grows as far as needed, zero-filled.
    std::int32_t big = hblock_alloc(block, 200000, 0);
    ASSERT_GT(big, 0);
    const auto* b = static_cast<const bhead*>(static_cast<void*>(cells(block)));
    EXPECT_GE(b->size * 4u, static_cast<std::uint32_t>(big) * 4 + 200000);
    EXPECT_EQ(b->cur, static_cast<std::uint32_t>(big) + 50000);
    EXPECT_TRUE(all_zero(cells(block) + big, 200000));

    // A string that lives in the block itself survives the block's growth.
    std::int32_t first = strings.front().first;
    for (int i = 0; i < 5; ++i) {
        std::int32_t again = hblock_add_string(block, text_at(block, first));
        ASSERT_STREQ(text_at(block, again), strings.front().second.c_str());
        hblock_alloc(block, 100000, 0);
    }

    handle copy = dup_hblock(block);
    ASSERT_NE(copy, 0u);
    EXPECT_STREQ(text_at(copy, strings[1234].first), strings[1234].second.c_str());
    std::int32_t in_copy = hblock_add_string(copy, "only in the copy");
    EXPECT_EQ(hblock_add_string(block, "other"), in_copy); // same index, separate blocks
    EXPECT_STREQ(text_at(copy, in_copy), "only in the copy");
    free_hblock(block);
    EXPECT_TRUE(handle_valid(copy));
    free_hblock_if(copy);
    free_hblock_if(0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Memory, PageFlagKeepsPiecesWithinOnePage) {
    auto check = [&](handle block, int flag_arg) {
        std::int32_t a = hblock_alloc(block, 4000, flag_arg); // cells 5..1004
        EXPECT_EQ(a, 5);
        std::int32_t b = hblock_alloc(block, 100, flag_arg); // would cross 1024
        EXPECT_EQ(b, 1024);
        std::int32_t c = hblock_alloc(block, 4, flag_arg); // fits after b
        EXPECT_EQ(c, 1024 + 25);
        std::int32_t d = hblock_alloc(block, 5000, flag_arg); // larger than a page
        EXPECT_EQ(d, 2048);
        for (int i = 0; i < 500; ++i) {
            std::uint32_t bytes = 4 + (i * 37) % 700;
            std::int32_t cell = hblock_alloc(block, bytes, flag_arg);
            std::uint32_t from = static_cast<std::uint32_t>(cell) * 4;
            ASSERT_EQ(from / 4096, (from + bytes - 1) / 4096) << i;
        }
    };
    handle paged = new_hblock(0, 0, 1);
    check(paged, 0); // the block's own flag
    handle plain = new_hblock(0, 0, 0);
    check(plain, 1); // the caller's flag
    // Without either flag pieces simply follow each other.
    handle loose = new_hblock(0, 0, 0);
    hblock_alloc(loose, 4000, 0);
    EXPECT_EQ(hblock_alloc(loose, 100, 0), 1005);
    free_hblock(paged);
    free_hblock(plain);
    free_hblock(loose);
}

TEST_F(Memory, CorruptBlockHeadIsReportedByHandle) {
    handle block = new_hblock(0, 0, 0);
    cells(block)[1] = 0x12345678; // the guard
    EXPECT_EQ(hblock_alloc(block, 8, 0), -1);
    EXPECT_TRUE(reported("10:BLK1032 corrupt indexed block " + std::to_string(block)));
    messages.clear();
    EXPECT_EQ(hblock_add_string(block, "x"), -1);
    EXPECT_EQ(dup_hblock(block), 0u);
    EXPECT_TRUE(reported("BLK1032"));

    // A current index past the size is as bad as a broken guard.
    handle other = new_hblock(0, 0, 0);
    cells(other)[3] = 100000;
    messages.clear();
    EXPECT_EQ(hblock_alloc(other, 8, 0), -1);
    EXPECT_TRUE(reported("BLK1032 corrupt"));

    // Piece-block calls on an indexed block are refused too.
    handle plain = new_hblock(0, 0, 0);
    messages.clear();
    EXPECT_EQ(cblock_alloc(plain, 8, 0, 0), -1);
    EXPECT_TRUE(reported("BLK1032"));

    std::size_t before = live_handle_count();
    free_hblock(block); // still freed
    free_hblock(other);
    free_hblock(plain);
    EXPECT_EQ(live_handle_count(), before - 3);
}

// ----------------------------------------------------------- piece blocks ---

TEST_F(Memory, PieceBlockReusesFreedPieces) {
    handle block = new_cblock(0, 0, 0);
    std::int32_t a = cblock_alloc(block, 40, 0, 0);
    std::int32_t b = cblock_alloc(block, 40, 0, 0);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, a);
    std::memset(cells(block) + a, 0x5A, 40);
    cblock_free(block, a);
    std::int32_t c = cblock_alloc(block, 40, 0, 0);
    EXPECT_EQ(c, a);
    EXPECT_TRUE(all_zero(cells(block) + c, 40));

    // A large freed piece is split: the front is handed out, the rest stays free.
    std::int32_t big = cblock_alloc(block, 400, 0, 0);
    std::int32_t after = cblock_alloc(block, 4, 0, 0);
    cblock_free(block, big);
    std::int32_t s1 = cblock_alloc(block, 100, 0, 0);
    std::int32_t s2 = cblock_alloc(block, 100, 0, 0);
    EXPECT_EQ(s1, big);
    EXPECT_GT(s2, s1);
    EXPECT_LT(s2, after);
    // Pieces never overlap.
    std::memset(cells(block) + s1, 1, 100);
    std::memset(cells(block) + s2, 2, 100);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(cells(block) + s1)[99], 1);

    EXPECT_TRUE(messages.empty());
    cblock_free(block, s1);
    cblock_free(block, s1);
    EXPECT_TRUE(reported("freed twice"));
    messages.clear();
    cblock_free(block, 3);       // inside the head
    cblock_free(block, 1000000); // past the end
    EXPECT_EQ(messages.size(), 2u);
    free_hblock(block);
}

// Random allocs and frees against a model of what each live piece holds: no
// piece may overlap another, lose its contents when others come and go, or
// (with the page flag) cross a page.
TEST_F(Memory, PieceBlockPiecesStayApartUnderChurn) {
    for (int page = 0; page < 2; ++page) {
        handle block = new_cblock(0, 0, page);
        struct live_piece {
            std::int32_t cell;
            std::uint32_t bytes;
            unsigned char tag;
        };
        std::vector<live_piece> live;
        unsigned seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
        for (int round = 0; round < 4000; ++round) {
            if (!live.empty() && next() % 3 == 0) {
                std::size_t k = next() % live.size();
                cblock_free(block, live[k].cell);
                live[k] = live.back();
                live.pop_back();
                continue;
            }
            std::uint32_t bytes = 1 + next() % (next() % 8 == 0 ? 3000 : 60);
            std::int32_t cell = cblock_alloc(block, bytes, 0, 0);
            ASSERT_GT(cell, 0);
            auto* p = reinterpret_cast<unsigned char*>(cells(block) + cell);
            ASSERT_TRUE(all_zero(p, bytes)) << round;
            if (page) {
                std::uint32_t from = static_cast<std::uint32_t>(cell) * 4;
                if (bytes <= block_page_bytes) {
                    ASSERT_EQ(from / 4096, (from + bytes - 1) / 4096);
                }
            }
            auto tag = static_cast<unsigned char>(1 + round % 250);
            std::memset(p, tag, bytes);
            live.push_back({cell, bytes, tag});
        }
        for (const auto& piece : live) {
            auto* p = reinterpret_cast<unsigned char*>(cells(block) + piece.cell);
            for (std::uint32_t i = 0; i < piece.bytes; ++i) ASSERT_EQ(p[i], piece.tag);
        }
        EXPECT_TRUE(messages.empty());
        free_hblock(block);
    }
}

TEST_F(Memory, DamagedFreeListIsReportedNotFollowed) {
    handle block = new_cblock(0, 0, 0);
    std::int32_t a = cblock_alloc(block, 40, 0, 0);
    cblock_alloc(block, 40, 0, 0);
    cblock_free(block, a);
    cells(block)[a] = 0x7FFFFFF0;  // the link to the next free piece
    cblock_alloc(block, 40, 0, 0); // takes a, following nothing
    std::int32_t b = cblock_alloc(block, 40, 0, 0);
    EXPECT_TRUE(reported("BLK1032 corrupt free list"));
    EXPECT_GT(b, a); // served from the end instead
    free_hblock(block);
}

TEST_F(Memory, SetStringInPlaceWhenItFitsElseMoved) {
    handle block = new_cblock(0, 0, 1);
    EXPECT_EQ(cblock_add_string(block, "", 10), 0);
    EXPECT_EQ(cblock_add_string(block, nullptr, 10), 0);

    std::int32_t cell = cblock_add_string(block, "hello", 10);
    ASSERT_GT(cell, 0);
    EXPECT_STREQ(text_at(block, cell), "hello");
    EXPECT_EQ(cblock_set_string(block, cell, "hello world", 0), cell);
    EXPECT_STREQ(text_at(block, cell), "hello world");
    EXPECT_EQ(cblock_set_string(block, cell, "hi", 0), cell);
    EXPECT_STREQ(text_at(block, cell), "hi");
    EXPECT_TRUE(all_zero(text_at(block, cell) + 3, 13)); // the rest is cleared

    std::int32_t neighbour = cblock_add_string(block, "neighbour", 0);
    std::string longer(200, 'L');
    std::int32_t moved = cblock_set_string(block, cell, longer.c_str(), 0);
    EXPECT_NE(moved, cell);
    EXPECT_EQ(text_at(block, moved), longer);
    EXPECT_STREQ(text_at(block, neighbour), "neighbour");
    EXPECT_EQ(cblock_add_string(block, "reuse", 0), cell); // the old piece is free

    // The last piece grows where it is: freeing it gives its cells back to the end.
    std::int32_t last = cblock_add_string(block, "last", 0);
    EXPECT_EQ(cblock_set_string(block, last, longer.c_str(), 0), last);
    EXPECT_EQ(text_at(block, last), longer);

    EXPECT_GT(cblock_set_string(block, 0, "added", 0), 0); // cell 0 adds
    EXPECT_EQ(cblock_set_string(block, moved, "", 0), 0);  // empty frees
    EXPECT_EQ(cblock_alloc(block, 200, 0, 0), moved);

    // The text may come from the block itself while the block has to grow.
    std::string tail(3000, 'T');
    std::int32_t source = cblock_add_string(block, tail.c_str(), 0);
    for (int i = 0; i < 3; ++i) {
        std::int32_t grown = cblock_set_string(block, source, text_at(block, source), 5000);
        EXPECT_EQ(text_at(block, grown), tail);
        source = grown;
    }
    EXPECT_TRUE(messages.empty());

    // A bad old cell is reported; the text still gets a piece of its own.
    std::int32_t rescued = cblock_set_string(block, 1000000, "rescued", 0);
    EXPECT_TRUE(reported("BLK1032 bad piece 1000000"));
    ASSERT_GT(rescued, 0);
    EXPECT_STREQ(text_at(block, rescued), "rescued");
    free_hblock(block);
}

TEST_F(Memory, PieceArraySpillsIntoNewBlocks) {
    handle blocks[4] = {};
    const std::uint32_t piece = 5u << 20;
    int which = -1;
    std::vector<int> used;
    for (int i = 0; i < 4; ++i) {
        std::int32_t cell = cblock_array_alloc(blocks, 4, piece, &which);
        ASSERT_GT(cell, 0);
        used.push_back(which);
    }
    EXPECT_EQ(used, (std::vector<int>{0, 0, 0, 1})); // three fit in 16 MiB
    EXPECT_NE(blocks[1], 0u);
    EXPECT_EQ(blocks[2], 0u);
    EXPECT_LE(handle_size(blocks[0]), cblock_max_bytes);

    // Room already in an earlier block is used before anything grows.
    std::int32_t small = cblock_array_alloc(blocks, 4, 100, &which);
    EXPECT_EQ(which, 0);
    cblock_free(blocks[0], small);

    // One block only: full means -1, with no report.
    EXPECT_EQ(cblock_array_alloc(blocks, 1, piece, &which), -1);
    EXPECT_EQ(which, -1);
    // A piece larger than any block can be creates nothing.
    EXPECT_EQ(cblock_array_alloc(blocks, 4, cblock_max_bytes, &which), -1);
    EXPECT_EQ(blocks[2], 0u);
    EXPECT_TRUE(messages.empty());
    // The unbounded flag lets a single block pass the limit.
    EXPECT_GT(cblock_alloc(blocks[0], piece, 1, 0), 0);
    EXPECT_GT(handle_size(blocks[0]), cblock_max_bytes);
    for (handle h : blocks) free_hblock_if(h);
}

// ------------------------------------------------------------------ pools ---

TEST_F(Memory, PoolGivesZeroedAlignedDistinctPieces) {
    mem_pool* pool = mem_block(0);
    std::vector<std::pair<unsigned char*, std::size_t>> pieces;
    for (int i = 0; i < 3000; ++i) {
        std::size_t n = (i % 7 == 0) ? 40000 : static_cast<std::size_t>(1 + (i * 131) % 3000);
        auto* p = static_cast<unsigned char*>(block_alloc(pool, n, 0));
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
        ASSERT_TRUE(all_zero(p, n));
        std::memset(p, i & 0xFF, n);
        pieces.emplace_back(p, n);
    }
    // No piece was handed out twice: each still holds its own fill.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto [p, n] = pieces[i];
        ASSERT_EQ(p[0], i & 0xFF);
        ASSERT_EQ(p[n - 1], i & 0xFF);
    }
    EXPECT_GE(pool_bytes_in_use(pool), std::size_t{40000} * 400);
    EXPECT_STREQ(block_strdup(pool, "copy"), "copy");
    EXPECT_STREQ(block_strdup(pool, nullptr), "");
    free_block(pool);
    free_block(nullptr);
    EXPECT_EQ(block_alloc(nullptr, 4, 0), nullptr);
    EXPECT_TRUE(reported("BLK1032 bad pool"));
}

// ---------------------------------------------------------------- scratch ---

TEST_F(Memory, ScratchIsReleasedOnlyWhenNothingIsBusy) {
    free_scratch();
    EXPECT_EQ(scratch_bytes_in_use(), 0u);
    auto* p = static_cast<unsigned char*>(scratch(100));
    EXPECT_TRUE(all_zero(p, 100));
    std::memset(p, 0x77, 100);
    EXPECT_GE(scratch_bytes_in_use(), 100u);
    {
        busy_guard busy;
        release_scratch_if_idle();
        EXPECT_GE(scratch_bytes_in_use(), 100u);
        EXPECT_EQ(p[50], 0x77); // still ours
    }
    EXPECT_EQ(busy_depth, 0);
    release_scratch_if_idle();
    EXPECT_EQ(scratch_bytes_in_use(), 0u);

    // Memory handed out after a release is zero again, whether it is the
    // kept chunk or a fresh one.
    for (int i = 0; i < 50; ++i) {
        auto* q = static_cast<unsigned char*>(scratch_alloc(1000));
        ASSERT_TRUE(all_zero(q, 1000));
        std::memset(q, 0x33, 1000);
    }
    free_scratch();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(all_zero(scratch_alloc(1000), 1000));
}

TEST_F(Memory, ScratchTextsAndLargeRequests) {
    EXPECT_STREQ(scratch_strdup(nullptr), "");
    char* kept = scratch_strdup("first");
    std::string wide(5000, 'w');
    char* text = scratch_printf("%s|%d|%s", "a", 42, wide.c_str());
    EXPECT_EQ(std::string(text), "a|42|" + wide);
    // A large piece gets its own chunk and leaves small ones where they were.
    auto* big = static_cast<unsigned char*>(scratch(1u << 20));
    EXPECT_TRUE(all_zero(big, 1u << 20));
    char* next = scratch_strdup("second");
    EXPECT_STREQ(kept, "first");
    EXPECT_STREQ(next, "second");
    EXPECT_GE(scratch_bytes_in_use(), (1u << 20) + 5000u);
    std::set<std::uintptr_t> starts;
    for (int i = 0; i < 1000; ++i) {
        auto p = reinterpret_cast<std::uintptr_t>(scratch(24));
        EXPECT_EQ(p % 16, 0u);
        starts.insert(p);
    }
    EXPECT_EQ(starts.size(), 1000u);
    free_scratch();
    EXPECT_EQ(scratch_bytes_in_use(), 0u);
}

// A piece that ends exactly at the end of a page stays on it: pages are 1024
// cells (4096 bytes), and after cells 5 to 1004 the 19 cells 1005 to 1023
// fill the first page to its end.
TEST_F(Memory, APieceEndingAtThePagesEndStaysOnIt) {
    handle paged = new_hblock(0, 0, 1);
    EXPECT_EQ(hblock_alloc(paged, 4000, 0), 5);
    EXPECT_EQ(hblock_alloc(paged, 19 * 4, 0), 1005);
    EXPECT_EQ(hblock_alloc(paged, 4, 0), 1024);
    // One cell more than the room left goes to the next page.
    EXPECT_EQ(hblock_alloc(paged, 1020 * 4, 0), 1025);
    EXPECT_EQ(hblock_alloc(paged, 4 * 4, 0), 2048);
    free_hblock(paged);
}

} // namespace
