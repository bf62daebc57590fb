// Stored values of an .xls workbook (see xls_values.h).
#include "datalinks/xls_values.h"

#include <cstring>
#include <map>

namespace sheets {

namespace {

std::uint16_t u16(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}
std::uint32_t u32(std::string_view s, std::size_t at) {
    return static_cast<std::uint32_t>(u16(s, at)) |
           (static_cast<std::uint32_t>(u16(s, at + 2)) << 16);
}

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

// A compound file's streams, every sector number and chain checked.
class compound {
public:
    bool open(std::string_view f) {
        f_ = f;
        if (f.size() < 512 || f.substr(0, 8) != "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") return false;
        const unsigned shift = u16(f, 0x1E), mini_shift = u16(f, 0x20);
        if ((shift != 9 && shift != 12) || mini_shift != 6) return false;
        sector_ = std::size_t{1} << shift;
        sectors_ = (f.size() - std::min(f.size(), sector_)) / sector_;
        // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
        std::vector<std::uint32_t> fat_sectors;
        const std::uint32_t fat_count = u32(f, 0x2C);
        if (fat_count > sectors_) return false;
        for (unsigned k = 0; k < 109 && fat_sectors.size() < fat_count; ++k)
            fat_sectors.push_back(u32(f, 0x4C + 4 * k));
        std::uint32_t difat = u32(f, 0x44);
        for (std::size_t steps = 0; fat_sectors.size() < fat_count; ++steps) {
            if (steps > sectors_ || !in_file(difat)) return false;
            const std::size_t at = offset(difat);
            for (std::size_t k = 0; k + 1 < sector_ / 4 && fat_sectors.size() < fat_count; ++k)
                fat_sectors.push_back(u32(f, at + 4 * k));
            difat = u32(f, at + sector_ - 4);
        }
        for (std::uint32_t s : fat_sectors) {
            if (!in_file(s)) return false;
            for (std::size_t k = 0; k < sector_ / 4; ++k) fat_.push_back(u32(f, offset(s) + 4 * k));
        }
        // The directory.
        std::string dir;
        if (!chain(u32(f, 0x30), fat_, false, SIZE_MAX, &dir)) return false;
        for (std::size_t at = 0; at + 128 <= dir.size(); at += 128) {
            const std::uint16_t name_len = u16(dir, at + 64);
            const auto type = static_cast<unsigned char>(dir[at + 66]);
            std::string name;
            for (std::size_t k = 0; k + 2 < name_len && k < 62; k += 2)
                name.push_back(static_cast<char>(dir[at + k]));
            entries_.push_back({name, type, u32(dir, at + 116), u32(dir, at + 120)});
        }
        if (entries_.empty() || entries_[0].type != 5) return false;
        // The mini stream and its FAT, for streams under the cut-off.
        const std::uint32_t mini_fat_start = u32(f, 0x3C);
        if (mini_fat_start != kEndOfChain) {
            std::string mini_fat_bytes;
            if (!chain(mini_fat_start, fat_, false, SIZE_MAX, &mini_fat_bytes)) return false;
            for (std::size_t k = 0; k + 4 <= mini_fat_bytes.size(); k += 4)
                mini_fat_.push_back(u32(mini_fat_bytes, k));
            if (!chain(entries_[0].start, fat_, false, entries_[0].size, &mini_)) return false;
        }
        cutoff_ = u32(f, 0x38);
        return true;
    }
    bool stream(std::string_view name, std::string* out) const {
        for (const entry& e : entries_)
            if (e.type == 2 && e.name == name)
                return chain(e.start, e.size < cutoff_ ? mini_fat_ : fat_, e.size < cutoff_, e.size,
                             out);
        return false;
    }

private:
    struct entry {
        std::string name;
        unsigned type;
        std::uint32_t start, size;
    };
    bool in_file(std::uint32_t s) const { return s < sectors_; }
    std::size_t offset(std::uint32_t s) const { return (std::size_t{s} + 1) * sector_; }
    // A stream along its chain, up to `size` bytes (SIZE_MAX: the whole chain).
    bool chain(std::uint32_t s, const std::vector<std::uint32_t>& fat, bool mini, std::size_t size,
               std::string* out) const {
        out->clear();
        const std::size_t unit = mini ? 64 : sector_;
        const std::string_view from = mini ? std::string_view(mini_) : f_;
        for (std::size_t steps = 0; s != kEndOfChain && out->size() < size; ++steps) {
            if (steps > fat.size() || s >= fat.size()) return false;
            const std::size_t at = mini ? std::size_t{s} * 64 : offset(s);
            if (at > from.size() || from.size() - at < unit) return false;
            out->append(from.substr(at, unit));
            s = fat[s];
        }
        if (size != SIZE_MAX) {
            if (out->size() < size) return false;
            out->resize(size);
        }
        return true;
    }
    std::string_view f_;
    std::size_t sector_ = 512, sectors_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::vector<std::uint32_t> fat_, mini_fat_;
    std::vector<entry> entries_;
    std::string mini_;
};

// An RK number: a 30-bit integer or the high bits of a double, maybe / 100.
double rk_number(std::uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

// A string of the STRING record: 16-bit count, flags, then Latin-1 or UTF-16.
std::string biff_string(std::string_view d) {
    std::string out;
    if (d.size() < 3) return out;
    const std::size_t n = u16(d, 0);
    const bool wide = d[2] & 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t c;
        if (wide) {
            if (3 + 2 * k + 2 > d.size()) break;
            c = u16(d, 3 + 2 * k);
        } else {
            if (3 + k >= d.size()) break;
            c = static_cast<unsigned char>(d[3 + k]);
        }
        put_utf8(out, c);
    }
    return out;
}

const char* error_name(unsigned code) {
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    default:
        return "#ERROR";
    }
}

} // namespace

bool read_xls_values(std::string_view file, std::vector<xls_value>* out) {
    out->clear();
    compound c;
    std::string w;
    if (!c.open(file) || (!c.stream("Workbook", &w) && !c.stream("Book", &w))) return false;
    // The worksheets' substreams, from the sheet records of the globals.
    std::vector<std::uint32_t> starts;
    std::size_t at = 0;
    while (at + 4 <= w.size()) {
        const std::uint16_t id = u16(w, at), len = u16(w, at + 2);
        if (w.size() - at - 4 < len) return false;
        if (id == 0x0085 && len >= 6 && static_cast<unsigned char>(w[at + 4 + 5]) == 0)
            starts.push_back(u32(w, at + 4));
        at += 4u + len;
        if (id == 0x000A) break; // the globals' end
    }
    for (std::size_t s = 0; s < starts.size(); ++s) {
        at = starts[s];
        bool pending_string = false; // a text result follows in a STRING record
        xls_value pending;
        for (bool first = true; at + 4 <= w.size(); first = false) {
            const std::uint16_t id = u16(w, at), len = u16(w, at + 2);
            if (w.size() - at - 4 < len) return false;
            const std::string_view d(w.data() + at + 4, len);
            at += 4u + len;
            if (first && id != 0x0809) break; // not a substream's beginning
            if (id == 0x000A) break;
            if (pending_string && id == 0x0207) {
                pending.kind = xls_kind::text;
                pending.text = biff_string(d);
                out->push_back(pending);
                pending_string = false;
                continue;
            }
            xls_value v;
            v.sheet = static_cast<int>(s);
            if (d.size() >= 4) {
                v.row = u16(d, 0);
                v.col = u16(d, 2);
            }
            if (id == 0x0006 && d.size() >= 20) { // FORMULA: the result at 6
                v.formula = true;
                if (u16(d, 12) == 0xFFFF) {
                    const auto type = static_cast<unsigned char>(d[6]);
                    if (type == 0) {
                        pending = v;
                        pending_string = true;
                        continue;
                    }
                    if (type == 1) {
                        v.kind = xls_kind::boolean;
                        v.number = d[8] ? 1 : 0;
                    } else if (type == 2) {
                        v.kind = xls_kind::error;
                        v.text = error_name(static_cast<unsigned char>(d[8]));
                    } else {
                        v.kind = xls_kind::empty;
                    }
                } else {
                    std::memcpy(&v.number, d.data() + 6, 8);
                }
                out->push_back(v);
            } else if (id == 0x0203 && d.size() >= 14) { // NUMBER
                std::memcpy(&v.number, d.data() + 6, 8);
                out->push_back(v);
            } else if (id == 0x027E && d.size() >= 10) { // RK
                v.number = rk_number(u32(d, 6));
                out->push_back(v);
            } else if (id == 0x00BD && d.size() >= 6) { // MULRK: row, first col, 6-byte cells
                const std::size_t cells = (d.size() - 6) / 6;
                for (std::size_t k = 0; k < cells; ++k) {
                    xls_value m = v;
                    m.col = v.col + static_cast<std::uint32_t>(k);
                    m.number = rk_number(u32(d, 4 + 6 * k + 2));
                    out->push_back(m);
                }
            }
            // A text result's STRING record may come after the formula's
            // shared-formula, array or table record.
            if (id != 0x04BC && id != 0x0221 && id != 0x0236) pending_string = false;
        }
    }
    return true;
}

void put_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace sheets
