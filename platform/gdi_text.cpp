// Fonts and text: LOGFONT to QFont, text output with alignment, opaque
// backgrounds, rotation and character spacing, measuring, DrawText, and the
// font enumeration. Measuring and drawing use the same QFont, so a text's
// extent is the extent it is drawn with.
#include "platform/gdi_impl.h"
#include "platform/metafile.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>

#include <cassert>
#include <cmath>
#include <cstring>
#include <map>

using namespace gdi;

namespace gdi {

QString decode_text(const char* text, int length) {
    // The single-byte code page of stored metafiles: Latin-1 with the usual
    // punctuation in 0x80-0x9F.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString s;
    if (!text) return s;
    if (length < 0) length = static_cast<int>(std::strlen(text));
    s.reserve(length);
    for (int i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        s.append(c >= 0x80 && c < 0xA0 ? QChar(high[c - 0x80]) : QChar(c));
    }
    return s;
}

ProgramText::ProgramText(const char* text, int length) {
    if (!text) length = 0;
    if (length < 0) length = static_cast<int>(std::strlen(text));
    bytes = length;
    s.reserve(length);
    first_byte.reserve(static_cast<std::size_t>(length) + 1);
    auto at = [&](int i) { return static_cast<unsigned char>(text[i]); };
    int i = 0;
    while (i < length) {
        unsigned char c = at(i);
        int n = c < 0x80             ? 1
                : (c & 0xE0) == 0xC0 ? 2
                : (c & 0xF0) == 0xE0 ? 3
                : (c & 0xF8) == 0xF0 ? 4
                                     : 0;
        char32_t u = n == 1 ? c : n == 2 ? c & 0x1Fu : n == 3 ? c & 0x0Fu : c & 0x07u;
        bool ok = n > 0 && i + n <= length;
        for (int k = 1; ok && k < n; ++k) {
            if ((at(i + k) & 0xC0) != 0x80) ok = false;
            u = (u << 6) | (at(i + k) & 0x3Fu);
        }
        // Overlong forms, surrogates and values past the last plane are no
        // characters.
        static const char32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (u < least[n] || (u >= 0xD800 && u < 0xE000) || u > 0x10FFFF)) ok = false;
        if (!ok) {
            // A byte that starts no character: text written in the code page.
            first_byte.push_back(i);
            s.append(decode_text(text + i, 1));
            ++i;
            continue;
        }
        first_byte.push_back(i);
        if (u > 0xFFFF) {
            char32_t v = u - 0x10000;
            s.append(QChar(static_cast<char16_t>(0xD800 + (v >> 10))));
            s.append(QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF))));
            // The second half of the pair owns no bytes: the whole character
            // belongs to the first.
            first_byte.push_back(i + n);
        } else {
            s.append(QChar(static_cast<char16_t>(u)));
        }
        i += n;
    }
    first_byte.push_back(length);
}

int ProgramText::byte_after(int unit) const {
    return first_byte[static_cast<std::size_t>(unit) + 1];
}

QString decode_program_text(const char* text, int length) {
    return ProgramText(text, length).s;
}

namespace {

QFont::StyleHint hint_for(const LOGFONT& lf) {
    switch (lf.lfPitchAndFamily & 0xF0) {
    case FF_ROMAN:
        return QFont::Serif;
    case FF_MODERN:
        return QFont::TypeWriter;
    case FF_SCRIPT:
        return QFont::Cursive;
    case FF_DECORATIVE:
        return QFont::Decorative;
    default:
        return (lf.lfPitchAndFamily & 3) == FIXED_PITCH ? QFont::TypeWriter : QFont::SansSerif;
    }
}

// The installed face standing in for a font's family (pitch and family bits).
QString stand_in_for(const LOGFONT& lf) {
    switch (hint_for(lf)) {
    case QFont::Serif:
        return "DejaVu Serif";
    case QFont::TypeWriter:
        return "DejaVu Sans Mono";
    default:
        return "DejaVu Sans";
    }
}

QString family_for(const LOGFONT& lf) {
    QString face =
        decode_program_text(lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE)));
    if (face.isEmpty() || face.compare("System", Qt::CaseInsensitive) == 0 ||
        face.compare("SystemVariable", Qt::CaseInsensitive) == 0 ||
        face.compare("MS Sans Serif", Qt::CaseInsensitive) == 0 ||
        face.compare("MS Shell Dlg", Qt::CaseInsensitive) == 0 ||
        face.compare("MS Shell Dlg 2", Qt::CaseInsensitive) == 0)
        return stand_in_for(lf);
    if (face.compare("Courier", Qt::CaseInsensitive) == 0 ||
        face.compare("Courier New", Qt::CaseInsensitive) == 0 ||
        face.compare("Fixedsys", Qt::CaseInsensitive) == 0 ||
        face.compare("Terminal", Qt::CaseInsensitive) == 0)
        return QFontDatabase::hasFamily(face) ? face : QString("DejaVu Sans Mono");
    if (face.compare("Times New Roman", Qt::CaseInsensitive) == 0 ||
        face.compare("Times", Qt::CaseInsensitive) == 0 ||
        face.compare("MS Serif", Qt::CaseInsensitive) == 0)
        return QFontDatabase::hasFamily(face) ? face : QString("DejaVu Serif");
    // Unknown faces fall back by family, as the platform's font mapper does.
    return QFontDatabase::hasFamily(face) ? face : stand_in_for(lf);
}

QFont base_font(const LOGFONT& lf, int pixel_size) {
    QFont f(family_for(lf));
    f.setStyleHint(hint_for(lf));
    f.setPixelSize(std::max(1, pixel_size));
    int w = lf.lfWeight <= 0 ? FW_NORMAL : std::clamp(static_cast<int>(lf.lfWeight), 1, 1000);
    f.setWeight(static_cast<QFont::Weight>(w));
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);
    f.setKerning(false);
    f.setHintingPreference(QFont::PreferFullHinting);
    // No ligatures or shaping: one glyph per character at its own advance, so
    // the widths of single characters add up to the width of the text.
    f.setStyleStrategy(lf.lfQuality == NONANTIALIASED_QUALITY
                           ? QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferNoShaping)
                           : QFont::PreferNoShaping);
    return f;
}

} // namespace

QFont make_qfont(const LOGFONT& lf, double sy, double sx) {
    struct Key {
        LOGFONT lf;
        double sy, sx;
        bool operator<(const Key& o) const {
            int c = std::memcmp(&lf, &o.lf, sizeof lf);
            if (c) return c < 0;
            if (sy != o.sy) return sy < o.sy;
            return sx < o.sx;
        }
    };
    static std::map<Key, QFont> cache;
    Key k{lf, sy, sx};
    auto it = cache.find(k);
    if (it != cache.end()) return it->second;

    double h = lf.lfHeight * sy;
    int pixels;
    if (lf.lfHeight < 0) {
        pixels = static_cast<int>(std::lround(-h)); // character height (the em)
    } else if (lf.lfHeight > 0) {
        // Cell height: ascent + descent; find the em that gives it.
        QFontMetricsF fm(base_font(lf, 100));
        double cell = fm.ascent() + fm.descent();
        pixels = static_cast<int>(std::lround(h * 100.0 / (cell > 0 ? cell : 100)));
        pixels = std::clamp(pixels, 1, 4096);
        // Hinting rounds the metrics: settle on the largest em whose cell fits.
        auto cell_at = [&](int px) {
            QFontMetricsF m(base_font(lf, px));
            return std::ceil(m.ascent()) + std::ceil(m.descent());
        };
        for (int i = 0; i < 8 && pixels > 1 && cell_at(pixels) > h; ++i) --pixels;
        for (int i = 0; i < 8 && cell_at(pixels + 1) <= h; ++i) ++pixels;
    } else {
        pixels = static_cast<int>(std::lround(13 * sy)); // the default height
    }
    // Beyond this no text is readable; it also bounds the glyph cache.
    pixels = std::clamp(pixels, 1, 4096);
    QFont f = base_font(lf, pixels);
    if (lf.lfWidth != 0) {
        QFontMetricsF fm(f);
        double natural = fm.averageCharWidth();
        double want = std::abs(lf.lfWidth) * sx;
        // A stretched em stays within 1024 pixels: the toolkit keeps the
        // glyphs of small fonts as images, and one 64 pixels high stretched
        // 40 times (2560 wide) crashed it.
        const int widest = std::clamp(102400 / pixels, 1, 4000);
        if (natural > 0)
            f.setStretch(
                std::clamp(static_cast<int>(std::lround(want * 100.0 / natural)), 1, widest));
    }
    if (cache.size() > 2000) cache.clear();
    cache.emplace(k, f);
    return f;
}

QFont current_qfont(Dc& d) {
    Object* o = object(d.s.font, Kind::font);
    LOGFONT lf;
    if (o)
        lf = o->lf;
    else
        default_font(lf, SYSTEM_FONT);
    return make_qfont(lf, scale_y(d.s), scale_x(d.s));
}

} // namespace gdi

namespace {

// Glyph images are only safe while a glyph's box stays small: the em times
// its stretch, in device pixels.
bool glyphs_too_large_for_images(const QFont& f, const QTransform& t) {
    const double stretch = f.stretch() > 0 ? f.stretch() / 100.0 : 1.0;
    const double scale = std::sqrt(std::abs(t.determinant()));
    return f.pixelSize() * std::max(1.0, stretch) * scale > 255.0;
}

double escapement_degrees(Dc& d) {
    Object* o = object(d.s.font, Kind::font);
    return o ? o->lf.lfEscapement / 10.0 : 0.0;
}

// UTF-16 units of the character starting at unit i (2 for a surrogate pair).
int units_at(const QString& s, qsizetype i) {
    return i + 1 < s.size() && s[i].isHighSurrogate() && s[i + 1].isLowSurrogate() ? 2 : 1;
}

qsizetype characters(const QString& s) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < s.size(); i += units_at(s, i)) ++n;
    return n;
}

// Device advance of each UTF-16 unit (with the character extra); a surrogate
// pair's advance is its first unit's, the second has none.
std::vector<double> advances(Dc& d, const QFontMetricsF& fm, const QString& s) {
    std::vector<double> a(static_cast<std::size_t>(s.size()));
    double extra = d.s.char_extra * scale_x(d.s);
    for (qsizetype i = 0; i < s.size();) {
        int n = units_at(s, i);
        a[static_cast<std::size_t>(i)] = fm.horizontalAdvance(s.mid(i, n)) + extra;
        i += n;
    }
    return a;
}

double device_width(Dc& d, const QFontMetricsF& fm, const QString& s) {
    double extra = d.s.char_extra * scale_x(d.s);
    return fm.horizontalAdvance(s) + extra * static_cast<double>(characters(s));
}

struct Extent {
    LONG cx, cy;
};

Extent logical_extent(Dc& d, const QString& s) {
    QFont f = current_qfont(d);
    QFontMetricsF fm(f);
    double sx = scale_x(d.s), sy = scale_y(d.s);
    double w = device_width(d, fm, s);
    double h = std::ceil(fm.ascent()) + std::ceil(fm.descent());
    return Extent{static_cast<LONG>(std::lround(w / (sx > 0 ? sx : 1))),
                  static_cast<LONG>(std::lround(h / (sy > 0 ? sy : 1)))};
}

} // namespace

namespace {

// Where a run of text goes, worked out once for every way it is drawn or
// recorded: the font, the advances in device units and their sum, the
// reference point and its device place, and the offsets its alignment gives.
struct text_layout {
    int len = 0;
    QFont f;
    double sx = 1;
    std::vector<double> adv;
    double width = 0;
    bool update_cp = false;
    POINT ref{};
    QPointF origin;
    double asc = 0, desc = 0;
    UINT ha = 0;
    double x0 = 0, base = 0;
    double angle = 0;

    // The text's box in device units, before any turn.
    QRectF box() const {
        return QRectF(origin.x() + x0, origin.y() + base - asc, width, asc + desc);
    }
};

text_layout lay_out_text(Dc& d, int x, int y, const QString& s, const int* dx) {
    text_layout t;
    t.len = static_cast<int>(s.size());
    t.f = current_qfont(d);
    QFontMetricsF fm(t.f);
    t.sx = scale_x(d.s);
    if (dx) {
        t.adv.resize(static_cast<std::size_t>(t.len));
        for (int i = 0; i < t.len; ++i) t.adv[static_cast<std::size_t>(i)] = dx[i] * t.sx;
    } else {
        t.adv = advances(d, fm, s);
    }
    for (double a : t.adv) t.width += a;
    t.update_cp = d.s.text_align & TA_UPDATECP;
    t.ref = t.update_cp ? d.s.cur : POINT{x, y};
    t.origin = full_transform(d.s).map(QPointF(t.ref.x, t.ref.y));
    t.asc = std::ceil(fm.ascent());
    t.desc = std::ceil(fm.descent());
    t.ha = d.s.text_align & TA_CENTER;
    const UINT va = d.s.text_align & TA_BASELINE;
    t.x0 = t.ha == TA_CENTER ? -t.width / 2 : t.ha == TA_RIGHT ? -t.width : 0;
    t.base = va == TA_BASELINE ? 0 : va == TA_BOTTOM ? -t.desc : t.asc;
    t.angle = escapement_degrees(d);
    return t;
}

// A font like the selected one in another character set, selected into the
// recording for one text; null (the text's own font stays) when none could
// be made. drop_charset_variant puts the own font back and frees it.
HFONT select_charset_variant(Recorder& r, const Object& font, BYTE charset) {
    LOGFONT lf = font.lf;
    lf.lfCharSet = charset;
    HFONT variant = CreateFontIndirect(&lf);
    if (variant && !r.select(variant)) {
        DeleteObject(variant);
        return nullptr;
    }
    return variant;
}

void drop_charset_variant(Dc* d, Recorder& r, HFONT variant) {
    if (!variant) return;
    r.select(d->s.font);
    DeleteObject(variant); // its deletion record frees the slot
}

// A Windows metafile's ExtTextOut record of bytes in one code page at (x, y):
// the rectangle when the options clip or fill one, then, when spacing is
// given (an advance per UTF-16 unit), the spacing per byte: a character's
// advance on its first byte (a pair's two halves together), 0 on the rest.
void record_wmf_text(Recorder& r, int x, int y, UINT options, const RECT* rc, const QByteArray& raw,
                     const std::vector<int>& unit_bytes, const int* spacing) {
    Bytes b;
    b.i16(y);
    b.i16(x);
    b.i16(static_cast<int>(raw.size()));
    b.u16(options & 0xFFFF);
    if (rc && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
        b.i16(clamp16(rc->left));
        b.i16(clamp16(rc->top));
        b.i16(clamp16(rc->right));
        b.i16(clamp16(rc->bottom));
    }
    b.raw(raw.constData(), static_cast<std::size_t>(raw.size()));
    b.pad_to(2);
    if (spacing)
        for (std::size_t i = 0; i < unit_bytes.size(); ++i) {
            if (unit_bytes[i] == 0) continue;
            int v = spacing[i];
            if (i + 1 < unit_bytes.size() && unit_bytes[i + 1] == 0) v += spacing[i + 1];
            b.i16(clamp16(v));
            for (int k = 1; k < unit_bytes[i]; ++k) b.i16(0);
        }
    r.w_raw(wmf::EXTTEXTOUT, b);
}

// A text of several scripts no one code page holds, bound for a Windows
// metafile: recorded as one record per run of one page, each in a font of
// that page's set, placed by its advances from the text's left end. False
// when one record holds it.
bool record_split_text(Dc* d, int x, int y, UINT options, const RECT* rc, const QString& s,
                       const int* dx, const text_layout& t, const Mapper& m) {
    Object* fo = object(d->s.font, Kind::font);
    const BYTE own = fo ? fo->lf.lfCharSet : static_cast<BYTE>(ANSI_CHARSET);
    const std::vector<CharsetRun> runs = charset_runs(s, own);
    if (runs.size() > 1 && fo) {
        Recorder& r = *d->rec;
        // The records are in logical units and the picture's mapping is
        // its player's: the advances are measured at the font's own
        // logical size, whatever mapping was recorded before (a window
        // extent with no viewport would make them all 0 or one extent).
        std::vector<int> dxs(static_cast<std::size_t>(t.len));
        const QFontMetricsF logical(make_qfont(fo->lf, 1, 1));
        long long total = 0;
        for (int i = 0; i < t.len;) {
            const int n = units_at(s, i);
            dxs[static_cast<std::size_t>(i)] =
                dx ? dx[i]
                   : static_cast<int>(
                         std::lround(logical.horizontalAdvance(s.mid(i, n)) + d->s.char_extra));
            total += dxs[static_cast<std::size_t>(i)];
            for (int k = 1; k < n && i + k < t.len; ++k) {
                dxs[static_cast<std::size_t>(i + k)] = dx ? dx[i + k] : 0;
                total += dxs[static_cast<std::size_t>(i + k)];
            }
            i += n;
        }
        const UINT align = d->s.text_align;
        const long long left = t.ha == TA_CENTER ? x - total / 2 : t.ha == TA_RIGHT ? x - total : x;
        if (t.ha != TA_LEFT)
            r.w(wmf::SETTEXTALIGN, {static_cast<int>(align & TA_MASK & ~TA_CENTER)});
        long long at = left;
        for (std::size_t k = 0; k < runs.size(); ++k) {
            const int from = runs[k].from;
            const int to = k + 1 < runs.size() ? runs[k + 1].from : t.len;
            std::vector<int> unit_bytes;
            const QByteArray raw =
                encode_charset(s.mid(from, to - from), runs[k].charset, &unit_bytes);
            const HFONT variant =
                runs[k].charset != own ? select_charset_variant(r, *fo, runs[k].charset) : nullptr;
            // The clip rectangle for every run; the opaque box once.
            const UINT opts = k == 0 ? options : options & ~static_cast<UINT>(ETO_OPAQUE);
            // The spacing is read per UTF-16 unit of the run: one byte count
            // each, or the record takes advances of the next run or past the end.
            assert(unit_bytes.size() == static_cast<std::size_t>(to - from));
            const int* spacing = dxs.data() + from;
            record_wmf_text(r, clamp16(at), y, opts, rc, raw, unit_bytes, spacing);
            drop_charset_variant(d, r, variant);
            long long run_width = 0;
            for (std::size_t i = 0; i < unit_bytes.size(); ++i) run_width += spacing[i];
            at += run_width;
        }
        if (t.ha != TA_LEFT) r.w(wmf::SETTEXTALIGN, {static_cast<int>(align & TA_MASK)});
        QRectF box = t.box();
        r.add_bounds(box.toAlignedRect());
        if (rc && (options & ETO_OPAQUE)) {
            int L, T, R, B;
            m.box(rc->left, rc->top, rc->right, rc->bottom, L, T, R, B);
            r.add_bounds(QRect(L, T, R - L, B - T));
        }
        return TRUE;
    }
    return false;
}

// Records the text: in an enhanced metafile as UTF-16 with its advances; in
// a Windows metafile as bytes of a code page that holds it (with a font of
// that page's set selected for it), as a plain text record when nothing asks
// for more. The picture's bounds take in the text's box and opaque rectangle.
void record_text(Dc* d, int x, int y, UINT options, const RECT* rc, const QString& s, const int* dx,
                 bool as_textout, const text_layout& t, const Mapper& m) {
    Recorder& r = *d->rec;
    // A Windows metafile keeps bytes: in the code page of the font's
    // character set, or (when that page lacks a character) of a set whose
    // page holds them all, selected for this text alone.
    QByteArray raw_bytes;
    std::vector<int> unit_bytes;
    HFONT variant = nullptr;
    if (!r.emf) {
        Object* fo = object(d->s.font, Kind::font);
        BYTE own = fo ? fo->lf.lfCharSet : static_cast<BYTE>(ANSI_CHARSET);
        BYTE cs = charset_for_text(s, own);
        raw_bytes = encode_charset(s, cs, &unit_bytes);
        if (cs != own && fo) variant = select_charset_variant(r, *fo, cs);
    }
    if (!as_textout || r.emf || dx || rc) {
        std::vector<int> dxs(static_cast<std::size_t>(t.len));
        for (int i = 0; i < t.len; ++i)
            dxs[static_cast<std::size_t>(i)] =
                dx ? dx[i]
                   : static_cast<int>(
                         std::lround(t.adv[static_cast<std::size_t>(i)] / (t.sx > 0 ? t.sx : 1)));
        bool with_rect = rc && (options & (ETO_OPAQUE | ETO_CLIPPED));
        if (r.emf) {
            Bytes b;
            QRect bb = t.box().toAlignedRect();
            b.i32(bb.left());
            b.i32(bb.top());
            b.i32(bb.right());
            b.i32(bb.bottom());
            b.u32(1); // compatible graphics mode
            std::uint32_t one;
            float fone = 1.0f;
            std::memcpy(&one, &fone, 4);
            b.u32(one);
            b.u32(one);
            b.i32(t.ref.x);
            b.i32(t.ref.y);
            b.u32(static_cast<std::uint32_t>(t.len));
            std::uint32_t off_string = 76;
            std::uint32_t str_bytes = static_cast<std::uint32_t>(t.len) * 2;
            std::uint32_t off_dx = off_string + ((str_bytes + 3) / 4) * 4;
            b.u32(off_string);
            b.u32(options);
            b.i32(with_rect ? rc->left : 0);
            b.i32(with_rect ? rc->top : 0);
            b.i32(with_rect ? rc->right : -1);
            b.i32(with_rect ? rc->bottom : -1);
            b.u32(off_dx);
            for (int i = 0; i < t.len; ++i) b.u16(s[i].unicode());
            b.pad_to(4);
            for (int v : dxs) b.i32(v);
            r.e_raw(emr::EXTTEXTOUTW, b);
        } else {
            assert(unit_bytes.size() == dxs.size()); // one byte count per UTF-16 unit
            record_wmf_text(r, x, y, options, rc, raw_bytes, unit_bytes, dx ? dxs.data() : nullptr);
        }
    } else {
        const char* raw = raw_bytes.constData();
        const int raw_len = static_cast<int>(raw_bytes.size());
        Bytes b;
        b.i16(raw_len);
        b.raw(raw, static_cast<std::size_t>(raw_len));
        b.pad_to(2);
        b.i16(y);
        b.i16(x);
        r.w_raw(wmf::TEXTOUT, b);
    }
    drop_charset_variant(d, r, variant);
    QRectF box = t.box();
    QTransform rot;
    rot.translate(t.origin.x(), t.origin.y());
    rot.rotate(-t.angle);
    rot.translate(-t.origin.x(), -t.origin.y());
    r.add_bounds(rot.mapRect(box).toAlignedRect());
    if (rc && (options & ETO_OPAQUE)) {
        int L, T, R, B;
        m.box(rc->left, rc->top, rc->right, rc->bottom, L, T, R, B);
        r.add_bounds(QRect(L, T, R - L, B - T));
    }
}

// Paints the text: its opaque and clip rectangles, its background in opaque
// mode, and the characters (one by one where advances are given).
void paint_text(Dc* d, UINT options, const RECT* rc, const QString& s, const int* dx,
                const text_layout& t, const Mapper& m) {
    QFont f = t.f;
    Paint p(*d);
    if (!p.ok()) return;
    QPainter& qp = p.p();
    if (rc && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
        int L, T, R, B;
        m.box(rc->left, rc->top, rc->right, rc->bottom, L, T, R, B);
        QRect box(L, T, R - L, B - T);
        if (options & ETO_OPAQUE) {
            qp.save();
            qp.setCompositionMode(QPainter::CompositionMode_SourceOver);
            qp.fillRect(box, qcolor(d->s.bk));
            qp.restore();
        }
        if (options & ETO_CLIPPED)
            qp.setClipRect(box, qp.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    if (d->s.rop2 != R2_COPYPEN)
        f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::NoAntialias));
    qp.setFont(f);
    qp.translate(t.origin);
    if (t.angle != 0) qp.rotate(-t.angle);
    if (d->s.bk_mode == OPAQUE && t.width > 0) {
        qp.save();
        qp.setCompositionMode(QPainter::CompositionMode_SourceOver);
        qp.fillRect(QRectF(t.x0, t.base - t.asc, t.width, t.asc + t.desc), qcolor(d->s.bk));
        qp.restore();
    }
    qp.setPen(qcolor(d->s.text));
    qp.setBackgroundMode(Qt::TransparentMode);
    // The toolkit keeps the glyphs of smaller fonts as images; a stretched
    // one turned a little is rasterised into a buffer it may fail to get
    // (a crash inside the toolkit). Large glyphs are filled as outlines.
    const bool outlines = glyphs_too_large_for_images(f, qp.transform());
    auto draw = [&](QPointF at, const QString& text) {
        if (!outlines) {
            qp.drawText(at, text);
            return;
        }
        QPainterPath path;
        path.addText(at, f, text);
        qp.fillPath(path, qcolor(d->s.text));
    };
    if (!dx && d->s.char_extra == 0) {
        draw(QPointF(t.x0, t.base), s);
    } else {
        double at = t.x0;
        for (qsizetype i = 0; i < s.size();) {
            int n = units_at(s, i);
            draw(QPointF(at, t.base), s.mid(i, n));
            for (int k = 0; k < n; ++k) at += t.adv[static_cast<std::size_t>(i + k)];
            i += n;
        }
    }
}

} // namespace

// Draws (or records) one run of text; `dx` in logical units per character.
BOOL gdi::text_out(HDC h, int x, int y, UINT options, const RECT* rc, const QString& s,
                   const int* dx, bool as_textout) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    const text_layout t = lay_out_text(*d, x, y, s, dx);
    Mapper m(d->s);
    if (t.update_cp) {
        double logical_w = t.width / (t.sx > 0 ? t.sx : 1);
        if (t.ha == TA_LEFT) d->s.cur.x = sat_add(d->s.cur.x, std::llround(logical_w));
        if (t.ha == TA_RIGHT) d->s.cur.x = sat_add(d->s.cur.x, -std::llround(logical_w));
    }
    if (d->rec && !d->rec->emf && !t.update_cp && t.angle == 0 &&
        record_split_text(d, x, y, options, rc, s, dx, t, m))
        return TRUE;
    if (d->rec) {
        record_text(d, x, y, options, rc, s, dx, as_textout, t, m);
        return TRUE;
    }
    paint_text(d, options, rc, s, dx, t, m);
    return TRUE;
}

BOOL TextOut(HDC h, int x, int y, const char* text, int length) {
    if (length < 0 || (length > 0 && !text)) return FALSE;
    return text_out(h, x, y, 0, nullptr, decode_program_text(text, length), nullptr, true);
}

BOOL ExtTextOut(HDC h, int x, int y, UINT options, const RECT* rect, const char* text, UINT length,
                const int* dx) {
    if (length > 0x7FFFFFFF || (length > 0 && !text)) return FALSE;
    ProgramText t(text, static_cast<int>(length));
    if (!dx) return text_out(h, x, y, options, rect, t.s, nullptr, false);
    // The program gives one spacing per byte: a character advances by the sum
    // of its bytes' spacings.
    std::vector<int> per_unit(static_cast<std::size_t>(t.s.size()), 0);
    for (qsizetype i = 0; i < t.s.size(); ++i)
        for (int b = t.first_byte[static_cast<std::size_t>(i)];
             b < t.byte_after(static_cast<int>(i)); ++b)
            per_unit[static_cast<std::size_t>(i)] += dx[b];
    return text_out(h, x, y, options, rect, t.s, per_unit.data(), false);
}

BOOL GetTextExtentPoint32(HDC h, const char* text, int length, SIZE* size) {
    Dc* d = dc(h);
    if (!d || !size || length < 0 || (length > 0 && !text)) return FALSE;
    Extent e = logical_extent(*d, decode_program_text(text, length));
    *size = SIZE{e.cx, e.cy};
    return TRUE;
}

BOOL GetTextExtentPoint(HDC h, const char* text, int length, SIZE* size) {
    return GetTextExtentPoint32(h, text, length, size);
}

BOOL GetTextExtentExPoint(HDC h, const char* text, int length, int max_extent, int* fit, int* dx,
                          SIZE* size) {
    Dc* d = dc(h);
    if (!d || length < 0 || (length > 0 && !text)) return FALSE;
    ProgramText t(text, length);
    const QString& s = t.s;
    QFontMetricsF fm(current_qfont(*d));
    std::vector<double> adv = advances(*d, fm, s);
    double sx = scale_x(d->s);
    if (sx <= 0) sx = 1;
    // Counted in the program's bytes: every byte of a character has the
    // extent to the character's end, and only whole characters fit.
    double at = 0;
    int n = 0;
    bool fits = true;
    for (qsizetype i = 0; i < s.size(); ++i) {
        at += adv[static_cast<std::size_t>(i)];
        LONG lw = static_cast<LONG>(std::lround(at / sx));
        int end = t.byte_after(static_cast<int>(i));
        if (dx)
            for (int b = t.first_byte[static_cast<std::size_t>(i)]; b < end; ++b) dx[b] = lw;
        fits = fits && lw <= max_extent;
        if (fits) n = end;
    }
    if (fit) *fit = n;
    if (size) {
        Extent e = logical_extent(*d, s);
        *size = SIZE{e.cx, e.cy};
    }
    return TRUE;
}

BOOL GetTextMetrics(HDC h, TEXTMETRIC* tm) {
    Dc* d = dc(h);
    if (!d || !tm) return FALSE;
    QFont f = current_qfont(*d);
    QFontMetricsF fm(f);
    Object* o = object(d->s.font, Kind::font);
    double sy = scale_y(d->s), sx = scale_x(d->s);
    if (sy <= 0) sy = 1;
    if (sx <= 0) sx = 1;
    auto ly = [&](double v) { return static_cast<LONG>(std::lround(v / sy)); };
    auto lx = [&](double v) { return static_cast<LONG>(std::lround(v / sx)); };
    *tm = TEXTMETRIC{};
    double asc = std::ceil(fm.ascent()), desc = std::ceil(fm.descent());
    tm->tmAscent = ly(asc);
    tm->tmDescent = ly(desc);
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = std::max<LONG>(0, tm->tmHeight - ly(f.pixelSize()));
    tm->tmExternalLeading = std::max<LONG>(0, ly(fm.leading()));
    tm->tmAveCharWidth = lx(fm.averageCharWidth());
    tm->tmMaxCharWidth = lx(fm.maxWidth());
    tm->tmWeight = o && o->lf.lfWeight > 0 ? o->lf.lfWeight : FW_NORMAL;
    tm->tmOverhang = 0;
    tm->tmDigitizedAspectX = d->dpi_x;
    tm->tmDigitizedAspectY = d->dpi_y;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = f.italic() ? 1 : 0;
    tm->tmUnderlined = f.underline() ? 1 : 0;
    tm->tmStruckOut = f.strikeOut() ? 1 : 0;
    QFontInfo info(f);
    BYTE family = o ? static_cast<BYTE>(o->lf.lfPitchAndFamily & 0xF0) : FF_SWISS;
    if (family == FF_DONTCARE) family = info.fixedPitch() ? FF_MODERN : FF_SWISS;
    // The platform's bit 0 says "variable pitch" despite its name.
    tm->tmPitchAndFamily = static_cast<BYTE>(family | (info.fixedPitch() ? 0 : TMPF_FIXED_PITCH) |
                                             TMPF_VECTOR | TMPF_TRUETYPE);
    tm->tmCharSet = o ? o->lf.lfCharSet : ANSI_CHARSET;
    return TRUE;
}

BOOL GetCharWidth32(HDC h, UINT first, UINT last, int* widths) {
    Dc* d = dc(h);
    if (!d || !widths || last < first || last - first > 0xFFFF) return FALSE;
    QFontMetricsF fm(current_qfont(*d));
    double sx = scale_x(d->s);
    if (sx <= 0) sx = 1;
    for (UINT c = first; c <= last; ++c) {
        // Characters by their code points, as the program's UTF-8 text holds them.
        char32_t u = c <= 0x10FFFF && (c < 0xD800 || c >= 0xE000) ? c : 0xFFFD;
        QString s = QString::fromUcs4(&u, 1);
        widths[c - first] = static_cast<int>(std::lround(fm.horizontalAdvance(s) / sx));
    }
    return TRUE;
}

BOOL GetCharWidth(HDC h, UINT first, UINT last, int* widths) {
    return GetCharWidth32(h, first, last, widths);
}

int GetTextFace(HDC h, int size, char* face) {
    Dc* d = dc(h);
    if (!d) return 0;
    QFontInfo info(current_qfont(*d));
    QByteArray name = info.family().toUtf8();
    if (!face) return static_cast<int>(name.size()) + 1;
    if (size <= 0) return 0;
    int n = std::min(static_cast<int>(name.size()), size - 1);
    // A name cut short ends on a whole character.
    while (n > 0 && n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    std::memcpy(face, name.constData(), static_cast<std::size_t>(n));
    face[n] = 0;
    return n;
}

// ---------------------------------------------------------------------------
// DrawText

namespace {

struct Line {
    QString text;
    int underline = -1; // index of the mnemonic character
};

// Removes prefix characters: "&x" underlines x, "&&" is one "&".
QString strip_prefix(const QString& s, int& underline) {
    QString out;
    underline = -1;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) {
            ++i;
            if (s[i] != '&') underline = static_cast<int>(out.size());
        } else if (s[i] == '&') {
            continue;
        }
        out.append(s[i]);
    }
    return out;
}

// A text's width in logical units of the device, as DrawText lays it out.
struct logical_widths {
    Dc& d;
    QFontMetricsF fm;
    double sx;
    double operator()(const QString& s) const { return device_width(d, fm, s) / sx; }
};

// Tabs widened to blanks up to the next stop (every tab_w), with
// DT_EXPANDTABS; the text as it is otherwise.
QString expand_tabs(const QString& s, UINT format, double tab_w, const logical_widths& width_of) {
    if (!(format & DT_EXPANDTABS) || !s.contains('\t')) return s;
    QString out;
    for (QChar c : s) {
        if (c != '\t') {
            out.append(c);
            continue;
        }
        double w = width_of(out);
        double next = (std::floor(w / tab_w) + 1) * tab_w;
        do out.append(' ');
        while (width_of(out) < next - 0.5);
    }
    return out;
}

// A paragraph broken at blanks into lines no wider than box_w; a word wider
// than the box stays whole on its line.
void break_paragraph(const QString& p, int box_w, const logical_widths& width_of,
                     std::vector<Line>& lines) {
    int start = 0;
    while (start < p.size()) {
        int end = start, last_break = -1;
        while (end < p.size()) {
            if (p[end] == ' ') last_break = end;
            if (width_of(p.mid(start, end - start + 1)) > box_w && end > start) break;
            ++end;
        }
        if (end >= p.size()) {
            lines.push_back(Line{p.mid(start), -1});
            break;
        }
        int cut = last_break > start ? last_break : -1;
        if (cut < 0) { // no blank: the word runs to its end
            cut = end;
            while (cut < p.size() && p[cut] != ' ') ++cut;
        }
        lines.push_back(Line{p.mid(start, cut - start), -1});
        start = cut;
        while (start < p.size() && p[start] == ' ') ++start;
    }
}

// The text's lines as the format lays them out: its paragraphs (one with
// DT_SINGLELINE), their prefixes taken out and tabs expanded, word-wrapped
// with DT_WORDBREAK. At least one line.
std::vector<Line> lay_out_lines(const QString& all, UINT format, int box_w, double tab_w,
                                const logical_widths& width_of) {
    QStringList paras;
    if (format & DT_SINGLELINE) {
        QString s = all;
        s.replace('\r', ' ').replace('\n', ' ');
        paras << s;
    } else {
        QString s = all;
        s.replace("\r\n", "\n").replace('\r', '\n');
        paras = s.split('\n');
    }
    std::vector<Line> lines;
    for (const QString& para : paras) {
        int ul = -1;
        QString p = (format & DT_NOPREFIX) ? para : strip_prefix(para, ul);
        p = expand_tabs(p, format, tab_w, width_of);
        if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE) || width_of(p) <= box_w) {
            lines.push_back(Line{p, ul});
            continue;
        }
        break_paragraph(p, box_w, width_of, lines);
        if (ul >= 0 && !lines.empty()) lines.back().underline = -1;
    }
    if (lines.empty()) lines.push_back(Line{});
    return lines;
}

// Each line wider than the box cut to end in "..." within it.
void end_with_ellipsis(std::vector<Line>& lines, int box_w, const logical_widths& width_of) {
    for (Line& l : lines) {
        if (width_of(l.text) <= box_w) continue;
        QString t = l.text;
        while (!t.isEmpty() && width_of(t + "...") > box_w)
            t.chop(t.size() > 1 && t.back().isLowSurrogate() ? 2 : 1);
        l.text = t + "...";
        if (l.underline >= t.size()) l.underline = -1;
    }
}

// The mnemonic's underline of a line drawn at (x, y), in the text colour.
void underline_mnemonic(HDC h, const Line& l, int x, int y, const TEXTMETRIC& tm,
                        const logical_widths& width_of) {
    int ux = x + static_cast<int>(std::lround(width_of(l.text.left(l.underline))));
    int uw = static_cast<int>(
        std::lround(width_of(l.text.mid(l.underline, units_at(l.text, l.underline)))));
    HPEN pen = CreatePen(PS_SOLID, 0, GetTextColor(h));
    HGDIOBJ old = SelectObject(h, pen);
    POINT prev;
    MoveToEx(h, ux, y + tm.tmAscent + 1, &prev);
    LineTo(h, ux + uw, y + tm.tmAscent + 1);
    MoveToEx(h, prev.x, prev.y, nullptr);
    SelectObject(h, old);
    DeleteObject(pen);
}

} // namespace

int DrawText(HDC h, const char* text, int length, RECT* rect, UINT format) {
    Dc* d = dc(h);
    if (!d || !rect || (length != 0 && !text)) return 0;
    QString all = decode_program_text(text, length < 0 ? -1 : length);
    double sx = scale_x(d->s), sy = scale_y(d->s);
    if (sx <= 0) sx = 1;
    if (sy <= 0) sy = 1;
    const logical_widths width_of{*d, QFontMetricsF(current_qfont(*d)), sx};
    TEXTMETRIC tm;
    GetTextMetrics(h, &tm);
    int line_h = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
    int tab = (format & DT_TABSTOP) ? static_cast<int>((format >> 8) & 0xFF) : 8;
    if (format & DT_TABSTOP) format &= 0xFFFF00FF;
    double tab_w = tab * std::max<LONG>(1, tm.tmAveCharWidth);
    int box_w = rect->right - rect->left;

    std::vector<Line> lines = lay_out_lines(all, format, box_w, tab_w, width_of);
    if ((format & DT_END_ELLIPSIS) && !(format & DT_CALCRECT))
        end_with_ellipsis(lines, box_w, width_of);

    int total_h = line_h * static_cast<int>(lines.size());
    double max_w = 0;
    for (const Line& l : lines) max_w = std::max(max_w, width_of(l.text));

    if (format & DT_CALCRECT) {
        if (!(format & DT_WORDBREAK) || max_w > box_w || lines.size() == 1)
            rect->right = sat_add(rect->left, clamp_coord(std::ceil(max_w)));
        rect->bottom = rect->top + total_h;
        return total_h;
    }

    int y = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = rect->top + ((rect->bottom - rect->top) - line_h) / 2;
        else if (format & DT_BOTTOM)
            y = rect->bottom - line_h;
    }
    UINT saved_align = SetTextAlign(h, TA_LEFT | TA_TOP);
    UINT options = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    for (const Line& l : lines) {
        double w = width_of(l.text);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + static_cast<int>(std::lround((box_w - w) / 2));
        else if (format & DT_RIGHT)
            x = rect->right - static_cast<int>(std::lround(w));
        QByteArray bytes = l.text.toUtf8();
        ExtTextOut(h, x, y, options, options ? rect : nullptr, bytes.constData(),
                   static_cast<UINT>(bytes.size()), nullptr);
        if (l.underline >= 0 && l.underline < l.text.size() && !(format & DT_HIDEPREFIX))
            underline_mnemonic(h, l, x, y, tm, width_of);
        y += line_h;
    }
    SetTextAlign(h, saved_align);
    if (format & DT_SINGLELINE && (format & (DT_VCENTER | DT_BOTTOM))) return y - rect->top;
    return total_h;
}

// ---------------------------------------------------------------------------
// Font enumeration

namespace {

int enum_faces(HDC h, const QString& only, FONTENUMPROC proc, LPARAM data) {
    if (!proc || !dc(h)) return 0;
    int result = 1;
    const QStringList families = QFontDatabase::families();
    for (const QString& fam : families) {
        if (!only.isEmpty() && fam.compare(only, Qt::CaseInsensitive) != 0) continue;
        if (QFontDatabase::isPrivateFamily(fam)) continue;
        QByteArray name = fam.toUtf8();
        if (name.size() >= LF_FACESIZE) continue;
        QStringList styles = only.isEmpty() ? QStringList{QString()} : QFontDatabase::styles(fam);
        if (styles.isEmpty()) styles << QString();
        for (const QString& style : styles) {
            LOGFONT lf{};
            std::memcpy(lf.lfFaceName, name.constData(), static_cast<std::size_t>(name.size()));
            bool fixed = QFontDatabase::isFixedPitch(fam, style);
            lf.lfHeight = 16;
            lf.lfWeight = style.isEmpty() ? FW_NORMAL
                                          : std::clamp(QFontDatabase::weight(fam, style), 100, 900);
            lf.lfItalic = !style.isEmpty() && QFontDatabase::italic(fam, style) ? 1 : 0;
            lf.lfCharSet = ANSI_CHARSET;
            lf.lfOutPrecision = OUT_TT_PRECIS;
            lf.lfPitchAndFamily =
                static_cast<BYTE>((fixed ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_SWISS));
            HFONT f = CreateFontIndirect(&lf);
            HGDIOBJ old = SelectObject(h, f);
            NEWTEXTMETRIC tm{};
            GetTextMetrics(h, &tm);
            SelectObject(h, old);
            DeleteObject(f);
            tm.ntmSizeEM = 2048;
            tm.ntmCellHeight = static_cast<UINT>(tm.tmHeight);
            tm.ntmAvgWidth = static_cast<UINT>(tm.tmAveCharWidth);
            result = proc(&lf, &tm, TRUETYPE_FONTTYPE, data);
            if (result == 0) return 0;
        }
    }
    return result;
}

} // namespace

int EnumFontFamilies(HDC h, const char* family, FONTENUMPROC proc, LPARAM data) {
    return enum_faces(h, family ? decode_program_text(family, -1) : QString(), proc, data);
}

int EnumFontFamiliesEx(HDC h, const LOGFONT* font, FONTENUMPROC proc, LPARAM data, DWORD) {
    QString only;
    if (font)
        only = decode_program_text(font->lfFaceName,
                                   static_cast<int>(strnlen(font->lfFaceName, LF_FACESIZE)));
    return enum_faces(h, only, proc, data);
}

QFont gdi_qfont(HFONT font) {
    Object* o = object(font, Kind::font);
    LOGFONT lf;
    if (o)
        lf = o->lf;
    else
        default_font(lf, DEFAULT_GUI_FONT);
    return make_qfont(lf, 1.0, 1.0);
}
