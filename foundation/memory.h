// Memory by handle: movable blocks, indexed blocks, piece blocks, pools and
// scratch memory.
//
// Records that outlive a call hold handles, never pointers. A block is locked
// to a pointer for use and unlocked after; while unlocked it may move (and
// does, on every lock, when the debug option is on, so a stale pointer is
// caught by the tests).
//
// The layer serves one thread (the program's own); it takes no locks.
//
// Failures: a stale, freed or foreign handle is an internal error (severity
// 10, "BLK1032 ...") and the call does nothing (lock gives null, allocation
// gives 0 or -1); running out of memory, or asking for more than
// max_block_bytes, is severity 9, which unwinds (fatal_unwind).
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/types.h"

// ---------------------------------------------------------------- handles ---

// A handle is a slot index (low 20 bits) and the slot's generation (high 12
// bits), so a freed or foreign handle is detected rather than followed. Slot
// index 0 is never used, so no live handle is 0.
inline constexpr std::uint32_t handle_index_bits = 20;
inline constexpr std::uint32_t handle_index_mask = (1u << handle_index_bits) - 1;
inline constexpr std::uint32_t handle_generation_mask = 0xFFFu;
inline constexpr std::uint32_t handle_slot(handle h) {
    return h & handle_index_mask;
}

// The largest block (handle, pool piece or scratch piece) the layer hands out;
// larger requests are reported as running out of memory.
inline constexpr std::uint32_t max_block_bytes = 0x80000000u;

handle new_handle(std::uint32_t bytes); // zero-filled; 0 bytes taken as 1
handle resize_handle(handle h,
                     std::uint32_t bytes); // keeps contents, new bytes zero; h 0 allocates
void free_handle(handle h);                // 0 ignored
void free_all_handles();                   // frees every block and the table
handle copy_handle_prefix(handle h, std::uint32_t bytes); // 0 for h 0
// A copy of a block whose first u32 is its size in bytes (at least the 4 of
// the size itself); 0 after an internal error when the size claims more than
// the block holds.
handle dup_sized_handle(handle h);
void* lock_handle(handle h); // counts nested locks; null for 0 or a stale handle
void unlock_handle(handle h);
std::uint32_t handle_size(handle h); // 0 for an invalid handle
bool handle_valid(handle h);
std::uint32_t handle_lock_count(handle h);
std::size_t live_handle_count();

// Debug option: every lock of a block whose lock count is 0 moves it to new
// memory and poisons the old; unlock poisons nothing but marks it movable.
// Resizes and indexed-block allocations always move the block while it is on.
// The old copies are filled with memory_poison_byte and kept for a while in a
// quarantine (marked unreadable for AddressSanitizer when it is present) before
// they are freed. On by default when KAVREL_DEBUG_MEMORY is defined.
inline constexpr unsigned char memory_poison_byte = 0xDD;
void set_memory_debug(bool on);
bool memory_debug();

// Out-of-memory testing: the next n allocations of the layer succeed and the
// one after fails as if the system had no memory left (once); negative turns
// it off.
void set_memory_fail_after(long n);

// Locks a handle for the life of the guard.
template <typename T = void> class handle_lock {
public:
    explicit handle_lock(handle h) : h_(h), p_(h ? static_cast<T*>(lock_handle(h)) : nullptr) {}
    ~handle_lock() {
        if (p_) unlock_handle(h_);
    }
    handle_lock(const handle_lock&) = delete;
    handle_lock& operator=(const handle_lock&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    handle h_;
    T* p_;
};

// Owns a handle: frees it when the guard ends unless release() gave it away.
// The guard also holds the handle's lock (lock() until unlock(), release() or
// the end), and always ends the lock before it frees the memory, so an error
// path that returns early can never free a block a lock still holds. Blocks
// made while reading a file are held by one of these until the file is known
// sound.
template <typename T = void> class owned_handle {
public:
    explicit owned_handle(handle h = 0) : h_(h) {}
    ~owned_handle() { reset(); }
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;
    handle get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }
    // Locks once (later calls give the same pointer); null for no handle.
    T* lock() {
        if (!p_ && h_) p_ = static_cast<T*>(lock_handle(h_));
        return p_;
    }
    void unlock() {
        if (p_) unlock_handle(h_);
        p_ = nullptr;
    }
    // Ends the lock and hands the block over to the caller.
    handle release() {
        unlock();
        handle h = h_;
        h_ = 0;
        return h;
    }
    // Ends the lock, frees the block and owns h instead.
    void reset(handle h = 0) {
        unlock();
        free_handle(h_);
        h_ = h;
    }

private:
    handle h_;
    T* p_ = nullptr;
};

// ---------------------------------------------------------- indexed blocks ---

// The head of an indexed block: five 4-byte cells. Records and strings inside
// are addressed by cell index (4-byte units from the start of the block).
struct bhead {
    std::uint32_t kind;  // kind letter ('H' indexed, 'C' piece block) | bhead_no_page_cross
    std::uint32_t guard; // block_guard
    std::uint32_t size;  // size of the block in cells, head included
    std::uint32_t cur;   // next free cell
    std::uint32_t step;  // growth step in cells
};
static_assert(sizeof(bhead) == 20);

inline constexpr std::uint32_t hblock_default_cells = 500;
inline constexpr std::uint32_t bhead_cells = sizeof(bhead) / 4;
// Set in bhead::kind when no piece of the block may cross a 4096-byte page
// boundary (measured from the start of the block).
inline constexpr std::uint32_t bhead_no_page_cross = 0x100;
inline constexpr std::uint32_t block_page_bytes = 4096;
// The largest indexed block; a piece block allocated without the unbounded
// flag stays within cblock_max_bytes instead.
inline constexpr std::uint32_t hblock_max_bytes = 1u << 30;
inline constexpr std::uint32_t cblock_max_bytes = 16u << 20;

// cells 0: hblock_default_cells; step 0: hblock_default_cells.
handle new_hblock(std::uint32_t cells, std::uint32_t step, int no_page_cross);
// Reserves zero-filled bytes (rounded up to cells, 0 taken as 1) at the end and
// returns the first cell, -1 after an internal error. The block may move.
// A page flag (or the block's own) keeps the piece within one 4096-byte page
// when it fits in one, padding to the next page otherwise.
std::int32_t hblock_alloc(handle block, std::uint32_t bytes, int page_flag);
std::int32_t hblock_add_string(handle block, const char* text); // null taken as ""
handle dup_hblock(handle block);
void free_hblock(handle block); // indexed or piece block; 0 ignored
void free_hblock_if(handle block);
// Pointer to a cell of a locked indexed block.
inline void* hblock_cell(void* locked_block, std::int32_t cell) {
    return static_cast<std::uint32_t*>(locked_block) + cell;
}

// Piece blocks: an indexed block whose pieces can be freed and reused. Cell 5
// holds the head of the free list (the data cell of the first free piece, 0
// none); pieces start at cell 6. Each piece has a one-cell head with its size
// in cells (head included; bit 31 while it is free), so cblock_free needs only
// the cell; the first data cell of a free piece links to the next one.
handle new_cblock(std::uint32_t cells, std::uint32_t step, int page_flag);
// A zero-filled piece (first fit from the free list, else from the end); the
// block may move. Without the unbounded flag the block stays within
// cblock_max_bytes and -1 says it is full. pass is accepted for callers that
// sweep in passes; the growth rule is the same for every pass.
std::int32_t cblock_alloc(handle block, std::uint32_t bytes, int unbounded, int pass);
std::int32_t cblock_add_string(handle block, const char* text,
                               std::uint32_t extra); // 0: empty text
// Stores in place when the text and extra bytes fit the old piece, else frees
// it and adds the text anew; cell 0 adds; an empty text frees and gives 0.
std::int32_t cblock_set_string(handle block, std::int32_t cell, const char* text,
                               std::uint32_t extra);
void cblock_free(handle block, std::int32_t cell);
// Allocates across an array of n piece blocks (creating blocks in empty slots);
// returns the cell and stores the block number in *block_out; -1 when every
// block is full. One routine answers both the 20- and 24-block callers.
std::int32_t cblock_array_alloc(handle* blocks, int n, std::uint32_t bytes, int* block_out);

// ------------------------------------------------------------------ pools ---

struct mem_pool;
mem_pool* new_block(int flags); // a pool; also called mem_block
inline mem_pool* mem_block(int flags) {
    return new_block(flags);
}
void* block_alloc(mem_pool* pool, std::size_t bytes, int flags); // zeroed, 16-byte aligned
char* block_strdup(mem_pool* pool, const char* text);            // null gives ""
void free_block(mem_pool* pool); // frees everything at once; null ignored
std::size_t pool_bytes_in_use(const mem_pool* pool);

// ---------------------------------------------------------------- scratch ---

// Short-lived memory: zero-filled, 16-byte aligned, released all at once by
// free_scratch(), which the main loop calls after each message while
// busy_depth is 0.
void* scratch_alloc(std::size_t bytes);
inline void* scratch(std::size_t bytes) {
    return scratch_alloc(bytes);
}
char* scratch_strdup(const char* text); // null gives ""
char* scratch_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void free_scratch();
std::size_t scratch_bytes_in_use();

// Raised around every command, dialog, pump and run; scratch memory is
// released only while it is 0.
extern std::int32_t busy_depth;
// Releases scratch memory when nothing is busy (called by the main loop).
void release_scratch_if_idle();

// Raises busy_depth for the life of the guard.
struct busy_guard {
    busy_guard() { ++busy_depth; }
    ~busy_guard() { --busy_depth; }
    busy_guard(const busy_guard&) = delete;
    busy_guard& operator=(const busy_guard&) = delete;
};
