// The run builder: lays out a run file byte by byte.
#include "tests/support/run_builder.h"

#include <algorithm>
#include <cstring>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "model/blockfile.h"
#include "model/modelfile.h"

namespace {

bool is_data_type(int t) {
    return t == 5 || t == 6 || t == 12;
}

// Appends values in the file's byte order.
class out_bytes {
public:
    explicit out_bytes(bool foreign) : foreign_(foreign) {}
    std::vector<std::uint8_t> b;
    std::uint32_t pos() const { return static_cast<std::uint32_t>(b.size()); }
    void u8(std::uint8_t v) { b.push_back(v); }
    void u16(std::uint16_t v) {
        if (foreign_) v = swap16(v);
        raw(&v, 2);
    }
    void u32(std::uint32_t v) {
        if (foreign_) v = swap32(v);
        raw(&v, 4);
    }
    void f32(float f) { u32(float_bits(f)); }
    void raw(const void* p, std::size_t n) {
        auto* c = static_cast<const std::uint8_t*>(p);
        b.insert(b.end(), c, c + n);
    }
    void put_u32(std::uint32_t at, std::uint32_t v) {
        if (foreign_) v = swap32(v);
        std::memcpy(b.data() + at, &v, 4);
    }
    void zeros(std::size_t n) { b.insert(b.end(), n, 0); }

private:
    bool foreign_;
};

// The bytes a block file writer gives for write_model_part.
std::vector<std::uint8_t> model_part_bytes(handle symbols, bool foreign) {
    static int serial = 0;
    std::string name = "run_builder_model_part_" + std::to_string(++serial);
    file_handle fh = fh_open_write(name.c_str(), 0, 1);
    if (fh < 0) return {};
    int ok = write_model_part(fh, symbols, foreign);
    if (fh_close(fh) <= 0 || !ok) {
        memory_file_drop(name.c_str());
        return {};
    }
    std::size_t n = 0;
    const unsigned char* d = memory_file_data(name.c_str(), &n);
    std::vector<std::uint8_t> out(d, d + (d ? n : 0));
    memory_file_drop(name.c_str());
    return out;
}

// An indexed block image ('H') holding texts; the cells given in ptr_cells
// hold cell indexes and are swapped in a foreign file, the texts never.
struct text_block {
    std::vector<std::uint32_t> cells = std::vector<std::uint32_t>(5, 0);
    std::uint32_t add_text(const std::string& s) {
        auto at = static_cast<std::uint32_t>(cells.size());
        std::size_t n = s.size() / 4 + 1;
        std::vector<std::uint32_t> c(n, 0);
        std::memcpy(c.data(), s.data(), s.size());
        cells.insert(cells.end(), c.begin(), c.end());
        return at;
    }
    void write(out_bytes& o, bool foreign, std::uint32_t ptr_from, std::uint32_t ptr_to) {
        auto n = static_cast<std::uint32_t>(cells.size());
        cells[0] = 'H';
        cells[1] = block_guard;
        cells[2] = n;
        cells[3] = n;
        cells[4] = 0;
        std::vector<std::uint32_t> img = cells;
        if (foreign) {
            for (std::uint32_t i = 0; i < 5; ++i) img[i] = swap32(img[i]);
            for (std::uint32_t i = ptr_from; i < ptr_to && i < n; ++i) img[i] = swap32(img[i]);
        }
        o.raw(img.data(), img.size() * 4);
    }
};

// Encodes one value record: count, presence bits over npoints, stored values.
// mode 0: a bit where the value changes (a clear bit repeats the point before);
// mode 1: a bit for every point; mode 2: a bit where the value is not NA.
void value_record(out_bytes& o, const std::vector<float>& v, std::size_t npoints, int mode,
                  bool counts32) {
    std::vector<std::uint8_t> bits(npoints ? (npoints - 1) / 8 + 1 : 1, 0);
    std::vector<float> stored;
    for (std::size_t i = 0; i < npoints; ++i) {
        float x = i < v.size() ? v[i] : NA;
        bool set;
        if (mode == 1)
            set = true;
        else if (mode == 2)
            set = !is_na(x);
        else if (i == 0)
            set = !is_na(x);
        else {
            float prev = i - 1 < v.size() ? v[i - 1] : NA;
            set = float_bits(x) != float_bits(prev);
        }
        if (set) {
            bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
            stored.push_back(x);
        }
    }
    if (counts32)
        o.u32(static_cast<std::uint32_t>(stored.size()));
    else
        o.u16(static_cast<std::uint16_t>(stored.size()));
    o.raw(bits.data(), bits.size());
    for (float f : stored) o.f32(f);
}

} // namespace

run_builder::run_builder(handle symbols, char type) : symbols_(symbols), type_(type) {}

run_builder& run_builder::type(char t) {
    type_ = t;
    return *this;
}
run_builder& run_builder::origin(const std::string& text) {
    origin_ = text;
    return *this;
}
run_builder& run_builder::version(std::uint16_t v) {
    version_ = v;
    return *this;
}
run_builder& run_builder::times(std::vector<float> t) {
    times_ = std::move(t);
    return *this;
}
run_builder& run_builder::data_times(std::vector<float> t) {
    data_times_ = std::move(t);
    return *this;
}
run_builder& run_builder::array_points(int n) {
    array_points_ = n;
    return *this;
}
run_builder& run_builder::series(const std::string& element, std::vector<float> values) {
    int s = resolve(element);
    if (s >= 0) series_[s] = std::move(values);
    return *this;
}
run_builder& run_builder::series_slot(int slot, std::vector<float> values) {
    series_[slot] = std::move(values);
    return *this;
}
run_builder& run_builder::constant(const std::string& element, float value) {
    int s = resolve(element);
    if (s >= 0) constants_[s] = value;
    return *this;
}
run_builder& run_builder::constant_slot(int slot, float value) {
    constants_[slot] = value;
    return *this;
}
run_builder& run_builder::string_value(const std::string& element, const std::string& text) {
    int s = -1;
    {
        model_lock_guard g(symbols_, 0);
        std::string n = element;
        symbol_id id = find_symbol_in(symbols_, n.c_str());
        if (id && valid_symbol(id) && sym(id)->type == st_string) s = sym(id)->slot;
    }
    if (s < 0)
        error_ = "unknown string " + element;
    else
        strings_[s] = text;
    return *this;
}
run_builder& run_builder::lookup_points(const std::string& element, std::vector<float> x,
                                        std::vector<float> y) {
    int s = -1;
    {
        model_lock_guard g(symbols_, 0);
        symbol_id id = find_symbol_in(symbols_, element.c_str());
        if (id && valid_symbol(id) && sym(id)->type == st_lookup) s = sym(id)->slot;
    }
    if (s < 0)
        error_ = "unknown lookup " + element;
    else
        lookups_[s] = lookup_override{std::move(x), std::move(y)};
    return *this;
}
run_builder& run_builder::counts32(bool on) {
    counts32_ = on;
    return *this;
}
run_builder& run_builder::constants_in_table(bool on) {
    in_table_ = on;
    return *this;
}
run_builder& run_builder::foreign(bool on) {
    foreign_ = on;
    return *this;
}
run_builder& run_builder::direct_table(bool on) {
    direct_ = on;
    return *this;
}
run_builder& run_builder::every_point(bool on) {
    every_point_ = on;
    return *this;
}
run_builder& run_builder::info(const std::string& command_line, const std::string& comment) {
    has_info_ = true;
    info_cmd_ = command_line;
    info_comment_ = comment;
    return *this;
}
run_builder& run_builder::payoff(float value) {
    payoff_ = value;
    return *this;
}
run_builder& run_builder::payoff_types(std::vector<std::uint8_t> types) {
    payoff_types_ = std::move(types);
    return *this;
}
run_builder& run_builder::sensitivity(sens_spec spec) {
    has_sens_ = true;
    sens_ = std::move(spec);
    return *this;
}
run_builder& run_builder::delays(std::vector<std::vector<std::uint8_t>> objects) {
    has_delays_ = true;
    delays_ = std::move(objects);
    return *this;
}

int run_builder::slot_of(handle symbols, const std::string& element, int* type_byte) {
    std::string name = element, subs;
    std::size_t br = element.find('[');
    if (br != std::string::npos) {
        name = element.substr(0, br);
        std::size_t close = element.find(']', br);
        subs =
            element.substr(br + 1, close == std::string::npos ? std::string::npos : close - br - 1);
    }
    std::vector<std::string> parts;
    if (!subs.empty()) {
        std::size_t start = 0;
        for (;;) {
            std::size_t c = subs.find(',', start);
            parts.push_back(subs.substr(start, c == std::string::npos ? c : c - start));
            if (c == std::string::npos) break;
            start = c + 1;
        }
    }
    model_lock_guard g(symbols, 0);
    if (!g.ok()) return -1;
    symbol_id id = find_symbol_in(symbols, name.c_str());
    if (!id || !valid_symbol(id) || sym(id)->slot < 0 || sym(id)->type > st_last_with_slots)
        return -1;
    const dim_record* d = sym_dims(id);
    if (d->ndims != parts.size()) return -1;
    int slot = sym(id)->slot;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        symbol_id e = find_symbol_in(symbols, parts[k].c_str());
        int pos = e ? element_position(d->d[k].range, e) : -1;
        if (pos < 0) return -1;
        slot += pos * static_cast<int>(d->d[k].stride);
    }
    if (type_byte) *type_byte = model_slot_types ? model_slot_types[slot] : sym(id)->type;
    return slot;
}

int run_builder::resolve(const std::string& element) {
    int s = slot_of(symbols_, element);
    if (s < 0) error_ = "unknown element " + element;
    return s;
}

std::vector<std::uint8_t> run_builder::bytes() {
    layout_ = run_layout{};
    if (!error_.empty()) return {};
    const bool upper = type_ >= 'A' && type_ <= 'Z';
    const bool array_run = type_ == 'A';

    // What the model part says.
    std::uint32_t nslots = 0, nlookups = 0;
    std::vector<std::uint8_t> slot_types;
    struct lk {
        std::vector<float> x, y;
    };
    std::vector<lk> lookups;
    {
        model_lock_guard g(symbols_, 0);
        if (!g.ok()) {
            error_ = "model not lockable";
            return {};
        }
        nslots = model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots];
        nlookups = model_hdr->w[mh_lookups];
        for (std::uint32_t s = 0; s < nslots; ++s)
            slot_types.push_back(model_slot_types ? model_slot_types[s] : 17);
        for (std::uint32_t i = 0; i < nlookups; ++i) {
            const lookup_entry* e = lookup_at(static_cast<int>(i));
            lk l;
            if (e) {
                l.x.assign(lookup_x(e), lookup_x(e) + e->npoints);
                l.y.assign(lookup_y(e), lookup_y(e) + e->npoints);
            }
            lookups.push_back(std::move(l));
        }
    }
    for (auto& [slot, o] : lookups_)
        if (slot >= 0 && static_cast<std::uint32_t>(slot) < lookups.size())
            lookups[static_cast<std::size_t>(slot)] = lk{o.x, o.y};
    const std::vector<std::uint8_t>& types =
        (type_ == 'P' || type_ == 'p') && payoff_types_.size() == nslots ? payoff_types_
                                                                         : slot_types;

    const auto w30 = array_run ? 0u : static_cast<std::uint32_t>(times_.size());
    const auto w29 = array_run ? 0u : static_cast<std::uint32_t>(data_times_.size());
    std::uint32_t w31 = std::max(w30, w29);
    if (array_run) {
        std::size_t longest = 0;
        for (auto& [s, v] : series_) longest = std::max(longest, v.size());
        w31 = array_points_ >= 0 ? static_cast<std::uint32_t>(array_points_)
                                 : static_cast<std::uint32_t>(longest);
    }
    std::uint32_t w28 = w31;
    for (auto& l : lookups) w28 = std::max(w28, static_cast<std::uint32_t>(l.x.size()));
    bool c32 = counts32_ || w31 > 32767;

    out_bytes o(foreign_);
    o.zeros(sizeof(kmf_header));

    // Information block.
    if (has_info_) {
        // Cell 5: the text's byte length; the text from cell 6 on.
        text_block tb;
        std::string text = info_cmd_;
        if (!info_comment_.empty()) text += "\n" + info_comment_;
        tb.cells.push_back(static_cast<std::uint32_t>(text.size()));
        tb.add_text(text);
        tb.write(o, foreign_, 5, 6);
    }
    // Model part.
    layout_.model_part = o.pos();
    {
        std::vector<std::uint8_t> mp = model_part_bytes(symbols_, foreign_);
        if (mp.empty()) {
            error_ = "model part not written";
            return {};
        }
        o.raw(mp.data(), mp.size());
    }

    // Time values: slot 0.
    std::vector<float> tvals = times_;
    series_[0] = tvals;

    std::vector<std::uint32_t> offsets(nslots, 0);
    if (upper) {
        layout_.offset_table = o.pos();
        o.zeros(4ull * nslots);
        // Time's record, full, then the data axis record right behind it.
        layout_.time_record = o.pos();
        offsets[0] = o.pos();
        if (array_run)
            value_record(o, tvals, w31, 2, c32);
        else
            value_record(o, tvals, w30, 1, c32);
        layout_.records[0] = offsets[0];
        if (!array_run && w29) {
            layout_.data_axis_record = o.pos();
            value_record(o, data_times_, w29, 1, c32);
        }
        for (auto& [slot, v] : series_) {
            if (slot <= 0 || static_cast<std::uint32_t>(slot) >= nslots) continue;
            int t = types[static_cast<std::size_t>(slot)];
            offsets[static_cast<std::size_t>(slot)] = o.pos();
            layout_.records[slot] = o.pos();
            if (array_run)
                value_record(o, v, w31, 2, c32);
            else if (is_data_type(t))
                value_record(o, v, w29, 2, c32);
            else
                value_record(o, v, w30, every_point_ ? 1 : 0, c32);
        }
        if (in_table_)
            for (auto& [slot, f] : constants_)
                if (slot >= 0 && static_cast<std::uint32_t>(slot) < nslots)
                    offsets[static_cast<std::size_t>(slot)] = float_bits(f);
        for (std::uint32_t s = 0; s < nslots; ++s)
            o.put_u32(layout_.offset_table + 4 * s, offsets[s]);
    } else {
        // Row layout: Time in column 1, then every series in slot order.
        std::vector<std::pair<int, std::uint32_t>> cols; // slot, column
        std::uint32_t ncol = 0;
        for (auto& [slot, v] : series_)
            if (slot >= 0 && static_cast<std::uint32_t>(slot) < nslots)
                cols.emplace_back(slot, ++ncol);
        for (auto& [s, c] : cols) layout_.columns[s] = c;
        layout_.offset_table = o.pos();
        layout_.row_length = ncol;
        std::uint32_t head_at = o.pos();
        o.u32(0); // first row, patched below
        o.u32(ncol);
        o.u32(direct_ ? nslots : static_cast<std::uint32_t>(cols.size()));
        o.zeros(6);
        o.u8(direct_ ? 1 : 0);
        o.u8(0);
        if (direct_) {
            std::vector<std::uint32_t> table(nslots, 0);
            for (auto& [s, c] : cols) table[static_cast<std::size_t>(s)] = c;
            for (std::uint32_t c : table) o.u32(c);
        } else {
            for (auto& [s, c] : cols) {
                o.u32(c);
                o.u32(static_cast<std::uint32_t>(s));
            }
        }
        if (w29) {
            layout_.data_axis_record = o.pos();
            value_record(o, data_times_, w29, 1, c32);
        }
        layout_.first_row = o.pos();
        o.put_u32(head_at, layout_.first_row);
        for (std::uint32_t k = 0; k < w30; ++k)
            for (auto& [s, c] : cols) {
                const std::vector<float>& v = series_[s];
                o.f32(k < v.size() ? v[k] : NA);
            }
    }

    // Constants section: one float per value slot.
    layout_.constants = o.pos();
    for (std::uint32_t s = 0; s < nslots; ++s) {
        auto it = constants_.find(static_cast<int>(s));
        o.f32(it != constants_.end() ? it->second : 0.0f);
    }

    // Lookup section: 52-byte records, then the lookup data block.
    layout_.lookups = o.pos();
    {
        std::vector<std::uint32_t> data(5, 0);
        std::vector<std::uint32_t> rec(13 * lookups.size(), 0);
        for (std::size_t i = 0; i < lookups.size(); ++i) {
            auto xc = static_cast<std::uint32_t>(data.size());
            for (float f : lookups[i].x) data.push_back(float_bits(f));
            auto yc = static_cast<std::uint32_t>(data.size());
            for (float f : lookups[i].y) data.push_back(float_bits(f));
            rec[13 * i + 5] = xc;
            rec[13 * i + 6] = yc;
            rec[13 * i + 8] = static_cast<std::uint32_t>(lookups[i].x.size());
        }
        for (std::uint32_t w : rec) o.u32(w);
        auto n = static_cast<std::uint32_t>(data.size());
        data[0] = 'H';
        data[1] = block_guard;
        data[2] = n;
        data[3] = n;
        data[4] = 0;
        for (std::uint32_t w : data) o.u32(w);
    }

    // String block: cell 5 the number of string slots, cells 7 + slot the
    // cell of each text.
    layout_.strings = o.pos();
    {
        text_block tb;
        std::uint32_t nstr = 0;
        for (auto& [s, t] : strings_) nstr = std::max(nstr, static_cast<std::uint32_t>(s) + 1);
        tb.cells.resize(7 + nstr, 0);
        tb.cells[5] = nstr;
        for (auto& [s, t] : strings_) tb.cells[7 + static_cast<std::size_t>(s)] = tb.add_text(t);
        tb.write(o, foreign_, 5, 7 + nstr);
    }

    // Run-type section.
    if (type_ == 'S' || type_ == 's') {
        layout_.section = o.pos();
        std::vector<std::uint32_t> slots;
        for (auto& n : sens_.singles) slots.push_back(static_cast<std::uint32_t>(resolve(n)));
        for (auto& n : sens_.series) slots.push_back(static_cast<std::uint32_t>(resolve(n)));
        if (!error_.empty()) return {};
        std::uint32_t matrix_at = o.pos() + 32 + 4 * static_cast<std::uint32_t>(slots.size());
        o.u32(sens_.rows);
        o.u32(sens_.times);
        o.u32(matrix_at);
        o.zeros(14);
        o.u16(static_cast<std::uint16_t>(sens_.singles.size()));
        o.u16(static_cast<std::uint16_t>(sens_.series.size()));
        o.zeros(2);
        for (std::uint32_t s : slots) o.u32(s);
        for (float f : sens_.matrix) o.f32(f);
    } else if (type_ == 'P' || type_ == 'p') {
        layout_.section = o.pos();
        for (std::uint32_t s = 0; s < nslots; ++s) o.u8(types[s]);
    }

    // Delay states.
    if (has_delays_) {
        layout_.delays = o.pos();
        for (auto obj : delays_) {
            if (obj.size() < 28) {
                o.u16(0);
                continue;
            }
            auto n = static_cast<std::uint16_t>((obj.size() - 28) / 8);
            obj.resize(28 + 8u * n);
            std::memcpy(obj.data() + 24, &n, 2);
            o.u16(n);
            if (foreign_) {
                // Head words, the capacity and its neighbour, then 8-byte
                // entries as two 32-bit words.
                for (std::size_t i = 0; i < obj.size(); i += 4) {
                    if (i == 24) {
                        std::uint16_t a, b;
                        std::memcpy(&a, obj.data() + 24, 2);
                        std::memcpy(&b, obj.data() + 26, 2);
                        o.u16(a);
                        o.u16(b);
                        continue;
                    }
                    std::uint32_t w;
                    std::memcpy(&w, obj.data() + i, 4);
                    o.u32(w);
                }
            } else {
                o.raw(obj.data(), obj.size());
            }
        }
    }
    layout_.file_size = o.pos();

    // Header.
    kmf_header h{};
    std::memcpy(h.magic, kmf_magic, 3);
    h.type = type_;
    std::strncpy(h.name, origin_.c_str(), sizeof h.name - 1);
    h.byte_order = kmf_byte_order_mark;
    h.version = version_;
    kmf_word(h, 22) = layout_.constants;
    kmf_word(h, 23) = layout_.lookups;
    kmf_word(h, 24) = layout_.strings;
    kmf_word(h, 25) = layout_.offset_table;
    kmf_word(h, 26) = layout_.section;
    kmf_word(h, 27) = layout_.delays;
    kmf_word(h, 28) = w28;
    kmf_word(h, 29) = w29;
    kmf_word(h, 30) = w30;
    kmf_word(h, 31) = w31;
    kmf_word(h, 35) = float_bits(payoff_);
    kmf_word(h, 38) = has_info_ ? 1 : 0;
    std::uint8_t* hb = reinterpret_cast<std::uint8_t*>(&h);
    hb[160] = in_table_ ? 0 : 1;
    hb[161] = c32 ? 1 : 0;
    if (foreign_) {
        h.byte_order = swap16(h.byte_order);
        h.version = swap16(h.version);
        swap_words(h.words, 20);
    }
    std::memcpy(o.b.data(), &h, sizeof h);
    return std::move(o.b);
}

int run_builder::write(const std::string& path) {
    std::vector<std::uint8_t> b = bytes();
    if (b.empty()) return 0;
    file_handle fh = fh_open_write(path.c_str(), 0, 0);
    if (fh < 0) return 0;
    if (fh_write(fh, b.data(), b.size()) != b.size()) {
        fh_abandon(fh);
        return 0;
    }
    return fh_close(fh) > 0 ? 1 : 0;
}
