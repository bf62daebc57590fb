// DDE within one process (see dde.h).
#include "platform/dde.h"

#include "platform/messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct atom_entry {
    std::string name; // as first added
    std::uint32_t count = 0;
};
std::vector<atom_entry> atoms; // index = atom - first_string_atom
std::map<std::string, ATOM> by_name;

std::string folded(const char* s) {
    std::string f(s);
    for (char& ch : f) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return f;
}

// "#n" as an integer atom: n, or 0 when the name is not one.
ATOM integer_atom(const char* name) {
    if (name[0] != '#' || !name[1]) return 0;
    unsigned long v = 0;
    for (const char* p = name + 1; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        v = v * 10 + static_cast<unsigned long>(*p - '0');
        if (v >= first_string_atom) return 0;
    }
    return static_cast<ATOM>(v);
}

bool valid_name(const char* name) {
    return name && *name && std::strlen(name) <= 255;
}

bool packed(UINT msg) {
    return msg == WM_DDE_ACK || msg == WM_DDE_ADVISE || msg == WM_DDE_DATA || msg == WM_DDE_POKE;
}

HGLOBAL make_block(WORD flags, const dde_block& b, bool with_value) {
    const std::size_t n = 4 + (with_value ? b.value.size() : 0);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, n);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    if (!p) {
        if (h) GlobalFree(h);
        return nullptr;
    }
    p[0] = static_cast<unsigned char>(flags & 0xFF);
    p[1] = static_cast<unsigned char>(flags >> 8);
    p[2] = static_cast<unsigned char>(b.format & 0xFF);
    p[3] = static_cast<unsigned char>((b.format >> 8) & 0xFF);
    if (with_value && !b.value.empty()) std::memcpy(p + 4, b.value.data(), b.value.size());
    GlobalUnlock(h);
    return h;
}

bool read_block(HGLOBAL h, WORD* flags, dde_block* out, bool with_value) {
    const std::size_t n = GlobalSize(h);
    const auto* p = static_cast<const unsigned char*>(GlobalLock(h));
    if (!p) return false;
    if (n < 4) {
        GlobalUnlock(h);
        return false;
    }
    *flags = static_cast<WORD>(p[0] | (p[1] << 8));
    out->format = static_cast<UINT>(p[2] | (p[3] << 8));
    out->value.assign(with_value ? reinterpret_cast<const char*>(p + 4) : "",
                      with_value ? n - 4 : 0);
    GlobalUnlock(h);
    return true;
}

} // namespace

ATOM GlobalAddAtomA(const char* name) {
    if (!valid_name(name)) return 0;
    if (ATOM i = integer_atom(name)) return i;
    const std::string key = folded(name);
    auto it = by_name.find(key);
    if (it != by_name.end()) {
        ++atoms[it->second - first_string_atom].count;
        return it->second;
    }
    // A free slot first, so ids stay within 16 bits however long the program runs.
    std::size_t slot = 0;
    while (slot < atoms.size() && atoms[slot].count) ++slot;
    if (slot >= 0x10000u - first_string_atom) return 0;
    if (slot == atoms.size()) atoms.emplace_back();
    atoms[slot] = {name, 1};
    const auto atom = static_cast<ATOM>(first_string_atom + slot);
    by_name[key] = atom;
    return atom;
}

ATOM GlobalFindAtomA(const char* name) {
    if (!valid_name(name)) return 0;
    if (ATOM i = integer_atom(name)) return i;
    auto it = by_name.find(folded(name));
    return it == by_name.end() ? 0 : it->second;
}

ATOM GlobalDeleteAtom(ATOM atom) {
    if (atom && atom < first_string_atom) return 0; // integer atoms are not kept
    const std::size_t slot = static_cast<std::size_t>(atom) - first_string_atom;
    if (atom < first_string_atom || slot >= atoms.size() || !atoms[slot].count) return atom;
    if (--atoms[slot].count == 0) {
        by_name.erase(folded(atoms[slot].name.c_str()));
        atoms[slot].name.clear();
    }
    return 0;
}

UINT GlobalGetAtomNameA(ATOM atom, char* buffer, int size) {
    if (!buffer || size < 1 || !atom) return 0;
    std::string name;
    if (atom < first_string_atom) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "#%u", static_cast<unsigned>(atom));
        name = digits;
    } else {
        const std::size_t slot = static_cast<std::size_t>(atom) - first_string_atom;
        if (slot >= atoms.size() || !atoms[slot].count) return 0;
        name = atoms[slot].name;
    }
    const std::size_t n = std::min(name.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, name.data(), n);
    buffer[n] = 0;
    return static_cast<UINT>(n);
}

std::size_t global_atom_count() {
    return by_name.size();
}

LPARAM PackDDElParam(UINT msg, UINT_PTR lo, UINT_PTR hi) {
    if (msg == WM_DDE_EXECUTE) return static_cast<LPARAM>(hi);
    if (!packed(msg)) return static_cast<LPARAM>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16));
    UINT_PTR pair[2] = {lo, hi};
    HGLOBAL h = global_from_bytes(pair, sizeof pair, GMEM_MOVEABLE | GMEM_DDESHARE);
    return reinterpret_cast<LPARAM>(h);
}

BOOL UnpackDDElParam(UINT msg, LPARAM lparam, UINT_PTR* lo, UINT_PTR* hi) {
    UINT_PTR a = 0, b = 0;
    BOOL ok = 1;
    if (msg == WM_DDE_EXECUTE) {
        b = static_cast<UINT_PTR>(lparam);
    } else if (!packed(msg)) {
        a = static_cast<UINT_PTR>(lparam) & 0xFFFF;
        b = (static_cast<UINT_PTR>(lparam) >> 16) & 0xFFFF;
    } else {
        HGLOBAL h = reinterpret_cast<HGLOBAL>(lparam);
        const auto* p = static_cast<const UINT_PTR*>(GlobalLock(h));
        if (p && GlobalSize(h) >= 2 * sizeof(UINT_PTR)) {
            a = p[0];
            b = p[1];
        } else {
            ok = 0;
        }
        if (p) GlobalUnlock(h);
    }
    if (lo) *lo = a;
    if (hi) *hi = b;
    return ok;
}

BOOL FreeDDElParam(UINT msg, LPARAM lparam) {
    if (!packed(msg)) return 1;
    HGLOBAL h = reinterpret_cast<HGLOBAL>(lparam);
    return h && GlobalFree(h) == nullptr ? 1 : 0;
}

LPARAM ReuseDDElParam(LPARAM lparam, UINT msg_in, UINT msg_out, UINT_PTR lo, UINT_PTR hi) {
    FreeDDElParam(msg_in, lparam);
    return PackDDElParam(msg_out, lo, hi);
}

WORD dde_ack_word(const dde_ack& a) {
    return static_cast<WORD>(a.app_code | (a.busy ? 0x4000 : 0) | (a.ack ? 0x8000 : 0));
}

dde_ack dde_ack_of(WORD w) {
    dde_ack a;
    a.app_code = static_cast<BYTE>(w & 0xFF);
    a.busy = (w & 0x4000) != 0;
    a.ack = (w & 0x8000) != 0;
    return a;
}

HGLOBAL make_dde_data(const dde_block& b) {
    return make_block(static_cast<WORD>((b.response ? 0x1000 : 0) | (b.release ? 0x2000 : 0) |
                                        (b.ack_req ? 0x8000 : 0)),
                      b, true);
}

HGLOBAL make_dde_poke(const dde_block& b) {
    return make_block(static_cast<WORD>(b.release ? 0x2000 : 0), b, true);
}

HGLOBAL make_dde_advise(const dde_block& b) {
    return make_block(static_cast<WORD>((b.defer ? 0x4000 : 0) | (b.ack_req ? 0x8000 : 0)), b,
                      false);
}

bool read_dde_data(HGLOBAL h, dde_block* out) {
    WORD f = 0;
    if (!read_block(h, &f, out, true)) return false;
    out->response = f & 0x1000;
    out->release = f & 0x2000;
    out->ack_req = f & 0x8000;
    out->defer = false;
    return true;
}

bool read_dde_poke(HGLOBAL h, dde_block* out) {
    WORD f = 0;
    if (!read_block(h, &f, out, true)) return false;
    *out = dde_block{false, (f & 0x2000) != 0, false, false, out->format, std::move(out->value)};
    return true;
}

bool read_dde_advise(HGLOBAL h, dde_block* out) {
    WORD f = 0;
    if (!read_block(h, &f, out, false)) return false;
    out->defer = f & 0x4000;
    out->ack_req = f & 0x8000;
    out->response = out->release = false;
    return true;
}
