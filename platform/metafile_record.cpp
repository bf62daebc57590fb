// Metafile contexts: the recorder that writes Windows metafile and enhanced
// metafile records for the drawing calls, the metafile handles, and the
// file and byte interfaces (copy, bits, placeable header).
#include "platform/metafile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace gdi {

namespace {

HandleTable<Metafile>& metafiles() {
    static HandleTable<Metafile> t(tag_metafile);
    return t;
}

std::uint32_t tok(const void* h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}

int stock_index(HGDIOBJ h) {
    for (int i = 0; i <= DC_PEN; ++i)
        if (stock(i) && stock(i) == h) return i;
    return -1;
}

} // namespace

std::int16_t clamp16(long v) {
    return static_cast<std::int16_t>(std::clamp<long>(v, -32768, 32767));
}

Metafile* metafile(std::uint32_t token, bool emf) {
    Metafile* m = metafiles().get(token);
    if (!m || m->emf != emf) return nullptr;
    return m;
}

std::uint32_t add_metafile(std::unique_ptr<Metafile> mf) {
    return metafiles().add(std::move(mf));
}

// ---------------------------------------------------------------------------
// Recorder

Recorder::Recorder(bool e, std::string f) : emf(e), file(std::move(f)) {}

void Recorder::w(WORD function, std::initializer_list<int> params) {
    Bytes b;
    for (int v : params) {
        if (v > 65535 || v < -32768)
            b.i16(clamp16(v));
        else
            b.u16(static_cast<unsigned>(v) & 0xFFFF);
    }
    w_raw(function, b);
}

void Recorder::w_raw(WORD function, const Bytes& params) {
    std::size_t words = 3 + (params.v.size() + 1) / 2;
    Bytes b;
    b.u32(static_cast<std::uint32_t>(words));
    b.u16(function);
    body.insert(body.end(), b.v.begin(), b.v.end());
    body.insert(body.end(), params.v.begin(), params.v.end());
    if (params.v.size() % 2) body.push_back(0);
    ++records;
    max_record_words = std::max<std::uint32_t>(max_record_words, static_cast<std::uint32_t>(words));
}

void Recorder::e(DWORD type, std::initializer_list<std::int32_t> params) {
    Bytes b;
    for (std::int32_t v : params) b.i32(v);
    e_raw(type, b);
}

void Recorder::e_raw(DWORD type, const Bytes& params) {
    std::size_t size = 8 + ((params.v.size() + 3) / 4) * 4;
    Bytes b;
    b.u32(type);
    b.u32(static_cast<std::uint32_t>(size));
    body.insert(body.end(), b.v.begin(), b.v.end());
    body.insert(body.end(), params.v.begin(), params.v.end());
    while ((body.size() % 4) != 0) body.push_back(0);
    ++records;
}

int Recorder::slot_for(std::uint32_t token) const {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i] == token) return static_cast<int>(i);
    return -1;
}

int Recorder::new_slot(std::uint32_t token) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i] == 0) {
            table[i] = token;
            return static_cast<int>(i);
        }
    table.push_back(token);
    max_table = std::max(max_table, table.size());
    return static_cast<int>(table.size() - 1);
}

bool Recorder::select(HGDIOBJ obj) {
    Object* o = object_any(obj);
    if (!o) return false;
    if (o->kind != Kind::pen && o->kind != Kind::brush && o->kind != Kind::font) return false;
    std::uint32_t t = tok(obj);
    if (emf) {
        int si = stock_index(obj);
        if (si >= 0) {
            e(emr::SELECTOBJECT,
              {static_cast<std::int32_t>(emf_stock_bit | static_cast<DWORD>(si))});
            return true;
        }
    }
    int slot = slot_for(t);
    if (slot < 0) {
        slot = new_slot(t);
        int ih = emf ? slot + 1 : slot; // enhanced handle 0 is the metafile itself
        Bytes b;
        switch (o->kind) {
        case Kind::pen:
            if (emf) {
                b.u32(static_cast<std::uint32_t>(ih));
                b.u32(static_cast<std::uint32_t>(o->pen_style));
                b.i32(o->pen_width);
                b.i32(0);
                b.u32(o->colour);
                e_raw(emr::CREATEPEN, b);
            } else {
                b.u16(static_cast<unsigned>(o->pen_style) & 0xFFFF);
                b.i16(clamp16(o->pen_width));
                b.i16(0);
                b.u32(o->colour);
                w_raw(wmf::CREATEPENINDIRECT, b);
            }
            break;
        case Kind::brush:
            if (o->brush_style == BS_PATTERN || o->brush_style == BS_DIBPATTERNPT) {
                std::vector<BYTE> dib = encode_dib(o->pattern, o->pattern_mono);
                if (emf) {
                    std::size_t colours = o->pattern_mono ? 8 : 0;
                    std::size_t bmi = 40 + colours;
                    b.u32(static_cast<std::uint32_t>(ih));
                    b.u32(DIB_RGB_COLORS);
                    b.u32(32);
                    b.u32(static_cast<std::uint32_t>(bmi));
                    b.u32(static_cast<std::uint32_t>(32 + bmi));
                    b.u32(static_cast<std::uint32_t>(dib.size() - bmi));
                    b.raw(dib.data(), dib.size());
                    e_raw(o->pattern_mono ? emr::CREATEMONOBRUSH : emr::CREATEDIBPATTERNBRUSHPT, b);
                } else {
                    b.u16(o->pattern_mono ? BS_PATTERN : BS_DIBPATTERNPT);
                    b.u16(DIB_RGB_COLORS);
                    b.raw(dib.data(), dib.size());
                    w_raw(wmf::DIBCREATEPATTERNBRUSH, b);
                }
            } else if (emf) {
                b.u32(static_cast<std::uint32_t>(ih));
                b.u32(static_cast<std::uint32_t>(o->brush_style));
                b.u32(o->colour);
                b.u32(static_cast<std::uint32_t>(o->hatch));
                e_raw(emr::CREATEBRUSHINDIRECT, b);
            } else {
                b.u16(static_cast<unsigned>(o->brush_style));
                b.u32(o->colour);
                b.u16(static_cast<unsigned>(o->hatch));
                w_raw(wmf::CREATEBRUSHINDIRECT, b);
            }
            break;
        case Kind::font: {
            const LOGFONT& lf = o->lf;
            if (emf) {
                b.u32(static_cast<std::uint32_t>(ih));
                b.i32(lf.lfHeight);
                b.i32(lf.lfWidth);
                b.i32(lf.lfEscapement);
                b.i32(lf.lfOrientation);
                b.i32(lf.lfWeight);
                for (BYTE v :
                     {lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, lf.lfCharSet, lf.lfOutPrecision,
                      lf.lfClipPrecision, lf.lfQuality, lf.lfPitchAndFamily})
                    b.u8(v);
                QString face = decode_program_text(
                    lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE)));
                for (int i = 0; i < LF_FACESIZE; ++i)
                    b.u16(i < face.size() ? face[i].unicode() : 0);
                e_raw(emr::EXTCREATEFONTINDIRECTW, b);
            } else {
                b.i16(clamp16(lf.lfHeight));
                b.i16(clamp16(lf.lfWidth));
                b.i16(clamp16(lf.lfEscapement));
                b.i16(clamp16(lf.lfOrientation));
                b.i16(clamp16(lf.lfWeight));
                for (BYTE v :
                     {lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, lf.lfCharSet, lf.lfOutPrecision,
                      lf.lfClipPrecision, lf.lfQuality, lf.lfPitchAndFamily})
                    b.u8(v);
                b.raw(lf.lfFaceName, LF_FACESIZE);
                w_raw(wmf::CREATEFONTINDIRECT, b);
            }
            break;
        }
        default:
            return false;
        }
    }
    if (emf)
        e(emr::SELECTOBJECT, {slot + 1});
    else
        w(wmf::SELECTOBJECT, {slot});
    return true;
}

void Recorder::forget(std::uint32_t token) {
    int slot = slot_for(token);
    if (slot < 0) return;
    if (emf)
        e(emr::DELETEOBJECT, {slot + 1});
    else
        w(wmf::DELETEOBJECT, {slot});
    table[static_cast<std::size_t>(slot)] = 0;
}

void Recorder::add_bounds(const QRect& r) {
    bounds = bounds.isNull() ? r : bounds.united(r);
}

std::vector<BYTE> Recorder::finish() {
    Bytes out;
    if (!emf) {
        std::uint32_t total_words = 9 + static_cast<std::uint32_t>(body.size() / 2) + 3;
        // Type 1 whether the picture goes to memory or to a disk file: readers
        // of other programs refuse any other value.
        out.u16(1);
        out.u16(9);
        out.u16(0x0300);
        out.u32(total_words);
        out.u16(static_cast<unsigned>(std::min<std::size_t>(max_table, 0xFFFF)));
        out.u32(std::max<std::uint32_t>(max_record_words, 3));
        out.u16(0);
        out.raw(body.data(), body.size());
        out.u32(3);
        out.u16(wmf::EOF_);
        return out.v;
    }
    // Enhanced: header (108 bytes and the description), records, end record.
    std::size_t desc_bytes = description.size() * 2;
    std::size_t header_size = 108 + ((desc_bytes + 3) / 4) * 4;
    QRect bb = bounds.isNull() ? QRect(0, 0, 0, 0) : bounds;
    RECT fr = frame;
    if (!frame_given) {
        // The frame from the drawing's bounds, in 0.01 mm of the reference.
        auto mmx = [&](int px) {
            return static_cast<LONG>(static_cast<long long>(px) * ref_mm.width() * 100 /
                                     std::max(1, ref_pixels.width()));
        };
        auto mmy = [&](int px) {
            return static_cast<LONG>(static_cast<long long>(px) * ref_mm.height() * 100 /
                                     std::max(1, ref_pixels.height()));
        };
        fr = RECT{mmx(bb.left()), mmy(bb.top()), mmx(bb.right() + 1), mmy(bb.bottom() + 1)};
    }
    std::uint32_t total = static_cast<std::uint32_t>(header_size + body.size() + 20);
    out.u32(emr::HEADER);
    out.u32(static_cast<std::uint32_t>(header_size));
    if (bounds.isNull()) {
        out.i32(0);
        out.i32(0);
        out.i32(-1);
        out.i32(-1);
    } else {
        out.i32(bb.left());
        out.i32(bb.top());
        out.i32(bb.right());
        out.i32(bb.bottom());
    }
    out.i32(fr.left);
    out.i32(fr.top);
    out.i32(fr.right);
    out.i32(fr.bottom);
    out.u32(emf_signature);
    out.u32(0x00010000);
    out.u32(total);
    out.u32(records + 2);
    out.u16(static_cast<unsigned>(std::min<std::size_t>(max_table + 1, 0xFFFF)));
    out.u16(0);
    out.u32(static_cast<std::uint32_t>(description.size()));
    out.u32(description.empty() ? 0 : 108);
    out.u32(0);
    out.i32(ref_pixels.width());
    out.i32(ref_pixels.height());
    out.i32(ref_mm.width());
    out.i32(ref_mm.height());
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.i32(ref_mm.width() * 1000);
    out.i32(ref_mm.height() * 1000);
    for (char16_t c : description) out.u16(c);
    out.pad_to(4);
    out.raw(body.data(), body.size());
    out.u32(emr::EOF_);
    out.u32(20);
    out.u32(0);
    out.u32(16);
    out.u32(20);
    return out.v;
}

// ---------------------------------------------------------------------------
// Recording helpers

void record_rect_call(Dc& d, WORD wfn, DWORD etype, int l, int t, int r, int b) {
    if (!d.rec) return;
    if (d.rec->emf)
        d.rec->e(etype, {l, t, r, b});
    else
        d.rec->w(wfn, {b, r, t, l});
}

void record_points(Dc& d, WORD wfn, DWORD etype, const POINT* pts, int count) {
    if (!d.rec) return;
    Bytes b;
    if (d.rec->emf) {
        Mapper m(d.s);
        QPolygon poly(count);
        for (int i = 0; i < count; ++i) poly[i] = m(pts[i]);
        QRect bb = poly.boundingRect();
        b.i32(bb.left());
        b.i32(bb.top());
        b.i32(bb.right());
        b.i32(bb.bottom());
        b.u32(static_cast<std::uint32_t>(count));
        for (int i = 0; i < count; ++i) {
            b.i32(pts[i].x);
            b.i32(pts[i].y);
        }
        d.rec->e_raw(etype, b);
    } else {
        b.u16(static_cast<unsigned>(std::min(count, 0x7FFF)));
        for (int i = 0; i < std::min(count, 0x7FFF); ++i) {
            b.i16(clamp16(pts[i].x));
            b.i16(clamp16(pts[i].y));
        }
        d.rec->w_raw(wfn, b);
    }
}

void record_blit(Dc& d, int x, int y, int w, int h, const QImage* src, int sx, int sy, int sw,
                 int sh, DWORD rop) {
    if (!d.rec) return;
    Recorder& r = *d.rec;
    std::vector<BYTE> dib = src ? encode_dib(*src, false) : std::vector<BYTE>();
    Bytes b;
    if (r.emf) {
        // Both transfer records start with the bounds and the destination's corner.
        Mapper m(d.s);
        int L, T, R, B;
        m.box(x, y, static_cast<double>(x) + w, static_cast<double>(y) + h, L, T, R, B);
        b.i32(L);
        b.i32(T);
        b.i32(R - 1);
        b.i32(B - 1);
        b.i32(x);
        b.i32(y);
        if (!src) {
            b.i32(w);
            b.i32(h);
            b.u32(rop);
            b.i32(0);
            b.i32(0);
            // The source transform (identity) and colour: there is no source.
            for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) {
                std::uint32_t u;
                std::memcpy(&u, &f, 4);
                b.u32(u);
            }
            b.u32(0);
            b.u32(DIB_RGB_COLORS);
            for (int k = 0; k < 4; ++k) b.u32(0); // no bitmap: offsets and sizes
            r.e_raw(emr::BITBLT, b);
            return;
        }
        b.i32(sx);
        b.i32(sy);
        b.i32(sw);
        b.i32(sh);
        b.u32(80);                                          // offBmiSrc
        b.u32(40);                                          // cbBmiSrc
        b.u32(120);                                         // offBitsSrc
        b.u32(static_cast<std::uint32_t>(dib.size() - 40)); // cbBitsSrc
        b.u32(DIB_RGB_COLORS);
        b.u32(rop);
        b.i32(w);
        b.i32(h);
        b.raw(dib.data(), dib.size());
        r.e_raw(emr::STRETCHDIBITS, b);
        return;
    }
    if (!src) {
        r.w(wmf::PATBLT, {static_cast<int>(rop & 0xFFFF), static_cast<int>(rop >> 16), h, w, y, x});
        return;
    }
    b.u16(rop & 0xFFFF);
    b.u16(rop >> 16);
    b.i16(sh);
    b.i16(sw);
    b.i16(sy);
    b.i16(sx);
    b.i16(clamp16(h));
    b.i16(clamp16(w));
    b.i16(clamp16(y));
    b.i16(clamp16(x));
    b.raw(dib.data(), dib.size());
    r.w_raw(wmf::DIBSTRETCHBLT, b);
}

void record_clip_region(Dc& d, const QRegion* region) {
    if (!d.rec) return;
    Recorder& r = *d.rec;
    if (r.emf) {
        Bytes b;
        if (!region) {
            b.u32(0);
            b.u32(RGN_COPY);
        } else {
            std::uint32_t n = static_cast<std::uint32_t>(region->rectCount());
            b.u32(32 + 16 * n);
            b.u32(RGN_COPY);
            QRect bb = region->boundingRect();
            b.u32(32);
            b.u32(1);
            b.u32(n);
            b.u32(16 * n);
            b.i32(bb.left());
            b.i32(bb.top());
            b.i32(bb.right() + 1);
            b.i32(bb.bottom() + 1);
            for (const QRect& q : *region) {
                b.i32(q.left());
                b.i32(q.top());
                b.i32(q.right() + 1);
                b.i32(q.bottom() + 1);
            }
        }
        r.e_raw(emr::EXTSELECTCLIPRGN, b);
        return;
    }
    if (!region) {
        // No region object stands for "no clip": an index no object holds.
        r.w(wmf::SELECTCLIPREGION, {0xFFFF});
        return;
    }
    // A region object: scans of equal-height bands, each with its x pairs.
    std::vector<std::vector<QRect>> scans;
    for (const QRect& q : *region) {
        if (!scans.empty() && scans.back().front().top() == q.top() &&
            scans.back().front().bottom() == q.bottom())
            scans.back().push_back(q);
        else
            scans.push_back({q});
    }
    Bytes s;
    std::size_t max_scan = 0;
    for (const auto& sc : scans) {
        s.u16(static_cast<unsigned>(sc.size() * 2));
        s.i16(clamp16(sc.front().top()));
        s.i16(clamp16(sc.front().bottom() + 1));
        for (const QRect& q : sc) {
            s.i16(clamp16(q.left()));
            s.i16(clamp16(q.right() + 1));
        }
        s.u16(static_cast<unsigned>(sc.size() * 2));
        max_scan = std::max(max_scan, sc.size() * 2);
    }
    QRect bb = region->boundingRect();
    Bytes b;
    b.u16(0);                                      // nextInChain
    b.u16(6);                                      // ObjectType: region
    b.u32(0);                                      // ObjectCount
    b.u16(static_cast<unsigned>(22 + s.v.size())); // RegionSize
    b.u16(static_cast<unsigned>(scans.size()));    // ScanCount
    b.u16(static_cast<unsigned>(max_scan));        // maxScan
    b.i16(clamp16(bb.left()));
    b.i16(clamp16(bb.top()));
    b.i16(clamp16(bb.right() + 1));
    b.i16(clamp16(bb.bottom() + 1));
    b.raw(s.v.data(), s.v.size());
    // The region occupies a slot while it is selected, then goes away.
    int slot = -1;
    for (std::size_t i = 0; i < r.table.size(); ++i)
        if (r.table[i] == 0) {
            slot = static_cast<int>(i);
            break;
        }
    if (slot < 0) {
        r.table.push_back(0);
        r.max_table = std::max(r.max_table, r.table.size());
        slot = static_cast<int>(r.table.size() - 1);
    }
    r.w_raw(wmf::CREATEREGION, b);
    r.w(wmf::SELECTCLIPREGION, {slot});
    r.w(wmf::DELETEOBJECT, {slot});
}

} // namespace gdi

using namespace gdi;

// ---------------------------------------------------------------------------
// Metafile contexts

namespace {

bool write_file(const std::string& name, const std::vector<BYTE>& bytes) {
    QFile f(QString::fromLocal8Bit(name.c_str()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail("cannot write " + name + ": " + f.errorString().toStdString());
        return false;
    }
    if (f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        fail("cannot write " + name + ": " + f.errorString().toStdString());
        return false;
    }
    return true;
}

bool read_file(const char* name, std::vector<BYTE>& out) {
    if (!name) return false;
    // Opened without blocking and checked by its descriptor: a named pipe or
    // a device given as a picture is refused instead of waiting or reading
    // for ever.
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(std::string(name) + ": cannot open: " + std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(std::string(name) +
             ": cannot open: " + (S_ISDIR(st.st_mode) ? "Is a directory" : "not a regular file"));
        return false;
    }
    if (st.st_size > 256LL * 1024 * 1024) {
        ::close(fd);
        fail(std::string(name) + ": file too large for a metafile");
        return false;
    }
    out.assign(static_cast<std::size_t>(st.st_size), 0);
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(got); // a file that shrank meanwhile is read as it now is
    return true;
}

// The message of a picture played past its limits, once for each picture
// (it is played again at every paint).
void tell_limits(std::uint32_t token, bool emf, const std::string& reached) {
    if (reached.empty()) return;
    Metafile* m = metafile(token, emf); // null when deleted while playing
    if (m && m->told_limits) return;
    if (m) m->told_limits = true;
    fail(limits_message(reached, emf));
}

HDC create_metafile_dc(bool emf, const char* file) {
    auto d = std::make_unique<Dc>();
    d->kind = emf ? DcKind::emf : DcKind::wmf;
    d->rec = std::make_unique<Recorder>(emf, file ? std::string(file) : std::string());
    d->dpi_x = screen_dpi;
    d->dpi_y = screen_dpi;
    return add_dc(std::move(d));
}

template <typename H> H metafile_handle(std::uint32_t t) {
    return reinterpret_cast<H>(static_cast<std::uintptr_t>(t));
}

std::uint32_t get32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A Windows metafile from bytes that may start with a placeable header.
std::unique_ptr<Metafile> wmf_from_bytes(const BYTE* data, std::size_t size, const char* who) {
    std::size_t skip = 0;
    if (size >= 4 && get32(data) == placeable_key) {
        if (size < 22) {
            fail(std::string(who) + ": placeable header truncated");
            return nullptr;
        }
        skip = 22;
    }
    std::vector<BYTE> bytes(data + skip, data + size);
    // Some writers count the placeable header in the metafile's size: a size
    // exactly that much larger than what follows the header is taken as the
    // data's own.
    if (skip && bytes.size() >= 18 && bytes.size() % 2 == 0 &&
        static_cast<std::size_t>(get32(&bytes[6])) * 2 == bytes.size() + skip) {
        std::uint32_t words = static_cast<std::uint32_t>(bytes.size() / 2);
        for (int i = 0; i < 4; ++i) bytes[6 + i] = static_cast<BYTE>(words >> (8 * i));
    }
    std::string err;
    SkippedRecords skipped;
    if (!validate_wmf(bytes.data(), bytes.size(), err, &skipped)) {
        fail(std::string(who) + ": " + err);
        return nullptr;
    }
    if (skipped.count) fail(std::string(who) + ": " + skipped_message(skipped, false));
    // Type 2 (an old mark for a disk file) is read, but kept as 1: the bytes
    // leave again through every path (bits, copies, the clipboard, files) and
    // other programs' readers refuse 2.
    bytes[0] = 1;
    bytes[1] = 0;
    auto mf = std::make_unique<Metafile>();
    mf->emf = false;
    mf->bytes = std::move(bytes);
    // Keep exactly the metafile's own length.
    std::uint32_t words = get32(&mf->bytes[6]);
    if (static_cast<std::size_t>(words) * 2 <= mf->bytes.size()) mf->bytes.resize(words * 2ull);
    return mf;
}

std::unique_ptr<Metafile> emf_from_bytes(const BYTE* data, std::size_t size, const char* who) {
    std::string err;
    SkippedRecords skipped;
    if (!validate_emf(data, size, err, &skipped)) {
        fail(std::string(who) + ": " + err);
        return nullptr;
    }
    if (skipped.count) fail(std::string(who) + ": " + skipped_message(skipped, true));
    auto mf = std::make_unique<Metafile>();
    mf->emf = true;
    std::uint32_t n = static_cast<std::uint32_t>(data[48]) | (data[49] << 8) | (data[50] << 16) |
                      (static_cast<std::uint32_t>(data[51]) << 24);
    mf->bytes.assign(data, data + std::min<std::size_t>(n, size));
    return mf;
}

} // namespace

HDC CreateMetaFile(const char* file) {
    return create_metafile_dc(false, file);
}

HMETAFILE CloseMetaFile(HDC h) {
    Dc* d = dc(h);
    if (!d || d->kind != DcKind::wmf || !d->rec) {
        fail("CloseMetaFile: not a metafile context");
        return nullptr;
    }
    auto mf = std::make_unique<Metafile>();
    mf->bytes = d->rec->finish();
    std::string file = d->rec->file;
    DeleteDC(h);
    if (!file.empty() && !write_file(file, mf->bytes)) return nullptr;
    return metafile_handle<HMETAFILE>(add_metafile(std::move(mf)));
}

BOOL DeleteMetaFile(HMETAFILE mf) {
    std::uint32_t t = tok(mf);
    if (!metafile(t, false)) {
        fail("DeleteMetaFile: stale or unknown metafile handle");
        return FALSE;
    }
    metafiles().remove(t);
    return TRUE;
}

HMETAFILE CopyMetaFile(HMETAFILE mf, const char* file) {
    Metafile* m = metafile(tok(mf), false);
    if (!m) {
        fail("CopyMetaFile: stale or unknown metafile handle");
        return nullptr;
    }
    auto copy = std::make_unique<Metafile>(*m); // type 1 since it was read
    if (file && !write_file(file, copy->bytes)) return nullptr;
    return metafile_handle<HMETAFILE>(add_metafile(std::move(copy)));
}

HMETAFILE GetMetaFile(const char* file) {
    std::vector<BYTE> bytes;
    if (!read_file(file, bytes)) return nullptr;
    auto mf = wmf_from_bytes(bytes.data(), bytes.size(), file);
    if (!mf) return nullptr;
    return metafile_handle<HMETAFILE>(add_metafile(std::move(mf)));
}

UINT GetMetaFileBitsEx(HMETAFILE mf, UINT size, void* buffer) {
    Metafile* m = metafile(tok(mf), false);
    if (!m) {
        fail("GetMetaFileBitsEx: stale or unknown metafile handle");
        return 0;
    }
    if (!buffer) return static_cast<UINT>(m->bytes.size());
    if (size < m->bytes.size()) {
        fail("GetMetaFileBitsEx: buffer too small");
        return 0;
    }
    std::memcpy(buffer, m->bytes.data(), m->bytes.size());
    return static_cast<UINT>(m->bytes.size());
}

HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
    if (!data) return nullptr;
    auto mf = wmf_from_bytes(data, size, "SetMetaFileBitsEx");
    if (!mf) return nullptr;
    return metafile_handle<HMETAFILE>(add_metafile(std::move(mf)));
}

BOOL PlayMetaFile(HDC h, HMETAFILE mf) {
    Metafile* m = metafile(tok(mf), false);
    if (!m) {
        fail("PlayMetaFile: stale or unknown metafile handle");
        return FALSE;
    }
    std::vector<BYTE> bytes = m->bytes; // the handle may be deleted while playing
    std::string limits;
    bool ok = play_wmf(h, bytes, &limits);
    tell_limits(tok(mf), false, limits);
    return ok ? TRUE : FALSE;
}

HDC CreateEnhMetaFile(HDC reference, const char* file, const RECT* frame, const char* description) {
    HDC h = create_metafile_dc(true, file);
    Dc* d = dc(h);
    if (!d) return nullptr;
    Dc* ref = reference ? dc(reference) : nullptr;
    if (reference && !ref) {
        DeleteDC(h);
        return nullptr;
    }
    Recorder& r = *d->rec;
    if (ref) {
        d->dpi_x = ref->dpi_x;
        d->dpi_y = ref->dpi_y;
        r.ref_pixels = QSize(device_caps(*ref, HORZRES), device_caps(*ref, VERTRES));
        r.ref_mm = QSize(device_caps(*ref, HORZSIZE), device_caps(*ref, VERTSIZE));
    } else {
        QSize z = screen_size();
        r.ref_pixels = z;
        r.ref_mm = QSize(static_cast<int>(std::lround(z.width() * 25.4 / screen_dpi)),
                         static_cast<int>(std::lround(z.height() * 25.4 / screen_dpi)));
    }
    if (frame) {
        r.frame_given = true;
        r.frame = *frame;
    }
    if (description) {
        // "application\0title\0\0": two strings, each with its terminator.
        const char* p = description;
        for (int part = 0; part < 2; ++part) {
            std::size_t n = std::strlen(p);
            QString s = decode_program_text(p, static_cast<int>(n));
            for (QChar c : s) r.description.push_back(c.unicode());
            r.description.push_back(0);
            p += n + 1;
            if (n == 0) break;
        }
        r.description.push_back(0);
    }
    return h;
}

HENHMETAFILE CloseEnhMetaFile(HDC h) {
    Dc* d = dc(h);
    if (!d || d->kind != DcKind::emf || !d->rec) {
        fail("CloseEnhMetaFile: not an enhanced metafile context");
        return nullptr;
    }
    auto mf = std::make_unique<Metafile>();
    mf->emf = true;
    mf->bytes = d->rec->finish();
    std::string file = d->rec->file;
    DeleteDC(h);
    if (!file.empty() && !write_file(file, mf->bytes)) return nullptr;
    return metafile_handle<HENHMETAFILE>(add_metafile(std::move(mf)));
}

BOOL DeleteEnhMetaFile(HENHMETAFILE emf) {
    std::uint32_t t = tok(emf);
    if (!metafile(t, true)) {
        fail("DeleteEnhMetaFile: stale or unknown enhanced metafile handle");
        return FALSE;
    }
    metafiles().remove(t);
    return TRUE;
}

HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE emf, const char* file) {
    Metafile* m = metafile(tok(emf), true);
    if (!m) {
        fail("CopyEnhMetaFile: stale or unknown enhanced metafile handle");
        return nullptr;
    }
    auto copy = std::make_unique<Metafile>(*m);
    if (file && !write_file(file, copy->bytes)) return nullptr;
    return metafile_handle<HENHMETAFILE>(add_metafile(std::move(copy)));
}

HENHMETAFILE GetEnhMetaFile(const char* file) {
    std::vector<BYTE> bytes;
    if (!read_file(file, bytes)) return nullptr;
    auto mf = emf_from_bytes(bytes.data(), bytes.size(), file);
    if (!mf) return nullptr;
    return metafile_handle<HENHMETAFILE>(add_metafile(std::move(mf)));
}

UINT GetEnhMetaFileBits(HENHMETAFILE emf, UINT size, BYTE* buffer) {
    Metafile* m = metafile(tok(emf), true);
    if (!m) {
        fail("GetEnhMetaFileBits: stale or unknown enhanced metafile handle");
        return 0;
    }
    if (!buffer) return static_cast<UINT>(m->bytes.size());
    if (size < m->bytes.size()) {
        fail("GetEnhMetaFileBits: buffer too small");
        return 0;
    }
    std::memcpy(buffer, m->bytes.data(), m->bytes.size());
    return static_cast<UINT>(m->bytes.size());
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
    if (!data) return nullptr;
    auto mf = emf_from_bytes(data, size, "SetEnhMetaFileBits");
    if (!mf) return nullptr;
    return metafile_handle<HENHMETAFILE>(add_metafile(std::move(mf)));
}

UINT GetEnhMetaFileHeader(HENHMETAFILE emf, UINT size, ENHMETAHEADER* header) {
    Metafile* m = metafile(tok(emf), true);
    if (!m) {
        fail("GetEnhMetaFileHeader: stale or unknown enhanced metafile handle");
        return 0;
    }
    std::uint32_t hsize = static_cast<std::uint32_t>(m->bytes[4]) | (m->bytes[5] << 8) |
                          (m->bytes[6] << 16) | (static_cast<std::uint32_t>(m->bytes[7]) << 24);
    UINT n = static_cast<UINT>(
        std::min<std::size_t>(std::min<std::uint32_t>(hsize, 108), sizeof(ENHMETAHEADER)));
    if (!header) return n;
    if (size < n) n = size;
    std::memset(header, 0, std::min<std::size_t>(size, sizeof(ENHMETAHEADER)));
    std::memcpy(header, m->bytes.data(), n);
    return n;
}

BOOL PlayEnhMetaFile(HDC h, HENHMETAFILE emf, const RECT* rect) {
    Metafile* m = metafile(tok(emf), true);
    if (!m) {
        fail("PlayEnhMetaFile: stale or unknown enhanced metafile handle");
        return FALSE;
    }
    if (!rect) return FALSE;
    std::vector<BYTE> bytes = m->bytes;
    std::string limits;
    bool ok = play_emf(h, bytes, rect, &limits);
    tell_limits(tok(emf), true, limits);
    return ok ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Placeable files

WORD placeable_checksum(const BYTE* h) {
    WORD sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= static_cast<WORD>(h[2 * i] | (h[2 * i + 1] << 8));
    return sum;
}

std::vector<BYTE> placeable_header(int left, int top, int right, int bottom, int inch) {
    Bytes b;
    b.u32(placeable_key);
    b.u16(0);
    b.i16(clamp16(left));
    b.i16(clamp16(top));
    b.i16(clamp16(right));
    b.i16(clamp16(bottom));
    b.u16(static_cast<unsigned>(inch));
    b.u32(0);
    b.u16(placeable_checksum(b.v.data()));
    return b.v;
}

BOOL write_placeable_metafile(const char* file, HMETAFILE mf, int left, int top, int right,
                              int bottom, int inch) {
    Metafile* m = metafile(tok(mf), false);
    if (!m || !file) {
        fail("write_placeable_metafile: stale metafile handle or no file");
        return FALSE;
    }
    std::vector<BYTE> all = placeable_header(left, top, right, bottom, inch);
    all.insert(all.end(), m->bytes.begin(), m->bytes.end());
    return write_file(file, all) ? TRUE : FALSE;
}
