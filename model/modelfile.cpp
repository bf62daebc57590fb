// The binary model file: model part reader and writer, byte-order conversion,
// validation of everything read, the model password and opening by kind.
#include "model/modelfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/checksum.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/varnames.h"

namespace {

void password_check(const std::uint8_t salt[16], const char* text, std::uint32_t iterations,
                    std::uint8_t out[32]) {
    sha256 s;
    s.update(salt, 16);
    s.update(text, std::strlen(text));
    auto digest = s.finish();
    for (std::uint32_t i = 1; i < iterations; ++i) {
        sha256 t;
        t.update(salt, 16);
        t.update(digest.data(), 32);
        digest = t.finish();
    }
    std::memcpy(out, digest.data(), 32);
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

password_hook_fn password_hook = nullptr;
graph_set_hook_fn graph_hook = nullptr;

// ---------------------------------------------------- block content kinds ---

enum content : int { ct_words, ct_bytes, ct_symbols, ct_equations, ct_tokens, ct_password };

// The stored blocks of a model part after the symbol block, in file order.
struct stored_word {
    int word;
    content kind;
};
const stored_word stored_blocks[] = {
    {mh_names, ct_bytes},         {mh_dims, ct_words},        {mh_units, ct_words},
    {mh_elists, ct_words},        {mh_comments, ct_bytes},    {mh_equations, ct_equations},
    {mh_tokens, ct_tokens},       {mh_lookup_list, ct_words}, {mh_lookup_data, ct_words},
    {mh_settings_text, ct_bytes}, {mh_slot_types, ct_bytes},  {mh_password, ct_password},
};
// Header words that hold handles only meaningful in memory.
const int memory_words[] = {mh_uses,          mh_alpha,    mh_hash_heads,
                            mh_hash_overflow, mh_settings, mh_model_rec};

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

// ------------------------------------------------------------ views I/O ---

void swap_font(std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    v = swap32(v);
    std::memcpy(p, &v, 4);
}
void swap_at16(std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    v = swap16(v);
    std::memcpy(p, &v, 2);
}
void swap_at32(std::uint8_t* p) {
    swap_font(p);
}
std::uint16_t get16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
std::uint32_t get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void convert_view_rec(view_rec& v) {
    auto* p = reinterpret_cast<std::uint8_t*>(&v);
    for (int off : {0, 4, 8, 12, 16, 20, 24, 68}) swap_at32(p + off);
    swap_at16(p + 64);
    swap_at16(p + 66);
    swap_at16(p + 126);
}

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

// Walks the pieces of a stored piece block (cells from 6 to cur) and converts
// or checks them. Returns false when the tiling is broken.
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

} // namespace

void set_password_hook(password_hook_fn hook) {
    password_hook = hook;
}
void set_graph_set_hook(graph_set_hook_fn hook) {
    graph_hook = hook;
}

// ------------------------------------------------------------------ writer ---

namespace {

struct writer {
    file_handle fh;
    bool foreign;
    bool ok = true;

    void bytes(const void* p, std::size_t n) {
        if (ok && fh_write(fh, p, n) != n) ok = false;
    }
    void u32(std::uint32_t v) {
        if (foreign) v = swap32(v);
        bytes(&v, 4);
    }
    // A block image: head and used cells, size = used, converted when foreign.
    void block(handle h, content kind) {
        std::vector<std::uint32_t> image;
        {
            handle_lock<std::uint32_t> b(h);
            if (!b) {
                ok = false;
                return;
            }
            auto* head = reinterpret_cast<const bhead*>(b.get());
            if (head->guard != block_guard || head->cur * 4ull > handle_size(h)) {
                ok = false;
                return;
            }
            image.assign(b.get(), b.get() + head->cur);
        }
        image[2] = image[3];
        if (foreign) {
            if (!convert_cells(kind, image.data(), static_cast<std::uint32_t>(image.size()), false))
                ok = false;
            swap_words(image.data(), 5);
        }
        bytes(image.data(), image.size() * 4);
    }
};

void write_views(writer& w, const std::uint32_t* hdr) {
    handle views = hdr[mh_views];
    std::uint32_t count = hdr[mh_view_count] & 0xFFFF;
    if (!views || !count) return;
    std::vector<view_rec> recs(count);
    {
        handle_lock<view_rec> v(views);
        std::size_t n = std::min<std::size_t>(count, handle_size(views) / sizeof(view_rec));
        std::copy(v.get(), v.get() + n, recs.begin());
    }
    for (view_rec r : recs) {
        bool present = r.index && r.data;
        r.index = present ? 1 : 0;
        r.data = present ? 1 : 0;
        if (w.foreign) convert_view_rec(r);
        w.bytes(&r, sizeof r);
    }
    for (const view_rec& r : recs) {
        if (!r.index || !r.data) continue;
        // Index: cells 0 .. count-1.
        std::vector<std::uint32_t> index(r.count);
        {
            handle_lock<std::uint32_t> ix(r.index);
            std::size_t n = std::min<std::size_t>(r.count, handle_size(r.index) / 4);
            std::copy(ix.get(), ix.get() + n, index.begin());
        }
        for (std::uint32_t v : index) w.u32(v);
        // Element block.
        std::vector<std::uint32_t> image;
        {
            handle_lock<std::uint32_t> b(r.data);
            auto* head = reinterpret_cast<const bhead*>(b.get());
            image.assign(b.get(), b.get() + head->cur);
        }
        image[2] = image[3];
        // Payload handles of attached blocks mean nothing in a file: 1 marks one.
        for (std::uint32_t i = 1; i < r.count; ++i) {
            std::uint32_t c = index[i];
            if (c < view_dummy_cell || c + 2 > image.size()) continue;
            auto* e = reinterpret_cast<std::uint8_t*>(image.data() + c);
            auto kind = static_cast<std::int8_t>(e[2]);
            if (kind >= ek_bitmap && get32(e + 4)) image[c + 1] = 1;
        }
        if (w.foreign) {
            walk_pieces(image.data(), static_cast<std::uint32_t>(image.size()), true, false);
            swap_words(image.data(), 5);
        }
        w.bytes(image.data(), image.size() * 4);
        if (!r.attached) continue;
        handle_lock<std::uint8_t> dt(r.data);
        std::uint32_t dbytes = handle_size(r.data);
        for (std::uint32_t i = 1; i < r.count; ++i) {
            std::uint64_t off = 4ull * index[i];
            if (off + 8 > dbytes) continue;
            auto kind = static_cast<std::int8_t>(dt.get()[off + 2]);
            handle payload = get32(dt.get() + off + 4);
            if (kind < ek_bitmap || !payload || !handle_valid(payload)) continue;
            if (kind >= ek_attached) {
                w.block(payload, ct_words);
                continue;
            }
            std::vector<std::uint8_t> blob;
            {
                handle_lock<std::uint8_t> pb(payload);
                std::uint32_t n = std::min(get32(pb.get()), handle_size(payload));
                if (n < 4) n = 4;
                blob.assign(pb.get(), pb.get() + std::min(n, handle_size(payload)));
            }
            std::uint32_t n = static_cast<std::uint32_t>(blob.size());
            std::memcpy(blob.data(), &n, 4);
            if (w.foreign) {
                swap_at32(blob.data());
                if (kind == ek_metafile && n >= 20)
                    for (int k = 1; k < 5; ++k) swap_at32(blob.data() + 4 * k);
            }
            w.bytes(blob.data(), blob.size());
        }
    }
}

} // namespace

int write_model_part(file_handle fh, handle symbols, bool foreign) {
    if (!symbols || !handle_valid(symbols)) return 0;
    if (symbols == locked_model_symbols) {
        report(10, "MDL1040 writing a locked model");
        return 0;
    }
    std::uint32_t hdr[mh_words];
    {
        handle_lock<std::uint32_t> s(symbols);
        std::memcpy(hdr, s.get() + model_header_cell, sizeof hdr);
    }
    writer w{fh, foreign};
    // The symbol block, with the memory-only handles and marks cleared.
    {
        std::vector<std::uint32_t> image;
        {
            handle_lock<std::uint32_t> s(symbols);
            image.assign(s.get(), s.get() + reinterpret_cast<bhead*>(s.get())->cur);
        }
        image[2] = image[3];
        for (int m : memory_words) image[model_header_cell + m] = 0;
        for (const stored_word& b : stored_blocks)
            if (image[model_header_cell + b.word]) image[model_header_cell + b.word] = 1;
        if (image[model_header_cell + mh_views]) image[model_header_cell + mh_views] = 1;
        for (std::size_t s = first_symbol_cell; s + symbol_cells <= image.size(); s += symbol_cells)
            normalise_record(image.data() + s);
        // The identity stamp describes the part exactly as written (in the
        // file's little-endian form), so equal parts always carry equal stamps.
        std::uint32_t stamp =
            stamp_of(image.data(), static_cast<std::uint32_t>(image.size()), hdr[mh_names]);
        image[model_header_cell + mh_stamp] = stamp;
        set_header_word(symbols, mh_stamp, stamp);
        if (foreign) {
            convert_cells(ct_symbols, image.data(), static_cast<std::uint32_t>(image.size()),
                          false);
            swap_words(image.data(), 5);
        }
        w.bytes(image.data(), image.size() * 4);
    }
    for (const stored_word& b : stored_blocks)
        if (hdr[b.word]) w.block(hdr[b.word], b.kind);
    write_views(w, hdr);
    if (!w.ok) report(8, "Unable to write the model to %s", fh_name(fh));
    return w.ok ? 1 : 0;
}

std::uint32_t model_part_stamp(handle symbols) {
    if (!symbols || !handle_valid(symbols)) return 0;
    std::vector<std::uint32_t> image;
    {
        handle_lock<std::uint32_t> s(symbols);
        std::uint32_t cur = reinterpret_cast<bhead*>(s.get())->cur;
        cur = std::min(cur, static_cast<std::uint32_t>(handle_size(symbols) / 4));
        image.assign(s.get(), s.get() + cur);
    }
    if (image.size() < first_symbol_cell) return 0;
    for (std::size_t s = first_symbol_cell; s + symbol_cells <= image.size(); s += symbol_cells)
        normalise_record(image.data() + s);
    return stamp_of(image.data(), static_cast<std::uint32_t>(image.size()),
                    image[model_header_cell + mh_names]);
}

int write_model_file(const char* path, handle symbols, const model_write_options& options) {
    file_handle fh = fh_open_write(path, 0, 0);
    if (fh < 0) {
        report(8, "Unable to open %s to write the model", path);
        return 0;
    }
    fh_guard guard(fh);
    kmf_header h{};
    std::memcpy(h.magic, kmf_magic, 3);
    h.type = kmf_type_model;
    const char* name = options.name ? options.name : file_name_part(path);
    std::strncpy(h.name, name, sizeof h.name - 1);
    h.byte_order = kmf_byte_order_mark;
    h.version = options.version;
    kmf_word(h, kmw_model_offset) = sizeof h;
    kmf_word(h, kmw_flags) = model_has_password(symbols) ? std::uint32_t{kmf_flag_password} : 0u;
    if (options.foreign) {
        h.byte_order = swap16(h.byte_order);
        h.version = swap16(h.version);
        swap_words(h.words, 20);
    }
    if (fh_write(fh, &h, sizeof h) != sizeof h || !write_model_part(fh, symbols, options.foreign))
        return 0;
    // The end of the model part in the header.
    long end = fh_seek(fh, 0, 1);
    std::uint32_t e = static_cast<std::uint32_t>(end);
    if (options.foreign) e = swap32(e);
    fh_seek(fh, 84 + 4 * (kmw_model_end - 21), 0);
    fh_write(fh, &e, 4);
    return guard.close() > 0 ? 1 : 0;
}

int write_model_file(const char* path, handle header, handle symbols) {
    model_write_options o;
    std::string name;
    if (header && handle_valid(header)) {
        handle_lock<char> h(header);
        name.assign(h.get() + 4, strnlen(h.get() + 4, 76));
        if (!name.empty()) o.name = name.c_str();
    }
    return write_model_file(path, symbols, o);
}

// ------------------------------------------------------------------ reader ---

namespace {

struct reader {
    file_handle fh;
    bool foreign;
    const char* file;
    std::uint32_t hdr[mh_words]{};
    handle symbols = 0;

    bool fail(const char* what) {
        report(5, "Corrupted model in file %s: %s", file, what);
        return false;
    }
};

handle read_stored(reader& r, content kind) {
    handle h = read_block_raw(r.fh, r.foreign);
    if (!h) return 0;
    handle_lock<std::uint32_t> b(h);
    std::uint32_t cur = reinterpret_cast<bhead*>(b.get())->cur;
    bool ok = true;
    if (r.foreign) ok = convert_cells(kind, b.get(), cur, true);
    if (!ok) {
        report(5, "Corrupted block reading file %s", r.file);
        b.get()[1] = 0;
        return free_handle(h), 0;
    }
    return h;
}

std::uint32_t cells_of(handle h) {
    if (!h) return 0;
    handle_lock<bhead> b(h);
    return b->cur;
}

// A NUL-terminated text starting at a cell of a byte block.
bool text_ok(const std::uint32_t* block, std::uint32_t cells, std::uint32_t cell) {
    if (cell < 5 || cell >= cells) return false;
    const char* p = reinterpret_cast<const char*>(block + cell);
    return memchr(p, 0, 4ull * (cells - cell)) != nullptr;
}

// Checks one equation tree; false with a reason.
bool check_tree(expr_node* n, std::uint32_t count, const char** why) {
    if (count == 0) return *why = "empty equation", false;
    if (!is_equation_kind(n[0].code)) return *why = "bad equation kind", false;
    std::vector<std::uint8_t> seen(count, 0); // 1 referenced, 2 text slot
    std::uint32_t lookups = model_hdr->w[mh_lookups];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (seen[i] == 2) continue;
        const expr_node& x = n[i];
        if (x.next) {
            if (std::uint64_t{i} + x.next >= count || seen[i + x.next])
                return *why = "node out of range", false;
            seen[i + x.next] = 1;
        }
        if (node_has_children(x.code)) {
            if (x.operand) {
                if (std::uint64_t{i} + x.operand >= count || seen[i + x.operand])
                    return *why = "node out of range", false;
                seen[i + x.operand] = 1;
            }
        } else if (node_has_symbol(x.code)) {
            if (!valid_symbol(x.operand)) return *why = "bad symbol in equation", false;
        } else if (node_has_text(x.code)) {
            std::uint64_t slots = (std::uint64_t{x.operand} + 1 + 7) / 8;
            if (i + slots >= count) return *why = "text past the equation", false;
            const char* t = node_text(&x);
            if (t[x.operand] != 0 || memchr(t, 0, x.operand) != nullptr)
                return *why = "bad text in equation", false;
            for (std::uint64_t k = 1; k <= slots; ++k) {
                if (seen[i + k]) return *why = "node points into text", false;
                seen[i + k] = 2;
            }
            if (x.next && x.next <= slots) return *why = "node points into text", false;
        } else if (x.code == nc_lookup_def) {
            if (x.operand >= lookups) return *why = "bad lookup index", false;
        } else if (x.code != nc_number && x.code != nc_init_mark && x.code != nc_row_break &&
                   x.code != nc_comment) {
            return *why = "unknown node code", false;
        }
    }
    if (n[0].next) return *why = "root with a sibling", false;
    return true;
}

bool check_model(reader& r) {
    handle_lock<std::uint32_t> s(r.symbols);
    // Published view of the model being checked.
    model_lock_guard g(r.symbols, 1);
    if (!g.ok()) return r.fail("blocks");
    std::uint32_t scells = cells_of(r.symbols);
    if (model_hdr->w[mh_sym_end] != scells || scells < first_symbol_cell ||
        (scells - first_symbol_cell) % symbol_cells)
        return r.fail("symbol table size");
    if (!model_names || !model_dims) return r.fail("missing name pool or dimensions");
    std::uint32_t ncells = cells_of(model_hdr->w[mh_names]);
    std::uint32_t dcells = cells_of(model_hdr->w[mh_dims]);
    std::uint32_t ucells = cells_of(model_hdr->w[mh_units]);
    std::uint32_t ecells = cells_of(model_hdr->w[mh_elists]);
    std::uint32_t ccells = cells_of(model_hdr->w[mh_comments]);
    std::uint32_t qcells = cells_of(model_hdr->w[mh_equations]);
    std::uint32_t tcells = cells_of(model_hdr->w[mh_tokens]);
    std::uint32_t lcells = cells_of(model_hdr->w[mh_lookup_list]);
    std::uint32_t ldcells = cells_of(model_hdr->w[mh_lookup_data]);
    const std::uint32_t* dims = model_dims;
    if (dcells < scalar_dims + 26) return r.fail("dimensions");
    // Slots and lookups.
    std::uint64_t slots =
        std::uint64_t{model_hdr->w[mh_level_slots]} + model_hdr->w[mh_other_slots];
    std::uint32_t nlookups = model_hdr->w[mh_lookups];
    if (slots > (1u << 26) || model_hdr->w[mh_string_slots] > (1u << 26))
        return r.fail("slot counts");
    if (std::uint64_t{nlookups} * lookup_entry_cells + 5 > (nlookups ? lcells : 5))
        return r.fail("lookup count");
    for (std::uint32_t i = 0; i < nlookups; ++i) {
        const lookup_entry* e = lookup_at(static_cast<int>(i));
        if (!valid_symbol(e->symbol) || e->npoints > (1u << 24) || e->x < 5 || e->y < 5 ||
            std::uint64_t{e->x} + e->npoints > ldcells ||
            std::uint64_t{e->y} + e->npoints > ldcells)
            return r.fail("lookup points");
    }
    if (model_hdr->w[mh_slot_types] && cells_of(model_hdr->w[mh_slot_types]) * 4ull < 20 + slots)
        return r.fail("slot types");
    if (model_hdr->w[mh_settings_text]) {
        handle_lock<std::uint32_t> st(model_hdr->w[mh_settings_text]);
        if (!text_ok(st.get(), cells_of(model_hdr->w[mh_settings_text]), 5))
            return r.fail("settings text");
    }
    if (model_hdr->w[mh_password] && cells_of(model_hdr->w[mh_password]) < 5 + 14)
        return r.fail("password record");
    symbol_id time = model_hdr->w[mh_time_symbol];
    if (time && !valid_symbol(time)) return r.fail("Time");
    // Equation record starts.
    std::set<std::uint32_t> eq_starts;
    for (std::uint32_t i = 5; i < qcells;) {
        eq_starts.insert(i);
        // The record head must lie in the block before its node count is read.
        if (std::uint64_t{i} + 5 > qcells) return r.fail("equation block");
        const equation_record* e = eq_at(i);
        std::uint64_t next = i + 5 + 2ull * e->nnodes;
        if (next > qcells) return r.fail("equation block");
        i = static_cast<std::uint32_t>(next);
    }
    std::set<std::uint32_t> token_starts;
    for (std::uint32_t i = 5; i < tcells;) {
        token_starts.insert(i);
        if (!model_tokens) return r.fail("token block");
        std::uint32_t len = reinterpret_cast<const std::uint32_t*>(model_tokens)[i];
        // The length word, the text and its terminating NUL, in whole cells.
        std::uint64_t next = i + (std::uint64_t{len} + 5 + 3) / 4;
        if (next > tcells) return r.fail("token text length");
        i = static_cast<std::uint32_t>(next);
    }
    std::vector<std::uint8_t> eq_used(qcells, 0);
    for (symbol_id id = first_symbol_cell; id + symbol_cells <= scells; id += symbol_cells) {
        symbol_record* x = sym(id);
        x->uses = 0;
        int t = x->type;
        bool known = t == st_deleted || (t >= 1 && t <= st_last_variable) || t == st_element ||
                     t == st_range || t == st_units || t == st_macro || t == st_group ||
                     t == st_function || t == st_vector_function;
        if (!known) return r.fail("symbol type");
        if (!text_ok(reinterpret_cast<const std::uint32_t*>(model_names), ncells, x->name))
            return r.fail("symbol name");
        if (x->group && !valid_symbol(x->group)) return r.fail("group of a symbol");
        if (x->subref && !valid_symbol(x->subref, true)) return r.fail("subscript reference");
        if (x->comment &&
            !text_ok(reinterpret_cast<const std::uint32_t*>(model_comments), ccells, x->comment))
            return r.fail("comment");
        // Dimensions.
        if (x->dims < scalar_dims || x->dims + 26u > dcells) return r.fail("dimension record");
        const dim_record* d = dims_at(x->dims);
        if (d->ndims > max_dims) return r.fail("dimension count");
        std::uint64_t total = 1;
        for (std::uint32_t k = 0; k < d->ndims; ++k) {
            if (!valid_symbol(d->d[k].range) || sym(d->d[k].range)->type != st_range)
                return r.fail("dimension range");
            // A dimension has as many positions as its range has elements,
            // and a product of counts with a zero in it must not hide a huge
            // count behind a total of 0.
            const symbol_record* rr = sym(d->d[k].range);
            if (!model_elists || rr->elems < 5 || std::uint64_t{rr->elems} + 1 > ecells ||
                model_elists[rr->elems] != d->d[k].count || d->d[k].count == 0)
                return r.fail("dimension count");
            total *= d->d[k].count;
            if (total > max_var_elements) return r.fail("dimension size");
        }
        if (total != d->count) return r.fail("dimension count");
        // Last dimension fastest: each stride is the product of the later counts.
        for (std::uint64_t k = d->ndims, stride = 1; k-- > 0;) {
            if (d->d[k].stride != stride) return r.fail("dimension stride");
            stride *= d->d[k].count;
        }
        (void)dims;
        // Slots.
        if (x->slot < -1) return r.fail("value slot");
        if (x->slot >= 0 && t != st_deleted) {
            std::uint64_t limit = t == st_lookup            ? nlookups
                                  : t == st_string          ? model_hdr->w[mh_string_slots]
                                  : t <= st_last_with_slots ? slots
                                                            : ~0ull;
            if (t <= st_last_with_slots || t == st_lookup || t == st_string)
                if (std::uint64_t(x->slot) + d->count > limit) return r.fail("value slot");
        }
        // Range elements.
        if (t == st_range && x->elems) {
            if (!model_elists || x->elems < 5 || x->elems >= ecells) return r.fail("element list");
            const element_list* l = range_elements(id);
            if (!l) return r.fail("element list");
            if (std::uint64_t{x->elems} + 1 + l->count > ecells) return r.fail("element list");
            for (std::uint32_t k = 0; k < l->count; ++k)
                if (!valid_symbol(l->ids[k]) || sym(l->ids[k])->type != st_element)
                    return r.fail("range element");
        }
        // Units.
        if (x->units) {
            if (!model_units || x->units < 5 || x->units + 3ull > ucells)
                return r.fail("units entry");
            // Read the entry directly: sym_units() answers null for a deleted symbol.
            const units_entry* u = reinterpret_cast<const units_entry*>(model_units + x->units);
            if (x->units + 3ull + u->nnum + u->nden > ucells) return r.fail("units entry");
            for (std::uint32_t k = 0; k < u->nnum + u->nden; ++k)
                if (!valid_symbol(u->ids[k])) return r.fail("units name");
            if (u->tokens && !token_starts.count(u->tokens)) return r.fail("units text");
        }
        // Pairs.
        for (std::uint32_t c = x->pairs, guard = 0; c; ++guard) {
            if (c < 5 || c + 3ull > dcells || guard > dcells) return r.fail("pair list");
            const pair_entry* p = reinterpret_cast<const pair_entry*>(model_dims + c);
            if (!valid_symbol(p->symbol, true) ||
                !text_ok(reinterpret_cast<const std::uint32_t*>(model_comments), ccells, p->text))
                return r.fail("pair list");
            c = p->next;
        }
        // Equations.
        for (std::uint32_t c = x->eqn; c;) {
            if (!eq_starts.count(c) || eq_used[c]) return r.fail("equation list");
            eq_used[c] = 1;
            equation_record* e = eq_at(c);
            e->code = 0;
            if (e->tokens && !token_starts.count(e->tokens)) return r.fail("equation text");
            // Every equation has its root node (an empty one would have
            // node_skip and the tree walkers read the next record as its root).
            const char* why = nullptr;
            if (!check_tree(eq_nodes(e), e->nnodes, &why)) {
                report(5, "Corrupted model in file %s: equation of %s: %s", r.file, sym_name(id),
                       why);
                return false;
            }
            c = e->next;
        }
    }
    // Token texts: symbol escapes name symbols.
    for (std::uint32_t c : token_starts) {
        const token_text* tt = tokens_at(c);
        for (std::uint32_t k = 0; k < tt->bytes; ++k) {
            if (static_cast<unsigned char>(tt->text[k]) != token_symbol) continue;
            if (k + 4 >= tt->bytes) return r.fail("token text");
            std::uint32_t id;
            std::memcpy(&id, tt->text + k + 1, 4);
            if (!valid_symbol(id, true)) return r.fail("token text symbol");
            k += 4;
        }
    }
    return true;
}

bool read_views(reader& r, std::uint32_t* hdr) {
    std::uint32_t count = hdr[mh_view_count] & 0xFFFF;
    bool present = hdr[mh_views] != 0;
    hdr[mh_views] = 0;
    if (!present || count == 0) {
        hdr[mh_view_count] = 0;
        return true;
    }
    long pos = fh_seek(r.fh, 0, 1), size = fh_size(r.fh);
    if (pos < 0 || size - pos < static_cast<long>(count * sizeof(view_rec)))
        return r.fail("views past the end");
    std::vector<view_rec> recs(count);
    if (fh_read(r.fh, recs.data(), count * sizeof(view_rec)) != count * sizeof(view_rec))
        return r.fail("views");
    handle vb = new_handle(count * sizeof(view_rec));
    hdr[mh_views] = vb;
    for (auto& v : recs) {
        if (r.foreign) convert_view_rec(v);
        v.name[51] = 0;
        v.font.face[31] = 0;
    }
    // Store the records at once (handles cleared) so that a failure frees
    // what was made so far through free_model.
    auto store = [&]() {
        handle_lock<view_rec> b(vb);
        std::copy(recs.begin(), recs.end(), b.get());
    };
    std::vector<std::pair<bool, bool>> has(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        has[i] = {recs[i].index != 0 && recs[i].data != 0, recs[i].attached != 0};
        recs[i].index = recs[i].data = 0;
        recs[i].attached = 0;
    }
    store();
    std::uint32_t scells = hdr[mh_sym_end];
    for (std::uint32_t vi = 0; vi < count; ++vi) {
        view_rec& v = recs[vi];
        if (!has[vi].first) {
            v.count = 1;
            continue;
        }
        if (v.count < 1) return r.fail("view element count");
        std::uint32_t n = v.count;
        pos = fh_seek(r.fh, 0, 1);
        if (size - pos < static_cast<long>(4 * n)) return r.fail("view index past the end");
        std::uint32_t cap = std::max<std::uint32_t>(v.capacity, n);
        if (cap > 0xFFFF) cap = 0xFFFF;
        v.capacity = static_cast<std::uint16_t>(cap);
        v.index = new_handle(4 * cap);
        store();
        std::vector<std::uint32_t> index(n);
        if (fh_read(r.fh, index.data(), 4 * n) != 4 * n) return r.fail("view index");
        if (r.foreign) swap_words(index.data(), n);
        handle data = read_block_raw(r.fh, r.foreign);
        if (!data) return false;
        v.data = data;
        store();
        {
            handle_lock<std::uint32_t> d(data);
            std::uint32_t cur = reinterpret_cast<bhead*>(d.get())->cur;
            if ((d.get()[0] & 0xFF) != 'C' || !walk_pieces(d.get(), cur, r.foreign, true) ||
                !walk_pieces(d.get(), cur, false, true))
                return r.fail("view element block");
            auto* bytes = reinterpret_cast<std::uint8_t*>(d.get());
            for (std::uint32_t i = 1; i < n; ++i) {
                std::uint32_t c = index[i];
                // 64-bit: an index cell of 0xFFFFFFFF must not wrap to pass.
                if (c < view_dummy_cell || std::uint64_t{c} + 1 > cur)
                    return r.fail("view element index");
                std::uint8_t* e = bytes + 4ull * c;
                std::uint32_t room = (cur - c) * 4;
                std::uint16_t len = get16(e);
                if (c == view_dummy_cell) continue;
                if (len < 4 || len > room) return r.fail("view element length");
                auto kind = static_cast<std::int8_t>(e[2]);
                e[3] = 0; // run-time flags mean nothing in a file
                if (kind == ek_variable || kind == ek_valve) {
                    if (len < 24) return r.fail("view element length");
                    symbol_id s = get32(e + 4);
                    bool ok = s >= first_symbol_cell && std::uint64_t{s} + symbol_cells <= scells &&
                              (s - first_symbol_cell) % symbol_cells == 0;
                    if (!ok) std::memset(e + 4, 0, 4); // the view loader drops it
                } else if (kind == ek_connector) {
                    if (len < 16) return r.fail("connector length");
                    int np = static_cast<std::int8_t>(e[13]);
                    std::uint64_t need = 16 + 4ull * (np < 0 ? 0 : np);
                    if (e[12]) need += (e[12] & 32) ? 44 : 12;
                    if (np < 1 || need > len || get16(e + 4) >= n || get16(e + 6) >= n)
                        return r.fail("connector");
                    if (e[10] == 1 && !memchr(e + need, 0, len - need))
                        return r.fail("connector text");
                } else if (kind >= ek_variable) {
                    std::uint32_t fixed = e[19] == 0 ? 24 : (e[19] & 32) ? 72 : 40;
                    if (len < std::min<std::uint32_t>(fixed, 24))
                        return r.fail("view element length");
                    bool text = kind == ek_text || (e[17] & 4);
                    if (text && (fixed >= len || !memchr(e + fixed, 0, len - fixed)))
                        return r.fail("view element text");
                    if (kind == ek_text && (e[17] & 8)) std::memset(e + 4, 0, 4);
                    if (kind == ek_text && !(e[17] & 8) && get32(e + 4) > 50)
                        std::memset(e + 4, 0, 4);
                }
            }
        }
        {
            handle_lock<std::uint32_t> ix(v.index);
            std::copy(index.begin(), index.end(), ix.get());
        }
        if (!has[vi].second) continue;
        v.attached = 1;
        store();
        for (std::uint32_t i = 1; i < n; ++i) {
            std::int8_t kind;
            handle payload;
            {
                handle_lock<std::uint8_t> d(data);
                std::uint8_t* e = d.get() + 4ull * index[i];
                kind = static_cast<std::int8_t>(e[2]);
                payload = index[i] == view_dummy_cell ? 0 : get32(e + 4);
                if (kind >= ek_bitmap) std::memset(e + 4, 0, 4);
            }
            if (kind < ek_bitmap || !payload) continue;
            handle made = 0;
            if (kind >= ek_attached) {
                made = read_block_raw(r.fh, r.foreign);
                if (!made) return false;
                if (r.foreign) {
                    handle_lock<std::uint32_t> b(made);
                    swap_words(b.get() + 5, reinterpret_cast<bhead*>(b.get())->cur - 5);
                }
            } else {
                std::uint32_t bytes;
                if (fh_read(r.fh, &bytes, 4) != 4) return r.fail("picture");
                if (r.foreign) bytes = swap32(bytes);
                pos = fh_seek(r.fh, 0, 1);
                if (bytes < 4 || bytes - 4 > static_cast<std::uint64_t>(size - pos))
                    return r.fail("picture size");
                made = new_handle(bytes);
                handle_lock<std::uint8_t> pb(made);
                std::memcpy(pb.get(), &bytes, 4);
                if (fh_read(r.fh, pb.get() + 4, bytes - 4) != bytes - 4) {
                    free_handle(made);
                    return r.fail("picture");
                }
                if (r.foreign && kind == ek_metafile && bytes >= 20)
                    for (int k = 1; k < 5; ++k) swap_at32(pb.get() + 4 * k);
            }
            handle_lock<std::uint8_t> d(data);
            std::memcpy(d.get() + 4ull * index[i] + 4, &made, 4);
        }
    }
    store();
    return true;
}

} // namespace

handle read_model_part(file_handle fh, bool foreign, const char* file_name, long* end) {
    reader r{fh, foreign, file_name ? file_name : block_file_name(fh)};
    r.symbols = read_stored(r, ct_symbols);
    if (!r.symbols) return 0;
    {
        handle_lock<std::uint32_t> s(r.symbols);
        if (reinterpret_cast<bhead*>(s.get())->cur < first_symbol_cell) {
            r.fail("symbol table");
            free_handle(r.symbols);
            return 0;
        }
        std::memcpy(r.hdr, s.get() + model_header_cell, sizeof r.hdr);
        // Clear every handle word: each is set again when its block is read.
        for (const stored_word& b : stored_blocks) s.get()[model_header_cell + b.word] = 0;
        for (int m : memory_words) s.get()[model_header_cell + m] = 0;
        s.get()[model_header_cell + mh_views] = 0;
        s.get()[model_header_cell + mh_view_count] = 0;
    }
    auto give_up = [&]() {
        free_model(0, r.symbols);
        return handle{0};
    };
    for (const stored_word& b : stored_blocks) {
        if (!r.hdr[b.word]) continue;
        handle h = read_stored(r, b.kind);
        if (!h) return give_up();
        set_header_word(r.symbols, b.word, h);
    }
    {
        std::uint32_t h[mh_words];
        std::memcpy(h, r.hdr, sizeof h);
        h[mh_sym_end] = cells_of(r.symbols);
        bool ok = read_views(r, h);
        set_header_word(r.symbols, mh_views, h[mh_views]);
        set_header_word(r.symbols, mh_view_count, h[mh_views] ? (h[mh_view_count] & 0xFFFF) : 0);
        if (!ok) return give_up();
    }
    if (!check_model(r)) return give_up();
    if (end) *end = fh_seek(fh, 0, 1);
    // The stamp always describes the part as it is (a file of another writer
    // may carry none or a stale one).
    set_header_word(r.symbols, mh_stamp, model_part_stamp(r.symbols));
    rebuild_indexes(r.symbols);
    return r.symbols;
}

namespace {

model_pair finish_read(file_handle fh, const kmf_header& h, const char* name) {
    model_pair m;
    if (h.version != kmf_version_300 && h.version != kmf_version_400) {
        report(5, "the file %s is not compatible with the current system", name);
        return m;
    }
    if (h.type != kmf_type_model) {
        report(5, "%s is not a binary model file", name);
        return m;
    }
    kmf_header copy = h;
    std::uint32_t off = kmf_word(copy, kmw_model_offset);
    if (off < sizeof(kmf_header) ||
        fh_seek(fh, static_cast<long>(off), 0) != static_cast<long>(off)) {
        report(5, "Corrupted model in file %s: model offset", name);
        return m;
    }
    handle s = read_model_part(fh, kmf_foreign, name);
    if (!s) return m;
    if (model_has_password(s)) {
        char typed[max_password_chars + 2] = {};
        int asked = password_hook ? password_hook(name, typed, sizeof typed) : 0;
        if (!asked) {
            report(8, "The model %s is protected by a password", name);
            free_model(0, s);
            return m;
        }
        if (!check_model_password(s, typed)) {
            report(8, "The password for the model %s is not correct", name);
            free_model(0, s);
            return m;
        }
        model_settings* ms = lock_model_settings(s);
        ms->password_edit = 1;
        unlock_model_settings(s);
    }
    m.symbols = s;
    m.header = new_handle(sizeof(kmf_header));
    handle_lock<kmf_header> hh(m.header);
    *hh.get() = h;
    return m;
}

} // namespace

model_pair read_model_file(const char* path) {
    kmf_header h{};
    file_handle fh = open_block_file(path, &h, 0);
    if (fh < 0) return {};
    model_pair m = finish_read(fh, h, path);
    fh_close(fh);
    return m;
}

model_pair read_model_bytes(const void* data, std::size_t bytes, const char* name) {
    file_handle fh = fh_open_bytes(data, bytes, name);
    if (fh < 0) return {};
    kmf_header h{};
    model_pair m;
    if (fh_read(fh, &h, sizeof h) != sizeof h || std::memcmp(h.magic, kmf_magic, 3) != 0) {
        report(5, "%s is not a binary model file", name);
    } else {
        int order = convert_kmf_header(&h);
        if (order == 0) {
            report(5, "the file %s is not compatible with the current system", name);
        } else {
            kmf_foreign = order == 2;
            m = finish_read(fh, h, name);
        }
    }
    fh_close(fh);
    return m;
}

handle read_binary_model(const char* name, int) {
    kmf_header h{};
    file_handle fh = open_block_file(name, &h, 0);
    if (fh < 0) return 0;
    if (h.version != kmf_version_300 && h.version != kmf_version_400) {
        report(5, "the file %s is not compatible with the current system", name);
        fh_close(fh);
        return 0;
    }
    bool foreign = kmf_foreign;
    handle info = 0, symbols = 0;
    bool model_file = h.type == kmf_type_model;
    if (model_file) {
        std::uint32_t off = kmf_word(h, kmw_model_offset);
        if (off < sizeof h || fh_seek(fh, static_cast<long>(off), 0) < 0) {
            report(5, "Corrupted model in file %s: model offset", name);
            fh_close(fh);
            return 0;
        }
    } else if (kmf_word(h, kdf_word_info)) {
        // The information block holds text: only its length cell is a number.
        info = read_block_raw(fh, foreign);
        if (!info) {
            fh_close(fh);
            return 0;
        }
        bool ok;
        {
            handle_lock<std::uint32_t> b(info);
            std::uint32_t cur = reinterpret_cast<const bhead*>(b.get())->cur;
            if (foreign && cur > 5) b.get()[5] = swap32(b.get()[5]);
            // The text and its NUL must lie inside the block.
            ok = cur > 6 && std::uint64_t{b.get()[5]} < 4ull * (cur - 6) &&
                 reinterpret_cast<const char*>(b.get() + 6)[b.get()[5]] == '\0';
        }
        if (!ok) {
            report(5, "Corrupted run information block in file %s", name);
            free_handle(info);
            fh_close(fh);
            return 0;
        }
    }
    symbols = read_model_part(fh, foreign, name);
    if (!symbols) {
        free_hblock_if(info);
        fh_close(fh);
        return 0;
    }
    if (model_file) {
        fh_close(fh);
        fh = -1;
        if (graph_hook) {
            const char* text = embedded_graph_set_text(symbols);
            if (*text) graph_hook(text, 1);
        }
    } else {
        std::uint32_t flags = get_header_word(symbols, mh_flags);
        set_header_word(symbols, mh_flags, flags | mfl_from_run);
    }
    handle rec = new_handle(sizeof(kmf_header));
    handle_lock<kmf_header> r(rec);
    *r.get() = h;
    kmf_word(*r.get(), kdf_word_file) = static_cast<std::uint32_t>(fh);
    kmf_word(*r.get(), kdf_word_symbols) = symbols;
    kmf_word(*r.get(), kdf_word_info) = info;
    return rec;
}

// --------------------------------------------------------------- password ---

bool model_has_password(handle symbols) {
    handle p = get_header_word(symbols, mh_password);
    if (!p) return false;
    handle_lock<std::uint32_t> b(p);
    return reinterpret_cast<password_record*>(b.get() + 5)->state == 1;
}

void set_model_password(handle symbols, const char* text) {
    free_hblock_if(get_header_word(symbols, mh_password));
    set_header_word(symbols, mh_password, 0);
    if (!text || !*text) return;
    password_record rec{};
    rec.state = 1;
    rec.iterations = 4096;
    std::random_device rd;
    for (auto& b : rec.salt) b = static_cast<std::uint8_t>(rd());
    std::string t(text, strnlen(text, max_password_chars));
    password_check(rec.salt, t.c_str(), rec.iterations, rec.check);
    handle h = new_hblock(5 + 14 + 2, 0, 0);
    std::int32_t cell = hblock_alloc(h, sizeof rec, 0);
    {
        handle_lock<std::uint32_t> b(h);
        std::memcpy(b.get() + cell, &rec, sizeof rec);
    }
    set_header_word(symbols, mh_password, h);
}

bool check_model_password(handle symbols, const char* text) {
    handle p = get_header_word(symbols, mh_password);
    if (!p) return true;
    password_record rec;
    {
        handle_lock<std::uint32_t> b(p);
        std::memcpy(&rec, b.get() + 5, sizeof rec);
    }
    if (rec.state != 1) return true;
    if (rec.iterations == 0 || rec.iterations > 1000000) return false;
    std::string t(text ? text : "", text ? strnlen(text, max_password_chars) : 0);
    std::uint8_t out[32];
    password_check(rec.salt, t.c_str(), rec.iterations, out);
    return std::memcmp(out, rec.check, 32) == 0;
}

// --------------------------------------------------------------- settings ---

model_settings* lock_model_settings(handle symbols) {
    handle h = get_header_word(symbols, mh_settings);
    if (!h) {
        h = new_handle(sizeof(model_settings));
        set_header_word(symbols, mh_settings, h);
    }
    return static_cast<model_settings*>(lock_handle(h));
}

void unlock_model_settings(handle symbols) {
    handle h = get_header_word(symbols, mh_settings);
    if (h) unlock_handle(h);
}

namespace {

std::string settings_text(handle symbols) {
    handle h = get_header_word(symbols, mh_settings_text);
    if (!h) return {};
    handle_lock<char> b(h);
    std::uint32_t cells = cells_of(h);
    const char* p = b.get() + 20;
    return std::string(p, strnlen(p, cells > 5 ? 4 * (cells - 5) : 0));
}

std::string handle_text(handle h) {
    if (!h) return {};
    handle_lock<char> b(h);
    return std::string(b.get(), strnlen(b.get(), handle_size(h)));
}

handle text_handle(const std::string& t) {
    handle h = new_handle(static_cast<std::uint32_t>(t.size() + 1));
    handle_lock<char> b(h);
    std::memcpy(b.get(), t.c_str(), t.size() + 1);
    return h;
}

} // namespace

const char* embedded_graph_set_text(handle symbols) {
    std::string t = settings_text(symbols);
    std::size_t at = 0;
    while (at < t.size()) {
        std::size_t eol = t.find('\n', at);
        if (eol == std::string::npos) eol = t.size();
        if (t.compare(at, 9, graph_set_marker) == 0) return scratch_strdup(t.c_str() + at);
        at = eol + 1;
    }
    return "";
}

handle read_model_settings(handle header, handle symbols) {
    (void)header;
    if (!symbols) return 0;
    handle old = get_header_word(symbols, mh_model_rec);
    if (old) free_model_context(old);
    handle ctx_h = new_model_context();
    set_header_word(symbols, mh_model_rec, ctx_h);
    std::string text = settings_text(symbols);
    model_settings* ms = lock_model_settings(symbols);
    ms->has_password = model_has_password(symbols);
    std::string notes, refs;
    handle_lock<model_context> c(ctx_h);
    model_context* ctx = c.get();
    ctx->state = 1;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(at, eol - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 9, graph_set_marker) == 0) break;
        auto arg = [&](const char* key) -> const char* {
            std::size_t n = std::strlen(key);
            if (line.compare(0, n, key) != 0) return nullptr;
            return line.c_str() + n + (line.size() > n && line[n] == ' ' ? 1 : 0);
        };
        if (const char* a = arg(":FLAGS")) {
            unsigned f1 = 0, f2 = 0;
            std::sscanf(a, "%u %u", &f1, &f2);
            ms->flags = static_cast<std::uint8_t>(f1);
            ms->flags2 = static_cast<std::uint8_t>(f2);
        } else if (const char* a2 = arg(":NOTE")) {
            notes += a2;
            notes += '\n';
        } else if (const char* a3 = arg(":REF")) {
            refs += a3;
            refs += '\n';
        } else if (const char* a4 = arg(":TIME")) {
            double s = 0, e = 0, sp = 0;
            if (std::sscanf(a4, "%lf %lf %lf", &s, &e, &sp) == 3) {
                ctx->start = s;
                ctx->end = e;
                ctx->special = sp;
            }
        } else if (const char* a5 = arg(":SKETCH")) {
            int z = 100, v = 0;
            if (std::sscanf(a5, "%d %d", &z, &v) == 2) {
                ctx->sketch_zoom = static_cast<std::int16_t>(z);
                ctx->sketch_view = static_cast<std::int16_t>(v);
            }
        } else if (const char* a6 = arg(":RUN")) {
            ctx->setup.run_name = ctx_set_text(ctx, ctx->setup.run_name, a6);
        } else if (const char* a7 = arg(":TIMEBASE")) {
            ctx->time_base_name = ctx_set_text(ctx, ctx->time_base_name, a7);
        } else if (const char* a8 = arg(":DATA")) {
            ctx->data_list = ctx_set_text(ctx, ctx->data_list, a8);
        } else if (const char* a9 = arg(":GRAPHS")) {
            std::strncpy(ms->graph_set_file, a9, sizeof ms->graph_set_file - 1);
        }
        at = eol + 1;
    }
    if (ms->notes) free_handle(ms->notes);
    if (ms->refs) free_handle(ms->refs);
    ms->notes = notes.empty() ? 0 : text_handle(notes);
    ms->refs = refs.empty() ? 0 : text_handle(refs);
    ms->refs_length = static_cast<std::uint32_t>(refs.size());
    std::string graph_file = ms->graph_set_file;
    unlock_model_settings(symbols);
    if (graph_hook) {
        const char* embedded = embedded_graph_set_text(symbols);
        int set = 0;
        if (*embedded)
            set = graph_hook(embedded, 1);
        else if (!graph_file.empty())
            set = graph_hook(graph_file.c_str(), 0);
        ctx->graph_set = static_cast<std::uint8_t>(set);
    }
    return ctx_h;
}

int write_model_settings(handle header, handle symbols, int mode, const char* file_name) {
    (void)header;
    if (!symbols) return 0;
    std::string out;
    model_settings* ms = lock_model_settings(symbols);
    char line[128];
    std::snprintf(line, sizeof line, ":FLAGS %u %u\n", ms->flags, ms->flags2);
    out += line;
    auto each_line = [&](const std::string& text, const char* key) {
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t eol = text.find('\n', at);
            if (eol == std::string::npos) eol = text.size();
            out += key;
            out += ' ';
            out += text.substr(at, eol - at);
            out += '\n';
            at = eol + 1;
        }
    };
    each_line(handle_text(ms->notes), ":NOTE");
    each_line(handle_text(ms->refs), ":REF");
    if (ms->graph_set_file[0]) out += std::string(":GRAPHS ") + ms->graph_set_file + "\n";
    if (ms->password[0]) {
        std::string pw = ms->password;
        std::memset(ms->password, 0, sizeof ms->password);
        unlock_model_settings(symbols);
        set_model_password(symbols, pw.c_str());
        ms = lock_model_settings(symbols);
        ms->has_password = 1;
    }
    unlock_model_settings(symbols);
    handle ctx_h = get_header_word(symbols, mh_model_rec);
    if (ctx_h) {
        handle_lock<model_context> c(ctx_h);
        std::snprintf(line, sizeof line, ":TIME %.9g %.9g %.9g\n", c->start, c->end, c->special);
        out += line;
        std::snprintf(line, sizeof line, ":SKETCH %d %d\n", c->sketch_zoom, c->sketch_view);
        out += line;
        if (c->setup.run_name)
            out += std::string(":RUN ") + ctx_text(c.get(), c->setup.run_name) + "\n";
        if (c->time_base_name)
            out += std::string(":TIMEBASE ") + ctx_text(c.get(), c->time_base_name) + "\n";
        if (c->data_list) out += std::string(":DATA ") + ctx_text(c.get(), c->data_list) + "\n";
    }
    out += embedded_graph_set_text(symbols);
    if (mode != -1) set_settings_text(symbols, out.c_str());
    if (file_name && *file_name) {
        std::FILE* f = open_stream(file_name, "w");
        if (!f) {
            report(8, "Unable to open %s", file_name);
            return 0;
        }
        std::fputs(out.c_str(), f);
        return close_stream(f) > 0 ? 1 : 0;
    }
    return 1;
}

// ------------------------------------------------------------------ opening ---

namespace {

// Reads the model of a file by its kind (a model file, the model part of a run
// file); the file layer finds members of the open package by name.
model_pair read_model_of_kind(const std::string& path, int kind) {
    model_pair m;
    if (kind == fk_text_model) {
        report(8,
               "%s is a text model. This viewer has no equation parser: open the binary model "
               "(.kmf) saved by the authoring program instead.",
               path.c_str());
        return m;
    }
    if (kind != fk_run) return read_model_file(path.c_str());
    handle rec = read_binary_model(path.c_str(), 0);
    if (!rec) return m;
    {
        handle_lock<kmf_header> r(rec);
        m.symbols = kmf_word(*r.get(), kdf_word_symbols);
        auto fh = static_cast<file_handle>(kmf_word(*r.get(), kdf_word_file));
        if (fh >= 0) fh_close(fh);
        free_hblock_if(kmf_word(*r.get(), kdf_word_info));
        kmf_word(*r.get(), kdf_word_file) = static_cast<std::uint32_t>(-1);
        kmf_word(*r.get(), kdf_word_symbols) = 0;
        kmf_word(*r.get(), kdf_word_info) = 0;
    }
    m.header = rec;
    return m;
}

// Opens a package and reads its main model. The package is checked (and its
// password asked for) before it replaces the open package, so a package that
// cannot be opened leaves the current model's package as it was.
model_pair open_packaged_model(const std::string& path, std::string& dir) {
    model_pair m;
    package_reader reader;
    if (!reader.open(path.c_str())) return m;
    std::string password;
    if (reader.needs_password()) {
        char typed[max_password_chars + 2] = {};
        if (password_hook && password_hook(path.c_str(), typed, sizeof typed))
            password.assign(typed, strnlen(typed, sizeof typed));
    }
    if (!reader.read_members(password.empty() ? nullptr : password.c_str())) return m;
    std::string previous = package_open() ? package_path() : "";
    bool previous_plain = package_open() && !(package_flags() & pkg_flag_password);
    auto restore = [&]() {
        close_package();
        // A previous package without a password is opened again; one with a
        // password cannot be (its password is not kept).
        if (previous_plain) open_package(previous.c_str(), nullptr);
    };
    reader.make_open();
    int main = package_main_member();
    if (main < 0) {
        report(8, "The package %s holds no model", path.c_str());
        restore();
        return m;
    }
    std::string member = std::string(package_dir()) + package_member_name(main);
    m = read_model_of_kind(member, file_kind_of(member.c_str(), fk_model));
    if (!m.symbols) {
        restore();
        return {};
    }
    char* d = nullptr;
    split_path(nullptr, member.c_str(), &d, nullptr, nullptr);
    dir = d ? d : package_dir();
    return m;
}

} // namespace

int open_model(int mode, int flags, const char* name, int open_flags) {
    (void)flags;
    (void)open_flags;
    model_pair m;
    std::string path = name ? name : "";
    std::string dir;
    if (mode == 0 || path.empty()) {
        m = new_model("", 0);
        close_package();
    } else {
        int kind = file_kind_of(path.c_str(), fk_model);
        if (kind == fk_package_model || kind == fk_package_app) {
            m = open_packaged_model(path, dir);
        } else {
            char* d = nullptr;
            split_path(nullptr, path.c_str(), &d, nullptr, nullptr);
            dir = d ? d : "";
            m = read_model_of_kind(path, kind);
            // The open package belongs to the model read from it: a model
            // from elsewhere must not find its files among the package's
            // members.
            if (m.symbols && package_open() && file_status(path.c_str(), 0) < 2) close_package();
        }
        if (!m.symbols) return 0;
    }
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols, dir.c_str(), path.c_str());
    model_dir = dir;
    if (model_rec) model_rec->state = path.empty() ? 2 : 1;
    return 1;
}

// ------------------------------------------------------------------- views ---

int add_view(handle symbols, const char* name) {
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t count = get_header_word(symbols, mh_view_count) & 0xFFFF;
    vb = resize_handle(vb, (count + 1) * sizeof(view_rec));
    set_header_word(symbols, mh_views, vb);
    view_rec v{};
    v.background = 0xFFFFFFFFu;
    v.connector = 0x00FF0000u;
    v.fill = 0xFFFFFFFFu;
    v.init_link_colour = 0x00C0C0C0u;
    v.count = 1;
    v.capacity = 20;
    v.zoom = 100;
    std::strncpy(v.name, name ? name : "", sizeof v.name - 1);
    v.index = new_handle(4 * v.capacity);
    v.data = new_cblock(0, 0, 0);
    std::int32_t dummy = cblock_alloc(v.data, 4, 1, 0);
    {
        handle_lock<std::uint32_t> ix(v.index);
        ix.get()[0] = static_cast<std::uint32_t>(dummy);
    }
    {
        handle_lock<view_rec> b(vb);
        b.get()[count] = v;
    }
    set_header_word(symbols, mh_view_count, count + 1);
    return static_cast<int>(count);
}

int add_view_element(handle symbols, int view, const void* record, std::uint32_t bytes) {
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t count = get_header_word(symbols, mh_view_count) & 0xFFFF;
    if (!vb || view < 0 || static_cast<std::uint32_t>(view) >= count || bytes < 4) return 0;
    view_rec v;
    {
        handle_lock<view_rec> b(vb);
        v = b.get()[view];
    }
    std::int32_t cell = cblock_alloc(v.data, bytes, 1, 0);
    if (cell < 0) return 0;
    {
        handle_lock<std::uint8_t> d(v.data);
        std::memcpy(d.get() + 4ull * cell, record, bytes);
        auto kind = static_cast<std::int8_t>(static_cast<const std::uint8_t*>(record)[2]);
        if (kind >= ek_bitmap) v.attached = 1;
    }
    if (v.count >= v.capacity) {
        v.capacity = static_cast<std::uint16_t>(v.capacity + 20);
        v.index = resize_handle(v.index, 4u * v.capacity);
    }
    {
        handle_lock<std::uint32_t> ix(v.index);
        ix.get()[v.count] = static_cast<std::uint32_t>(cell);
    }
    int number = v.count++;
    handle_lock<view_rec> b(vb);
    b.get()[view] = v;
    return number;
}
