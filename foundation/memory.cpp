// Memory by handle, indexed blocks, piece blocks, pools and scratch memory.
#include "foundation/memory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "foundation/report.h"

#if defined(__SANITIZE_ADDRESS__)
#define KAVREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAVREL_ASAN 1
#endif
#endif
#ifdef KAVREL_ASAN
#include <sanitizer/asan_interface.h>
#define KAVREL_POISON(p, n) __asan_poison_memory_region((p), (n))
#define KAVREL_UNPOISON(p, n) __asan_unpoison_memory_region((p), (n))
#else
#define KAVREL_POISON(p, n) ((void)(p), (void)(n))
#define KAVREL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

std::int32_t busy_depth = 0;

namespace {

// ------------------------------------------------------------ raw memory ---

#ifdef KAVREL_DEBUG_MEMORY
bool debug_on = true;
#else
bool debug_on = false;
#endif
long fail_countdown = -1;

// The one place where an allocation can be made to fail for the tests.
bool injected_failure() {
    if (fail_countdown < 0) return false;
    if (fail_countdown == 0) {
        fail_countdown = -1;
        return true;
    }
    --fail_countdown;
    return false;
}

void* raw_calloc(std::size_t bytes) {
    if (injected_failure()) return nullptr;
    return std::calloc(bytes, 1);
}

void* raw_malloc(std::size_t bytes) {
    if (injected_failure()) return nullptr;
    return std::malloc(bytes);
}

void* raw_realloc(void* p, std::size_t bytes) {
    if (injected_failure()) return nullptr;
    return std::realloc(p, bytes);
}

// Old copies of moved blocks, poisoned and kept for a while so a stale pointer
// reads poison (or, under AddressSanitizer, is reported) rather than freed
// memory that may already hold something else.
struct quarantined {
    void* mem;
    std::size_t bytes;
};
// The layer's tables live as long as the process (never destroyed at exit),
// so memory still held at exit is not taken for a leak; the program frees it
// with free_all_handles.
std::deque<quarantined>& quarantine() {
    static auto* q = new std::deque<quarantined>;
    return *q;
}
std::size_t quarantine_bytes = 0;
constexpr std::size_t quarantine_max_blocks = 256;
constexpr std::size_t quarantine_max_bytes = 32u << 20;

void release_oldest_quarantined() {
    quarantined q = quarantine().front();
    quarantine().pop_front();
    quarantine_bytes -= q.bytes;
    KAVREL_UNPOISON(q.mem, q.bytes);
    std::free(q.mem);
}

// Retires memory that may still be pointed at: poisoned, then quarantined.
void retire(void* mem, std::size_t bytes) {
    if (!mem) return;
    std::memset(mem, memory_poison_byte, bytes);
    if (bytes > quarantine_max_bytes) {
        std::free(mem);
        return;
    }
    KAVREL_POISON(mem, bytes);
    quarantine().push_back({mem, bytes});
    quarantine_bytes += bytes;
    while (quarantine().size() > quarantine_max_blocks || quarantine_bytes > quarantine_max_bytes)
        release_oldest_quarantined();
}

void release_quarantine() {
    while (!quarantine().empty()) release_oldest_quarantined();
}

// Frees memory nobody should use any more (poisoned first in debug mode).
void discard(void* mem, std::size_t bytes) {
    if (!mem) return;
    if (debug_on) std::memset(mem, memory_poison_byte, bytes);
    std::free(mem);
}

[[noreturn]] void out_of_memory_alloc(std::size_t bytes) {
    report(9, "Insufficient memory to allocate handle for %u bytes",
           static_cast<unsigned>(std::min<std::size_t>(bytes, 0xFFFFFFFFu)));
    throw fatal_unwind("Insufficient memory"); // report(9) unwinds; never reached
}

[[noreturn]] void out_of_memory_realloc(std::size_t bytes) {
    report(9, "Insufficient memory to reallocate to %u bytes",
           static_cast<unsigned>(std::min<std::size_t>(bytes, 0xFFFFFFFFu)));
    throw fatal_unwind("Insufficient memory"); // report(9) unwinds; never reached
}

// ----------------------------------------------------------- handle table ---

struct slot {
    unsigned char* mem = nullptr;
    std::uint32_t size = 0;
    std::uint32_t locks = 0;
    std::uint32_t gen = 0;
    bool live = false;
};

std::vector<slot>& slots() {
    static auto* table = new std::vector<slot>(1); // slot 0 is never used
    return *table;
}
std::vector<std::uint32_t>& free_slots() {
    static auto* list = new std::vector<std::uint32_t>;
    return *list;
}
std::size_t live_slots = 0;
std::uint32_t generation_seed = 0;
// The generation each index had when free_all_handles dropped the table: a
// slot made again at that index starts past it, so that no handle of before
// (whose index may have been freed and reused many times) names the new one.
std::vector<std::uint16_t>& dropped_generations() {
    static auto* gens = new std::vector<std::uint16_t>;
    return *gens;
}

handle handle_of(std::uint32_t index) {
    return index | (slots()[index].gen << handle_index_bits);
}

slot* find_slot(handle h) {
    std::uint32_t index = handle_slot(h);
    auto& table = slots();
    if (index == 0 || index >= table.size()) return nullptr;
    slot& s = table[index];
    if (!s.live || s.gen != (h >> handle_index_bits)) return nullptr;
    return &s;
}

void stale(handle h, const char* where) {
    report(10, "BLK1032 stale handle %u in %s", static_cast<unsigned>(h), where);
}

// Moves a block to new memory and retires the old copy.
void move_block(slot& s) {
    auto* fresh = static_cast<unsigned char*>(std::malloc(s.size));
    if (!fresh) return; // staying put is always correct
    std::memcpy(fresh, s.mem, s.size);
    retire(s.mem, s.size);
    s.mem = fresh;
}

// Changes a block's size, keeping the contents and zeroing new bytes; throws
// through report(9) when memory is short (the block is then unchanged).
void resize_slot(slot& s, std::uint32_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > max_block_bytes) out_of_memory_realloc(bytes);
    unsigned char* fresh;
    if (debug_on) {
        fresh = static_cast<unsigned char*>(raw_malloc(bytes));
        if (!fresh) out_of_memory_realloc(bytes);
        std::memcpy(fresh, s.mem, std::min(bytes, s.size));
        retire(s.mem, s.size);
    } else {
        fresh = static_cast<unsigned char*>(raw_realloc(s.mem, bytes));
        if (!fresh) out_of_memory_realloc(bytes);
    }
    if (bytes > s.size) std::memset(fresh + s.size, 0, bytes - s.size);
    s.mem = fresh;
    s.size = bytes;
}

} // namespace

handle new_handle(std::uint32_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > max_block_bytes) out_of_memory_alloc(bytes);
    if (free_slots().empty() && slots().size() > handle_index_mask) out_of_memory_alloc(bytes);
    auto* mem = static_cast<unsigned char*>(raw_calloc(bytes));
    if (!mem) out_of_memory_alloc(bytes);
    std::uint32_t index;
    if (!free_slots().empty()) {
        index = free_slots().back();
        free_slots().pop_back();
    } else {
        index = static_cast<std::uint32_t>(slots().size());
        slots().emplace_back();
        // A fresh slot starts at a generation no recent handle of the same
        // index had, also after free_all_handles.
        const auto& dropped = dropped_generations();
        slots()[index].gen = index < dropped.size() ? (dropped[index] + 1u) & handle_generation_mask
                                                    : generation_seed++ & handle_generation_mask;
    }
    slot& s = slots()[index];
    s.mem = mem;
    s.size = bytes;
    s.locks = 0;
    s.live = true;
    ++live_slots;
    return handle_of(index);
}

handle resize_handle(handle h, std::uint32_t bytes) {
    if (h == 0) return new_handle(bytes);
    slot* s = find_slot(h);
    if (!s) {
        stale(h, "resize_handle");
        return 0;
    }
    resize_slot(*s, bytes);
    return h;
}

void free_handle(handle h) {
    if (h == 0) return;
    slot* s = find_slot(h);
    if (!s) {
        stale(h, "free_handle");
        return;
    }
    if (debug_on)
        retire(s->mem, s->size);
    else
        std::free(s->mem);
    s->mem = nullptr;
    s->size = 0;
    s->locks = 0;
    s->live = false;
    s->gen = (s->gen + 1) & handle_generation_mask;
    --live_slots;
    std::uint32_t index = handle_slot(h);
    free_slots().push_back(index);
}

void free_all_handles() {
    auto& dropped = dropped_generations();
    if (dropped.size() < slots().size()) dropped.resize(slots().size());
    for (std::size_t i = 0; i < slots().size(); ++i) {
        slot& s = slots()[i];
        if (s.live) std::free(s.mem);
        // A freed slot's generation is already past its last handle's.
        dropped[i] = static_cast<std::uint16_t>(s.gen);
    }
    slots().assign(1, slot{});
    slots().shrink_to_fit();
    free_slots().clear();
    free_slots().shrink_to_fit();
    live_slots = 0;
    release_quarantine();
}

handle copy_handle_prefix(handle h, std::uint32_t bytes) {
    if (h == 0) return 0;
    if (!find_slot(h)) {
        stale(h, "copy_handle_prefix");
        return 0;
    }
    handle copy = new_handle(bytes);
    slot* from = find_slot(h); // the table may have grown
    slot* to = find_slot(copy);
    std::memcpy(to->mem, from->mem, std::min({from->size, to->size, bytes}));
    return copy;
}

handle dup_sized_handle(handle h) {
    if (h == 0) return 0;
    slot* s = find_slot(h);
    if (!s) {
        stale(h, "dup_sized_handle");
        return 0;
    }
    std::uint32_t claimed = 0;
    if (s->size >= 4) std::memcpy(&claimed, s->mem, 4);
    std::uint32_t bytes = std::max<std::uint32_t>(claimed, 4);
    if (bytes > s->size) {
        report(10, "BLK1032 sized handle %u claims %u bytes in a block of %u",
               static_cast<unsigned>(h), static_cast<unsigned>(claimed),
               static_cast<unsigned>(s->size));
        return 0;
    }
    return copy_handle_prefix(h, bytes);
}

void* lock_handle(handle h) {
    if (h == 0) return nullptr;
    slot* s = find_slot(h);
    if (!s) {
        stale(h, "lock_handle");
        return nullptr;
    }
    if (s->locks == 0 && debug_on) move_block(*s);
    ++s->locks;
    return s->mem;
}

void unlock_handle(handle h) {
    if (h == 0) return;
    slot* s = find_slot(h);
    if (!s) {
        stale(h, "unlock_handle");
        return;
    }
    if (s->locks == 0) {
        report(10, "BLK1032 unlock of unlocked handle %u", static_cast<unsigned>(h));
        return;
    }
    --s->locks;
}

std::uint32_t handle_size(handle h) {
    slot* s = find_slot(h);
    return s ? s->size : 0;
}

bool handle_valid(handle h) {
    return find_slot(h) != nullptr;
}

std::uint32_t handle_lock_count(handle h) {
    slot* s = find_slot(h);
    return s ? s->locks : 0;
}

std::size_t live_handle_count() {
    return live_slots;
}

void set_memory_debug(bool on) {
    debug_on = on;
    if (!on) release_quarantine();
}

bool memory_debug() {
    return debug_on;
}

void set_memory_fail_after(long n) {
    fail_countdown = n < 0 ? -1 : n;
}

// --------------------------------------------------------- indexed blocks ---

namespace {

constexpr std::uint32_t kind_indexed = 'H';
constexpr std::uint32_t kind_pieces = 'C';
constexpr std::uint32_t page_cells = block_page_bytes / 4;
// A piece block keeps the head of its free list in the cell after the block
// head; its pieces start after it.
constexpr std::uint32_t free_head_cell = bhead_cells;
constexpr std::uint32_t first_piece_cell = bhead_cells + 1;
// The head cell of a piece holds its size in cells (head included), with this
// bit while the piece is on the free list.
constexpr std::uint32_t piece_free_bit = 0x80000000u;
constexpr std::uint32_t min_piece_cells = 2;

std::uint32_t cells_for(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(std::max<std::uint64_t>((bytes + 3) / 4, 1));
}

bhead* head_of(slot& s) {
    return reinterpret_cast<bhead*>(s.mem);
}
std::uint32_t* cells_of(slot& s) {
    return reinterpret_cast<std::uint32_t*>(s.mem);
}

// The slot of a sound indexed block of the given kind (0: either kind), or
// null after an internal error naming the handle.
slot* checked_block(handle block, std::uint32_t kind, const char* where) {
    slot* s = find_slot(block);
    if (!s) {
        stale(block, where);
        return nullptr;
    }
    bool sound = s->size >= sizeof(bhead);
    if (sound) {
        const bhead* b = head_of(*s);
        std::uint32_t letter = b->kind & 0xFF;
        std::uint32_t low = letter == kind_pieces ? first_piece_cell : bhead_cells;
        sound = b->guard == block_guard && (letter == kind_indexed || letter == kind_pieces) &&
                (kind == 0 || letter == kind) && b->size <= s->size / 4 && b->cur >= low &&
                b->cur <= b->size;
    }
    if (!sound) {
        report(10, "BLK1032 corrupt indexed block %u in %s", static_cast<unsigned>(block), where);
        return nullptr;
    }
    return s;
}

handle make_block(std::uint32_t kind, std::uint32_t cells, std::uint32_t step, int page_flag,
                  std::uint32_t first_free) {
    if (cells == 0) cells = hblock_default_cells;
    cells = std::max(cells, first_free + min_piece_cells);
    if (step == 0) step = hblock_default_cells;
    if (cells > hblock_max_bytes / 4) cells = hblock_max_bytes / 4;
    handle h = new_handle(cells * 4);
    bhead* b = head_of(*find_slot(h));
    b->kind = kind | (page_flag ? bhead_no_page_cross : 0);
    b->guard = block_guard;
    b->size = cells;
    b->cur = first_free;
    b->step = step;
    return h;
}

// The first cell where a piece of n cells may start at or after cell c so that
// it does not cross a page; a piece larger than a page starts on one.
std::uint64_t page_start(std::uint64_t c, std::uint64_t n) {
    std::uint64_t within = c % page_cells;
    if (within == 0) return c;
    if (n <= page_cells && within + n <= page_cells) return c;
    return c - within + page_cells;
}

// Makes room for `end` cells in the block (growing by its step, by an eighth
// of its size when that is more, and more if needed); false when the block may
// not grow that far. Throws through report(9) when memory is short.
bool ensure_cells(slot& s, std::uint64_t end, std::uint32_t limit_bytes) {
    bhead* b = head_of(s);
    if (end <= b->size) return true;
    std::uint64_t limit = limit_bytes / 4;
    if (end > limit) return false;
    std::uint64_t grown = b->size + std::max<std::uint64_t>(b->step, b->size / 8);
    grown = std::min(std::max(grown, end), limit);
    resize_slot(s, static_cast<std::uint32_t>(grown * 4));
    head_of(s)->size = static_cast<std::uint32_t>(grown);
    return true;
}

} // namespace

handle new_hblock(std::uint32_t cells, std::uint32_t step, int no_page_cross) {
    return make_block(kind_indexed, cells, step, no_page_cross, bhead_cells);
}

std::int32_t hblock_alloc(handle block, std::uint32_t bytes, int page_flag) {
    slot* s = checked_block(block, kind_indexed, "hblock_alloc");
    if (!s) return -1;
    bhead* b = head_of(*s);
    std::uint64_t n = cells_for(bytes);
    std::uint64_t start = b->cur;
    if (page_flag || (b->kind & bhead_no_page_cross)) start = page_start(start, n);
    if (!ensure_cells(*s, start + n, hblock_max_bytes)) out_of_memory_realloc((start + n) * 4);
    if (debug_on) move_block(*s);
    b = head_of(*s);
    std::uint32_t* cells = cells_of(*s);
    std::memset(cells + b->cur, 0, (start + n - b->cur) * 4);
    b->cur = static_cast<std::uint32_t>(start + n);
    return static_cast<std::int32_t>(start);
}

std::int32_t hblock_add_string(handle block, const char* text) {
    // The text may live in this very block, which may move while growing.
    std::string copy = text ? text : "";
    std::int32_t cell = hblock_alloc(block, static_cast<std::uint32_t>(copy.size() + 1), 0);
    if (cell < 0) return cell;
    std::memcpy(cells_of(*find_slot(block)) + cell, copy.c_str(), copy.size() + 1);
    return cell;
}

handle dup_hblock(handle block) {
    slot* s = checked_block(block, 0, "dup_hblock");
    if (!s) return 0;
    return copy_handle_prefix(block, head_of(*s)->size * 4);
}

void free_hblock(handle block) {
    if (block == 0) return;
    slot* s = find_slot(block);
    if (s && s->size >= sizeof(bhead)) {
        checked_block(block, 0, "free_hblock"); // a corrupt block is still freed
        head_of(*s)->guard = 0;
    }
    free_handle(block);
}

void free_hblock_if(handle block) {
    if (block) free_hblock(block);
}

// ----------------------------------------------------------- piece blocks ---

namespace {

// Checks the piece whose data starts at `cell`; its head cell's value, or 0
// after an internal error.
std::uint32_t piece_head(slot& s, handle block, std::int32_t cell, const char* where) {
    const bhead* b = head_of(s);
    std::uint32_t head = 0;
    if (cell > static_cast<std::int32_t>(first_piece_cell) &&
        static_cast<std::uint32_t>(cell) < b->cur) {
        head = cells_of(s)[cell - 1];
        std::uint32_t n = head & ~piece_free_bit;
        if (n < min_piece_cells || static_cast<std::uint64_t>(cell) - 1 + n > b->cur) head = 0;
    }
    if (head == 0) {
        report(10, "BLK1032 bad piece %d of block %u in %s", static_cast<int>(cell),
               static_cast<unsigned>(block), where);
        return 0;
    }
    if (head & piece_free_bit) {
        report(10, "BLK1032 piece %d of block %u freed twice in %s", static_cast<int>(cell),
               static_cast<unsigned>(block), where);
        return 0;
    }
    return head;
}

// How many free pieces are looked at before a piece is taken from the end
// instead: first fit, bounded so a long list of small leftovers cannot make
// every allocation slow.
constexpr int list_walk_limit = 64;

void put_free_piece(slot& s, std::uint32_t d) {
    std::uint32_t* cells = cells_of(s);
    bhead* b = head_of(s);
    std::uint32_t size = cells[d - 1] & ~piece_free_bit;
    if (d - 1 + size == b->cur) { // the last piece: give it back to the end
        b->cur = d - 1;
        return;
    }
    cells[d - 1] |= piece_free_bit;
    cells[d] = cells[free_head_cell];
    cells[free_head_cell] = d;
}

// First fit from the free list; 0 when no free piece fits (or the list is
// damaged, which is reported).
std::uint32_t take_free_piece(slot& s, handle block, std::uint32_t n, bool page) {
    std::uint32_t* cells = cells_of(s);
    const bhead* b = head_of(s);
    std::uint32_t* link = &cells[free_head_cell];
    for (int looked = 0; *link != 0 && looked < list_walk_limit; ++looked) {
        std::uint32_t d = *link;
        std::uint32_t head = (d > first_piece_cell && d < b->cur) ? cells[d - 1] : 0;
        std::uint32_t size = head & ~piece_free_bit;
        if (!(head & piece_free_bit) || size < min_piece_cells ||
            static_cast<std::uint64_t>(d) - 1 + size > b->cur) {
            report(10, "BLK1032 corrupt free list in block %u", static_cast<unsigned>(block));
            *link = 0; // drop the damaged tail: leaking is safe, reusing is not
            return 0;
        }
        if (size - 1 < n || (page && page_start(d, n) != d)) {
            link = &cells[d];
            continue;
        }
        *link = cells[d];
        std::uint32_t rest = size - 1 - n;
        if (rest >= min_piece_cells) {
            cells[d - 1] = n + 1;
            cells[d + n] = rest; // the remainder's head
            put_free_piece(s, d + n + 1);
        } else {
            cells[d - 1] = size;
        }
        std::memset(cells + d, 0, (std::size_t{cells[d - 1]} - 1) * 4);
        return d;
    }
    return 0;
}

// Allocates a piece; grow says whether the block may grow for it. -1 when it
// does not fit.
std::int32_t piece_alloc(handle block, std::uint32_t bytes, bool unbounded, bool grow,
                         const char* where) {
    slot* s = checked_block(block, kind_pieces, where);
    if (!s) return -1;
    bool page = head_of(*s)->kind & bhead_no_page_cross;
    std::uint32_t n = cells_for(bytes);
    if (std::uint32_t d = take_free_piece(*s, block, n, page)) {
        if (debug_on) move_block(*s);
        return static_cast<std::int32_t>(d);
    }
    bhead* b = head_of(*s);
    std::uint64_t d = b->cur + 1;
    if (page) d = page_start(d, n);
    std::uint64_t end = d + n;
    std::uint32_t limit = unbounded ? hblock_max_bytes : cblock_max_bytes;
    if (end > b->size && (!grow || !ensure_cells(*s, end, limit))) {
        if (unbounded && grow) out_of_memory_realloc(end * 4);
        return -1;
    }
    if (debug_on) move_block(*s);
    b = head_of(*s);
    std::uint32_t* cells = cells_of(*s);
    std::uint32_t pad_head = b->cur;
    std::memset(cells + pad_head, 0, (end - pad_head) * 4);
    // Padding before a page keeps its cells as a free piece when it can hold one.
    if (d - 1 - pad_head >= min_piece_cells) {
        cells[pad_head] = static_cast<std::uint32_t>(d - 1 - pad_head);
        put_free_piece(*s, pad_head + 1);
    }
    cells[d - 1] = static_cast<std::uint32_t>(n + 1);
    b->cur = static_cast<std::uint32_t>(end);
    return static_cast<std::int32_t>(d);
}

std::int32_t store_string(handle block, const std::string& text, std::uint32_t extra) {
    std::uint64_t bytes = text.size() + 1 + std::uint64_t{extra};
    if (bytes > hblock_max_bytes) out_of_memory_realloc(bytes);
    std::int32_t cell =
        piece_alloc(block, static_cast<std::uint32_t>(bytes), true, true, "cblock_add_string");
    if (cell < 0) return cell;
    std::memcpy(cells_of(*find_slot(block)) + cell, text.c_str(), text.size() + 1);
    return cell;
}

} // namespace

handle new_cblock(std::uint32_t cells, std::uint32_t step, int page_flag) {
    return make_block(kind_pieces, cells, step, page_flag, first_piece_cell);
}

std::int32_t cblock_alloc(handle block, std::uint32_t bytes, int unbounded, int /*pass*/) {
    return piece_alloc(block, bytes, unbounded != 0, true, "cblock_alloc");
}

std::int32_t cblock_add_string(handle block, const char* text, std::uint32_t extra) {
    if (!text || !*text) return 0;
    return store_string(block, text, extra); // copied: the text may live in the block
}

std::int32_t cblock_set_string(handle block, std::int32_t cell, const char* text,
                               std::uint32_t extra) {
    if (cell == 0) return cblock_add_string(block, text, extra);
    slot* s = checked_block(block, kind_pieces, "cblock_set_string");
    if (!s) return -1;
    std::uint32_t head = piece_head(*s, block, cell, "cblock_set_string");
    std::string copy = text ? text : "";
    // A bad old cell has been reported; the text still gets a piece of its own.
    if (!head) return copy.empty() ? 0 : store_string(block, copy, extra);
    if (copy.empty()) {
        put_free_piece(*s, static_cast<std::uint32_t>(cell));
        return 0;
    }
    std::uint64_t capacity = (std::uint64_t{head} - 1) * 4;
    if (copy.size() + 1 + std::uint64_t{extra} <= capacity) {
        auto* bytes = reinterpret_cast<char*>(cells_of(*s) + cell);
        std::memcpy(bytes, copy.c_str(), copy.size() + 1);
        std::memset(bytes + copy.size() + 1, 0, capacity - copy.size() - 1);
        return cell;
    }
    put_free_piece(*s, static_cast<std::uint32_t>(cell));
    return store_string(block, copy, extra);
}

void cblock_free(handle block, std::int32_t cell) {
    slot* s = checked_block(block, kind_pieces, "cblock_free");
    if (!s) return;
    if (piece_head(*s, block, cell, "cblock_free"))
        put_free_piece(*s, static_cast<std::uint32_t>(cell));
}

std::int32_t cblock_array_alloc(handle* blocks, int n, std::uint32_t bytes, int* block_out) {
    if (block_out) *block_out = -1;
    if (!blocks || n <= 0) return -1;
    // Nothing larger than a whole bounded block can be placed in any of them.
    if (std::uint64_t{cells_for(bytes)} + first_piece_cell + 1 > cblock_max_bytes / 4) return -1;
    // First the room the blocks already have, then growth or a new block, in
    // slot order.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            if (blocks[i] == 0) {
                if (pass == 0) continue;
                blocks[i] = new_cblock(0, 0, 0);
            }
            std::int32_t cell =
                piece_alloc(blocks[i], bytes, false, pass == 1, "cblock_array_alloc");
            if (cell >= 0) {
                if (block_out) *block_out = i;
                return cell;
            }
        }
    }
    return -1;
}

// ------------------------------------------------------------------ pools ---

namespace {

constexpr std::size_t piece_align = 16;
constexpr std::size_t segment_bytes = 64u << 10;
constexpr std::uint32_t pool_guard = 0x504F4F4Cu; // "POOL"

std::size_t aligned(std::size_t bytes) {
    return (bytes + piece_align - 1) & ~(piece_align - 1);
}

struct chunk {
    unsigned char* mem;
    std::size_t size;
    std::size_t used;
};

chunk new_chunk(std::size_t bytes) {
    auto* mem = static_cast<unsigned char*>(raw_calloc(bytes));
    if (!mem) out_of_memory_alloc(bytes);
    return {mem, bytes, 0};
}

} // namespace

struct mem_pool {
    std::uint32_t guard = pool_guard;
    int flags = 0;
    std::vector<chunk> segments;
    // Segments that still have room worth looking at, oldest first; a request
    // takes the first that fits.
    std::vector<std::size_t> open;
    std::size_t in_use = 0;
};

namespace {

constexpr std::size_t segment_room_floor = 256; // less than this left: closed
constexpr std::size_t max_open_segments = 8;

} // namespace

mem_pool* new_block(int flags) {
    auto* pool = new mem_pool;
    pool->flags = flags;
    return pool;
}

void* block_alloc(mem_pool* pool, std::size_t bytes, int /*flags*/) {
    if (!pool || pool->guard != pool_guard) {
        report(10, "BLK1032 bad pool in block_alloc");
        return nullptr;
    }
    if (bytes > max_block_bytes) out_of_memory_alloc(bytes);
    std::size_t need = aligned(std::max<std::size_t>(bytes, 1));
    auto& segs = pool->segments;
    if (need > segment_bytes / 4) { // a large piece gets a segment of its own
        segs.push_back(new_chunk(need));
        segs.back().used = need;
        pool->in_use += need;
        return segs.back().mem;
    }
    for (std::size_t k = 0; k < pool->open.size(); ++k) {
        chunk& c = segs[pool->open[k]];
        if (c.size - c.used < need) continue;
        void* p = c.mem + c.used;
        c.used += need;
        pool->in_use += need;
        if (c.size - c.used < segment_room_floor)
            pool->open.erase(pool->open.begin() + static_cast<std::ptrdiff_t>(k));
        return p;
    }
    segs.push_back(new_chunk(segment_bytes));
    segs.back().used = need;
    pool->in_use += need;
    pool->open.push_back(segs.size() - 1);
    if (pool->open.size() > max_open_segments) pool->open.erase(pool->open.begin());
    return segs.back().mem;
}

char* block_strdup(mem_pool* pool, const char* text) {
    if (!text) text = "";
    std::size_t n = std::strlen(text);
    auto* p = static_cast<char*>(block_alloc(pool, n + 1, 0));
    if (p) std::memcpy(p, text, n + 1);
    return p;
}

void free_block(mem_pool* pool) {
    if (!pool) return;
    if (pool->guard != pool_guard) {
        report(10, "BLK1032 bad pool in free_block");
        return;
    }
    for (chunk& c : pool->segments) discard(c.mem, c.size);
    pool->guard = 0;
    delete pool;
}

std::size_t pool_bytes_in_use(const mem_pool* pool) {
    return pool && pool->guard == pool_guard ? pool->in_use : 0;
}

// ---------------------------------------------------------------- scratch ---

namespace {

std::vector<chunk>& scratch_chunks() {
    static auto* chunks = new std::vector<chunk>;
    return *chunks;
}
std::size_t scratch_current = SIZE_MAX; // the chunk small pieces come from
std::size_t scratch_used = 0;
chunk scratch_spare{nullptr, 0, 0}; // one zeroed chunk kept between releases

} // namespace

void* scratch_alloc(std::size_t bytes) {
    if (bytes > max_block_bytes) out_of_memory_alloc(bytes);
    std::size_t need = aligned(std::max<std::size_t>(bytes, 1));
    if (need > segment_bytes / 4) { // a large piece gets a chunk of its own
        scratch_chunks().push_back(new_chunk(need));
        scratch_chunks().back().used = need;
        scratch_used += need;
        return scratch_chunks().back().mem;
    }
    if (scratch_current == SIZE_MAX ||
        scratch_chunks()[scratch_current].size - scratch_chunks()[scratch_current].used < need) {
        if (scratch_spare.mem) {
            scratch_chunks().push_back(scratch_spare);
            scratch_spare = {nullptr, 0, 0};
        } else {
            scratch_chunks().push_back(new_chunk(segment_bytes));
        }
        scratch_current = scratch_chunks().size() - 1;
    }
    chunk& c = scratch_chunks()[scratch_current];
    void* p = c.mem + c.used;
    c.used += need;
    scratch_used += need;
    return p;
}

char* scratch_strdup(const char* text) {
    if (!text) text = "";
    std::size_t n = std::strlen(text);
    auto* p = static_cast<char*>(scratch_alloc(n + 1));
    std::memcpy(p, text, n + 1);
    return p;
}

char* scratch_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return scratch_strdup("");
    }
    auto* p = static_cast<char*>(scratch_alloc(static_cast<std::size_t>(n) + 1));
    std::vsnprintf(p, static_cast<std::size_t>(n) + 1, format, again);
    va_end(again);
    return p;
}

void free_scratch() {
    for (chunk& c : scratch_chunks()) {
        // Without the debug option one standard chunk is kept, zeroed again,
        // for the next message; with it everything is poisoned and freed so a
        // pointer kept past the release is caught.
        if (!debug_on && !scratch_spare.mem && c.size == segment_bytes) {
            std::memset(c.mem, 0, c.used);
            scratch_spare = {c.mem, c.size, 0};
        } else {
            discard(c.mem, c.size);
        }
    }
    if (debug_on && scratch_spare.mem) {
        discard(scratch_spare.mem, scratch_spare.size);
        scratch_spare = {nullptr, 0, 0};
    }
    scratch_chunks().clear();
    scratch_current = SIZE_MAX;
    scratch_used = 0;
}

std::size_t scratch_bytes_in_use() {
    return scratch_used;
}

void release_scratch_if_idle() {
    if (busy_depth == 0) free_scratch();
}
