// The stored form of a model part: byte-order conversion, views and stamp.
#include "model/modelfile_format.h"

#include "foundation/checksum.h"
#include "foundation/memory.h"

namespace modelfile_format {

namespace {

void swap_font(std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    v = swap32(v);
    std::memcpy(p, &v, 4);
}
} // namespace

void swap_at16(std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    v = swap16(v);
    std::memcpy(p, &v, 2);
}
void swap_at32(std::uint8_t* p) {
    swap_font(p);
}

namespace {

// Converts one element record (bytes long) between byte orders.
void convert_element(std::uint8_t* r, std::uint32_t bytes, bool to_native) {
    if (bytes < 4) return;
    swap_at16(r);
    auto kind = static_cast<std::int8_t>(r[2]);
    if (kind >= ek_variable) {
        if (bytes >= 16) {
            swap_at32(r + 4);
            for (int off = 8; off < 16; off += 2) swap_at16(r + off);
        }
        if (bytes >= 40) {
            swap_at32(r + 24);
            swap_at32(r + 28);
            swap_at32(r + 32);
        }
    } else if (kind == ek_connector) {
        if (bytes < 16) return;
        swap_at16(r + 4);
        swap_at16(r + 6);
        int n = static_cast<std::int8_t>(r[13]);
        if (n < 0) return;
        std::uint64_t end = 16 + 4ull * n;
        if (end > bytes) return;
        for (int k = 0; k < n; ++k) {
            swap_at16(r + 16 + 4 * k);
            swap_at16(r + 18 + 4 * k);
        }
        if (r[12] && end + 12 <= bytes) {
            swap_at32(r + end);
            if (r[12] & 32) {
                if (end + 44 <= bytes) swap_at32(r + end + 4);
            } else {
                swap_at32(r + end + 4);
            }
        }
    }
    (void)to_native;
}

} // namespace

void convert_view_rec(view_rec& v) {
    auto* p = reinterpret_cast<std::uint8_t*>(&v);
    for (int off : {0, 4, 8, 12, 16, 20, 24, 68}) swap_at32(p + off);
    swap_at16(p + 64);
    swap_at16(p + 66);
    swap_at16(p + 126);
}

bool walk_pieces(std::uint32_t* c, std::uint32_t cur, bool convert, bool to_native) {
    if (cur < 6) return false;
    if (convert) c[5] = swap32(c[5]);
    std::uint32_t i = 6;
    while (i < cur) {
        std::uint32_t head = c[i];
        if (convert) {
            c[i] = swap32(c[i]);
            if (to_native) head = c[i];
        }
        std::uint32_t n = head & 0x7FFFFFFFu;
        if (n < 2 || std::uint64_t{i} + n > cur) return false;
        if (head & 0x80000000u) {
            if (convert) c[i + 1] = swap32(c[i + 1]);
        } else if (convert) {
            convert_element(reinterpret_cast<std::uint8_t*>(c + i + 1), (n - 1) * 4, to_native);
        }
        i += n;
    }
    return i == cur;
}

// Converts the cells after the head of a block between byte orders. to_native:
// the cells are foreign now (length fields are read after swapping).
bool convert_cells(content kind, std::uint32_t* c, std::uint32_t cur, bool to_native) {
    auto sw = [&](std::uint32_t i) -> std::uint32_t {
        std::uint32_t before = c[i];
        c[i] = swap32(c[i]);
        return to_native ? c[i] : before;
    };
    auto sw16 = [](void* p) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        v = swap16(v);
        std::memcpy(p, &v, 2);
    };
    switch (kind) {
    case ct_words:
        for (std::uint32_t i = 5; i < cur; ++i) sw(i);
        return true;
    case ct_bytes:
        return true;
    case ct_password:
        if (cur >= 7) {
            sw(5);
            sw(6);
        }
        return true;
    case ct_symbols: {
        std::uint32_t end = std::min<std::uint32_t>(cur, model_header_cell + mh_words);
        for (std::uint32_t i = model_header_cell; i < end; ++i) sw(i);
        for (std::uint32_t s = first_symbol_cell; s + symbol_cells <= cur; s += symbol_cells) {
            for (std::uint32_t i = 0; i < 14; ++i) sw(s + i);
            auto* b = reinterpret_cast<std::uint8_t*>(c + s);
            sw16(b + 56);
            sw16(b + 58);
            sw16(b + 60);
        }
        return true;
    }
    case ct_tokens: {
        std::uint32_t i = 5;
        while (i < cur) {
            std::uint32_t len = sw(i);
            std::uint64_t next = i + (std::uint64_t{len} + 5 + 3) / 4;
            if (next > cur || next <= i) return false;
            i = static_cast<std::uint32_t>(next);
        }
        return true;
    }
    case ct_equations: {
        std::uint32_t i = 5;
        while (i < cur) {
            if (i + 5 > cur) return false;
            for (std::uint32_t k = 0; k < 4; ++k) sw(i + k);
            std::uint32_t n = sw(i + 4);
            if (std::uint64_t{i} + 5 + 2ull * n > cur) return false;
            auto* nodes = reinterpret_cast<expr_node*>(c + i + 5);
            for (std::uint32_t k = 0; k < n; ++k) {
                std::uint16_t code = to_native ? swap16(nodes[k].code) : nodes[k].code;
                nodes[k].code = swap16(nodes[k].code);
                nodes[k].next = swap16(nodes[k].next);
                std::uint32_t op = to_native ? swap32(nodes[k].operand) : nodes[k].operand;
                nodes[k].operand = swap32(nodes[k].operand);
                if (node_has_text(code))
                    k += static_cast<std::uint32_t>((std::uint64_t{op} + 1 + 7) / 8);
            }
            i += 5 + 2 * n;
        }
        return true;
    }
    }
    return false;
}

// The cells of a symbol record that only mean something in memory: the uses
// list (rebuilt on reading), the marks of the tree and loop searches and the
// search depth. They are written as 0 so that a file does not depend on what
// the tools did with the model before it was saved.
void normalise_record(std::uint32_t* rec) {
    rec[5] = 0;
    auto* r = reinterpret_cast<symbol_record*>(rec);
    r->flags = static_cast<std::uint16_t>(r->flags & ~(sf_mark_04 | sf_mark_08 | sf_mark_10));
    r->depth = 0;
}

// The identity stamp of a model part: CRC-32 of the symbol records as written
// (cells first_symbol_cell .. cur-1 of the symbol block image, records
// normalised), then of the name pool's cells 5 .. cur-1.
std::uint32_t stamp_of(const std::uint32_t* image, std::uint32_t cur, handle names) {
    std::uint32_t crc = 0;
    if (cur > first_symbol_cell)
        crc = crc32(image + first_symbol_cell, 4ull * (cur - first_symbol_cell));
    if (names && handle_valid(names)) {
        handle_lock<std::uint32_t> n(names);
        std::uint32_t ncur = reinterpret_cast<const bhead*>(n.get())->cur;
        auto ncells = static_cast<std::uint32_t>(handle_size(names) / 4);
        if (ncur > ncells) ncur = ncells;
        if (ncur > 5) crc = crc32_update(crc, n.get() + 5, 4ull * (ncur - 5));
    }
    return crc;
}

std::uint32_t cells_of(handle h) {
    if (!h) return 0;
    handle_lock<bhead> b(h);
    return b->cur;
}

} // namespace modelfile_format
