// Writing model files and the model part of run files.
#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"

using namespace modelfile_format;

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
            // The element block was checked when read and grows through the
            // memory layer, which keeps its used cells inside the block.
            assert(head->cur * 4ull <= handle_size(r.data));
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
    // The part goes into a model or a run file: the message says which.
    if (!w.ok)
        report_write_failure(fh_name(fh), fh_error(fh),
                             file_kind_of(fh_name(fh), -1) == fk_run ? "the run file"
                                                                     : "the model");
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
        report_write_failure(path, errno, "the model");
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
