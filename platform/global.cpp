// Global memory handles (see global.h).
#include "platform/global.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

struct Block {
    std::unique_ptr<std::byte[]> data;
    std::size_t size = 0;
    UINT flags = 0;
    unsigned locks = 0;
};

struct Slot {
    std::uint32_t gen = 0;
    bool live = false;
    Block block;
};

// Token: generation (12 bits) << 20 | slot + 1 (20 bits); a tag in the top bit
// keeps tokens apart from small integers the program might pass by mistake.
constexpr std::uint32_t slot_bits = 20;
constexpr std::uint32_t slot_mask = (1u << slot_bits) - 1;
constexpr std::uint32_t gen_mask = 0x7FF;
constexpr std::uint32_t tag = 0x80000000u;

std::vector<Slot>& slots() {
    static std::vector<Slot> s;
    return s;
}
std::vector<std::uint32_t>& free_slots() {
    static std::vector<std::uint32_t> f;
    return f;
}

Block* lookup(HGLOBAL h) {
    auto t = token_of(h);
    if (!(t & tag)) return nullptr;
    std::uint32_t slot = t & slot_mask;
    auto& s = slots();
    if (slot == 0 || slot > s.size()) return nullptr;
    Slot& x = s[slot - 1];
    if (!x.live || x.gen != ((t >> slot_bits) & gen_mask)) return nullptr;
    return &x.block;
}

std::unique_ptr<std::byte[]> make_bytes(std::size_t n) {
    // One spare byte so a zero-sized block still has an address.
    return std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[n + 1]());
}

} // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
    if (bytes > global_max_size) return nullptr;
    auto data = make_bytes(bytes);
    if (!data) return nullptr;
    auto& s = slots();
    auto& f = free_slots();
    std::uint32_t slot;
    if (f.size() > 32) { // reuse late so stale handles stay detectable
        slot = f.front();
        f.erase(f.begin());
    } else {
        if (s.size() >= slot_mask) return nullptr;
        s.emplace_back();
        slot = static_cast<std::uint32_t>(s.size() - 1);
    }
    Slot& x = s[slot];
    x.gen = (x.gen + 1) & gen_mask;
    if (x.gen == 0) x.gen = 1;
    x.live = true;
    x.block.data = std::move(data);
    x.block.size = bytes;
    x.block.flags = flags & (GMEM_MOVEABLE | GMEM_DDESHARE);
    x.block.locks = 0;
    return handle_from_token<HGLOBAL>(tag | (x.gen << slot_bits) | (slot + 1));
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, std::size_t bytes, UINT flags) {
    Block* b = lookup(mem);
    if (!b) return nullptr;
    if (flags & GMEM_MODIFY) {
        b->flags = (b->flags & ~GMEM_MOVEABLE) | (flags & GMEM_MOVEABLE);
        return mem;
    }
    if (bytes > global_max_size) return nullptr;
    auto data = make_bytes(bytes);
    if (!data) return nullptr;
    std::memcpy(data.get(), b->data.get(), std::min(bytes, b->size));
    b->data = std::move(data);
    b->size = bytes;
    return mem;
}

void* GlobalLock(HGLOBAL mem) {
    Block* b = lookup(mem);
    if (!b) return nullptr;
    if (b->locks < GMEM_LOCKCOUNT) ++b->locks;
    return b->data.get();
}

BOOL GlobalUnlock(HGLOBAL mem) {
    Block* b = lookup(mem);
    if (!b || b->locks == 0) return FALSE;
    --b->locks;
    return b->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    if (!lookup(mem)) return mem;
    std::uint32_t slot = (token_of(mem) & slot_mask) - 1;
    Slot& x = slots()[slot];
    x.live = false;
    x.block = Block{};
    free_slots().push_back(slot);
    return nullptr;
}

std::size_t GlobalSize(HGLOBAL mem) {
    Block* b = lookup(mem);
    return b ? b->size : 0;
}

UINT GlobalFlags(HGLOBAL mem) {
    Block* b = lookup(mem);
    if (!b) return GMEM_INVALID_HANDLE;
    return b->locks | (b->flags & GMEM_DDESHARE);
}

HGLOBAL GlobalHandle(const void* pointer) {
    if (!pointer) return nullptr;
    auto& s = slots();
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i].live && s[i].block.data.get() == pointer)
            return handle_from_token<HGLOBAL>(tag | (s[i].gen << slot_bits) |
                                              static_cast<std::uint32_t>(i + 1));
    return nullptr;
}

HGLOBAL global_from_bytes(const void* data, std::size_t size, UINT flags) {
    HGLOBAL h = GlobalAlloc(flags, size);
    if (!h) return nullptr;
    if (size && data)
        std::memcpy(GlobalLock(h), data, size);
    else
        GlobalLock(h);
    GlobalUnlock(h);
    return h;
}

std::size_t global_live_blocks() {
    std::size_t n = 0;
    for (const Slot& x : slots()) n += x.live ? 1 : 0;
    return n;
}
