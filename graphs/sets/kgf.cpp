// The .kgf reader. The file is read whole and decoded from its bytes: the
// file's own set entry is never copied over a live one (its owner word, free
// flag and block handles belong to the process that wrote it), and the window
// handle a definition head holds at offset 8 is never taken over.
#include "graphs/sets/kgf.h"

#include "foundation/files.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "graphs/sets/graphdef.h"
#include "model/blockfile.h"
#include "model/constants.h"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::size_t header_bytes = 164;
constexpr std::size_t entry_bytes = 28;
constexpr std::uint16_t kgf_version = 3100;
constexpr std::uint32_t head_bytes = 120;
constexpr std::uint32_t var_bytes = 48, bar_bytes = 28, item_bytes = 48;
// Files larger than this are no graph set.
constexpr long max_file_bytes = 256L << 20;

struct decode_error {};

struct bytes_view {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;
    bool foreign = false;

    void need(std::size_t at, std::size_t len) const {
        if (at > n || len > n - at) throw decode_error{};
    }
    std::uint8_t u8(std::size_t at) const {
        need(at, 1);
        return p[at];
    }
    std::uint16_t u16(std::size_t at) const {
        need(at, 2);
        std::uint16_t v;
        std::memcpy(&v, p + at, 2);
        return foreign ? swap16(v) : v;
    }
    std::uint32_t u32(std::size_t at) const {
        need(at, 4);
        std::uint32_t v;
        std::memcpy(&v, p + at, 4);
        return foreign ? swap32(v) : v;
    }
    float f32(std::size_t at) const { return std::bit_cast<float>(u32(at)); }
};

// A stored indexed block: its 20-byte head (guard, size = cur in cells) and
// cells; cell c starts at byte 4c of the image.
struct block_view {
    bytes_view b;
    std::uint32_t cells = 0;

    // The byte offset of a record of len bytes at cell c (never cell 0 or a
    // cell of the head).
    std::size_t record(std::uint32_t c, std::uint32_t len) const {
        if (c < bhead_cells || c >= cells) throw decode_error{};
        std::size_t at = std::size_t{c} * 4;
        b.need(at, len);
        return at;
    }
    // The string at cell c ("" for cell 0); it must end inside the block.
    std::string text(std::uint32_t c) const {
        if (c == 0) return {};
        std::size_t at = record(c, 1);
        const void* end = std::memchr(b.p + at, 0, b.n - at);
        if (!end) throw decode_error{};
        return std::string(reinterpret_cast<const char*>(b.p + at),
                           static_cast<const std::uint8_t*>(end) - (b.p + at));
    }
};

// Reads a stored block at pos; pos moves past it.
block_view take_block(const bytes_view& file, std::size_t& pos) {
    file.need(pos, sizeof(bhead));
    const std::uint32_t guard = file.u32(pos + 4);
    const std::uint32_t size = file.u32(pos + 8);
    const std::uint32_t cur = file.u32(pos + 12);
    const std::uint32_t letter = file.u32(pos) & 0xFF;
    if (guard != block_guard || (letter != 'H' && letter != 'C') || size != cur ||
        size < bhead_cells || size > block_max_cells)
        throw decode_error{};
    const std::size_t bytes = std::size_t{size} * 4;
    file.need(pos, bytes);
    block_view v;
    v.b = {file.p + pos, bytes, file.foreign};
    v.cells = size;
    pos += bytes;
    return v;
}

font_spec take_font(const block_view& blk, std::size_t at) {
    font_spec f{};
    blk.b.need(at, sizeof f);
    std::memcpy(&f, blk.b.p + at, sizeof f);
    if (blk.b.foreign) f.colour = swap32(f.colour);
    f.face[sizeof f.face - 1] = '\0';
    return f;
}

// A line graph's settings and its variables (a chain of records); at least
// one variable.
void decode_line_def(const block_view& d, std::size_t h, graph_def& def) {
    const bytes_view& b = d.b;
    def.x_min = b.f32(h + 28);
    def.x_max = b.f32(h + 32);
    def.plot_width = b.f32(h + 36);
    def.plot_height = b.f32(h + 40);
    def.stamp[0] = d.text(b.u32(h + 44));
    def.stamp[1] = d.text(b.u32(h + 48));
    def.x_axis = d.text(b.u32(h + 52));
    def.x_label = d.text(b.u32(h + 56));
    def.y_label = d.text(b.u32(h + 60));
    def.x_div_label = d.text(b.u32(h + 68));
    def.y_div = static_cast<std::int16_t>(b.u16(h + 72));
    def.x_div = static_cast<std::int16_t>(b.u16(h + 74));
    const std::uint16_t count = b.u16(h + 76);
    def.max_points = b.u16(h + 78);
    def.cumulative = b.u8(h + 80);
    def.stack = static_cast<std::int8_t>(b.u8(h + 81));
    def.portrait = b.u8(h + 82);
    def.label_intervals = b.u8(h + 83);
    def.dots = static_cast<std::int8_t>(b.u8(h + 84));
    def.no_legend = b.u8(h + 85);
    def.soft_bounds = b.u8(h + 86);
    def.graph_style = b.u8(h + 87);
    std::uint32_t c = b.u32(h + 64);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t r = d.record(c, var_bytes);
        graph_var v;
        v.y_min = b.f32(r);
        v.y_max = b.f32(r + 4);
        v.name = d.text(b.u32(r + 8));
        v.label = d.text(b.u32(r + 12));
        v.units = d.text(b.u32(r + 16));
        v.dataset = d.text(b.u32(r + 20));
        v.run_label = d.text(b.u32(r + 24));
        v.extra_kind = b.u8(r + 46);
        if (v.extra_kind == 8)
            v.colour = b.u32(r + 32);
        else
            v.extra_text = d.text(b.u32(r + 32));
        v.mean_text = d.text(b.u32(r + 36));
        v.run = static_cast<std::int8_t>(b.u8(r + 40));
        v.scale_group = static_cast<std::int8_t>(b.u8(r + 41));
        v.no_subs = b.u8(r + 42);
        v.line = static_cast<std::int8_t>(b.u8(r + 43));
        v.shape = static_cast<std::int8_t>(b.u8(r + 44));
        v.shape_size = static_cast<std::int8_t>(b.u8(r + 45));
        v.mean = b.u8(r + 47);
        def.vars.push_back(std::move(v));
        c = b.u32(r + 28);
    }
    if (def.vars.empty()) throw decode_error{};
}

// A bar graph's settings and its three item chains: variables, variables of
// the other axis and data sets; at least one variable.
void decode_bar_def(const block_view& d, std::size_t h, graph_def& def) {
    const bytes_view& b = d.b;
    def.no_legend = b.u8(h + 26);
    def.bar_time = b.f32(h + 28);
    def.y_min = b.f32(h + 32);
    def.y_max = b.f32(h + 36);
    def.plot_width = b.f32(h + 40);
    def.plot_height = b.f32(h + 44);
    def.subtitle = d.text(b.u32(h + 48));
    def.osubtitle = d.text(b.u32(h + 52));
    def.x_label = d.text(b.u32(h + 56));
    def.y_div = static_cast<std::int16_t>(b.u16(h + 72));
    def.horizontal = b.u8(h + 80);
    def.sort = static_cast<std::int8_t>(b.u8(h + 81));
    def.soft_bounds = b.u8(h + 82);
    def.bar_by_time = b.u8(h + 83);
    auto items = [&](std::uint32_t first, std::uint16_t count, std::vector<bar_item>& out,
                     bool dataset) {
        std::uint32_t c = first;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t r = d.record(c, bar_bytes);
            bar_item it;
            it.time = b.f32(r);
            if (dataset) it.dataset = d.text(b.u32(r + 4));
            it.text = d.text(b.u32(r + 8));
            it.name = d.text(b.u32(r + 12));
            it.label = d.text(b.u32(r + 16));
            it.run = static_cast<std::int8_t>(b.u8(r + 24));
            it.as_run_group = b.u8(r + 25);
            out.push_back(std::move(it));
            c = b.u32(r + 20);
        }
    };
    items(b.u32(h + 60), b.u16(h + 74), def.bar_vars, false);
    items(b.u32(h + 64), b.u16(h + 78), def.bar_ovars, false);
    items(b.u32(h + 68), b.u16(h + 76), def.bar_datasets, true);
    if (def.bar_vars.empty()) throw decode_error{};
}

// A report's font, its lines (in the texts block) and the variables' texts;
// at least one line.
void decode_report_def(const block_view& d, const block_view& texts, std::size_t h,
                       graph_def& def) {
    const bytes_view& b = d.b;
    const std::uint16_t lines = b.u16(h + 76), vars = b.u16(h + 78);
    def.font = take_font(d, h + 36);
    if (lines) {
        const std::size_t a = d.record(b.u32(h + 28), std::uint32_t{lines} * 4);
        for (std::uint16_t i = 0; i < lines; ++i) {
            std::uint32_t c = b.u32(a + std::size_t{i} * 4);
            if (c == 0) throw decode_error{};
            def.lines.push_back(texts.text(c));
        }
    }
    if (vars) {
        const std::size_t a = d.record(b.u32(h + 32), std::uint32_t{vars} * 4);
        for (std::uint16_t i = 0; i < vars; ++i)
            def.var_texts.push_back(d.text(b.u32(a + std::size_t{i} * 4)));
    }
    if (def.lines.empty()) throw decode_error{};
}

// A table's settings and its items (a chain of records); at least one item.
void decode_table_def(const block_view& d, std::size_t h, graph_def& def) {
    const bytes_view& b = d.b;
    def.print_every = b.f32(h + 28);
    def.x_min = b.f32(h + 32);
    def.x_max = b.f32(h + 36);
    def.special_time = b.f32(h + 40);
    def.font = take_font(d, h + 60);
    def.plot_width = b.u16(h + 100);
    def.plot_height = b.u16(h + 102);
    const std::uint16_t count = b.u16(h + 106);
    def.first_cellwidth = b.u16(h + 108);
    def.cellwidth = b.u16(h + 110);
    def.time_down = b.u8(h + 112);
    def.prettynum = b.u8(h + 113);
    def.notime = b.u8(h + 114);
    std::uint32_t c = b.u32(h + 52);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t r = d.record(c, item_bytes);
        table_item it;
        const std::uint32_t name = b.u32(r + 8);
        it.comment = name == 0;
        it.name = d.text(name);
        it.label = d.text(b.u32(r + 12));
        it.dataset = d.text(b.u32(r + 20));
        it.dataset_label = d.text(b.u32(r + 24));
        it.format = d.text(b.u32(r + 32));
        it.run = static_cast<std::int8_t>(b.u8(r + 40));
        it.no_subs = b.u8(r + 42);
        def.items.push_back(std::move(it));
        c = b.u32(r + 28);
    }
    if (def.items.empty()) throw decode_error{};
}

graph_def decode_def(const block_view& d, const block_view& texts, std::uint32_t cell) {
    const std::size_t h = d.record(cell, head_bytes);
    const bytes_view& b = d.b;
    graph_def def = make_graph_def(b.u8(h + 24));
    def.name = d.text(b.u32(h));
    def.title = d.text(b.u32(h + 4));
    def.x = static_cast<std::int16_t>(b.u16(h + 14));
    def.y = static_cast<std::int16_t>(b.u16(h + 16));
    def.width = static_cast<std::int16_t>(b.u16(h + 18));
    def.height = static_cast<std::int16_t>(b.u16(h + 20));
    def.wip = b.u8(h + 25);
    switch (def.kind) {
    case gd_line:
        decode_line_def(d, h, def);
        break;
    case gd_bar:
        decode_bar_def(d, h, def);
        break;
    case gd_report:
        decode_report_def(d, texts, h, def);
        break;
    case gd_table:
        decode_table_def(d, h, def);
        break;
    default:
        throw decode_error{};
    }
    return def;
}

} // namespace

kgf_result read_kgf_bytes(const void* data, std::size_t size, const char* name, graph_set& out,
                          int quiet) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < 3 || std::memcmp(p, kmf_magic, 3) != 0) return kgf_not_binary;
    if (size < header_bytes) {
        if (!quiet) report(8, "Failed to load %s", name);
        return kgf_failed;
    }
    kmf_header hdr{};
    std::memcpy(&hdr, p, sizeof hdr);
    const int order = convert_kmf_header(&hdr);
    if (order == 0 || hdr.byte_order != 101 || hdr.version != 300) {
        report(5, "File %s has bad version/platform code - not able to read", name);
        return kgf_failed;
    }
    bytes_view file{p, size, order == 2};
    try {
        const std::size_t e = header_bytes;
        file.need(e, entry_bytes);
        const std::int16_t count = static_cast<std::int16_t>(file.u16(e + 20));
        const std::uint16_t version = file.u16(e + 22);
        if (version != kgf_version) {
            report(5, "Version mismatch on %s", name);
            throw decode_error{};
        }
        if (count < 0) throw decode_error{};
        std::size_t pos = e + entry_bytes;
        file.need(pos, std::size_t(count) * 4);
        std::vector<std::uint32_t> list(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < list.size(); ++i) list[i] = file.u32(pos + i * 4);
        pos += list.size() * 4;
        const block_view defs = take_block(file, pos);
        const block_view texts = take_block(file, pos);
        std::vector<graph_def> decoded;
        decoded.reserve(list.size());
        std::uint8_t wip = 0;
        for (std::uint32_t cell : list) {
            decoded.push_back(decode_def(defs, texts, cell));
            if (decoded.back().wip) wip = 1;
        }
        out.defs = std::move(decoded);
        out.version = version;
        out.wip = wip;
        out.from_kgf = 1;
        out.from_text = 0;
        return kgf_loaded;
    } catch (const decode_error&) {
        if (!quiet) report(8, "Failed to load %s", name);
        return kgf_failed;
    }
}

kgf_result read_kgf_file(const char* path, const char* name, graph_set& out, int quiet) {
    file_handle fh = fh_open_read(path);
    if (fh < 0) return kgf_not_binary; // the text reader says it cannot open it
    fh_guard guard(fh);
    const long size = fh_size(fh);
    std::uint8_t magic[3] = {};
    if (size < 3 || fh_read(fh, magic, 3) != 3 || std::memcmp(magic, kmf_magic, 3) != 0)
        return kgf_not_binary;
    if (size > max_file_bytes) {
        if (!quiet) report(8, "Failed to load %s", name);
        return kgf_failed;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    fh_seek(fh, 0, 0);
    if (fh_read(fh, bytes.data(), bytes.size()) != bytes.size()) {
        if (!quiet) report(8, "Failed to load %s", name);
        return kgf_failed;
    }
    return read_kgf_bytes(bytes.data(), bytes.size(), name, out, quiet);
}
