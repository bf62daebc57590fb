// Text bytes of stored pictures in the code page of a font's character set.
// A Windows metafile keeps its strings as bytes and says nothing of their
// code page but the character set of the font they are drawn with; other
// programs write Cyrillic, Greek, Japanese and the rest that way. The
// conversions are the C library's (iconv); the single-byte pages are read
// through a table made once per page.
#include "platform/gdi_impl.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <optional>
#include <unordered_map>

namespace gdi {

namespace {

struct PageInfo {
    int cp;
    BYTE charset;
    const char* iconv_name;
    bool dbcs;
};

// The character sets fonts name and their code pages. The symbol set is not
// here: its bytes are glyph numbers.
constexpr PageInfo pages[] = {
    {1252, ANSI_CHARSET, "CP1252", false},
    {1250, 238, "CP1250", false},
    {1251, 204, "CP1251", false},
    {1253, 161, "CP1253", false},
    {1254, 162, "CP1254", false},
    {1257, 186, "CP1257", false},
    {1255, 177, "CP1255", false},
    {1256, 178, "CP1256", false},
    {874, 222, "CP874", false},
    {932, 128, "CP932", true},
    {936, 134, "GBK", true},
    {949, 129, "UHC", true},
    {950, 136, "BIG5", true},
    {1258, 163, "CP1258", false},
    {1361, 130, "JOHAB", true},
    {437, OEM_CHARSET, "CP437", false},
    {10000, 77, "MACINTOSH", false},
};

// Pages a string may be written in when its font's page lacks a character,
// in the order they are tried. (1258 composes letters across bytes, which a
// reader of single bytes would not undo.)
constexpr int write_order[] = {1252, 1250, 1251, 1253, 1254, 1257, 1255,
                               1256, 874,  932,  936,  949,  950};

const PageInfo* page_of_charset(BYTE charset) {
    if (charset == DEFAULT_CHARSET) charset = ANSI_CHARSET;
    for (const PageInfo& p : pages)
        if (p.charset == charset) return &p;
    return nullptr;
}

const PageInfo* page_of_cp(int cp) {
    for (const PageInfo& p : pages)
        if (p.cp == cp) return &p;
    return nullptr;
}

// One code page's conversions, made on first use and kept.
class Page {
public:
    explicit Page(const PageInfo& info) : info_(info) {
        to_ = iconv_open("UTF-32LE", info.iconv_name);
        from_ = iconv_open(info.iconv_name, "UTF-32LE");
        if (!info.dbcs) {
            for (int b = 0; b < 256; ++b) {
                char byte = static_cast<char>(b);
                std::optional<char32_t> c = convert_in(&byte, 1);
                single_[static_cast<std::size_t>(b)] = c ? *c : 0xFFFD;
                if (c && !reverse_.count(*c)) reverse_[*c] = byte;
            }
        }
    }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    ~Page() {
        if (to_ != reinterpret_cast<iconv_t>(-1)) iconv_close(to_);
        if (from_ != reinterpret_cast<iconv_t>(-1)) iconv_close(from_);
    }

    // The character at `p` (at most `n` bytes there) and how many bytes it
    // took; an undefined byte is U+FFFD and takes one.
    char32_t read(const char* p, std::size_t n, int& used) {
        used = 1;
        if (!info_.dbcs) return single_[static_cast<unsigned char>(p[0])];
        if (std::optional<char32_t> c = convert_in(p, 1)) return *c;
        if (n >= 2 && last_error_ == EINVAL) {
            if (std::optional<char32_t> c = convert_in(p, 2)) {
                used = 2;
                return *c;
            }
        }
        return 0xFFFD;
    }

    // The bytes of one character, or nothing when the page lacks it.
    std::optional<std::string> write(char32_t c) {
        if (!info_.dbcs) {
            auto it = reverse_.find(c);
            if (it == reverse_.end()) return std::nullopt;
            return std::string(1, it->second);
        }
        auto it = written_.find(c);
        if (it != written_.end()) return it->second;
        std::optional<std::string> out;
        if (from_ != reinterpret_cast<iconv_t>(-1)) {
            unsigned char in[4] = {
                static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
                static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 24)};
            char buf[8];
            char* ip = reinterpret_cast<char*>(in);
            char* op = buf;
            std::size_t il = 4, ol = sizeof buf;
            iconv(from_, nullptr, nullptr, nullptr, nullptr);
            if (iconv(from_, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) &&
                iconv(from_, nullptr, nullptr, &op, &ol) != static_cast<std::size_t>(-1))
                out = std::string(buf, static_cast<std::size_t>(op - buf));
        }
        written_[c] = out;
        return out;
    }

private:
    std::optional<char32_t> convert_in(const char* p, std::size_t n) {
        last_error_ = 0;
        if (to_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        char in[2] = {p[0], n > 1 ? p[1] : '\0'};
        unsigned char buf[16];
        char* ip = in;
        char* op = reinterpret_cast<char*>(buf);
        std::size_t il = n, ol = sizeof buf;
        iconv(to_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(to_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) {
            last_error_ = errno;
            return std::nullopt;
        }
        iconv(to_, nullptr, nullptr, &op, &ol); // a page that composes keeps the last letter
        // One character exactly (a page that composes may give two: not one
        // of ours then).
        if (op - reinterpret_cast<char*>(buf) != 4) return std::nullopt;
        return static_cast<char32_t>(buf[0] | (buf[1] << 8) | (buf[2] << 16) |
                                     (static_cast<char32_t>(buf[3]) << 24));
    }

    PageInfo info_;
    iconv_t to_;
    iconv_t from_;
    int last_error_ = 0;
    std::array<char32_t, 256> single_{};
    std::unordered_map<char32_t, char> reverse_;
    std::unordered_map<char32_t, std::optional<std::string>> written_;
};

Page& page(const PageInfo& info) {
    static std::map<int, std::unique_ptr<Page>> made;
    auto& p = made[info.cp];
    if (!p) p = std::make_unique<Page>(info);
    return *p;
}

// The code points of a string with the UTF-16 units each took.
struct CodePoint {
    char32_t c;
    int units;
};
std::vector<CodePoint> code_points(const QString& s) {
    std::vector<CodePoint> out;
    out.reserve(static_cast<std::size_t>(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        QChar u = s[i];
        if (u.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out.push_back({QChar::surrogateToUcs4(u, s[i + 1]), 2});
            ++i;
        } else {
            out.push_back({u.unicode(), 1});
        }
    }
    return out;
}

void append_code_point(QString& s, char32_t c) {
    if (c > 0xFFFF) {
        char16_t pair[2] = {QChar::highSurrogate(c), QChar::lowSurrogate(c)};
        s.append(QChar(pair[0]));
        s.append(QChar(pair[1]));
    } else {
        s.append(QChar(static_cast<char16_t>(c)));
    }
}

} // namespace

QString decode_charset(const char* text, int length, BYTE charset, std::vector<int>* unit_bytes) {
    if (unit_bytes) unit_bytes->clear();
    if (!text || length <= 0) return QString();
    const PageInfo* info = page_of_charset(charset);
    if (!info || info->cp == 1252) {
        // The symbol set's glyph numbers and the usual page: byte for unit.
        if (unit_bytes) unit_bytes->assign(static_cast<std::size_t>(length), 1);
        return decode_text(text, length);
    }
    Page& pg = page(*info);
    QString s;
    s.reserve(length);
    for (int i = 0; i < length;) {
        int used = 1;
        char32_t c = pg.read(text + i, static_cast<std::size_t>(length - i), used);
        append_code_point(s, c);
        if (unit_bytes) {
            unit_bytes->push_back(used);
            if (c > 0xFFFF) unit_bytes->push_back(0);
        }
        i += used;
    }
    return s;
}

BYTE charset_for_text(const QString& s, BYTE charset) {
    const PageInfo* own = page_of_charset(charset);
    if (!own) return charset; // symbol fonts: glyph numbers, written as they are
    std::vector<CodePoint> cps = code_points(s);
    auto held = [&](const PageInfo& info) {
        Page& pg = page(info);
        std::size_t n = 0;
        for (const CodePoint& cp : cps)
            if (pg.write(cp.c)) ++n;
        return n;
    };
    std::size_t best = held(*own);
    if (best == cps.size()) return charset;
    BYTE chosen = charset;
    for (int cp : write_order) {
        const PageInfo* info = page_of_cp(cp);
        if (!info || info == own) continue;
        std::size_t n = held(*info);
        if (n == cps.size()) return info->charset;
        if (n > best) {
            best = n;
            chosen = info->charset;
        }
    }
    return chosen;
}

std::vector<CharsetRun> charset_runs(const QString& s, BYTE charset) {
    std::vector<CharsetRun> runs;
    const PageInfo* own = page_of_charset(charset);
    if (!own) return {{0, charset}}; // symbol fonts: glyph numbers, one run
    std::vector<const PageInfo*> order{own};
    for (int cp : write_order)
        if (const PageInfo* info = page_of_cp(cp); info && info != own) order.push_back(info);
    const std::vector<CodePoint> cps = code_points(s);
    auto holds = [&](const PageInfo* info, char32_t c) {
        return c < 0x80 || page(*info).write(c).has_value();
    };
    std::size_t k = 0;
    int unit = 0;
    while (k < cps.size()) {
        // The page holding the longest stretch from here (the font's own
        // first); a character no page holds stays with the run it is in.
        // The font's own and the one-byte pages first: a double-byte page
        // holds Latin and Greek letters too, but readers without its fonts
        // show them as other signs; it takes only what none of those holds.
        const PageInfo* best = own;
        std::size_t best_len = 0;
        for (int pass = 0; pass < 2 && best_len == 0; ++pass)
            for (const PageInfo* info : order) {
                if ((pass == 0) != (info == own || !info->dbcs)) continue;
                std::size_t n = 0;
                while (k + n < cps.size() && holds(info, cps[k + n].c)) ++n;
                if (n > best_len) {
                    best_len = n;
                    best = info;
                }
            }
        if (best_len == 0) best_len = 1;
        if (!runs.empty() && runs.back().charset == best->charset) {
            // continues the run before (after a character no page holds)
        } else {
            runs.push_back({unit, best->charset});
        }
        for (std::size_t j = 0; j < best_len; ++j) unit += cps[k + j].units;
        k += best_len;
    }
    if (runs.empty()) runs.push_back({0, charset});
    return runs;
}

QByteArray encode_charset(const QString& s, BYTE charset, std::vector<int>* unit_bytes) {
    if (unit_bytes) unit_bytes->clear();
    QByteArray out;
    out.reserve(s.size());
    const PageInfo* info = page_of_charset(charset);
    for (const CodePoint& cp : code_points(s)) {
        qsizetype before = out.size();
        if (!info) {
            // Symbol fonts: the glyph number, also from its private-use form.
            if (cp.c < 0x100 || (cp.c >= 0xF000 && cp.c < 0xF100))
                out.append(static_cast<char>(cp.c & 0xFF));
        } else if (info->cp == 1252) {
            // The page the rest of the layer reads (its five unused bytes
            // included), so what was read is written back unchanged.
            static const std::unordered_map<char32_t, char> usual = [] {
                std::unordered_map<char32_t, char> m;
                for (int k = 0; k < 0x100; ++k) {
                    char ch = static_cast<char>(k);
                    m.emplace(decode_text(&ch, 1)[0].unicode(), ch);
                }
                return m;
            }();
            if (auto it = usual.find(cp.c); it != usual.end()) out.append(it->second);
        } else if (std::optional<std::string> b = page(*info).write(cp.c)) {
            out.append(b->data(), static_cast<qsizetype>(b->size()));
        }
        if (out.size() == before) out.append('?');
        if (unit_bytes) {
            unit_bytes->push_back(static_cast<int>(out.size() - before));
            if (cp.units == 2) unit_bytes->push_back(0);
        }
    }
    return out;
}

} // namespace gdi

std::string program_text_utf8(const char* text, int length) {
    return gdi::decode_program_text(text, length).toStdString();
}

std::string program_text_in_code_page(const char* text, int length, int code_page, bool* lossless) {
    const QString s = gdi::decode_program_text(text, length);
    const gdi::PageInfo* info = gdi::page_of_cp(code_page);
    if (!info) info = gdi::page_of_cp(1252);
    const QByteArray out = gdi::encode_charset(s, info->charset);
    if (lossless) {
        // Every character written, none as the '?' that stands for a lacking one.
        *lossless =
            out.count('?') == s.count(QLatin1Char('?')) &&
            gdi::decode_charset(out.constData(), static_cast<int>(out.size()), info->charset) == s;
    }
    return out.toStdString();
}

int one_byte_page_holding(const std::vector<std::string>& texts) {
    for (int cp : gdi::write_order) {
        const gdi::PageInfo* info = gdi::page_of_cp(cp);
        if (!info || info->dbcs) continue;
        bool all = true;
        for (const std::string& t : texts) {
            program_text_in_code_page(t.data(), static_cast<int>(t.size()), cp, &all);
            if (!all) break;
        }
        if (all) return cp;
    }
    return 1252;
}

std::string code_page_text_utf8(const char* bytes, int length, int code_page) {
    const gdi::PageInfo* info = gdi::page_of_cp(code_page);
    if (!info) info = gdi::page_of_cp(1252);
    return gdi::decode_charset(bytes, length, info->charset).toStdString();
}
