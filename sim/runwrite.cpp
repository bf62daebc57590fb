// The run-file writer (see runwrite.h and docs/formats/run-file.md).
#include "sim/runwrite.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/files.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "sim/runname.h"
#include "sim/simdata.h"

namespace {

class out_buffer {
public:
    explicit out_buffer(std::uint32_t base) : base_(base) {}
    std::uint32_t offset() const { return base_ + static_cast<std::uint32_t>(b_.size()); }
    void bytes(const void* p, std::size_t n) {
        const auto* c = static_cast<const std::uint8_t*>(p);
        b_.insert(b_.end(), c, c + n);
    }
    void u32(std::uint32_t v) { bytes(&v, 4); }
    void i16(std::int16_t v) { bytes(&v, 2); }
    void f32(float v) { bytes(&v, 4); }
    void count(std::uint32_t n, bool wide) {
        // The layout chooses 32-bit counts for any record longer than 32767
        // points; a 16-bit count past that would wrap and shift every record
        // after it.
        assert(wide || n <= 32767);
        if (wide)
            u32(n);
        else
            i16(static_cast<std::int16_t>(n));
    }
    void zeros(std::size_t n) { b_.insert(b_.end(), n, 0); }
    // The n bytes at a file offset already written, to be filled in now (a
    // patch outside them would land past the buffer or before the part).
    std::uint8_t* at(std::uint32_t file_offset, [[maybe_unused]] std::size_t n) {
        assert(file_offset >= base_ && file_offset - base_ + n <= b_.size());
        return b_.data() + (file_offset - base_);
    }
    const std::vector<std::uint8_t>& data() const { return b_; }
    void reserve(std::size_t n) { b_.reserve(n); }
    std::vector<std::uint8_t>& raw() { return b_; }

private:
    std::uint32_t base_;
    std::vector<std::uint8_t> b_;
};

inline std::uint32_t bits(float f) {
    std::uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

std::uint32_t presence_bytes(std::uint32_t points) {
    return points == 0 ? 1 : (points - 1) / 8 + 1;
}

// A value record whose presence bits are given per point.
void record(out_buffer& o, bool wide, const std::vector<std::uint8_t>& present,
            const std::vector<float>& values) {
    // The reader takes as many values as presence bits are set.
    assert(static_cast<std::size_t>(std::count_if(present.begin(), present.end(),
                                                  [](std::uint8_t p) { return p != 0; })) ==
           values.size());
    o.count(static_cast<std::uint32_t>(values.size()), wide);
    std::vector<std::uint8_t> pb(presence_bytes(static_cast<std::uint32_t>(present.size())), 0);
    for (std::size_t i = 0; i < present.size(); ++i)
        if (present[i]) pb[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    o.bytes(pb.data(), pb.size());
    o.bytes(values.data(), 4 * values.size());
}

// A complete record: every point present.
void full_record(out_buffer& o, bool wide, const std::vector<float>& values) {
    std::vector<std::uint8_t> present(values.size(), 1);
    record(o, wide, present, values);
}

// A record built in place: the count, the presence bits and the values kept
// by keep(k, value) for each point, written straight into the buffer.
template <typename Keep>
void filtered_record(out_buffer& o, bool wide, const float* column, std::size_t stride,
                     std::size_t points, Keep keep) {
    std::vector<std::uint8_t>& b = o.raw();
    std::size_t count_at = b.size();
    o.count(0, wide);
    std::size_t bits_at = b.size();
    b.resize(bits_at + presence_bytes(static_cast<std::uint32_t>(points)), 0);
    std::size_t values_at = b.size();
    b.resize(values_at + 4 * points); // room for every point; cut below
    std::uint8_t* bits_p = b.data() + bits_at;
    std::uint8_t* out = b.data() + values_at;
    std::uint32_t n = 0, prev = 0;
    for (std::size_t k = 0; k < points; ++k) {
        float v = column[k * stride];
        std::uint32_t w = bits(v);
        if (keep(k, w, prev)) {
            bits_p[k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
            std::memcpy(out + 4 * static_cast<std::size_t>(n), &w, 4);
            ++n;
        }
        prev = w;
    }
    b.resize(values_at + 4 * static_cast<std::size_t>(n));
    assert(wide || n <= 32767); // as in out_buffer::count
    if (wide) {
        std::memcpy(b.data() + count_at, &n, 4);
    } else {
        auto c = static_cast<std::int16_t>(n);
        std::memcpy(b.data() + count_at, &c, 2);
    }
}

// A time series: a point is stored when it differs from the one before.
void series_record(out_buffer& o, bool wide, const float* column, std::size_t stride,
                   std::size_t points) {
    filtered_record(
        o, wide, column, stride, points,
        [](std::size_t k, std::uint32_t w, std::uint32_t prev) { return k == 0 || w != prev; });
}

// Values over an axis where NA means no point.
void sparse_record(out_buffer& o, bool wide, const float* column, std::size_t stride,
                   std::size_t points) {
    filtered_record(o, wide, column, stride, points,
                    [](std::size_t, std::uint32_t w, std::uint32_t) { return w != 0xF6800000u; });
}

void block_image(out_buffer& o, const std::vector<std::uint32_t>& cells_after_head) {
    std::uint32_t cells = 5 + static_cast<std::uint32_t>(cells_after_head.size());
    o.u32('H');
    o.u32(block_guard);
    o.u32(cells);
    o.u32(cells);
    o.u32(0);
    o.bytes(cells_after_head.data(), 4 * cells_after_head.size());
}

// A text packed into cells (NUL-ended).
void add_text(std::vector<std::uint32_t>& cells, const std::string& text) {
    std::size_t n = (text.size() + 1 + 3) / 4;
    std::size_t at = cells.size();
    cells.resize(at + n, 0);
    std::memcpy(cells.data() + at, text.c_str(), text.size());
}

// Says why the write failed (the old run file is kept); 0.
int write_failed(const char* path, file_handle fh) {
    report_write_failure(path, fh_error(fh), "the run file");
    return 0;
}

// The shape of a run file, worked out from the image before anything is
// written.
struct run_layout {
    bool lower = false;  // lower-case type: values in rows, constants apart
    bool arrays = false; // 'A': records over the master axis
    std::size_t nslots = 0, ntimes = 0;
    bool data_axis = false;    // a data time axis is written
    std::uint32_t w29 = 0;     // data axis points
    std::uint32_t w30 = 0;     // saved times
    std::uint32_t w31 = 0;     // time (or master axis) points
    std::uint32_t longest = 0; // the longest record (header word 28)
    bool wide = false;         // 32-bit counts
    bool consts_in_table = false;
};

run_layout layout_of(const run_image& img) {
    run_layout l;
    l.lower = img.type >= 'a' && img.type <= 'z';
    l.arrays = img.type == 'A';
    l.nslots = img.slot_types.size();
    l.ntimes = l.arrays ? 0 : img.times.size();
    l.data_axis = !l.arrays && !img.data_times.empty();
    l.w29 = l.data_axis ? static_cast<std::uint32_t>(img.data_times.size()) : 0;
    if (l.data_axis && l.w29 != l.ntimes) l.data_axis = false, l.w29 = 0;
    l.w30 = static_cast<std::uint32_t>(l.ntimes);
    l.w31 = l.arrays ? img.master_points : std::max(l.w29, l.w30);
    l.longest = std::max({l.w29, l.w30, l.arrays ? img.master_points : 0u});
    for (const auto& t : img.lookups) l.longest = std::max(l.longest, t.count);
    l.wide = img.force_32bit_counts || std::max(l.w31, l.longest) > 32767;
    l.consts_in_table = img.constants_in_table && !l.lower && !l.arrays;
    return l;
}

// The run information block (straight to the file, after the header). false
// when the write failed; info_flag says whether there is a block.
bool write_info_block(file_handle fh, const run_image& img, std::uint32_t& info_flag) {
    info_flag = 0;
    if (img.info.empty()) return true;
    out_buffer ib(0);
    std::vector<std::uint32_t> cells{static_cast<std::uint32_t>(img.info.size())};
    add_text(cells, img.info);
    block_image(ib, cells);
    if (fh_write(fh, ib.data().data(), ib.data().size()) != ib.data().size()) return false;
    info_flag = 1;
    return true;
}

// Per value slot, its value after the initial pass.
void constants_section(out_buffer& o, const run_image& img, const run_layout& l) {
    for (std::size_t s = 0; s < l.nslots; ++s)
        o.f32(s < img.constants.size() ? img.constants[s] : 0.0f);
}

// Lookup records, then the lookup data block.
void lookup_section(out_buffer& o, const run_image& img) {
    for (lookup_table t : img.lookups) {
        t.segment = 0;
        t.slope = 0;
        t.flags = 0;
        o.bytes(&t, sizeof t);
    }
    if (img.lookup_data.size() >= 5) {
        std::vector<std::uint32_t> cells(img.lookup_data.size() - 5);
        std::memcpy(cells.data(), img.lookup_data.data() + 5, 4 * cells.size());
        block_image(o, cells);
    } else {
        block_image(o, {});
    }
}

// The string block: the count, then per string slot the cell of its text.
void string_section(out_buffer& o, const run_image& img) {
    std::vector<std::uint32_t> cells{static_cast<std::uint32_t>(img.strings.size()), 0};
    cells.resize(2 + img.strings.size(), 0);
    for (std::size_t k = 0; k < img.strings.size(); ++k) {
        if (img.strings[k].empty()) continue;
        cells[2 + k] = static_cast<std::uint32_t>(5 + cells.size());
        add_text(cells, img.strings[k]);
    }
    block_image(o, cells);
}

// Lower-case runs: the row head and table, the data axis, then one row of
// the saved series per saved time.
void row_values(out_buffer& o, const run_image& img, const run_layout& l) {
    std::vector<std::uint32_t> column(l.nslots, 0);
    std::vector<std::size_t> order;
    std::uint32_t cols = 0;
    for (std::size_t s = 0; s < l.nslots; ++s) {
        if (s == 0 || (img.saved[s] && !is_constant_slot_type(img.slot_types[s]))) {
            column[s] = ++cols;
            order.push_back(s);
        }
    }
    bool direct = 4 * static_cast<std::size_t>(cols) >= l.nslots;
    std::uint32_t entries = direct ? static_cast<std::uint32_t>(l.nslots) : cols;
    std::uint32_t head_at = o.offset();
    o.u32(0); // first row, below
    o.u32(cols);
    o.u32(entries);
    o.zeros(6);
    o.bytes(direct ? "\1" : "\0", 1);
    o.zeros(1);
    if (direct) {
        for (std::size_t s = 0; s < l.nslots; ++s) o.u32(column[s]);
    } else {
        for (std::size_t s : order) {
            o.u32(column[s]);
            o.u32(static_cast<std::uint32_t>(s));
        }
    }
    if (l.data_axis) full_record(o, l.wide, img.data_times);
    std::uint32_t first_row = o.offset();
    std::memcpy(o.at(head_at, 4), &first_row, 4);
    std::vector<float> row(cols);
    for (std::size_t k = 0; k < l.ntimes; ++k) {
        const float* src = img.saved_rows().data() + k * l.nslots;
        for (std::size_t c = 0; c < order.size(); ++c) row[c] = src[order[c]];
        o.bytes(row.data(), 4 * row.size());
    }
}

// The other runs: the offset table, then a record per saved slot (Time first,
// the data axis right behind it; constants in the table itself when the
// layout keeps them there). false after a message when an 'A' run's array
// does not fit its master axis.
bool offset_table_values(out_buffer& o, const run_image& img, const run_layout& l) {
    std::uint32_t table_at = o.offset();
    o.zeros(4 * l.nslots);
    std::vector<std::uint32_t> table(l.nslots, 0);
    if (l.arrays) {
        for (std::size_t s = 0; s < l.nslots && s < img.arrays.size(); ++s) {
            const auto& a = img.arrays[s];
            if (a.empty()) continue;
            if (a.size() != img.master_points) {
                report(10, "RW1002 array of slot %zu does not fit the master axis", s);
                return false;
            }
            table[s] = o.offset();
            sparse_record(o, l.wide, a.data(), 1, a.size());
        }
    } else {
        table[0] = o.offset();
        full_record(o, l.wide, img.times);
        if (l.data_axis) full_record(o, l.wide, img.data_times);
        for (std::size_t s = 1; s < l.nslots; ++s) {
            int t = img.slot_types[s];
            if (is_constant_slot_type(t)) {
                if (l.consts_in_table)
                    table[s] = bits(s < img.constants.size() ? img.constants[s] : 0.0f);
                continue;
            }
            if (!img.saved[s]) continue;
            table[s] = o.offset();
            const float* col = img.saved_rows().data() + s;
            if (l.data_axis && is_data_slot_type(t))
                sparse_record(o, l.wide, col, l.nslots, l.ntimes);
            else
                series_record(o, l.wide, col, l.nslots, l.ntimes);
        }
    }
    std::memcpy(o.at(table_at, 4 * l.nslots), table.data(), 4 * l.nslots);
    return true;
}

// The run-type section (0: none); a sensitivity head gets its matrix offset.
std::uint32_t run_type_section(out_buffer& o, const run_image& img) {
    if (img.run_section.empty()) return 0;
    std::uint32_t w26 = o.offset();
    o.bytes(img.run_section.data(), img.run_section.size());
    if ((img.type == 'S' || img.type == 's') && img.run_section.size() >= 32) {
        std::uint16_t k, s;
        std::memcpy(&k, img.run_section.data() + 26, 2);
        std::memcpy(&s, img.run_section.data() + 28, 2);
        std::uint32_t matrix = w26 + 32 + 4u * (k + s);
        std::memcpy(o.at(w26 + 8, 4), &matrix, 4);
    }
    return w26;
}

// The delay states (0: none): per delay object its capacity, then the object.
std::uint32_t delay_section(out_buffer& o, const run_image& img) {
    if (!img.with_delay_section && img.delay_states.empty()) return 0;
    std::uint32_t w27 = o.offset();
    for (const auto& d : img.delay_states) {
        std::uint16_t n = 0;
        if (d.size() >= sizeof(delay_object)) std::memcpy(&n, d.data() + 24, 2);
        if (d.size() != delay_object_bytes(n)) n = 0;
        o.i16(static_cast<std::int16_t>(n));
        if (n) o.bytes(d.data(), d.size());
    }
    return w27;
}

// The file offsets of the parts, for the header.
struct run_offsets {
    std::uint32_t model = 0, constants = 0, lookups = 0, strings = 0, values = 0, section = 0,
                  delays = 0, info_flag = 0;
};

void fill_header(kmf_header& h, const run_image& img, const run_layout& l, const run_offsets& at) {
    std::memcpy(h.magic, kmf_magic, 3);
    h.type = img.type;
    std::string origin = img.origin;
    if (origin.empty()) {
        const char* mn = file_name_part(current_model_name());
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%08X", get_header_word(img.symbols, mh_stamp));
        origin = std::string(*mn ? mn : "model").substr(0, 60) + " " + stamp;
    }
    std::strncpy(h.name, origin.c_str(), sizeof h.name - 1);
    h.byte_order = kmf_byte_order_mark;
    h.version = kmf_version_400;
    kmf_word(h, 21) = at.model;
    kmf_word(h, 22) = at.constants;
    kmf_word(h, 23) = at.lookups;
    kmf_word(h, 24) = at.strings;
    kmf_word(h, 25) = at.values;
    kmf_word(h, 26) = at.section;
    kmf_word(h, 27) = at.delays;
    kmf_word(h, 28) = l.longest;
    kmf_word(h, 29) = l.w29;
    kmf_word(h, 30) = l.w30;
    kmf_word(h, 31) = l.w31;
    kmf_word(h, 35) = bits(img.payoff);
    kmf_word(h, 38) = at.info_flag;
    auto* hb = reinterpret_cast<std::uint8_t*>(&h);
    hb[160] = l.consts_in_table ? 0 : 1;
    hb[161] = l.wide ? 1 : 0;
}

} // namespace

int write_run_file(const char* path, const run_image& img) {
    if (!path || !*path || !img.symbols || !is_run_type_letter(img.type)) {
        report(5, "Unable to write the run file %s: nothing to write", path ? path : "");
        return 0;
    }
    const run_layout l = layout_of(img);
    if (!l.arrays &&
        (img.saved_rows().size() != l.ntimes * l.nslots || img.saved.size() != l.nslots)) {
        report(10, "RW1001 run image of %s does not fit its model", path);
        return 0;
    }

    writer_guard wg;
    try {
        file_handle fh = fh_open_write(path, 0, 0);
        if (fh < 0) {
            report_write_failure(path, errno, "the run file");
            return 0;
        }
        fh_guard guard(fh);
        kmf_header h{};
        run_offsets at;
        if (fh_write(fh, &h, sizeof h) != sizeof h) return write_failed(path, fh);
        if (!write_info_block(fh, img, at.info_flag)) return write_failed(path, fh);
        long model_at = fh_seek(fh, 0, 1);
        if (!write_model_part(fh, img.symbols)) return write_failed(path, fh);
        at.model = static_cast<std::uint32_t>(model_at);
        long here = fh_seek(fh, 0, 1);
        if (here < 0) return write_failed(path, fh);
        out_buffer o(static_cast<std::uint32_t>(here));
        o.reserve(4 * (l.nslots * (l.ntimes + 3)) + 4096);
        at.constants = o.offset();
        constants_section(o, img, l);
        at.lookups = o.offset();
        lookup_section(o, img);
        at.strings = o.offset();
        string_section(o, img);
        at.values = o.offset();
        if (l.lower)
            row_values(o, img, l);
        else if (!offset_table_values(o, img, l))
            return 0;
        at.section = run_type_section(o, img);
        at.delays = delay_section(o, img);
        if (fh_write(fh, o.data().data(), o.data().size()) != o.data().size())
            return write_failed(path, fh);

        // The header, last: every offset is known now.
        fill_header(h, img, l, at);
        if (fh_seek(fh, 0, 0) != 0 || fh_write(fh, &h, sizeof h) != sizeof h)
            return write_failed(path, fh);
        if (guard.close() <= 0) return 0;
        if (run_file_replaced_fn replaced = run_file_replaced_hook()) replaced(path);
        return 1;
    } catch (const writer_unwind&) {
        return 0;
    }
}
